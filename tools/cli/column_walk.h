/* SPDX-License-Identifier: Apache-2.0 */
// Reading tables the way RFC 1157 4.1.3 suggests: one get-next request names
// the current row of every column, so each request brings a whole row of
// several tables at once. Columns that leave their subtree drop out; a
// request the agent refuses (tooBig, or noSuchName at the end of its MIB) is
// split in halves until each column's end is found.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/cli/transaction_text.h"

namespace snmphelper::cli {

// A row's index: the arcs after the column's identifier ("1.3" of
// prtMarkerSuppliesLevel.1.3).
using RowIndex = std::vector<std::uint64_t>;

struct ColumnWalkResult {
    // 0, or the result of the first transaction that failed for another
    // reason than the agent's error-status (nothing came, the reply could not
    // be read): the walk stops there, keeping what it read before.
    std::int32_t result = 0;
    // By column (its position in the request), the rows read, in order.
    std::vector<std::map<RowIndex, ReplyVariable>> columns;
    std::size_t transactions = 0;
};

// A column walk one request at a time, for a caller that sends the
// requests itself (many printers' walks in flight at once): Next names the
// get-next request to send, Take hands over what it brought.
class ColumnWalk {
public:
    // The columns as identifiers and as arcs, read once and shared by the
    // walks of many printers.
    struct Columns {
        std::vector<std::string> identifiers;
        std::vector<std::vector<std::uint64_t>> roots;
    };
    static std::shared_ptr<const Columns> Prepare(const std::vector<std::string> &columns);

    explicit ColumnWalk(const std::vector<std::string> &columns);
    // `keepNames` false: the variables in Result carry no identifier (their
    // row index says where they are), which keeps a fleet's walks small.
    ColumnWalk(std::shared_ptr<const Columns> columns, bool keepNames);
    // The identifiers of the next get-next request; nothing once the walk
    // has ended (Result then holds it all).
    std::optional<std::vector<std::string>> Next();
    // The outcome of the request Next named last.
    void Take(TransactionOutcome outcome);
    ColumnWalkResult &Result() { return walk_; }

private:
    struct Cursor {
        std::size_t column;
        std::string at;                      // the identifier the next get-next names
        // Its arcs: a reply must follow them; empty for the column itself,
        // which everything below it follows.
        std::vector<std::uint64_t> previous;
    };
    ColumnWalkResult walk_;
    std::shared_ptr<const Columns> columns_;
    bool keepNames_ = true;
    // Sets of columns still to walk, each asked in one request; the last
    // is the one asked now.
    std::vector<std::vector<Cursor>> pending_;
    bool asked_ = false;
    bool ended_ = false;
};

// Walks `columns` (dotted-decimal identifiers) of printer `printer` in
// parallel, each request through TransactObjects (the command's settings apply).
ColumnWalkResult WalkColumns(const std::string &printer, const std::vector<std::string> &columns);

// The variables of a get of `asked` identifiers, as GetObjects gives them,
// from its outcome.
std::optional<std::vector<ReplyVariable>> ObjectsOf(TransactionOutcome outcome, std::size_t asked,
                                                    std::int32_t &result);

// One get of `identifiers`; the variables in their order, or nothing when
// the printer refused the request or did not answer (`result` says which).
std::optional<std::vector<ReplyVariable>> GetObjects(const std::string &printer,
                                                     const std::vector<std::string> &identifiers,
                                                     std::int32_t &result);

}  // namespace snmphelper::cli
