/* SPDX-License-Identifier: Apache-2.0 */
// The protocols' names on the command line and in the output: ip, ipx, dlc.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace snmphelper::cli {

// The code (1 IPX, 2 IP, 4 DLC) of "ip", "ipx" or "dlc".
std::optional<std::uint8_t> ProtocolCode(const std::string &name);
// Adds the codes of a comma-separated list of names to `bits`; false, with
// `problem` naming the unknown name, for any other word.
bool ParseProtocolList(const std::string &names, std::uint32_t &bits, std::string &problem);
// "dlc,ip,ipx" for the bits set, in the order the channel prefers; "none".
std::string ProtocolList(std::uint32_t bits);
// The name of one code; "unset" for 0, "invalid" for another number.
std::string ProtocolNameOf(std::uint32_t code);

}  // namespace snmphelper::cli
