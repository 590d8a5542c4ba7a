/* SPDX-License-Identifier: Apache-2.0 */
// The printer's trap destination table: one row per manager host, keyed by a
// six-number index the host chooses, filled by set requests.
//
//   column 2  IpAddress              the host's IP address
//   column 3  OCTET STRING (size 4)  the host's IPX network number
//   column 4  INTEGER 1, 2 or 4      the protocol the host prefers
//   column 5  INTEGER 0..7           the protocols the host listens on
//   column 7  INTEGER row state: 2 being filled, 1 complete, 4 withdraw
//
// A row comes into being when its state is set to 1 or 2 and goes away when
// its state is set to 4; the other columns can be set only while it exists.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "tools/printer-sim/mib_store.h"

namespace printersim {

// 1.3.6.1.4.1.236.11.5.1.12.6.2.4.1: the table's entry.
const Oid &TrapDestinationEntry();

constexpr std::uint32_t kColumnIpAddress = 2;
constexpr std::uint32_t kColumnIpxNetwork = 3;
constexpr std::uint32_t kColumnProtocol = 4;
constexpr std::uint32_t kColumnProtocolSet = 5;
constexpr std::uint32_t kColumnRowState = 7;

constexpr std::int32_t kRowComplete = 1;
constexpr std::int32_t kRowBeingFilled = 2;
constexpr std::int32_t kRowWithdraw = 4;

// A printer keeps a small table; a registration beyond it fails with genErr.
constexpr std::size_t kMaxTrapDestinations = 32;

bool IsTrapDestinationName(const Oid &name);

// Applies one set of a table object to `store`. Returns an error-status of
// RFC 1157 4.1.5 (kNoError on success). A row whose state became complete
// is added to `completed` by its IP address column's value.
std::int32_t SetTrapDestination(MibStore &store, const Oid &name, const Value &value,
                                std::vector<std::array<std::uint8_t, 4>> &completed);

// IP addresses of the complete rows, in table order.
std::vector<std::array<std::uint8_t, 4>> CompleteTrapDestinations(const MibStore &store);

// Traps the simulator sends (RFC 1157 4.1.6): coldStart when it starts with
// complete rows, and these enterprise-specific ones.
constexpr std::int32_t kGenericColdStart = 0;
constexpr std::int32_t kGenericEnterpriseSpecific = 6;
constexpr std::int32_t kSpecificRegistered = 1;     // a host's row became complete
constexpr std::int32_t kSpecificStatus = 2;         // status report on request
constexpr std::int32_t kSpecificWatchedChange = 3;  // a watched object changed

// The stored values of the objects named by, or lying below, the watched names.
using WatchSnapshot = std::map<Oid, Value>;
WatchSnapshot SnapshotWatched(const MibStore &store, const std::vector<Oid> &watched);

// Names whose value differs between the snapshots, or that came into being,
// in name order; objects that went away are left out.
std::vector<Oid> ChangedObjects(const WatchSnapshot &before, const WatchSnapshot &after);

}  // namespace printersim
