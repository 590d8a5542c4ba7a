/* SPDX-License-Identifier: Apache-2.0 */
// The process-wide request-id counter shared by every request the library
// forms, so that a reply can be matched to its request.
#pragma once

#include <cstdint>

namespace snmphelper {

// Adds 1 to the counter and returns the new value, in one indivisible step:
// requests formed at the same time on different threads get different ids.
// The first id after load is 1 (unless StartRequestIdsUnpredictably moved
// the counter); the counter wraps from 2147483647 to -2147483648.
std::int32_t NextRequestId();

// Sets the counter back to 0, as it is when the library is loaded.
void ResetRequestIds();

// The first call after load moves the counter on by a random amount (from
// the system's random source), so that another host cannot guess the ids
// this process will use; later calls do nothing. Ids taken before and after
// stay distinct until the counter wraps.
void StartRequestIdsUnpredictably();

// Whether StartRequestIdsUnpredictably has moved the counter since load:
// after that, nobody needs to read the setting that asks for it.
bool RequestIdsStartedUnpredictably();

}  // namespace snmphelper
