/* SPDX-License-Identifier: Apache-2.0 */
// The printer's objects: every instance the agent serves, in get-next order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

#include "tools/printer-sim/faults.h"
#include "tools/printer-sim/sim_message.h"
#include "tools/printer-sim/sim_oid.h"

namespace printersim {

enum class Access { ReadOnly, ReadWrite };

// Where a value comes from when it is read.
enum class ValueSource {
    Fixed,          // the stored value
    Uptime,         // TimeTicks since the agent started (sysUpTime)
    SnmpStatistic,  // the agent's own counter of the MIB-II snmp group arc
};

// Inclusive bounds a set must respect: the number for INTEGER, the length
// for OCTET STRING.
struct Bounds {
    std::int64_t low = 0;
    std::int64_t high = 0;

    bool operator==(const Bounds &) const = default;
};

// DisplayString (RFC 1213 3.2): what a writable text takes without bounds given.
constexpr Bounds kDisplayStringSize{0, 255};

struct MibObject {
    Value value;
    Access access = Access::ReadOnly;
    ValueSource source = ValueSource::Fixed;
    std::optional<Bounds> bounds;
    FaultPlan faults;  // shown on every request that names this object
};

class MibStore {
public:
    using Objects = std::map<Oid, MibObject>;

    const MibObject *Find(const Oid &name) const;
    MibObject *Find(const Oid &name);
    // The first object whose name sorts after `name` (RFC 1157 4.1.3), or
    // null at the end of the MIB.
    const Objects::value_type *Next(const Oid &name) const;

    void Put(const Oid &name, MibObject object) { objects_[name] = std::move(object); }
    void Erase(const Oid &name) { objects_.erase(name); }
    const Objects &All() const { return objects_; }

private:
    Objects objects_;
};

// The arc N of a MIB-II snmp group counter 1.3.6.1.2.1.11.N.0 (RFC 1213
// 6.10), the counters the agent keeps itself; nothing for other names.
std::optional<std::uint32_t> SnmpStatisticArc(const Oid &name);

}  // namespace printersim
