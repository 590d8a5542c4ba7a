/* SPDX-License-Identifier: Apache-2.0 */
// Variants of a good message for decoder tests: cut at every length, one
// octet changed, and copies exactly as long as the message, so that the
// address sanitizer sees any read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "tests/support/ber_build.h"

namespace snmphelper::test {

// One octet of a good message replaced, and what that makes of it.
struct OctetChange {
    std::size_t offset;
    std::uint8_t octet;
    const char *what;
};

// `message` with the change applied.
Bytes Changed(const Bytes &message, const OctetChange &change);

// A heap copy of exactly the message's size (one octet for an empty one).
std::unique_ptr<std::uint8_t[]> ExactCopy(const Bytes &message);

// Calls `visit` with every proper prefix of `message`, the empty one first.
void ForEachTruncation(const Bytes &message, const std::function<void(const Bytes &)> &visit);

// Calls `visit` with `message` with one octet set to each of the 256 values,
// for every offset in turn.
void ForEachSingleOctetChange(const Bytes &message, const std::function<void(const Bytes &)> &visit);

}  // namespace snmphelper::test
