// SPDX-License-Identifier: Apache-2.0
#include "tests/support/message_variants.h"

#include <cstring>

namespace snmphelper::test {

Bytes Changed(const Bytes &message, const OctetChange &change) {
    Bytes changed = message;
    changed.at(change.offset) = change.octet;
    return changed;
}

std::unique_ptr<std::uint8_t[]> ExactCopy(const Bytes &message) {
    auto copy = std::make_unique<std::uint8_t[]>(message.empty() ? 1 : message.size());
    if (!message.empty()) std::memcpy(copy.get(), message.data(), message.size());
    return copy;
}

void ForEachTruncation(const Bytes &message, const std::function<void(const Bytes &)> &visit) {
    for (std::size_t cut = 0; cut < message.size(); ++cut) {
        visit(Bytes(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(cut)));
    }
}

void ForEachSingleOctetChange(const Bytes &message, const std::function<void(const Bytes &)> &visit) {
    for (std::size_t offset = 0; offset < message.size(); ++offset) {
        for (int octet = 0; octet < 256; ++octet) {
            visit(Changed(message, {offset, static_cast<std::uint8_t>(octet), ""}));
        }
    }
}

}  // namespace snmphelper::test
