// SPDX-License-Identifier: Apache-2.0
// Row handling of the trap destination table.
#include "tools/printer-sim/trap_table.h"

namespace printersim {

namespace {

constexpr std::size_t kIndexArcs = 6;

struct CellName {
    std::uint32_t column = 0;
    Oid index;
};

Oid CellOid(std::uint32_t column, const Oid &index) {
    Oid name = TrapDestinationEntry();
    name.push_back(column);
    name.insert(name.end(), index.begin(), index.end());
    return name;
}

// Column and index of a cell name; false for names that no row can have.
bool SplitCellName(const Oid &name, CellName &cell) {
    const Oid &entry = TrapDestinationEntry();
    if (!OidStartsWith(name, entry) || name.size() != entry.size() + 1 + kIndexArcs) return false;
    cell.column = name[entry.size()];
    cell.index.assign(name.begin() + static_cast<std::ptrdiff_t>(entry.size() + 1), name.end());
    for (std::uint32_t arc : cell.index)
        if (arc > 255) return false;
    switch (cell.column) {
    case kColumnIpAddress:
    case kColumnIpxNetwork:
    case kColumnProtocol:
    case kColumnProtocolSet:
    case kColumnRowState:
        return true;
    default:
        return false;
    }
}

MibObject Cell(Value value) {
    MibObject object;
    object.value = std::move(value);
    object.access = Access::ReadWrite;
    return object;
}

std::size_t RowCount(const MibStore &store) {
    std::size_t rows = 0;
    const Oid stateColumn = CellOid(kColumnRowState, {});
    for (const auto *entry = store.AtOrAfter(stateColumn); entry != nullptr && OidStartsWith(entry->first, stateColumn);
         entry = store.Next(entry->first))
        ++rows;
    return rows;
}

void CreateRow(MibStore &store, const Oid &index) {
    store.Put(CellOid(kColumnIpAddress, index), Cell(IpAddressValue({0, 0, 0, 0})));
    store.Put(CellOid(kColumnIpxNetwork, index), Cell(OctetsValue(kTagOctetString, std::array<std::uint8_t, 4>{})));
    store.Put(CellOid(kColumnProtocol, index), Cell(IntegerValue(2)));
    store.Put(CellOid(kColumnProtocolSet, index), Cell(IntegerValue(0)));
    store.Put(CellOid(kColumnRowState, index), Cell(IntegerValue(kRowBeingFilled)));
}

void EraseRow(MibStore &store, const Oid &index) {
    for (std::uint32_t column : {kColumnIpAddress, kColumnIpxNetwork, kColumnProtocol,
                                 kColumnProtocolSet, kColumnRowState})
        store.Erase(CellOid(column, index));
}

// The value is of the column's type and within what the column allows.
bool FitsColumn(std::uint32_t column, const Value &value) {
    std::int32_t number = 0;
    switch (column) {
    case kColumnIpAddress:
        return value.tag == kTagIpAddress && value.contents.size() == 4;
    case kColumnIpxNetwork:
        return value.tag == kTagOctetString && value.contents.size() == 4;
    case kColumnProtocol:
        return value.tag == kTagInteger && DecodeSigned(value.contents, number) &&
               (number == 1 || number == 2 || number == 4);
    case kColumnProtocolSet:
        return value.tag == kTagInteger && DecodeSigned(value.contents, number) && number >= 0 &&
               number <= 7;
    default:
        return value.tag == kTagInteger && DecodeSigned(value.contents, number) &&
               (number == kRowComplete || number == kRowBeingFilled || number == kRowWithdraw);
    }
}

std::array<std::uint8_t, 4> RowAddress(const MibStore &store, const Oid &index) {
    std::array<std::uint8_t, 4> address{};
    const MibObject *cell = store.Find(CellOid(kColumnIpAddress, index));
    if (cell != nullptr && cell->value.contents.size() == 4)
        std::copy(cell->value.contents.begin(), cell->value.contents.end(), address.begin());
    return address;
}

std::int32_t SetRowState(MibStore &store, const Oid &index, std::int32_t state,
                         std::vector<std::array<std::uint8_t, 4>> &completed) {
    MibObject *stateCell = store.Modify(CellOid(kColumnRowState, index));
    if (state == kRowWithdraw) {
        // Withdrawing a row that is not there leaves the table as asked.
        if (stateCell != nullptr) EraseRow(store, index);
        return kNoError;
    }
    if (stateCell == nullptr) {
        if (RowCount(store) >= kMaxTrapDestinations) return kGenErr;
        CreateRow(store, index);
        stateCell = store.Modify(CellOid(kColumnRowState, index));
    }
    std::int32_t previous = 0;
    DecodeSigned(stateCell->value.contents, previous);
    stateCell->value = IntegerValue(state);
    if (state == kRowComplete && previous != kRowComplete) completed.push_back(RowAddress(store, index));
    return kNoError;
}

}  // namespace

const Oid &TrapDestinationEntry() {
    static const Oid kEntry{1, 3, 6, 1, 4, 1, 236, 11, 5, 1, 12, 6, 2, 4, 1};
    return kEntry;
}

bool IsTrapDestinationName(const Oid &name) { return OidStartsWith(name, TrapDestinationEntry()); }

std::int32_t SetTrapDestination(MibStore &store, const Oid &name, const Value &value,
                                std::vector<std::array<std::uint8_t, 4>> &completed) {
    CellName cell;
    if (!SplitCellName(name, cell)) return kNoSuchName;
    if (!FitsColumn(cell.column, value)) return kBadValue;
    std::int32_t state = 0;
    if (cell.column == kColumnRowState) {
        DecodeSigned(value.contents, state);
        return SetRowState(store, cell.index, state, completed);
    }
    MibObject *target = store.Modify(name);
    if (target == nullptr) return kNoSuchName;
    target->value = value;
    return kNoError;
}

std::vector<std::array<std::uint8_t, 4>> CompleteTrapDestinations(const MibStore &store) {
    std::vector<std::array<std::uint8_t, 4>> addresses;
    const Oid stateColumn = CellOid(kColumnRowState, {});
    for (const auto *entry = store.AtOrAfter(stateColumn); entry != nullptr && OidStartsWith(entry->first, stateColumn);
         entry = store.Next(entry->first)) {
        std::int32_t state = 0;
        if (!DecodeSigned(entry->second.value.contents, state) || state != kRowComplete) continue;
        const Oid index(entry->first.begin() + static_cast<std::ptrdiff_t>(stateColumn.size()), entry->first.end());
        addresses.push_back(RowAddress(store, index));
    }
    return addresses;
}

WatchSnapshot SnapshotWatched(const MibStore &store, const std::vector<Oid> &watched) {
    WatchSnapshot snapshot;
    for (const Oid &prefix : watched) {
        for (const auto *entry = store.AtOrAfter(prefix); entry != nullptr && OidStartsWith(entry->first, prefix);
             entry = store.Next(entry->first))
            snapshot.emplace(entry->first, entry->second.value);
    }
    return snapshot;
}

std::vector<Oid> ChangedObjects(const WatchSnapshot &before, const WatchSnapshot &after) {
    std::vector<Oid> changed;
    for (const auto &[name, value] : after) {
        const auto previous = before.find(name);
        if (previous == before.end() || !(previous->second == value)) changed.push_back(name);
    }
    return changed;
}

}  // namespace printersim
