// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/column_walk.h"

#include <utility>

#include "snmphelper.h"
#include "tools/cli/oid_arcs.h"

namespace snmphelper::cli {
namespace {

// Enough for any printer's tables; stops an agent whose tables never end.
constexpr std::size_t kMaxTransactions = 10000;

// One transaction's outcome: the variables, or the result that refused them.
struct Exchange {
    std::int32_t result = 0;
    std::optional<std::vector<ReplyVariable>> variables;  // none for genErr (no values written)
};

// A request's outcome with its variables checked against what was asked.
Exchange Exchanged(TransactionOutcome &&outcome, std::size_t asked) {
    Exchange exchange;
    exchange.result = outcome.result;
    if (outcome.result == 0) {
        if (outcome.variables.size() == asked) {
            exchange.variables = std::move(outcome.variables);
        } else {
            exchange.result = SNMP_RESULT_DECODE_FAILED;
        }
    }
    return exchange;
}

// Whether the agent refused this request as a whole rather than went silent:
// an error-status (genErr included), or a reply too large for the buffers.
bool Refused(const Exchange &exchange) {
    return exchange.result == SNMP_RESULT_ERROR_STATUS || exchange.result == SNMP_RESULT_DOES_NOT_FIT ||
           (exchange.result == 0 && !exchange.variables);
}

}  // namespace

std::shared_ptr<const ColumnWalk::Columns> ColumnWalk::Prepare(const std::vector<std::string> &columns) {
    auto prepared = std::make_shared<Columns>();
    prepared->identifiers = columns;
    for (const std::string &column : columns) prepared->roots.push_back(Arcs(column));
    return prepared;
}

ColumnWalk::ColumnWalk(const std::vector<std::string> &columns) : ColumnWalk(Prepare(columns), true) {}

ColumnWalk::ColumnWalk(std::shared_ptr<const Columns> columns, bool keepNames)
    : columns_(std::move(columns)), keepNames_(keepNames) {
    const std::vector<std::string> &identifiers = columns_->identifiers;
    walk_.columns.resize(identifiers.size());
    std::vector<Cursor> first;
    first.reserve(identifiers.size());
    for (std::size_t i = 0; i < identifiers.size(); ++i) first.push_back({i, identifiers[i], {}});
    pending_.push_back(std::move(first));
}

std::optional<std::vector<std::string>> ColumnWalk::Next() {
    while (!ended_ && !pending_.empty() && pending_.back().empty()) pending_.pop_back();
    if (ended_ || pending_.empty() || walk_.transactions >= kMaxTransactions) return std::nullopt;
    std::vector<std::string> identifiers;
    identifiers.reserve(pending_.back().size());
    for (const Cursor &cursor : pending_.back()) identifiers.push_back(cursor.at);
    asked_ = true;
    return identifiers;
}

void ColumnWalk::Take(TransactionOutcome outcome) {
    if (!asked_) return;
    asked_ = false;
    std::vector<Cursor> cursors = std::move(pending_.back());
    pending_.pop_back();
    Exchange exchange = Exchanged(std::move(outcome), cursors.size());
    ++walk_.transactions;
    if (Refused(exchange)) {
        // A single column that is refused has ended (or cannot be read).
        if (cursors.size() == 1) return;
        const auto half = cursors.begin() + static_cast<std::ptrdiff_t>(cursors.size() / 2);
        pending_.emplace_back(half, cursors.end());
        pending_.emplace_back(cursors.begin(), half);
        return;
    }
    if (exchange.result != 0) {
        walk_.result = exchange.result;
        ended_ = true;
        return;
    }
    std::vector<Cursor> next;
    next.reserve(cursors.size());
    for (std::size_t i = 0; i < cursors.size(); ++i) {
        ReplyVariable &variable = (*exchange.variables)[i];
        std::vector<std::uint64_t> arcs = Arcs(variable.oid);
        const std::vector<std::uint64_t> &root = columns_->roots[cursors[i].column];
        // Past its column, or not after what was asked: the column ends.
        if (!InSubtree(root, arcs) || !(cursors[i].previous < arcs)) continue;
        std::string at;
        if (keepNames_) {
            at = variable.oid;
        } else {
            at.swap(variable.oid);
        }
        walk_.columns[cursors[i].column].insert_or_assign(
            RowIndex(arcs.begin() + static_cast<std::ptrdiff_t>(root.size()), arcs.end()), std::move(variable));
        next.push_back({cursors[i].column, std::move(at), std::move(arcs)});
    }
    pending_.push_back(std::move(next));
}

ColumnWalkResult WalkColumns(const std::string &printer, const std::vector<std::string> &columns) {
    // Each request through TransactObjects, so that the command's timeout,
    // retries and progress line apply.
    ColumnWalk walk(columns);
    while (const auto identifiers = walk.Next()) {
        walk.Take(TransactObjects(printer, SNMP_REQUEST_GET_NEXT, *identifiers));
    }
    return std::move(walk.Result());
}

std::optional<std::vector<ReplyVariable>> ObjectsOf(TransactionOutcome outcome, std::size_t asked,
                                                    std::int32_t &result) {
    Exchange exchange = Exchanged(std::move(outcome), asked);
    result = exchange.result;
    return std::move(exchange.variables);
}

std::optional<std::vector<ReplyVariable>> GetObjects(const std::string &printer,
                                                     const std::vector<std::string> &identifiers,
                                                     std::int32_t &result) {
    return ObjectsOf(TransactObjects(printer, SNMP_REQUEST_GET, identifiers), identifiers.size(), result);
}

}  // namespace snmphelper::cli
