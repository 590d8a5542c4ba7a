/* SPDX-License-Identifier: Apache-2.0 */
// JSON output of every command, through nlohmann-json: objects keep the
// order their fields are added in, and every text becomes valid UTF-8 first
// (octets that are not are escaped, see EscapeInvalidUtf8), so that writing
// never fails and never changes a character.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace snmphelper::cli {

using Json = nlohmann::ordered_json;

// The text as a JSON string value.
Json JsonText(const std::string &octets);

// Octets as {"hex":"DEADBEEF"}.
Json JsonHex(const std::string &octets);

// The value as one line, without its line feed; the one writer of the
// tool's JSON, which never throws.
std::string JsonLine(const Json &value);

// Writes JsonLine and a line feed to standard output.
void PrintJson(const Json &value);

}  // namespace snmphelper::cli
