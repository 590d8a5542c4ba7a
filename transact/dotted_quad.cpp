// SPDX-License-Identifier: Apache-2.0
#include "transact/dotted_quad.h"

#include <cstddef>

namespace snmphelper {

bool ParseDottedQuad(std::string_view text, platform::Ipv4Address &address) {
    platform::Ipv4Address parsed{};
    std::size_t at = 0;
    for (std::size_t part = 0; part < parsed.size(); ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
        std::size_t end = at;
        unsigned value = 0;
        while (end < text.size() && end - at < 4 && text[end] >= '0' && text[end] <= '9') {
            value = value * 10 + static_cast<unsigned>(text[end] - '0');
            ++end;
        }
        const std::size_t digits = end - at;
        if (digits == 0 || digits > 3 || (digits > 1 && text[at] == '0') || value > 255) return false;
        parsed[part] = static_cast<std::uint8_t>(value);
        at = end;
    }
    if (at != text.size()) return false;
    address = parsed;
    return true;
}

std::string DottedQuadText(const platform::Ipv4Address &address) {
    std::string text;
    for (std::size_t part = 0; part < address.size(); ++part) {
        if (part > 0) text += '.';
        text += std::to_string(address[part]);
    }
    return text;
}

}  // namespace snmphelper
