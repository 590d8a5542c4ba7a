#include "tools/cli/column_walk.h"

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
Exchange Exchanged(const TransactionOutcome &outcome, std::size_t asked) {
    Exchange exchange;
    exchange.result = outcome.result;
    if (outcome.result == 0) {
        if (outcome.variables.size() == asked) {
            exchange.variables = outcome.variables;
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

ColumnWalk::ColumnWalk(const std::vector<std::string> &columns) {
    walk_.columns.resize(columns.size());
    std::vector<Cursor> first;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        roots_.push_back(Arcs(columns[i]));
        first.push_back({i, columns[i], roots_.back()});
    }
    pending_.push_back(std::move(first));
}

std::optional<std::vector<std::string>> ColumnWalk::Next() {
    while (!ended_ && !pending_.empty() && pending_.back().empty()) pending_.pop_back();
    if (ended_ || pending_.empty() || walk_.transactions >= kMaxTransactions) return std::nullopt;
    std::vector<std::string> identifiers;
    for (const Cursor &cursor : pending_.back()) identifiers.push_back(cursor.at);
    asked_ = true;
    return identifiers;
}

void ColumnWalk::Take(const TransactionOutcome &outcome) {
    if (!asked_) return;
    asked_ = false;
    std::vector<Cursor> cursors = std::move(pending_.back());
    pending_.pop_back();
    const Exchange exchange = Exchanged(outcome, cursors.size());
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
    for (std::size_t i = 0; i < cursors.size(); ++i) {
        const ReplyVariable &variable = (*exchange.variables)[i];
        std::vector<std::uint64_t> arcs = Arcs(variable.oid);
        const std::vector<std::uint64_t> &root = roots_[cursors[i].column];
        // Past its column, or not after what was asked: the column ends.
        if (!InSubtree(root, arcs) || !(cursors[i].previous < arcs)) continue;
        walk_.columns[cursors[i].column][RowIndex(arcs.begin() + static_cast<std::ptrdiff_t>(root.size()),
                                                  arcs.end())] = variable;
        next.push_back({cursors[i].column, variable.oid, std::move(arcs)});
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

std::optional<std::vector<ReplyVariable>> ObjectsOf(const TransactionOutcome &outcome, std::size_t asked,
                                                    std::int32_t &result) {
    Exchange exchange = Exchanged(outcome, asked);
    result = exchange.result;
    return std::move(exchange.variables);
}

std::optional<std::vector<ReplyVariable>> GetObjects(const std::string &printer,
                                                     const std::vector<std::string> &identifiers,
                                                     std::int32_t &result) {
    return ObjectsOf(TransactObjects(printer, SNMP_REQUEST_GET, identifiers), identifiers.size(), result);
}

}  // namespace snmphelper::cli
