// SPDX-License-Identifier: Apache-2.0
// snmphelper getnext: reads the objects that follow the given identifiers
// with one GetNextRequest.
#include <memory>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tools/cli/commands.h"
#include "tools/cli/library_load.h"
#include "tools/cli/transaction_text.h"

namespace snmphelper::cli {
namespace {

struct GetNextOptions {
    std::string printer;
    std::vector<std::string> identifiers;
    bool json = false;
};

}  // namespace

void AddGetNextCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<GetNextOptions>();
    Command *command =
        app.add_subcommand("getnext", "Read the objects following the given identifiers (one GetNextRequest)");
    AddPrinterArguments(*command, options->printer, options->json);
    AddTransactionOptions(*command);
    command->add_option("oids", options->identifiers, "Object identifiers, e.g. 1.3.6.1.2.1.1")->required();
    command->callback([options, &exitCode] {
        EnsureLibraryLoaded();
        exitCode = RunAndPrint("getnext", options->printer, SNMP_REQUEST_GET_NEXT,
                               JoinIdentifiers(options->identifiers), "", options->json);
    });
}

}  // namespace snmphelper::cli
