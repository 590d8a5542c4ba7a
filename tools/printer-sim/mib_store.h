/* SPDX-License-Identifier: Apache-2.0 */
// The printer's objects: every instance the agent serves, in get-next order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>

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

// A printer's objects. A fleet's printers start from one shared set of
// objects that none of them changes (SharedObjects); each keeps only the
// objects it changed, added or removed, so that a printer costs what it
// changed rather than a whole MIB.
class MibStore {
public:
    using Objects = std::map<Oid, MibObject>;
    using Entry = Objects::value_type;
    using SharedObjects = std::shared_ptr<const Objects>;

    MibStore() = default;
    explicit MibStore(SharedObjects base);

    const MibObject *Find(const Oid &name) const;
    // The object to change in place, made this store's own first; null when
    // there is none.
    MibObject *Modify(const Oid &name);
    // The first object whose name sorts after `name` (RFC 1157 4.1.3), or
    // null at the end of the MIB.
    const Entry *Next(const Oid &name) const;
    // The object `name`, else the first one after it; null at the end.
    const Entry *AtOrAfter(const Oid &name) const;

    void Put(const Oid &name, MibObject object);
    void Erase(const Oid &name);
    // Every object as one set to start other stores from.
    SharedObjects Share() const;
    // Objects this store holds apart from the shared ones (changed, added or removed).
    std::size_t OwnCount() const { return own_.size() + erased_.size(); }
    // False when no object carries faults of its own, so that a request
    // need not look its objects up for them. Modify changes values only.
    bool MayHaveObjectFaults() const { return objectFaults_; }

private:
    bool IsErased(const Oid &name) const { return !erased_.empty() && erased_.count(name) != 0; }
    const Entry *Merge(Objects::const_iterator shared, Objects::const_iterator own) const;

    SharedObjects base_;       // may be null: a store of its own objects only
    Objects own_;              // changed or added, over base_
    std::set<Oid> erased_;     // names of base_ this store removed
    bool objectFaults_ = false;
};

// The arc N of a MIB-II snmp group counter 1.3.6.1.2.1.11.N.0 (RFC 1213
// 6.10), the counters the agent keeps itself; nothing for other names.
std::optional<std::uint32_t> SnmpStatisticArc(const Oid &name);

}  // namespace printersim
