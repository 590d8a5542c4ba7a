// SPDX-License-Identifier: Apache-2.0
// Look-ups in the ordered object store.
#include "tools/printer-sim/mib_store.h"

namespace printersim {

const MibObject *MibStore::Find(const Oid &name) const {
    auto it = objects_.find(name);
    return it == objects_.end() ? nullptr : &it->second;
}

MibObject *MibStore::Find(const Oid &name) {
    auto it = objects_.find(name);
    return it == objects_.end() ? nullptr : &it->second;
}

const MibStore::Objects::value_type *MibStore::Next(const Oid &name) const {
    auto it = objects_.upper_bound(name);
    return it == objects_.end() ? nullptr : &*it;
}


std::optional<std::uint32_t> SnmpStatisticArc(const Oid &name) {
    static const Oid kSnmpGroup{1, 3, 6, 1, 2, 1, 11};
    if (name.size() != kSnmpGroup.size() + 2 || !OidStartsWith(name, kSnmpGroup) || name.back() != 0)
        return std::nullopt;
    const std::uint32_t arc = name[kSnmpGroup.size()];
    // Arcs 7 and 23 are unused and 30 is snmpEnableAuthenTraps, not a counter.
    if (arc < 1 || arc > 29 || arc == 7 || arc == 23) return std::nullopt;
    return arc;
}

}  // namespace printersim
