// SPDX-License-Identifier: Apache-2.0
// Look-ups in the ordered object store.
#include "tools/printer-sim/mib_store.h"

namespace printersim {

MibStore::MibStore(SharedObjects base) : base_(std::move(base)) {
    if (base_ == nullptr) return;
    for (const auto &[name, object] : *base_) {
        if (object.faults != FaultPlan{}) {
            objectFaults_ = true;
            break;
        }
    }
}

const MibObject *MibStore::Find(const Oid &name) const {
    if (auto it = own_.find(name); it != own_.end()) return &it->second;
    if (base_ == nullptr || IsErased(name)) return nullptr;
    auto it = base_->find(name);
    return it == base_->end() ? nullptr : &it->second;
}

MibObject *MibStore::Modify(const Oid &name) {
    if (auto it = own_.find(name); it != own_.end()) return &it->second;
    if (base_ == nullptr || IsErased(name)) return nullptr;
    auto it = base_->find(name);
    if (it == base_->end()) return nullptr;
    return &own_.emplace(name, it->second).first->second;
}

// The smaller of the two candidates, this store's own winning a tie; the
// shared objects this store removed are passed over.
const MibStore::Entry *MibStore::Merge(Objects::const_iterator shared, Objects::const_iterator own) const {
    if (base_ != nullptr) {
        while (shared != base_->end() && IsErased(shared->first)) ++shared;
    }
    const bool haveShared = base_ != nullptr && shared != base_->end();
    const bool haveOwn = own != own_.end();
    if (!haveShared) return haveOwn ? &*own : nullptr;
    if (!haveOwn || shared->first < own->first) return &*shared;
    return &*own;
}

const MibStore::Entry *MibStore::Next(const Oid &name) const {
    return Merge(base_ != nullptr ? base_->upper_bound(name) : Objects::const_iterator{}, own_.upper_bound(name));
}

const MibStore::Entry *MibStore::AtOrAfter(const Oid &name) const {
    return Merge(base_ != nullptr ? base_->lower_bound(name) : Objects::const_iterator{}, own_.lower_bound(name));
}

void MibStore::Put(const Oid &name, MibObject object) {
    objectFaults_ = objectFaults_ || object.faults != FaultPlan{};
    own_[name] = std::move(object);
    if (!erased_.empty()) erased_.erase(name);
}

void MibStore::Erase(const Oid &name) {
    own_.erase(name);
    if (base_ != nullptr && base_->count(name) != 0) erased_.insert(name);
}

MibStore::SharedObjects MibStore::Share() const {
    if (own_.empty() && erased_.empty() && base_ != nullptr) return base_;
    auto objects = std::make_shared<Objects>();
    for (const Entry *entry = AtOrAfter({}); entry != nullptr; entry = Next(entry->first)) objects->insert(*entry);
    return objects;
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
