// SPDX-License-Identifier: Apache-2.0
// GUID creation on Windows: CoCreateGuid, with the node field made the
// host's own. CoCreateGuid's GUIDs are random (version 4), so their last six
// bytes change on every call; the library keys a printer's row for this
// host by those bytes, so they are replaced by a node that stays: an
// adapter's address from a sequential UUID, or, where the system gives only
// a local one (no adapter, RPC_S_UUID_LOCAL_ONLY), a keyed hash of the
// machine's GUID.
#include <windows.h>
#include <objbase.h>
#include <rpc.h>

#include <cstring>

#include "platform/guid.h"
#include "platform/host_node.h"

namespace snmphelper::platform {
namespace detail {
namespace {

std::optional<HostNode> MachineGuidNode() {
    // The 64-bit view on a 64-bit system: a 32-bit process has its own.
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", 0, KEY_READ | KEY_WOW64_64KEY,
                        &key) == ERROR_SUCCESS) {
        char text[128] = {};
        DWORD size = sizeof text - 1;
        DWORD type = 0;
        const LONG status =
            ::RegQueryValueExA(key, "MachineGuid", nullptr, &type, reinterpret_cast<BYTE *>(text), &size);
        ::RegCloseKey(key);
        if (status == ERROR_SUCCESS && type == REG_SZ) {
            if (std::optional<HostNode> node = NodeFromMachineIdentity(std::string_view(text, strnlen(text, size))))
                return node;
        }
    }
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    if (::GetComputerNameA(name, &length) != 0) return NodeFromMachineIdentity(std::string_view(name, length));
    return std::nullopt;
}

}  // namespace

std::optional<HostNode> FindHostNode() {
    UUID sequential{};
    if (::UuidCreateSequential(&sequential) == RPC_S_OK) {
        HostNode node{};
        std::memcpy(node.data(), sequential.Data4 + kGuidNodeOffset, node.size());
        return node;
    }
    return MachineGuidNode();
}

}  // namespace detail

bool CreateGuid(Guid *guid) {
    if (guid == nullptr) return false;
    GUID created{};
    if (FAILED(::CoCreateGuid(&created))) return false;
    const std::optional<detail::HostNode> node = detail::FindHostNode();
    if (!node) return false;
    static_assert(sizeof created == sizeof *guid);
    std::memcpy(guid, &created, sizeof *guid);
    std::memcpy(guid->data4 + kGuidNodeOffset, node->data(), kGuidNodeLength);
    return true;
}

}  // namespace snmphelper::platform
