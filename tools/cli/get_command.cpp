// SPDX-License-Identifier: Apache-2.0
// snmphelper get: reads objects of a registered printer with one GetRequest.
#include <memory>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tools/cli/commands.h"
#include "tools/cli/library_load.h"
#include "tools/cli/transaction_text.h"

namespace snmphelper::cli {
namespace {

struct GetOptions {
    std::string printer;
    std::vector<std::string> identifiers;
    bool json = false;
};

}  // namespace

void AddGetCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<GetOptions>();
    Command *command = app.add_subcommand("get", "Read objects of a printer (one GetRequest)");
    AddPrinterArguments(*command, options->printer, options->json);
    AddTransactionOptions(*command);
    command->add_option("oids", options->identifiers, "Object identifiers, e.g. 1.3.6.1.2.1.1.5.0")->required();
    command->callback([options, &exitCode] {
        EnsureLibraryLoaded();
        exitCode = RunAndPrint("get", options->printer, SNMP_REQUEST_GET, JoinIdentifiers(options->identifiers),
                               "", options->json);
    });
}

}  // namespace snmphelper::cli
