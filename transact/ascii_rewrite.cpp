// SPDX-License-Identifier: Apache-2.0
#include "transact/ascii_rewrite.h"

#include <cstdio>
#include <cstring>

namespace snmphelper {
namespace {

// Longest length field taken: ten digits already exceed any 32-bit room.
constexpr std::size_t kMaxLengthDigits = 10;

// The rewritten text, bounded by the work area and the caller's room, both
// less one byte for the terminator.
class WorkArea {
public:
    explicit WorkArea(std::size_t room)
        : limit_(room < kAsciiWorkAreaSize ? room : kAsciiWorkAreaSize) {}

    bool Append(const char *text, std::size_t length) {
        if (!Reserve(length)) return false;
        std::memcpy(text_ + length_, text, length);
        length_ += length;
        return true;
    }

    bool AppendHex(const std::uint8_t *bytes, std::size_t count) {
        if (count > kAsciiWorkAreaSize || !Reserve(2 * count)) return false;
        HexEncode(text_ + length_, bytes, count);
        length_ += 2 * count;
        return true;
    }

    // Copies the text and its terminator over `destination`.
    void CopyTo(char *destination) const {
        std::memcpy(destination, text_, length_);
        destination[length_] = '\0';
    }

private:
    bool Reserve(std::size_t length) const { return limit_ > 0 && length <= limit_ - 1 - length_; }

    char text_[kAsciiWorkAreaSize] = {};
    std::size_t length_ = 0;
    std::size_t limit_;
};

// Characters before the first comma or zero byte, or `remaining` when the
// buffer ends first.
std::size_t FieldLength(const char *text, std::size_t remaining) {
    std::size_t length = 0;
    while (length < remaining && text[length] != ',' && text[length] != '\0') ++length;
    return length;
}

bool ReadLength(const char *text, std::size_t length, std::uint64_t &count) {
    if (length == 0 || length > kMaxLengthDigits) return false;
    count = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        count = count * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    return true;
}

// Rewrites the rest of an OCTET STRING item, whose length field starts at
// `position` (after the "2," already written): the doubled length, the hex
// digits and the separator. Advances `position` past the item and its separator.
bool RewriteOctetString(const char *text, std::size_t room, std::size_t &position, WorkArea &work) {
    const std::size_t lengthField = FieldLength(text + position, room - position);
    const std::size_t dataStart = position + lengthField + 1;
    std::uint64_t count = 0;
    if (dataStart > room || text[position + lengthField] != ',' ||
        !ReadLength(text + position, lengthField, count) || count > room - dataStart) {
        return false;
    }
    char head[32];
    const int headLength =
        std::snprintf(head, sizeof head, "%llu,", static_cast<unsigned long long>(2 * count));
    if (headLength < 0 || !work.Append(head, static_cast<std::size_t>(headLength)) ||
        !work.AppendHex(reinterpret_cast<const std::uint8_t *>(text + dataStart),
                        static_cast<std::size_t>(count))) {  // within room, checked above
        return false;
    }
    position = dataStart + static_cast<std::size_t>(count);
    if (position < room && text[position] != '\0') {
        if (!work.Append(",", 1)) return false;
        ++position;
    }
    return true;
}

// Copies any other item: its type field and comma, then its value up to and
// including the next comma, or up to the end of the text.
bool CopyItem(const char *text, std::size_t room, std::size_t &position, WorkArea &work) {
    std::size_t end = position + FieldLength(text + position, room - position);
    if (end < room && text[end] == ',') {
        ++end;
        end += FieldLength(text + end, room - end);
        if (end < room && text[end] == ',') ++end;
    }
    if (!work.Append(text + position, end - position)) return false;
    position = end;
    return true;
}

bool IsOctetStringItem(const char *text, std::size_t room, std::size_t position) {
    return room - position >= 2 && text[position] == '2' && text[position + 1] == ',';
}

}  // namespace

void HexEncode(char *destination, const std::uint8_t *bytes, std::size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < count; ++i) {
        destination[2 * i] = kDigits[bytes[i] >> 4];
        destination[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    destination[2 * count] = '\0';
}

bool RewriteOctetStringsAsHex(char *valueText, std::uint32_t room) {
    if (valueText == nullptr || room == 0) return false;
    WorkArea work(room);
    std::size_t position = 0;
    while (position < room && valueText[position] != '\0') {
        bool written = false;
        if (IsOctetStringItem(valueText, room, position)) {
            if (!work.Append("2,", 2)) return false;
            position += 2;
            written = RewriteOctetString(valueText, room, position, work);
        } else {
            written = CopyItem(valueText, room, position, work);
        }
        if (!written) return false;
    }
    work.CopyTo(valueText);
    return true;
}

}  // namespace snmphelper
