// The transaction engine: one request to one printer, formed from text, sent
// through a channel, the reply matched by its request-id. HelperSNMPTransact
// writes the reply back as text into the caller's buffers;
// HelperSNMPTransactEx hands it back decoded, with the call's own timing.
#pragma once

#include <cstdint>

#include "snmphelper.h"

namespace snmphelper {

// Room of the buffer a reply is received into.
inline constexpr std::uint32_t kReplyBufferSize = 2048;
// Seconds a set request waits for each reply, whatever the configuration says.
inline constexpr std::int32_t kSetRequestTimeoutSeconds = 10;

// Runs one transaction, with the arguments of HelperSNMPTransact. With
// `waitForReply` false the request is sent once, as the channel sends it,
// and the send result is returned without reading any reply.
std::int32_t RunTransaction(const char *printerName, std::int32_t requestType, char *oidList,
                            std::uint32_t oidListSize, char *valueList, std::uint32_t *valueListSize,
                            std::uint32_t varCount, bool waitForReply);

}  // namespace snmphelper
