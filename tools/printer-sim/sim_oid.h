/* SPDX-License-Identifier: Apache-2.0 */
// Object identifiers as the simulator holds them: a sequence of arcs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace printersim {

// std::vector's ordering is the lexicographic ordering of arcs that
// get-next walks (RFC 1157 4.1.3): a prefix sorts before its extensions.
using Oid = std::vector<std::uint32_t>;

// An agent need not handle names of more arcs than this (RFC 2578 3.5).
constexpr std::size_t kMaxOidArcs = 128;

// Parses dotted-decimal text ("1.3.6.1.2.1.1.5.0", a leading dot allowed).
// Refuses empty arcs, arcs above 2^32-1, fewer than two or more than
// kMaxOidArcs arcs, and first arcs that BER cannot carry (X.690 8.19.4).
bool ParseOid(std::string_view text, Oid &oid);

// Dotted-decimal text without a leading dot.
std::string FormatOid(const Oid &oid);

bool OidStartsWith(const Oid &oid, const Oid &prefix);

}  // namespace printersim
