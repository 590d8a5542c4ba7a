/* SPDX-License-Identifier: Apache-2.0 */
// Requests read back, for tools that show what the library sends: the
// GetResponse decoder (HelperSnmpDecodePdu) taking a GetRequest,
// GetNextRequest or SetRequest instead; and the GetResponse decoder with
// its blocks from an arena, for a receiver of many replies.
#pragma once

#include <cstdint>

#include "codec/varbind_list_decoder.h"
#include "snmphelper.h"

namespace snmphelper {

// Decodes one SNMPv1 GetRequest, GetNextRequest or SetRequest message under
// HelperSnmpDecodePdu's rules; pduType says which. Null when refused.
// Release the record with HelperFreeReqParam.
SnmpReqParam *DecodeRequestMessage(const std::uint8_t *data, std::uint32_t length);

// HelperSnmpDecodePdu with the names in `names` form (DecodeVarBindList).
SnmpReqParam *DecodeResponseRecord(const std::uint8_t *data, std::uint32_t length, NameForm names);

// HelperSnmpDecodePdu into `record` (cleared first), every block from
// `blocks`: false when refused, the blocks taken so far then left to the
// source. Never for HelperFreeReqParam unless the source is HeapBlocks().
bool DecodeResponseInto(const std::uint8_t *data, std::uint32_t length, SnmpReqParam &record, BlockSource &blocks,
                        NameForm names = NameForm::Text);

}  // namespace snmphelper
