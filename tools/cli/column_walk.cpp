// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/column_walk.h"

#include "snmphelper.h"
#include "tools/cli/oid_arcs.h"

namespace snmphelper::cli {
namespace {

// Enough for any printer's tables; stops an agent whose tables never end.
constexpr std::size_t kMaxTransactions = 10000;

// Where one column's walk stands.
struct ColumnCursor {
    std::size_t column;
    std::string at;                      // the identifier the next get-next names
    std::vector<std::uint64_t> previous;  // its arcs: a reply must follow them
};

// One transaction's outcome: the variables, or the result that refused them.
struct Exchange {
    std::int32_t result = 0;
    std::optional<std::vector<ReplyVariable>> variables;  // none for genErr (no values written)
};

// One request through the tool's TransactObjects, so that the command's
// timeout, retries and progress line apply.
Exchange Exchanged(const std::string &printer, std::int32_t requestType, const std::vector<std::string> &identifiers) {
    const TransactionOutcome outcome = TransactObjects(printer, requestType, identifiers);
    Exchange exchange;
    exchange.result = outcome.result;
    if (outcome.result == 0) {
        if (outcome.variables.size() == identifiers.size()) {
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

ColumnWalkResult WalkColumns(const std::string &printer, const std::vector<std::string> &columns) {
    ColumnWalkResult walk;
    walk.columns.resize(columns.size());
    std::vector<std::vector<std::uint64_t>> roots;
    std::vector<ColumnCursor> first;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        roots.push_back(Arcs(columns[i]));
        first.push_back({i, columns[i], roots.back()});
    }
    // Sets of columns still to walk, each asked in one request.
    std::vector<std::vector<ColumnCursor>> pending{first};
    while (!pending.empty() && walk.transactions < kMaxTransactions) {
        std::vector<ColumnCursor> cursors = std::move(pending.back());
        pending.pop_back();
        if (cursors.empty()) continue;
        std::vector<std::string> identifiers;
        for (const ColumnCursor &cursor : cursors) identifiers.push_back(cursor.at);
        const Exchange exchange = Exchanged(printer, SNMP_REQUEST_GET_NEXT, identifiers);
        ++walk.transactions;
        if (Refused(exchange)) {
            // A single column that is refused has ended (or cannot be read).
            if (cursors.size() == 1) continue;
            const auto half = cursors.begin() + static_cast<std::ptrdiff_t>(cursors.size() / 2);
            pending.emplace_back(half, cursors.end());
            pending.emplace_back(cursors.begin(), half);
            continue;
        }
        if (exchange.result != 0) {
            walk.result = exchange.result;
            return walk;
        }
        std::vector<ColumnCursor> next;
        for (std::size_t i = 0; i < cursors.size(); ++i) {
            const ReplyVariable &variable = (*exchange.variables)[i];
            std::vector<std::uint64_t> arcs = Arcs(variable.oid);
            const std::vector<std::uint64_t> &root = roots[cursors[i].column];
            // Past its column, or not after what was asked: the column ends.
            if (!InSubtree(root, arcs) || !(cursors[i].previous < arcs)) continue;
            walk.columns[cursors[i].column][RowIndex(arcs.begin() + static_cast<std::ptrdiff_t>(root.size()),
                                                     arcs.end())] = variable;
            next.push_back({cursors[i].column, variable.oid, std::move(arcs)});
        }
        pending.push_back(std::move(next));
    }
    return walk;
}

std::optional<std::vector<ReplyVariable>> GetObjects(const std::string &printer,
                                                     const std::vector<std::string> &identifiers,
                                                     std::int32_t &result) {
    const Exchange exchange = Exchanged(printer, SNMP_REQUEST_GET, identifiers);
    result = exchange.result;
    return exchange.variables;
}

}  // namespace snmphelper::cli
