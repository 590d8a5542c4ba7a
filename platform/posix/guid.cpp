// SPDX-License-Identifier: Apache-2.0
// GUID creation on POSIX: a time-based GUID (RFC 4122 version 1) whose node
// is chosen to stay the same for the host.
//
// Why not libuuid or a random GUID: libuuid's time-based UUIDs take a random
// node per process when it finds no interface with an IPv4 address, and a
// random (version 4) GUID changes its last six bytes on every call. Either
// would make a printer row written by one call unreachable by the next. So
// the node is, in this order:
//   1. the hardware address of the interface the default route uses, the
//      adapter the host's traffic leaves by (what Windows puts there);
//   2. else the hardware address of the first up, non-loopback interface
//      with a 6-byte address, by interface index;
//   3. else a keyed hash of /etc/machine-id (machine-id(5) asks for an
//      application-specific hash rather than the raw identity), marked as a
//      locally administered unicast address so that it can never be taken
//      for a real adapter's; D-Bus's copy of the identity, then the host
//      name, stand in when the file is missing.
// Hardware addresses are read with SIOCGIFHWADDR, never from /sys/class/net,
// which inside a private network namespace can list the host's interfaces.
// Only the time, clock sequence and version bits differ between calls.
#include "platform/guid.h"

#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/host_node.h"

namespace snmphelper::platform {
namespace detail {
namespace {

// --- Hardware addresses --------------------------------------------------------

class ControlSocket {
public:
    ControlSocket() : descriptor_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~ControlSocket() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    ControlSocket(const ControlSocket &) = delete;
    ControlSocket &operator=(const ControlSocket &) = delete;

    bool Valid() const { return descriptor_ >= 0; }
    bool Ask(unsigned long request, ifreq &query) const { return ::ioctl(descriptor_, request, &query) == 0; }

private:
    int descriptor_;
};

bool NameFits(const std::string &name) { return !name.empty() && name.size() < IFNAMSIZ; }

ifreq QueryFor(const std::string &name) {
    ifreq query{};
    std::memcpy(query.ifr_name, name.data(), name.size());
    return query;
}

// A 6-byte IEEE 802 address that names one station: not all zeros, not
// broadcast or multicast.
bool UsableHardwareAddress(const HostNode &node) {
    const bool allZero = std::all_of(node.begin(), node.end(), [](std::uint8_t b) { return b == 0; });
    return !allZero && (node[0] & 0x01) == 0;
}

std::optional<HostNode> HardwareAddressOf(const ControlSocket &control, const std::string &name) {
    if (!NameFits(name)) return std::nullopt;
    ifreq query = QueryFor(name);
    if (!control.Ask(SIOCGIFHWADDR, query)) return std::nullopt;
    if (query.ifr_hwaddr.sa_family != ARPHRD_ETHER && query.ifr_hwaddr.sa_family != ARPHRD_IEEE802)
        return std::nullopt;
    HostNode node{};
    std::memcpy(node.data(), query.ifr_hwaddr.sa_data, node.size());
    if (!UsableHardwareAddress(node)) return std::nullopt;
    return node;
}

bool UpAndNotLoopback(const ControlSocket &control, const std::string &name) {
    if (!NameFits(name)) return false;
    ifreq query = QueryFor(name);
    if (!control.Ask(SIOCGIFFLAGS, query)) return false;
    return (query.ifr_flags & IFF_UP) != 0 && (query.ifr_flags & IFF_LOOPBACK) == 0;
}

std::string ReadWholeFile(const char *path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<HostNode> DefaultRouteNode(const ControlSocket &control) {
    const std::optional<std::string> name = DefaultRouteInterface(ReadWholeFile("/proc/net/route"));
    if (!name) return std::nullopt;
    return HardwareAddressOf(control, *name);
}

std::optional<HostNode> FirstInterfaceNode(const ControlSocket &control) {
    struct if_nameindex *interfaces = ::if_nameindex();
    if (interfaces == nullptr) return std::nullopt;
    std::vector<std::pair<unsigned, std::string>> byIndex;
    for (const struct if_nameindex *entry = interfaces; entry->if_index != 0 && entry->if_name != nullptr; ++entry)
        byIndex.emplace_back(entry->if_index, entry->if_name);
    ::if_freenameindex(interfaces);
    std::sort(byIndex.begin(), byIndex.end());
    for (const auto &[index, name] : byIndex) {
        if (!UpAndNotLoopback(control, name)) continue;
        if (std::optional<HostNode> node = HardwareAddressOf(control, name)) return node;
    }
    return std::nullopt;
}

std::optional<HostNode> IdentityNode() {
    for (const char *path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        if (std::optional<HostNode> node = NodeFromMachineIdentity(ReadWholeFile(path))) return node;
    }
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0) return NodeFromMachineIdentity(name);
    return std::nullopt;
}

}  // namespace

std::optional<HostNode> FindHostNode() {
    const ControlSocket control;
    if (control.Valid()) {
        if (std::optional<HostNode> node = DefaultRouteNode(control)) return node;
        if (std::optional<HostNode> node = FirstInterfaceNode(control)) return node;
    }
    return IdentityNode();
}

}  // namespace detail

namespace {

// 100-nanosecond intervals between 1582-10-15 and 1970-01-01 (RFC 4122 4.1.4).
constexpr std::uint64_t kGregorianToUnix = 0x01B21DD213814000ULL;

std::uint64_t RandomBits() {
    std::uint64_t value = 0;
    if (::getrandom(&value, sizeof value, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof value)) return value;
    // No entropy yet: a mix that still differs between processes.
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return now ^ (static_cast<std::uint64_t>(::getpid()) << 32);
}

// Time stamps only move forward within a process, so two calls within one
// clock tick still give two GUIDs; the clock sequence, random per process,
// keeps processes apart (RFC 4122 4.2.1).
std::uint64_t NextTimeStamp() {
    static std::mutex mutex;
    static std::uint64_t last = 0;
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    std::uint64_t now = static_cast<std::uint64_t>(sinceEpoch.count()) / 100 + kGregorianToUnix;
    const std::lock_guard lock(mutex);
    if (now <= last) now = last + 1;
    last = now;
    return now;
}

std::uint16_t ClockSequence() {
    static const auto sequence = static_cast<std::uint16_t>(RandomBits() & 0x3FFF);
    return sequence;
}

}  // namespace

bool CreateGuid(Guid *guid) {
    if (guid == nullptr) return false;
    const std::optional<detail::HostNode> node = detail::FindHostNode();
    if (!node) return false;
    const std::uint64_t time = NextTimeStamp();
    const std::uint16_t sequence = ClockSequence();
    guid->data1 = static_cast<std::uint32_t>(time);
    guid->data2 = static_cast<std::uint16_t>(time >> 32);
    guid->data3 = static_cast<std::uint16_t>(((time >> 48) & 0x0FFF) | 0x1000);  // version 1
    guid->data4[0] = static_cast<std::uint8_t>(((sequence >> 8) & 0x3F) | 0x80);  // RFC 4122 variant
    guid->data4[1] = static_cast<std::uint8_t>(sequence);
    std::memcpy(guid->data4 + kGuidNodeOffset, node->data(), kGuidNodeLength);
    return true;
}

}  // namespace snmphelper::platform
