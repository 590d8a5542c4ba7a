// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/identifier_check.h"

#include <cstdint>

namespace snmphelper::cli {
namespace {

constexpr std::uint64_t kLargestArc = 0xFFFFFFFFULL;

std::string Fault(const std::string &text, const std::string &what, std::size_t position) {
    return "'" + text + "': " + what + " at position " + std::to_string(position);
}

}  // namespace

bool CheckIdentifier(const std::string &text, std::string &normalized, std::string &problem) {
    if (text.empty() || text == ".") {
        problem = "'" + text + "': empty object identifier";
        return false;
    }
    const std::size_t start = text[0] == '.' ? 1 : 0;
    std::vector<std::uint64_t> arcs;
    std::size_t arcStart = start;
    std::uint64_t arc = 0;
    for (std::size_t i = start; i <= text.size(); ++i) {
        const std::size_t position = i + 1;
        if (i == text.size() || text[i] == '.') {
            if (i == arcStart) {
                problem = i == text.size() ? Fault(text, "trailing dot", position - 1)
                                           : Fault(text, "empty arc", position);
                return false;
            }
            if (arcs.empty() && arc > 2) {
                problem = Fault(text, "first arc " + std::to_string(arc) + " is above 2", arcStart + 1);
                return false;
            }
            if (arcs.size() == 1 && arcs[0] < 2 && arc >= 40) {
                problem = Fault(text, "second arc " + std::to_string(arc) + " under arc " + std::to_string(arcs[0]) +
                                          " is 40 or more",
                                arcStart + 1);
                return false;
            }
            arcs.push_back(arc);
            arc = 0;
            arcStart = i + 1;
            continue;
        }
        const char c = text[i];
        if (c < '0' || c > '9') {
            problem = Fault(text, std::string("'") + c + "' is not a digit", position);
            return false;
        }
        arc = arc * 10 + static_cast<std::uint64_t>(c - '0');
        if (arc > kLargestArc) {
            problem = Fault(text, "arc above 4294967295", arcStart + 1);
            return false;
        }
    }
    if (arcs.size() < 2) {
        problem = "'" + text + "': an object identifier has at least two arcs";
        return false;
    }
    normalized = text.substr(start);
    return true;
}

bool CheckIdentifiers(const std::vector<std::string> &texts, std::vector<std::string> &normalized,
                      std::string &problem) {
    normalized.clear();
    for (const std::string &text : texts) {
        std::string one;
        if (!CheckIdentifier(text, one, problem)) return false;
        normalized.push_back(one);
    }
    return true;
}

}  // namespace snmphelper::cli
