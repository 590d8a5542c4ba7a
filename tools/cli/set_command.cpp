// SPDX-License-Identifier: Apache-2.0
// snmphelper set: writes objects of a printer with one SetRequest.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tools/cli/commands.h"
#include "tools/cli/library_load.h"
#include "tools/cli/transaction_text.h"

namespace snmphelper::cli {
namespace {

struct SetOptions {
    std::string printer;
    std::vector<std::string> triples;  // OID TYPE VALUE, repeated
    bool json = false;
};

int RunSet(const SetOptions &options) {
    if (options.triples.size() % 3 != 0) {
        std::fprintf(stderr, "set: give OID TYPE VALUE for each object (%zu words given)\n",
                     options.triples.size());
        return 2;
    }
    std::vector<std::string> identifiers;
    std::vector<std::string> values;
    for (std::size_t i = 0; i < options.triples.size(); i += 3) {
        std::string problem;
        const std::string item = ValueItem(options.triples[i + 1], options.triples[i + 2], problem);
        if (item.empty()) {
            std::fprintf(stderr, "set: %s: %s\n", options.triples[i].c_str(), problem.c_str());
            return 2;
        }
        identifiers.push_back(options.triples[i]);
        values.push_back(item);
    }
    EnsureLibraryLoaded();
    return RunAndPrint("set", options.printer, SNMP_REQUEST_SET, JoinIdentifiers(identifiers),
                       JoinValueItems(values), options.json);
}

}  // namespace

void AddSetCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<SetOptions>();
    Command *command = app.add_subcommand("set", "Write objects of a printer (one SetRequest)");
    AddPrinterArguments(*command, options->printer, options->json);
    AddTransactionOptions(*command);
    command->add_option("assignments", options->triples,
                        "OID TYPE VALUE, repeated; TYPE: integer, string, hex, ipaddress, counter, gauge, "
                        "timeticks, oid, or net-snmp's i, u, t, a, o, s, x, d, n")
        ->required();
    command->callback([options, &exitCode] { exitCode = RunSet(*options); });
}

}  // namespace snmphelper::cli
