// SPDX-License-Identifier: Apache-2.0
// snmphelper form: prints the request message HelperFormSNMPPacket builds.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tools/cli/commands.h"
#include "tools/cli/json_output.h"
#include "tools/cli/value_text.h"
#include "tools/cli/library_load.h"

namespace snmphelper::cli {
namespace {

struct FormOptions {
    std::string requestType;
    std::string identifiers;
    std::string values;
    std::uint32_t count = 0;  // 0: every identifier of the list
    bool json = false;
};

std::int32_t RequestTypeCode(const std::string &name) {
    if (name == "get") return SNMP_REQUEST_GET;
    if (name == "getnext") return SNMP_REQUEST_GET_NEXT;
    return SNMP_REQUEST_SET;
}

std::uint32_t CountIdentifiers(const std::string &list) {
    std::uint32_t count = 1;
    for (char c : list) {
        if (c == ',') ++count;
    }
    return count;
}

// Writable copy with its terminator, as the library splits lists in place.
std::vector<char> WritableText(const std::string &text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    return buffer;
}

int RunForm(const FormOptions &options) {
    EnsureLibraryLoaded();
    std::vector<char> identifiers = WritableText(options.identifiers);
    std::vector<char> values = WritableText(options.values);
    const auto identifierSize = static_cast<std::uint32_t>(identifiers.size());
    const auto valueSize = static_cast<std::uint32_t>(values.size());
    const std::uint32_t count =
        options.count != 0 ? options.count : CountIdentifiers(options.identifiers);

    std::uint32_t length = 0;
    std::uint8_t *packet =
        HelperFormSNMPPacket(RequestTypeCode(options.requestType), identifiers.data(),
                             identifierSize, values.data(), &valueSize, count, &length);
    if (packet == nullptr) {
        std::fprintf(stderr,
                     "form: the %s request for %u variable(s) could not be formed "
                     "(identifier list, value list or encoding refused)\n",
                     options.requestType.c_str(), count);
        return 1;
    }
    const std::string hex = HexOctets(packet, length);
    HelperFreeBlock(packet);
    if (options.json) {
        PrintJson(Json{{"command", "form"}, {"type", options.requestType}, {"length", length}, {"hex", hex}});
    } else {
        std::printf("%s\n", hex.c_str());
    }
    return 0;
}

}  // namespace

void AddFormCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<FormOptions>();
    Command *command = app.add_subcommand(
        "form", "Print the hex of the SNMPv1 request formed from identifiers and values");
    command->add_option("type", options->requestType, "Request type")
        ->required()
        ->check_member({"get", "getnext", "set"});
    command
        ->add_option(
            "oids", options->identifiers,
            "Object identifiers joined by commas, e.g. 1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.6.0")
        ->required();
    command->add_option("values", options->values,
                        "Values of a set request, e.g. 2,7,printer,1,42 (type code, comma, value)");
    command->add_option("-n,--count", options->count,
                        "Number of variables to take (default: every identifier)");
    command->add_flag("--json", options->json, "Print one JSON object");
    command->callback([options, &exitCode] { exitCode = RunForm(*options); });
}

}  // namespace snmphelper::cli
