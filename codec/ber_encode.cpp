// SPDX-License-Identifier: Apache-2.0
#include "codec/ber_encode.h"

#include <cstring>
#include <limits>

#include "codec/byte_cursor.h"

namespace snmphelper {
namespace {

constexpr std::uint32_t kMaxArc = std::numeric_limits<std::uint32_t>::max();

// Number of octets of a length or sub-identifier value in base 256.
std::uint32_t Base256Octets(std::uint32_t v) {
    std::uint32_t count = 1;
    while (count < 4 && (v >> (8 * count)) != 0) ++count;
    return count;
}

// Appends sub-identifiers (X.690 8.19.2: base 128, high bit on all octets but
// the last) to a bounded buffer.
class SubidentifierWriter {
public:
    SubidentifierWriter(std::uint8_t *buffer, int room) : buffer_(buffer), room_(room) {}

    // False, with nothing written, when the octets do not fit.
    bool Write(std::uint32_t value) {
        if (value < 0x80) {  // most arcs: one octet
            if (written_ >= room_) return false;
            buffer_[written_++] = static_cast<std::uint8_t>(value);
            return true;
        }
        std::uint8_t octets[kMostSubidentifierOctets];
        const auto count = static_cast<int>(WriteSubidentifier(value, octets));
        if (count > room_ - written_) return false;
        std::memcpy(buffer_ + written_, octets, static_cast<std::size_t>(count));
        written_ += count;
        return true;
    }

    int Written() const { return written_; }

private:
    std::uint8_t *buffer_;
    int room_;
    int written_ = 0;
};

// The first two arcs share the first sub-identifier (X.690 8.19.4); this
// library keeps it to one octet.
bool CombineFirstArcs(std::uint64_t first, std::uint64_t second, std::uint32_t &combined) {
    if (second > 39) return false;
    const std::uint64_t value = first * 40 + second;
    if (value > 127) return false;
    combined = static_cast<std::uint32_t>(value);
    return true;
}

// Reads the decimal arc at `c` (no digits read as 0) and moves `c` past it.
// False when the arc does not fit 32 bits or is not followed by '.' or the end.
bool ReadArc(const char *&c, std::uint32_t &arc) {
    const char *at = c;
    std::uint64_t value = 0;
    const auto digitAt = [](const char *position) { return static_cast<std::uint32_t>(*position - '0'); };
    for (std::uint32_t digit = digitAt(at); digit < 10; digit = digitAt(at)) {
        value = value * 10 + digit;
        // A wrapped arc would silently name a different object.
        if (value > kMaxArc) return false;
        ++at;
    }
    c = at;
    arc = static_cast<std::uint32_t>(value);
    return *at == '.' || *at == '\0';
}

}  // namespace

int OidTextToBer(std::uint8_t *buffer, int room, const char *text) {
    if (room < 0 || text == nullptr) return -1;
    if (text[0] == '\0') return 0;
    if (buffer == nullptr) return -1;

    SubidentifierWriter writer(buffer, room);
    const char *c = text;
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    if (!ReadArc(c, first)) return -1;
    // A text of one arc X stands for X.0.
    if (*c == '.' && !ReadArc(++c, second)) return -1;
    std::uint32_t subidentifier = 0;
    if (!CombineFirstArcs(first, second, subidentifier) || !writer.Write(subidentifier)) return -1;
    while (*c == '.') {
        std::uint32_t arc = 0;
        if (!ReadArc(++c, arc) || !writer.Write(arc)) return -1;
    }
    return writer.Written();
}

bool OidContentsValid(const std::uint8_t *contents, std::size_t n, std::size_t room) {
    if (contents == nullptr || n == 0 || n > room || contents[0] >= 0x80) return false;
    std::size_t at = 1;
    while ((at = SkipLowOctets(contents, n, at)) < n) {
        if (contents[at] < 0x80) {
            ++at;
            continue;
        }
        // OidTextToBer writes no leading 0x80 group and no arc above 32 bits.
        if (contents[at] == 0x80) return false;
        std::uint64_t value = 0;
        std::uint8_t octet = 0;
        do {
            if (at == n) return false;
            octet = contents[at++];
            value = (value << 7) | (octet & 0x7Fu);
            if (value > kMaxArc) return false;
        } while ((octet & 0x80) != 0);
    }
    return true;
}

std::size_t WriteSubidentifier(std::uint64_t value, std::uint8_t (&out)[kMostSubidentifierOctets]) {
    std::size_t count = 1;
    while (count < kMostSubidentifierOctets && (value >> (7 * count)) != 0) ++count;
    for (std::size_t i = 0; i < count; ++i) {
        const auto group = static_cast<std::uint8_t>((value >> (7 * (count - 1 - i))) & 0x7F);
        out[i] = static_cast<std::uint8_t>(group | (i + 1 < count ? 0x80 : 0x00));
    }
    return count;
}

std::uint32_t EncodeLength(std::uint32_t length, std::uint8_t *buffer, std::uint32_t room) {
    if (buffer == nullptr) return 0;
    if (length < 128) {
        if (room < 1) return 0;
        buffer[0] = static_cast<std::uint8_t>(length);
        return 1;
    }
    const std::uint32_t k = Base256Octets(length);
    if (room < k + 1) return 0;
    buffer[0] = static_cast<std::uint8_t>(0x80 + k);
    for (std::uint32_t i = 0; i < k; ++i) {
        buffer[1 + i] = static_cast<std::uint8_t>(length >> (8 * (k - 1 - i)));
    }
    return k + 1;
}

std::uint32_t LengthOfLength(std::uint32_t length) {
    return length < 128 ? 1 : 1 + Base256Octets(length);
}

IntegerContents UnsignedContents(std::uint32_t v) {
    IntegerContents contents{};
    contents.first = sizeof contents.octets;
    do {
        contents.octets[--contents.first] = static_cast<std::uint8_t>(v & 0xFF);
        v >>= 8;
    } while (v != 0);
    if ((contents.octets[contents.first] & 0x80) != 0) contents.octets[--contents.first] = 0x00;
    return contents;
}

IntegerContents SignedContents(std::int32_t v) {
    if (v >= 0) return UnsignedContents(static_cast<std::uint32_t>(v));
    // Take octets from the least significant end until only the sign is left;
    // then make sure the first octet still carries the sign bit.
    IntegerContents contents{};
    contents.first = sizeof contents.octets;
    std::int32_t rest = v;
    do {
        contents.octets[--contents.first] = static_cast<std::uint8_t>(rest & 0xFF);
        rest >>= 8;
    } while (rest != -1);
    if ((contents.octets[contents.first] & 0x80) == 0) contents.octets[--contents.first] = 0xFF;
    return contents;
}

}  // namespace snmphelper
