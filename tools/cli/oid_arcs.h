/* SPDX-License-Identifier: Apache-2.0 */
// Dotted-decimal identifiers as arcs, for the commands that walk: whether a
// reply is still below its root and whether it follows what was asked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace snmphelper::cli {

// The arcs of a dotted-decimal identifier; empty when it is not one.
std::vector<std::uint64_t> Arcs(const std::string &identifier);

// Whether `arcs` lies strictly below `root`.
bool InSubtree(const std::vector<std::uint64_t> &root, const std::vector<std::uint64_t> &arcs);

}  // namespace snmphelper::cli
