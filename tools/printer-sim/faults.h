/* SPDX-License-Identifier: Apache-2.0 */
// Misbehaviour the simulator can be told to show, for testing a manager's
// error handling: chosen for a whole run (--fault) or for every request that
// names one object (fault= in an objects file). The same words serve both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/printer-sim/sim_message.h"

namespace printersim {

struct FaultPlan {
    bool silent = false;                         // silent: never answer
    unsigned dropFirst = 0;                      // drop:N: ignore the first N requests
    bool garbage = false;                        // garbage: answer with octets that are no message
    std::optional<std::size_t> truncateTo;       // truncate[:N]: send only the first N octets (0: half)
    std::optional<std::size_t> oversizeTo;       // oversize[:N]: pad a valid reply to at least N octets
    std::optional<std::int32_t> foreignRequestId;  // foreign-id[:ID]: answer with another request-id
    std::optional<std::int32_t> errorStatus;     // error-status:S[:I]
    std::optional<std::int32_t> errorIndex;
    unsigned delayMs = 0;                        // delay:MS: wait before answering
    std::optional<std::uint16_t> otherPort;      // other-port[:P]: answer from another local port (0: any)

    bool operator==(const FaultPlan &) const = default;
};

constexpr std::size_t kDefaultOversize = 2100;
constexpr unsigned kMaxDelayMs = 60000;

// Adds one fault ("drop:3", "error-status:2:1", ...) to `plan`. On failure
// `error` says what is wrong and `plan` is unchanged.
bool ParseFault(std::string_view text, FaultPlan &plan, std::string &error);
// The fault texts that rebuild `plan`, for writing an objects file back.
std::vector<std::string> FaultTexts(const FaultPlan &plan);
// Combines two plans: any flag set in either, the larger count or delay,
// `from`'s choices where both give one.
void MergeFaults(FaultPlan &into, const FaultPlan &from);

// Changes the reply before it is encoded: error-status and index, request-id.
void ApplyMessageFaults(const FaultPlan &plan, Message &reply);
// Encodes the reply and then spoils its octets as the plan says.
std::vector<std::uint8_t> EncodeWithFaults(const FaultPlan &plan, const Message &reply);

}  // namespace printersim
