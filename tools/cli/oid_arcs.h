/* SPDX-License-Identifier: Apache-2.0 */
// Dotted-decimal identifiers as arcs, for the commands that walk: whether a
// reply is still below its root and whether it follows what was asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace snmphelper::cli {

// The arcs of a dotted-decimal identifier; empty when it is not one.
std::vector<std::uint64_t> Arcs(std::string_view identifier);

// Arcs into `arcs`, whose room is kept from one call to the next; false
// (and `arcs` empty) when the text is not an identifier.
bool ReadArcs(std::string_view identifier, std::vector<std::uint64_t> &arcs);

// Appends the arcs in dotted decimal to `text`, a dot before each unless
// `text` holds nothing after its first `from` characters.
void AppendArcs(std::span<const std::uint64_t> arcs, std::string &text, std::size_t from = 0);

// Whether `arcs` lies strictly below `root`.
bool InSubtree(std::span<const std::uint64_t> root, std::span<const std::uint64_t> arcs);

}  // namespace snmphelper::cli
