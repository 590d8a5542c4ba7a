/* SPDX-License-Identifier: Apache-2.0 */
// Byte vectors written as hex text in tests: "30 23 02 01 00".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace snmphelper::test {

// Parses hex digit pairs; spaces are ignored. Aborts the test program on a
// malformed vector, since that is a fault of the test itself.
std::vector<std::uint8_t> Hex(std::string_view text);

// Upper-case hex digit pairs separated by single spaces.
std::string ToHex(const std::uint8_t *data, std::size_t length);
inline std::string ToHex(const std::vector<std::uint8_t> &bytes) {
    return ToHex(bytes.data(), bytes.size());
}

}  // namespace snmphelper::test
