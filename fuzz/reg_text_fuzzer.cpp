// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes through the regedit text reader, and whatever it accepts
// through the writer and the reader again: the store's text form must be
// lossless, so writing what was read and reading it back gives the same
// tree, and the same text when written once more.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "hive/reg_text.h"

using snmphelper::platform::regtext::ApplyRegText;
using snmphelper::platform::regtext::Key;
using snmphelper::platform::regtext::WriteRegText;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size > 65536) return 0;
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    Key first;
    std::string problem;
    if (!ApplyRegText(bytes, first, problem)) {
        if (problem.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    const std::string written = WriteRegText(first, "");
    Key second;
    if (!ApplyRegText(written, second, problem)) std::abort();
    if (WriteRegText(second, "") != written) std::abort();
    return 0;
}
