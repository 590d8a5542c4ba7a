// SPDX-License-Identifier: Apache-2.0
#include "tools/printer-sim/fleet.h"

#include <arpa/inet.h>

#include <cstdint>

namespace printersim {

namespace {

bool ParseAddress(const std::string &text, std::uint32_t &address) {
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
    address = ntohl(parsed.s_addr);
    return true;
}

std::string AddressText(std::uint32_t address) {
    in_addr out{};
    out.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &out, text, sizeof text);
    return text;
}

}  // namespace

bool ParseAddressRange(std::string_view text, std::vector<std::string> &addresses, std::string &error) {
    const std::size_t dash = text.find('-');
    const std::string first(text.substr(0, dash));
    const std::string last(dash == std::string_view::npos ? text : text.substr(dash + 1));
    std::uint32_t from = 0;
    std::uint32_t to = 0;
    if (!ParseAddress(first, from) || !ParseAddress(last, to)) {
        error = "expected an IPv4 address or a range FIRST-LAST, such as 10.0.0.1-10.0.0.200";
        return false;
    }
    if (to < from || to - from >= kMaxFleetSize) {
        error = "the range must run upwards and hold at most " + std::to_string(kMaxFleetSize) + " addresses";
        return false;
    }
    addresses.clear();
    for (std::uint32_t address = from;; ++address) {
        addresses.push_back(AddressText(address));
        if (address == to) break;
    }
    return true;
}

bool ParseFaultAt(std::string_view text, std::map<std::string, PrinterFaults> &byAddress, std::string &error) {
    const std::size_t equals = text.find('=');
    std::uint32_t address = 0;
    if (equals == std::string_view::npos || !ParseAddress(std::string(text.substr(0, equals)), address)) {
        error = "expected ADDRESS=FAULT, such as 10.0.0.7=silent or 10.0.0.8=paper-jam";
        return false;
    }
    const std::string_view word = text.substr(equals + 1);
    PrinterFaults &printer = byAddress[AddressText(address)];
    PrinterCondition condition{};
    if (ParsePrinterCondition(word, condition)) {
        printer.conditions.push_back(condition);
        return true;
    }
    if (ParseFault(word, printer.faults, error)) return true;
    error += std::string("; or a printer condition: ") + PrinterConditionWords();
    return false;
}

}  // namespace printersim
