// SPDX-License-Identifier: Apache-2.0
// Text form of object identifiers.
#include "tools/printer-sim/sim_oid.h"

#include <algorithm>

namespace printersim {

bool ParseOid(std::string_view text, Oid &oid) {
    if (!text.empty() && text.front() == '.') text.remove_prefix(1);
    Oid arcs;
    std::uint64_t arc = 0;
    bool haveDigit = false;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (!haveDigit || arcs.size() == kMaxOidArcs) return false;
            arcs.push_back(static_cast<std::uint32_t>(arc));
            arc = 0;
            haveDigit = false;
            continue;
        }
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        arc = arc * 10 + static_cast<std::uint64_t>(c - '0');
        if (arc > 0xFFFFFFFFu) return false;
        haveDigit = true;
    }
    // X.690 8.19.4: the first arc is 0, 1 or 2, and below 2 the second is
    // below 40; arc 2 takes any second arc that fits the first sub-identifier.
    if (arcs.size() < 2 || arcs[0] > 2) return false;
    if (arcs[0] < 2 && arcs[1] >= 40) return false;
    if (arcs[0] == 2 && arcs[1] > 0xFFFFFFFFu - 80) return false;
    oid = std::move(arcs);
    return true;
}

std::string FormatOid(const Oid &oid) {
    std::string text;
    for (std::size_t i = 0; i < oid.size(); ++i) {
        if (i != 0) text += '.';
        text += std::to_string(oid[i]);
    }
    return text;
}

bool OidStartsWith(const Oid &oid, const Oid &prefix) {
    return oid.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), oid.begin());
}

}  // namespace printersim
