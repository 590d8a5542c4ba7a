// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/column_walk.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "codec/ber_decode.h"
#include "codec/ber_encode.h"
#include "codec/pdu_encoder.h"
#include "tools/cli/oid_arcs.h"

namespace snmphelper::cli {
namespace {

// Enough for any printer's tables; stops an agent whose tables never end.
constexpr std::size_t kMaxTransactions = 10000;
// A walk's first room at most, whatever the last one read: one printer with
// huge tables does not make every later walk of a fleet take as much.
constexpr std::uint32_t kMostReservedCells = 1024;

// Whether the agent refused this request as a whole rather than went silent:
// an error-status (genErr included), or a reply too large for the buffers.
bool Refused(std::int32_t result) {
    return result == SNMP_RESULT_ERROR_STATUS || result == SNMP_RESULT_DOES_NOT_FIT;
}

std::span<const std::uint64_t> Slice(const std::vector<std::uint64_t> &arcs, std::uint32_t at, std::uint32_t length) {
    return {arcs.data() + at, length};
}

}  // namespace

std::span<const WalkCell> ColumnWalkResult::Cells(std::size_t column) const {
    if (column >= columns_) return {};
    Order();
    return {cells_.data() + starts_[column], starts_[column + 1] - starts_[column]};
}

const WalkCell *ColumnWalkResult::Find(std::size_t column, std::span<const std::uint64_t> index) const {
    const std::span<const WalkCell> cells = Cells(column);
    const auto found = std::lower_bound(cells.begin(), cells.end(), index, [](const WalkCell &cell, auto wanted) {
        return std::lexicographical_compare(cell.index.begin(), cell.index.end(), wanted.begin(), wanted.end());
    });
    if (found == cells.end() || !std::equal(found->index.begin(), found->index.end(), index.begin(), index.end())) {
        return nullptr;
    }
    return &*found;
}

std::size_t ColumnWalkResult::Add(std::size_t column, std::span<const std::uint64_t> index, std::int32_t type,
                                  std::span<const std::uint8_t> value) {
    stored_.push_back({static_cast<std::uint32_t>(column), static_cast<std::uint32_t>(arcs_.size()),
                       static_cast<std::uint32_t>(index.size()), static_cast<std::uint32_t>(octets_.size()),
                       static_cast<std::uint32_t>(value.size()), type});
    arcs_.insert(arcs_.end(), index.begin(), index.end());
    octets_.insert(octets_.end(), value.begin(), value.end());
    ordered_ = false;
    return stored_.size() - 1;
}

ColumnWalkResult::Room ColumnWalkResult::Used() const {
    return {static_cast<std::uint32_t>(stored_.size()), static_cast<std::uint32_t>(arcs_.size()),
            static_cast<std::uint32_t>(octets_.size())};
}

void ColumnWalkResult::Reserve(const Room &room) {
    stored_.reserve(room.cells);
    arcs_.reserve(room.arcs);
    octets_.reserve(room.octets);
}

std::span<const std::uint64_t> ColumnWalkResult::StoredIndex(std::size_t stored) const {
    return Slice(arcs_, stored_[stored].indexAt, stored_[stored].indexLength);
}

void ColumnWalkResult::Order() const {
    if (ordered_) return;
    // Each column's cells were read in index order: a stable order by
    // column keeps it.
    starts_.assign(columns_ + 1, 0);
    for (const Stored &stored : stored_) ++starts_[stored.column + 1];
    for (std::size_t column = 0; column < columns_; ++column) starts_[column + 1] += starts_[column];
    std::vector<std::size_t> next(starts_.begin(), starts_.end() - 1);
    cells_.assign(stored_.size(), WalkCell{});
    for (const Stored &stored : stored_) {
        cells_[next[stored.column]++] = {Slice(arcs_, stored.indexAt, stored.indexLength), stored.type,
                                         {octets_.data() + stored.valueAt, stored.valueLength}};
    }
    ordered_ = true;
}

std::shared_ptr<const ColumnWalk::Columns> ColumnWalk::Prepare(const std::vector<std::string> &columns) {
    auto prepared = std::make_shared<Columns>();
    prepared->identifiers = columns;
    for (const std::string &column : columns) {
        std::vector<std::uint64_t> arcs = Arcs(column);
        std::string subtree;
        AppendArcs(arcs, subtree, 0);
        subtree += '.';
        prepared->subtrees.push_back(std::move(subtree));
        RequestIdentifiers encoded;
        encoded.Clear(NameForm::Encoded);
        encoded.AddText(column);
        const SnmpVarBind &name = encoded.Bindings().front();
        prepared->encoded.emplace_back(name.oid, name.oidLength);
        prepared->arcs.push_back(std::move(arcs));
    }
    return prepared;
}

ColumnWalk::ColumnWalk(const std::vector<std::string> &columns) : ColumnWalk(Prepare(columns)) {}

ColumnWalk::ColumnWalk(std::shared_ptr<const Columns> columns, NameForm names)
    : walk_(columns->identifiers.size()), columns_(std::move(columns)), names_(names) {
    std::vector<Cursor> first;
    first.reserve(columns_->identifiers.size());
    for (std::size_t i = 0; i < columns_->identifiers.size(); ++i) first.push_back({static_cast<std::uint32_t>(i), -1});
    pending_.push_back(std::move(first));
}

void RequestIdentifiers::Clear(NameForm names) {
    names_ = names;
    text_.clear();
    ends_.clear();
}

void RequestIdentifiers::End() {
    ends_.push_back(static_cast<std::uint32_t>(text_.size()));
    text_ += '\0';
}

void RequestIdentifiers::Add(std::string_view prefix, std::span<const std::uint64_t> arcs) {
    const std::size_t start = text_.size();
    text_.append(prefix);
    if (names_ == NameForm::Text) {
        AppendArcs(arcs, text_, start);
    } else {
        for (const std::uint64_t arc : arcs) {
            std::uint8_t octets[kMostSubidentifierOctets];
            text_.append(reinterpret_cast<const char *>(octets), WriteSubidentifier(arc, octets));
        }
    }
    End();
}

void RequestIdentifiers::AddText(std::string_view identifier) {
    if (names_ == NameForm::Text) {
        Add(identifier);
        return;
    }
    std::uint8_t contents[kOidScratchSize];
    const std::string terminated(identifier);
    const int octets = OidTextToBer(contents, kOidScratchSize, terminated.c_str());
    if (octets > 0) text_.append(reinterpret_cast<const char *>(contents), static_cast<std::size_t>(octets));
    End();
}

std::span<const SnmpVarBind> RequestIdentifiers::Bindings() {
    bindings_.assign(ends_.size(), SnmpVarBind{});
    std::size_t start = 0;
    for (std::size_t i = 0; i < ends_.size(); ++i) {
        bindings_[i].oid = text_.data() + start;
        bindings_[i].oidLength = static_cast<std::uint16_t>(std::min<std::size_t>(ends_[i] - start, 0xFFFF));
        start = ends_[i] + 1;
    }
    return bindings_;
}

bool ColumnWalk::Next(RequestIdentifiers &request) {
    while (!ended_ && !pending_.empty() && pending_.back().empty()) pending_.pop_back();
    if (ended_ || pending_.empty() || walk_.transactions >= kMaxTransactions) {
        Remember();
        return false;
    }
    request.Clear(names_);
    const std::vector<std::string> &prefixes =
        names_ == NameForm::Encoded ? columns_->encoded : columns_->identifiers;
    for (const Cursor &cursor : pending_.back()) {
        const std::string &column = prefixes[cursor.column];
        if (cursor.last < 0) {
            request.Add(column);
        } else {
            request.Add(column, walk_.StoredIndex(static_cast<std::size_t>(cursor.last)));
        }
    }
    asked_ = true;
    return true;
}

void ColumnWalk::Take(std::int32_t result, const SnmpReqParam *reply) {
    if (!asked_) return;
    result = ReplyResultOf(result, reply);
    if (result != 0) {
        Took(result, {});
    } else if (reply == nullptr || reply->varBindCount != pending_.back().size()) {
        // Not a binding for each column asked: the reply cannot be read.
        Took(SNMP_RESULT_DECODE_FAILED, {});
    } else {
        Took(0, {reply->varBinds, reply->varBindCount});
    }
}

// `bindings` as many as the columns asked when `result` is 0.
void ColumnWalk::Took(std::int32_t result, std::span<const SnmpVarBind> bindings) {
    asked_ = false;
    std::vector<Cursor> cursors = std::move(pending_.back());
    pending_.pop_back();
    ++walk_.transactions;
    if (Refused(result)) {
        // A single column that is refused has ended (or cannot be read).
        if (cursors.size() == 1) return;
        const auto half = cursors.begin() + static_cast<std::ptrdiff_t>(cursors.size() / 2);
        pending_.emplace_back(half, cursors.end());
        pending_.emplace_back(cursors.begin(), half);
        return;
    }
    if (result != 0) {
        walk_.result = result;
        ended_ = true;
        return;
    }
    // Room for as many cells as the last walk of these columns read, once
    // this one goes on past its first reply, rather than growing into it a
    // doubling at a time. (A fleet's walks may wait after their first reply:
    // that holds one row.)
    if (!walk_.AnyRead()) {
        // The first row, as it came.
        std::uint32_t octets = 0;
        for (const SnmpVarBind &binding : bindings) octets += binding.value != nullptr ? binding.valueLength : 0;
        const auto cells = static_cast<std::uint32_t>(bindings.size());
        walk_.Reserve({cells, cells * 2, octets});
    } else if (walk_.transactions == 2) {
        const ColumnWalkResult::Room used = walk_.Used();
        walk_.Reserve(
            {std::max(used.cells, std::min(columns_->lastCells.load(std::memory_order_relaxed), kMostReservedCells)),
             std::max(used.arcs, std::min(columns_->lastArcs.load(std::memory_order_relaxed), kMostReservedCells * 4)),
             std::max(used.octets,
                      std::min(columns_->lastOctets.load(std::memory_order_relaxed), kMostReservedCells * 64))});
    }
    // The cursors move on in place: the columns that end drop out.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < cursors.size(); ++i) {
        const SnmpVarBind &binding = bindings[i];
        if (!ReadIndex(cursors[i].column, binding)) continue;  // past its column
        const std::span<const std::uint64_t> index(index_);
        if (cursors[i].last >= 0) {
            // Not after what was asked: the column ends rather than loops.
            const std::span<const std::uint64_t> previous =
                walk_.StoredIndex(static_cast<std::size_t>(cursors[i].last));
            if (!std::lexicographical_compare(previous.begin(), previous.end(), index.begin(), index.end())) continue;
        }
        const std::span<const std::uint8_t> value(binding.value, binding.value == nullptr ? 0 : binding.valueLength);
        const std::size_t stored = walk_.Add(cursors[i].column, index, binding.valueType, value);
        cursors[kept++] = {cursors[i].column, static_cast<std::int32_t>(stored)};
    }
    cursors.resize(kept);
    pending_.push_back(std::move(cursors));
}

void ColumnWalk::Remember() {
    if (remembered_ || !walk_.AnyRead()) return;
    remembered_ = true;
    const ColumnWalkResult::Room used = walk_.Used();
    columns_->lastCells.store(used.cells, std::memory_order_relaxed);
    columns_->lastArcs.store(used.arcs, std::memory_order_relaxed);
    columns_->lastOctets.store(used.octets, std::memory_order_relaxed);
}

bool ColumnWalk::ReadIndex(std::uint32_t column, const SnmpVarBind &binding) {
    if (binding.oid == nullptr) return false;
    if (names_ == NameForm::Encoded) {
        // The column's contents end with a whole sub-identifier: a name
        // that begins with them is in the column, and the rest is its row.
        const auto *name = reinterpret_cast<const std::uint8_t *>(binding.oid);
        const std::string &prefix = columns_->encoded[column];
        if (prefix.empty()) return false;  // not an identifier: nothing is in it
        if (binding.oidLength > prefix.size() && std::memcmp(name, prefix.data(), prefix.size()) == 0) {
            return SubidentifiersToArcs(name + prefix.size(), binding.oidLength - prefix.size(), index_);
        }
        // Only a name with a sub-identifier in redundant octets (a group
        // 0x80 leading it) can name the column's arcs in other octets.
        if (std::memchr(name, 0x80, binding.oidLength) == nullptr) return false;
        const std::span<const std::uint64_t> root = columns_->arcs[column];
        if (!OidBerToArcs(name, binding.oidLength, arcs_) || !InSubtree(root, arcs_)) return false;
        index_.assign(arcs_.begin() + static_cast<std::ptrdiff_t>(root.size()), arcs_.end());
        return true;
    }
    // The library writes a reply's identifier without leading zeros, so the
    // column's text begins it exactly when its arcs do; only the row index
    // is read as numbers.
    const std::string_view subtree = columns_->subtrees[column];
    const std::string_view oid(binding.oid, binding.oidLength);
    return oid.starts_with(subtree) && ReadArcs(oid.substr(subtree.size()), index_);
}

ColumnWalkResult WalkColumns(const std::string &printer, const std::vector<std::string> &columns) {
    // Each request through TransactObjects, so that the command's timeout,
    // retries and progress line apply.
    ColumnWalk walk(columns);
    RequestIdentifiers request;
    while (walk.Next(request)) {
        TypedReply reply;
        const std::int32_t result = TransactObjects(printer, SNMP_REQUEST_GET_NEXT, request.Bindings(), reply);
        walk.Take(result, reply.Record());
    }
    return std::move(walk.Result());
}

}  // namespace snmphelper::cli
