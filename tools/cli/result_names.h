/* SPDX-License-Identifier: Apache-2.0 */
// Names of every result code the library's functions return, with the
// library's text for each (HelperResultText), for messages a person reads.
#pragma once

#include <cstdint>
#include <string>

namespace snmphelper::cli {

struct ResultName {
    std::int32_t code;
    const char *name;
    const char *meaning;
};

// The table entry for `code`, or null for a code the library does not define.
const ResultName *FindResultName(std::int32_t code);

// "NAME (code): meaning", or "result code N (unknown)".
std::string DescribeResult(std::int32_t code);

// Whether a result means the printer stayed silent (no reply in time).
bool IsSilence(std::int32_t code);

// DescribeResult, led by what to do about a printer that did not answer
// ("no reply (check the address, ...); ") for the results that mean so.
std::string DescribeFailure(std::int32_t code);

}  // namespace snmphelper::cli
