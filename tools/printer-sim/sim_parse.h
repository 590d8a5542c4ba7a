/* SPDX-License-Identifier: Apache-2.0 */
// Small text helpers shared by the simulator's readers of faults and of
// the objects file.
#pragma once

#include <charconv>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace printersim {

// Whether the whole of `text` is one number of Number's type; `number` is
// set only then.
template <typename Number>
bool ParseNumber(std::string_view text, Number &number) {
    if (text.empty()) return false;
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, number);
    return ec == std::errc() && ptr == end;
}

// Stores `message` as the error and answers false, for `return Fail(...)`.
inline bool Fail(std::string &error, std::string message) {
    error = std::move(message);
    return false;
}

}  // namespace printersim
