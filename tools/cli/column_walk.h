/* SPDX-License-Identifier: Apache-2.0 */
// Reading tables the way RFC 1157 4.1.3 suggests: one get-next request names
// the current row of every column, so each request brings a whole row of
// several tables at once. Columns that leave their subtree drop out; a
// request the agent refuses (tooBig, or noSuchName at the end of its MIB) is
// split in halves until each column's end is found.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/name_form.h"
#include "snmphelper.h"
#include "tools/cli/transaction_text.h"

namespace snmphelper::cli {

// A row's index: the arcs after the column's identifier ("1.3" of
// prtMarkerSuppliesLevel.1.3).
using RowIndex = std::vector<std::uint64_t>;

// One cell a walk read, seen where the walk keeps it (valid while the walk's
// result lives and takes no more cells).
struct WalkCell {
    std::span<const std::uint64_t> index;
    std::int32_t type = 0;
    std::span<const std::uint8_t> value;
};

// What a walk read: every cell of every column in two blocks, not a node
// each, since a fleet's poll holds thousands of walks at once.
class ColumnWalkResult {
public:
    // 0, or the result of the first transaction that failed for another
    // reason than the agent's error-status (nothing came, the reply could not
    // be read): the walk stops there, keeping what it read before.
    std::int32_t result = 0;
    std::size_t transactions = 0;

    explicit ColumnWalkResult(std::size_t columns = 0) : columns_(columns) {}
    std::size_t ColumnCount() const { return columns_; }
    // The cells of `column` (its position in the request), in index order.
    std::span<const WalkCell> Cells(std::size_t column) const;
    // The cell of `column` at `index`, when the walk read one.
    const WalkCell *Find(std::size_t column, std::span<const std::uint64_t> index) const;
    bool AnyRead() const { return !stored_.empty(); }

    // Keeps a cell of `column`, whose index follows the column's last one;
    // where it is kept, for StoredIndex.
    std::size_t Add(std::size_t column, std::span<const std::uint64_t> index, std::int32_t type,
                    std::span<const std::uint8_t> value);
    std::span<const std::uint64_t> StoredIndex(std::size_t stored) const;

    // The room a walk's cells take: cells, their index arcs, their values' octets.
    struct Room {
        std::uint32_t cells = 0, arcs = 0, octets = 0;
    };
    Room Used() const;
    // Makes `room` at once, so that cells up to it are kept without growing.
    void Reserve(const Room &room);

private:
    struct Stored {
        std::uint32_t column;
        std::uint32_t indexAt, indexLength;
        std::uint32_t valueAt, valueLength;
        std::int32_t type;
    };
    // The cells by column, made when first asked for after a change.
    void Order() const;

    std::size_t columns_;
    std::vector<Stored> stored_;  // in the order read
    std::vector<std::uint64_t> arcs_;
    std::vector<std::uint8_t> octets_;
    mutable std::vector<WalkCell> cells_;    // by column, then index
    mutable std::vector<std::size_t> starts_;  // each column's first in cells_, and the end
    mutable bool ordered_ = false;
};

// The identifiers of one request as the library takes them: bindings
// naming dotted-decimal texts, or their contents (NameForm), kept in one
// block. Kept from one request to the next, so that its room is made once
// rather than per identifier.
class RequestIdentifiers {
public:
    // Empties it for identifiers in `names` form.
    void Clear(NameForm names = NameForm::Text);
    // Appends `prefix`, in this request's form, and then `arcs`.
    void Add(std::string_view prefix, std::span<const std::uint64_t> arcs = {});
    // Appends a dotted-decimal identifier in this request's form; an encoded
    // request gets an empty name for text that is not an identifier.
    void AddText(std::string_view identifier);
    // The bindings naming them, valid until the next change.
    std::span<const SnmpVarBind> Bindings();

private:
    void End();

    NameForm names_ = NameForm::Text;
    std::string text_;                 // each identifier followed by a terminator
    std::vector<std::uint32_t> ends_;  // where each one's terminator is
    std::vector<SnmpVarBind> bindings_;
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
        // Each column's arcs as the library writes identifiers, a dot
        // after: a reply's identifier is in the column when it begins so.
        std::vector<std::string> subtrees;
        // Each column's identifier as contents, and as arcs.
        std::vector<std::string> encoded;
        std::vector<std::vector<std::uint64_t>> arcs;
        // What the last walk of these columns read, for the next one's room
        // (walks of one fleet mostly read alike).
        mutable std::atomic<std::uint32_t> lastCells{0}, lastArcs{0}, lastOctets{0};
    };
    static std::shared_ptr<const Columns> Prepare(const std::vector<std::string> &columns);

    explicit ColumnWalk(const std::vector<std::string> &columns);
    // `names`: the form of the requests it names and the replies it takes.
    explicit ColumnWalk(std::shared_ptr<const Columns> columns, NameForm names = NameForm::Text);
    // Names the next get-next request in `request`; false once the walk has
    // ended (Result then holds it all).
    bool Next(RequestIdentifiers &request);
    // The outcome of the request Next named last: its result and the reply
    // (null when none came), read and not kept.
    void Take(std::int32_t result, const SnmpReqParam *reply);
    ColumnWalkResult &Result() { return walk_; }

private:
    struct Cursor {
        std::uint32_t column;
        // The column's last cell read, in Result; none before its first.
        std::int32_t last;
    };
    void Took(std::int32_t result, std::span<const SnmpVarBind> bindings);
    // The row index of a reply's `binding` in `column` into index_; false
    // when the binding is past the column.
    bool ReadIndex(std::uint32_t column, const SnmpVarBind &binding);
    // Tells the columns what this walk read.
    void Remember();

    ColumnWalkResult walk_;
    std::shared_ptr<const Columns> columns_;
    NameForm names_;
    // Sets of columns still to walk, each asked in one request; the last
    // is the one asked now.
    std::vector<std::vector<Cursor>> pending_;
    std::vector<std::uint64_t> index_;  // a reply's row index, room kept
    std::vector<std::uint64_t> arcs_;   // an encoded reply name's arcs, room kept
    bool asked_ = false;
    bool ended_ = false;
    bool remembered_ = false;
};

// Walks `columns` (dotted-decimal identifiers) of printer `printer` in
// parallel, each request through TransactObjects (the command's settings apply).
ColumnWalkResult WalkColumns(const std::string &printer, const std::vector<std::string> &columns);

}  // namespace snmphelper::cli
