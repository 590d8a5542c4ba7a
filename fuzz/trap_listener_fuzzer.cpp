// SPDX-License-Identifier: Apache-2.0
// Received datagrams through what `traps listen` prints for them, readable
// and as JSON: both agree on whether the datagram was a trap, the readable
// form is lines of printable ASCII, and the JSON form is one line holding
// one valid JSON object.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "fuzz/ber_mutator.h"
#include "tools/cli/trap_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // Longer datagrams only go on to a longer hex dump: not worth the time.
    if (size > 8192) return 0;
    const auto length = static_cast<std::uint32_t>(size);
    const std::string from = "192.0.2.7:162";
    bool textTrap = false;
    bool jsonTrap = false;
    const std::string text = snmphelper::cli::DatagramText(data, length, from, false, textTrap);
    const std::string json = snmphelper::cli::DatagramText(data, length, from, true, jsonTrap);
    if (textTrap != jsonTrap || text.empty() || text.back() != '\n') std::abort();
    for (const char c : text) {
        if (c != '\n' && (c < 0x20 || c > 0x7E)) std::abort();
    }
    if (json.empty() || json.find('\n') != json.size() - 1) std::abort();
    const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object() || parsed.contains("error") == jsonTrap) std::abort();
    return 0;
}
