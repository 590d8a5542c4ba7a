/* SPDX-License-Identifier: Apache-2.0 */
// The variable-bindings list shared by the GetResponse and Trap decoders
// (RFC 1157 4.1.1): a SEQUENCE of VarBind SEQUENCEs, each a name and a value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "codec/byte_cursor.h"
#include "codec/name_form.h"
#include "snmphelper.h"

namespace snmphelper {

// Entries a decoded record holds at most; a longer list is refused.
inline constexpr std::uint16_t kMaxVarBinds = 40;

// Where a decoder's zero-filled blocks come from: by default the global
// heap, each block released on its own (HelperFreeReqParam); or a caller's
// arena that releases them all at once. Null when there is no room.
class BlockSource {
public:
    virtual void *Zeroed(std::size_t size) = 0;
    // The size of the block for a text of `length` octets whose record
    // block is `recordSize`: the heap's keeps the record's layout, an arena
    // that only the library reads takes the text and its terminator.
    virtual std::size_t TextBlockSize(std::size_t length, std::size_t recordSize) const {
        static_cast<void>(length);
        return recordSize;
    }

protected:
    ~BlockSource() = default;
};
BlockSource &HeapBlocks();

// A zero-filled block of kMaxVarBinds entries, or null.
SnmpVarBind *AllocateVarBindBlock(BlockSource &blocks = HeapBlocks());

// Decodes the contents of the variable-bindings SEQUENCE into `entries`
// (a block from AllocateVarBindBlock). Each entry gets an `oid` block (512
// octets from the heap; see TextBlockSize) and a `value` block. With `fixedValueRoom` every value block has that room
// and a value that does not fit is refused; without it each block fits its
// value. Either way a value block is one octet longer than the value it
// holds, so text values stay zero-terminated.
// `count` is raised before an entry gets its first block, so a record released
// after a failure frees everything allocated here. With NameForm::Encoded each
// `oid` holds the name's contents instead (oidLength octets and a zero), the
// same names refused as in text.
bool DecodeVarBindList(ByteCursor list, SnmpVarBind *entries, std::uint16_t &count,
                       std::optional<std::uint32_t> fixedValueRoom, BlockSource &blocks = HeapBlocks(),
                       NameForm names = NameForm::Text);

}  // namespace snmphelper
