// SPDX-License-Identifier: Apache-2.0
// BER primitives of the simulator's codec.
#include "tools/printer-sim/sim_ber.h"

namespace printersim {

namespace {

// Lengths above four octets cannot describe anything a UDP datagram holds.
constexpr std::size_t kMaxLengthOctets = 4;

}  // namespace

bool BerCursor::ReadItem(std::uint8_t &tag, BerCursor &contents) {
    std::span<const std::uint8_t> rest = rest_;
    if (rest.empty()) return false;
    const std::uint8_t identifier = rest[0];
    rest = rest.subspan(1);
    // X.690 8.1.2.4: tag numbers of 31 and above take more identifier octets;
    // SNMPv1 never uses them.
    if ((identifier & 0x1F) == 0x1F) return false;
    if (rest.empty()) return false;
    const std::uint8_t first = rest[0];
    rest = rest.subspan(1);
    std::size_t length = first;
    if (first & 0x80) {
        const std::size_t octets = first & 0x7Fu;
        // 0x80 is the indefinite form, which X.690 10.1 forbids here.
        if (octets == 0 || octets > kMaxLengthOctets || octets > rest.size()) return false;
        length = 0;
        for (std::size_t i = 0; i < octets; ++i) length = (length << 8) | rest[i];
        rest = rest.subspan(octets);
    }
    if (length > rest.size()) return false;
    tag = identifier;
    contents = BerCursor(rest.first(length));
    rest_ = rest.subspan(length);
    return true;
}

bool BerCursor::ExpectItem(std::uint8_t expectedTag, BerCursor &contents) {
    BerCursor saved = *this;
    std::uint8_t tag = 0;
    if (!ReadItem(tag, contents)) return false;
    if (tag != expectedTag) {
        *this = saved;
        return false;
    }
    return true;
}

bool DecodeSigned(std::span<const std::uint8_t> contents, std::int32_t &value) {
    if (contents.empty() || contents.size() > 4) return false;
    std::uint32_t bits = (contents[0] & 0x80) ? 0xFFFFFFFFu : 0u;
    for (std::uint8_t octet : contents) bits = (bits << 8) | octet;
    value = static_cast<std::int32_t>(bits);
    return true;
}

bool DecodeUnsigned(std::span<const std::uint8_t> contents, std::uint32_t &value) {
    if (contents.empty() || contents.size() > 5) return false;
    if (contents.size() == 5) {
        if (contents[0] != 0) return false;
        contents = contents.subspan(1);
    }
    std::uint32_t bits = 0;
    for (std::uint8_t octet : contents) bits = (bits << 8) | octet;
    value = bits;
    return true;
}

bool DecodeOidContents(std::span<const std::uint8_t> contents, Oid &oid) {
    if (contents.empty()) return false;
    Oid arcs;
    std::uint64_t subIdentifier = 0;
    bool first = true;
    for (std::size_t i = 0; i < contents.size(); ++i) {
        subIdentifier = (subIdentifier << 7) | (contents[i] & 0x7Fu);
        if (subIdentifier > 0xFFFFFFFFu) return false;
        if (contents[i] & 0x80) continue;
        if (first) {
            // X.690 8.19.4: the first sub-identifier carries two arcs.
            const std::uint32_t x = subIdentifier < 40 ? 0 : subIdentifier < 80 ? 1 : 2;
            arcs.push_back(x);
            arcs.push_back(static_cast<std::uint32_t>(subIdentifier - 40u * x));
            first = false;
        } else {
            if (arcs.size() == kMaxOidArcs) return false;
            arcs.push_back(static_cast<std::uint32_t>(subIdentifier));
        }
        subIdentifier = 0;
    }
    if (contents.back() & 0x80) return false;  // the last sub-identifier is unfinished
    oid = std::move(arcs);
    return true;
}

std::vector<std::uint8_t> SignedContents(std::int32_t value) {
    std::vector<std::uint8_t> reversed;
    std::int64_t rest = value;
    // Take octets from the low end until what is left is only sign bits and
    // the last octet taken already shows the right sign.
    do {
        reversed.push_back(static_cast<std::uint8_t>(rest & 0xFF));
        rest >>= 8;
    } while (!((rest == 0 && !(reversed.back() & 0x80)) || (rest == -1 && (reversed.back() & 0x80))));
    return {reversed.rbegin(), reversed.rend()};
}

std::vector<std::uint8_t> UnsignedContents(std::uint32_t value) {
    std::vector<std::uint8_t> reversed;
    do {
        reversed.push_back(static_cast<std::uint8_t>(value & 0xFF));
        value >>= 8;
    } while (value != 0);
    if (reversed.back() & 0x80) reversed.push_back(0);
    return {reversed.rbegin(), reversed.rend()};
}

namespace {

void AppendSubIdentifier(std::vector<std::uint8_t> &out, std::uint64_t value) {
    std::uint8_t groups[10];
    std::size_t count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

}  // namespace

std::size_t SignedContentsSize(std::int32_t value) {
    std::size_t size = 1;
    for (; value < -128 || value > 127; value /= 256) ++size;
    return size;
}

std::size_t OidContentsSize(const Oid &oid) {
    const auto groups = [](std::uint64_t value) {
        std::size_t count = 1;
        while ((value >>= 7) != 0) ++count;
        return count;
    };
    const std::uint64_t x = oid.size() > 0 ? oid[0] : 0;
    const std::uint64_t y = oid.size() > 1 ? oid[1] : 0;
    std::size_t size = groups(x * 40 + y);
    for (std::size_t i = 2; i < oid.size(); ++i) size += groups(oid[i]);
    return size;
}

std::vector<std::uint8_t> OidContents(const Oid &oid) {
    std::vector<std::uint8_t> out;
    const std::uint64_t x = oid.size() > 0 ? oid[0] : 0;
    const std::uint64_t y = oid.size() > 1 ? oid[1] : 0;
    AppendSubIdentifier(out, x * 40 + y);
    for (std::size_t i = 2; i < oid.size(); ++i) AppendSubIdentifier(out, oid[i]);
    return out;
}

std::size_t LengthOfLength(std::size_t length) {
    if (length < 0x80) return 1;
    std::size_t octets = 0;
    for (std::size_t rest = length; rest != 0; rest >>= 8) ++octets;
    return 1 + octets;
}

std::size_t ItemSize(std::size_t contentLength) {
    return 1 + LengthOfLength(contentLength) + contentLength;
}

void AppendHeader(std::vector<std::uint8_t> &out, std::uint8_t tag, std::size_t contentLength) {
    out.push_back(tag);
    const std::size_t lengthOctets = LengthOfLength(contentLength);
    if (lengthOctets == 1) {
        out.push_back(static_cast<std::uint8_t>(contentLength));
        return;
    }
    out.push_back(static_cast<std::uint8_t>(0x80 | (lengthOctets - 1)));
    for (std::size_t i = lengthOctets - 1; i > 0; --i)
        out.push_back(static_cast<std::uint8_t>((contentLength >> (8 * (i - 1))) & 0xFF));
}

void AppendItem(std::vector<std::uint8_t> &out, std::uint8_t tag,
                std::span<const std::uint8_t> contents) {
    AppendHeader(out, tag, contents.size());
    out.insert(out.end(), contents.begin(), contents.end());
}

}  // namespace printersim
