// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/oid_arcs.h"

#include <algorithm>
#include <charconv>

namespace snmphelper::cli {

bool ReadArcs(std::string_view identifier, std::vector<std::uint64_t> &arcs) {
    arcs.clear();
    std::uint64_t arc = 0;
    bool digits = false;
    for (char c : identifier) {
        if (c == '.') {
            if (!digits) break;
            arcs.push_back(arc);
            arc = 0;
            digits = false;
        } else if (c >= '0' && c <= '9' && arc < 0xFFFFFFFFULL) {
            arc = arc * 10 + static_cast<std::uint64_t>(c - '0');
            digits = true;
        } else {
            digits = false;
            break;
        }
    }
    if (!digits) {
        arcs.clear();
        return false;
    }
    arcs.push_back(arc);
    return true;
}

std::vector<std::uint64_t> Arcs(std::string_view identifier) {
    std::vector<std::uint64_t> arcs;
    arcs.reserve(static_cast<std::size_t>(std::count(identifier.begin(), identifier.end(), '.')) + 1);
    ReadArcs(identifier, arcs);
    return arcs;
}

void AppendArcs(std::span<const std::uint64_t> arcs, std::string &text, std::size_t from) {
    char digits[24];
    for (const std::uint64_t arc : arcs) {
        if (text.size() > from) text += '.';
        const auto written = std::to_chars(digits, digits + sizeof digits, arc);
        text.append(digits, written.ptr);
    }
}

bool InSubtree(std::span<const std::uint64_t> root, std::span<const std::uint64_t> arcs) {
    return arcs.size() > root.size() && std::equal(root.begin(), root.end(), arcs.begin());
}

}  // namespace snmphelper::cli
