/* SPDX-License-Identifier: Apache-2.0 */
// Where GUID creation takes its six stable node bytes from, split out so
// that each source can be tested alone. FindHostNode is each system's own;
// the rest is the same everywhere.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace snmphelper::platform::detail {

using HostNode = std::array<std::uint8_t, 6>;

// The interface of the default route in the text of /proc/net/route: the
// up route to 0.0.0.0/0 with the lowest metric (the first of equals).
std::optional<std::string> DefaultRouteInterface(std::string_view routeTable);

// A node made from the machine's identity (machine-id(5)): a keyed,
// application-specific hash of `machineId` (surrounding white space
// ignored), locally administered, not multicast. Nothing for an empty text.
std::optional<HostNode> NodeFromMachineIdentity(std::string_view machineId);

// The host's node. On POSIX: the hardware address of the default route's
// interface, else of the first up, non-loopback interface with a 6-byte
// address, else NodeFromMachineIdentity of /etc/machine-id (or D-Bus's copy
// of it), else of the host name. On Windows: the node of a sequential UUID
// when it is an adapter's, else NodeFromMachineIdentity of the machine's
// GUID, else of the computer name. Nothing only when all of them fail.
std::optional<HostNode> FindHostNode();

}  // namespace snmphelper::platform::detail
