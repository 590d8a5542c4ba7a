/* SPDX-License-Identifier: Apache-2.0 */
// The transaction engine's text edge: HelperSNMPTransact and
// HelperSNMPTransactEx take the request as text, split the caller's
// identifier list in place into typed bindings and run them through the
// typed core (transact/typed_transaction.h). HelperSNMPTransact writes the
// reply back as text into the caller's buffers; HelperSNMPTransactEx hands
// it back decoded, with the call's own timing.
#pragma once

#include <cstdint>

#include "snmphelper.h"
#include "transact/typed_transaction.h"

namespace snmphelper {

// Runs one transaction, with the arguments of HelperSNMPTransact. With
// `waitForReply` false the request is sent once, as the channel sends it,
// and the send result is returned without reading any reply.
std::int32_t RunTransaction(const char *printerName, std::int32_t requestType, char *oidList,
                            std::uint32_t oidListSize, char *valueList, std::uint32_t *valueListSize,
                            std::uint32_t varCount, bool waitForReply);

// HelperSNMPTransact's judgement of a reply's error-status: 0 for none and
// for genErr (5), which it counts as success; 25011 for any other.
std::int32_t ErrorStatusResult(std::uint8_t errorStatus);

// HelperSNMPTransact's answer for an accepted reply: an error-status as
// ErrorStatusResult judges it, with the buffers left as they are;
// otherwise the identifiers go into `oidList` (room `oidListSize`; the size
// the extraction reports is not passed back) and the values into
// `valueList` (room and length through `valueListSize`). Values that do not
// fit are 25012, except for a set, which has done its work.
std::int32_t DeliverReply(const SnmpReqParam &reply, std::int32_t requestType, char *oidList,
                          std::uint32_t oidListSize, char *valueList, std::uint32_t *valueListSize);

}  // namespace snmphelper
