// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/oid_arcs.h"

#include <algorithm>

namespace snmphelper::cli {

std::vector<std::uint64_t> Arcs(const std::string &identifier) {
    std::vector<std::uint64_t> arcs;
    arcs.reserve(static_cast<std::size_t>(std::count(identifier.begin(), identifier.end(), '.')) + 1);
    std::uint64_t arc = 0;
    bool digits = false;
    for (char c : identifier) {
        if (c == '.') {
            if (!digits) return {};
            arcs.push_back(arc);
            arc = 0;
            digits = false;
        } else if (c >= '0' && c <= '9' && arc < 0xFFFFFFFFULL) {
            arc = arc * 10 + static_cast<std::uint64_t>(c - '0');
            digits = true;
        } else {
            return {};
        }
    }
    if (!digits) return {};
    arcs.push_back(arc);
    return arcs;
}

bool InSubtree(const std::vector<std::uint64_t> &root, const std::vector<std::uint64_t> &arcs) {
    if (arcs.size() <= root.size()) return false;
    for (std::size_t i = 0; i < root.size(); ++i) {
        if (arcs[i] != root[i]) return false;
    }
    return true;
}

}  // namespace snmphelper::cli
