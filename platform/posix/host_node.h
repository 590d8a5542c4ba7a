// Where GUID creation on POSIX takes its six stable node bytes from, split
// out so that each source can be tested alone.
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

// The host's node: the hardware address of the default route's interface,
// else of the first up, non-loopback interface with a 6-byte address, else
// NodeFromMachineIdentity of /etc/machine-id (or D-Bus's copy of it), else
// of the host name. Nothing only when all of them fail.
std::optional<HostNode> FindHostNode();

}  // namespace snmphelper::platform::detail
