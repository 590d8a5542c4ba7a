// SPDX-License-Identifier: Apache-2.0
// The printable rewrite of value texts, as HelperSNMPTransactAscii applies it
// to what a transaction wrote into the caller's buffer, in buffers exactly
// as large as their room. The first octet picks the input: even, the rest
// is a reply message whose value text (HelperSNMPDecodePacket) is
// rewritten; odd, the rest is the text itself. The second octet picks the
// room. Nothing is read or written past the room; a refused rewrite leaves
// the text as it was; a rewritten reply text reads, item by item, as the
// same values with every OCTET STRING as the hex digits of its octets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/heap.h"
#include "snmphelper.h"
#include "transact/ascii_rewrite.h"
#include "transact/value_decoding.h"

using namespace snmphelper;

namespace {

std::uint32_t Room(std::uint8_t selector) {
    return selector < 16 ? selector : static_cast<std::uint32_t>(selector) * 32;
}

struct Item {
    std::int32_t type = 0;
    std::vector<std::uint8_t> value;
};

// The items of a value text of `length` characters, read as request forming
// reads them.
std::vector<Item> ReadItems(const char *text, std::size_t length) {
    std::vector<char> copy(text, text + length);
    std::vector<Item> items;
    ValueListCursor cursor{copy.data(), copy.size()};
    while (cursor.position != nullptr && cursor.remaining > 0) {
        Item item;
        std::uint32_t valueLength = 0;
        std::uint8_t *value = DecodeValueItem(cursor, item.type, valueLength);
        if (value == nullptr) std::abort();  // a reply text is always readable
        item.value.assign(value, value + valueLength);
        platform::HeapFree(value);
        items.push_back(std::move(item));
    }
    return items;
}

int HexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsHexOf(const std::vector<std::uint8_t> &hex, const std::vector<std::uint8_t> &octets) {
    if (hex.size() != 2 * octets.size()) return false;
    for (std::size_t i = 0; i < octets.size(); ++i) {
        const int high = HexDigit(hex[2 * i]);
        const int low = HexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0 || octets[i] != static_cast<std::uint8_t>(high * 16 + low)) return false;
    }
    return true;
}

void RewriteReplyText(const std::uint8_t *message, std::size_t size, std::uint32_t room) {
    std::unique_ptr<char[]> oids(new char[4096]);
    std::unique_ptr<char[]> values(new char[room]);
    std::uint32_t oidSize = 4096;
    std::uint32_t valueSize = room;
    if (HelperSNMPDecodePacket(message, static_cast<std::uint32_t>(size), oids.get(), &oidSize, values.get(),
                               &valueSize) != SNMP_RESULT_OK) {
        return;
    }
    const std::vector<Item> before = ReadItems(values.get(), valueSize);
    if (!RewriteOctetStringsAsHex(values.get(), room)) return;
    const std::size_t length = strnlen(values.get(), room);
    if (length == room || length >= kAsciiWorkAreaSize) std::abort();
    const std::vector<Item> after = ReadItems(values.get(), length);
    if (after.size() != before.size()) std::abort();
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (after[i].type != before[i].type) std::abort();
        const bool same = before[i].type == SNMP_VALUE_OCTET_STRING ? IsHexOf(after[i].value, before[i].value)
                                                                     : after[i].value == before[i].value;
        if (!same) std::abort();
    }
}

void RewriteText(const std::uint8_t *text, std::size_t size, std::uint32_t room) {
    if (room == 0) return;
    std::unique_ptr<char[]> buffer(new char[room]);
    const std::size_t copied = size < room ? size : room;
    std::memcpy(buffer.get(), text, copied);
    if (copied < room) std::memset(buffer.get() + copied, 0, room - copied);
    const std::vector<char> original(buffer.get(), buffer.get() + room);
    if (!RewriteOctetStringsAsHex(buffer.get(), room)) {
        if (std::memcmp(buffer.get(), original.data(), room) != 0) std::abort();
        return;
    }
    const std::size_t length = strnlen(buffer.get(), room);
    if (length == room || length >= kAsciiWorkAreaSize) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2 || size > 65536) return 0;
    const std::uint32_t room = Room(data[1]);
    if (data[0] % 2 == 0) {
        RewriteReplyText(data + 2, size - 2, room);
    } else {
        RewriteText(data + 2, size - 2, room);
    }
    return 0;
}
