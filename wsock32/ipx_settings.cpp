// SPDX-License-Identifier: Apache-2.0
// Where IPX runs: the interface, our node and network numbers and the
// framing sent, from the environment and the interfaces of this network
// namespace. Interfaces are asked through ioctl, never /sys: inside a
// network namespace /sys/class/net may list another namespace's interfaces.
#include "wsock32/winsock_internal.h"

#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/environment.h"
#include "wsock32/ipx_socket.h"

namespace snmphelper::ipx {
namespace {

using winsock::detail::System;

// An environment variable, or null when it is unset or empty (or ignored,
// platform/environment.h).
const char *Setting(const char *name) {
    const char *value = platform::ReadSetting(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Exactly eight hex digits, most significant first, as NetWare writes them.
bool ParseNetwork(const char *text, std::array<std::uint8_t, 4> &network) {
    if (std::strlen(text) != 8) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        network[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

// A descriptor for interface ioctls; any socket family serves, and AF_UNIX
// needs neither privilege nor an Internet stack.
class IoctlSocket {
public:
    IoctlSocket()
        : descriptor_(System().socket == nullptr
                          ? -1
                          : System().socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~IoctlSocket() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    IoctlSocket(const IoctlSocket &) = delete;
    IoctlSocket &operator=(const IoctlSocket &) = delete;
    int Descriptor() const { return descriptor_; }

private:
    int descriptor_;
};

struct InterfaceFacts {
    bool up = false;
    bool loopback = false;
    bool sixByteAddress = false;  // Ethernet, or loopback's six zero octets
    std::array<std::uint8_t, 6> address{};
};

bool ReadInterface(int descriptor, const char *name, InterfaceFacts &facts) {
    ::ifreq request{};
    if (std::strlen(name) >= sizeof request.ifr_name) return false;
    std::strncpy(request.ifr_name, name, sizeof request.ifr_name - 1);
    if (::ioctl(descriptor, SIOCGIFFLAGS, &request) != 0) return false;
    facts.up = (request.ifr_flags & IFF_UP) != 0;
    facts.loopback = (request.ifr_flags & IFF_LOOPBACK) != 0;
    if (::ioctl(descriptor, SIOCGIFHWADDR, &request) != 0) return false;
    const unsigned family = request.ifr_hwaddr.sa_family;
    facts.sixByteAddress = family == ARPHRD_ETHER || family == ARPHRD_LOOPBACK;
    std::memcpy(facts.address.data(), request.ifr_hwaddr.sa_data, facts.address.size());
    return true;
}

int UseInterface(const char *name, const InterfaceFacts &facts, IpxSettings &settings,
                 std::string &problem) {
    const unsigned index = ::if_nametoindex(name);
    if (index == 0) {
        problem = std::string("interface ") + name + " went away";
        return ENODEV;
    }
    settings.interfaceName = name;
    settings.interfaceIndex = static_cast<int>(index);
    settings.node = facts.address;
    return 0;
}

int PickNamedInterface(int descriptor, const char *name, IpxSettings &settings,
                       std::string &problem) {
    InterfaceFacts facts;
    if (!ReadInterface(descriptor, name, facts)) {
        problem = std::string("SNMPHELPER_IPX_INTERFACE: no interface ") + name;
        return ENODEV;
    }
    if (!facts.sixByteAddress) {
        problem = std::string("SNMPHELPER_IPX_INTERFACE: ") + name + " has no Ethernet address";
        return ENODEV;
    }
    return UseInterface(name, facts, settings, problem);
}

int PickFirstInterface(int descriptor, IpxSettings &settings, std::string &problem) {
    struct ::if_nameindex *names = ::if_nameindex();
    if (names == nullptr) {
        problem = "cannot list the network interfaces";
        return errno != 0 ? errno : ENODEV;
    }
    int result = ENODEV;
    for (const struct ::if_nameindex *entry = names; entry->if_index != 0; ++entry) {
        InterfaceFacts facts;
        if (!ReadInterface(descriptor, entry->if_name, facts)) continue;
        if (!facts.up || facts.loopback || !facts.sixByteAddress) continue;
        result = UseInterface(entry->if_name, facts, settings, problem);
        if (result == 0) break;
    }
    ::if_freenameindex(names);
    if (result != 0) problem = "no interface is up with an Ethernet address";
    return result;
}

}  // namespace

int ResolveSettings(IpxSettings &settings, std::string &problem) {
    IpxSettings resolved;
    if (const char *network = Setting("SNMPHELPER_IPX_NETWORK")) {
        if (!ParseNetwork(network, resolved.network)) {
            problem = std::string("SNMPHELPER_IPX_NETWORK: \"") + network +
                      "\" is not 8 hex digits";
            return EINVAL;
        }
    }
    if (const char *frame = Setting("SNMPHELPER_IPX_FRAME")) {
        if (!FrameTypeFromName(frame, resolved.sendFrame)) {
            problem = std::string("SNMPHELPER_IPX_FRAME: \"") + frame +
                      "\" is not ethernet_ii, 802.3, 802.2 or snap";
            return EINVAL;
        }
    }
    const IoctlSocket probe;
    if (probe.Descriptor() < 0) {
        const int error = System().socket == nullptr ? ENOSYS : errno;
        problem = std::string("cannot open a socket to ask for interfaces: ") + std::strerror(error);
        return error;
    }
    const char *name = Setting("SNMPHELPER_IPX_INTERFACE");
    const int result = name != nullptr
                           ? PickNamedInterface(probe.Descriptor(), name, resolved, problem)
                           : PickFirstInterface(probe.Descriptor(), resolved, problem);
    if (result != 0) return result;
    settings = resolved;
    return 0;
}

bool MayOpenPacketSockets() {
    if (System().socket == nullptr) return false;
    // Protocol 0: the socket receives nothing before it is bound.
    const int descriptor = System().socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
    if (descriptor < 0) return false;
    ::close(descriptor);
    return true;
}

}  // namespace snmphelper::ipx
