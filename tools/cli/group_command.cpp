// SPDX-License-Identifier: Apache-2.0
// snmphelper group: fetches every object of one fixed object group from a
// printer (HelperGetSNMPObjects).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "groups/object_groups.h"
#include "snmphelper.h"
#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/library_load.h"
#include "tools/cli/transaction_text.h"

namespace snmphelper::cli {
namespace {

struct GroupOptions {
    std::string printer;
    std::uint32_t group = 0;
    bool json = false;
};

// The group's identifiers, comma-joined, as the reply names its values.
std::string GroupIdentifiers(std::uint32_t group) {
    const ObjectGroup table = GetObjectGroup(group);
    std::vector<std::string> identifiers(table.identifiers, table.identifiers + table.count);
    return JoinIdentifiers(identifiers);
}

// The same GetRequest HelperGetSNMPObjects sends, made through
// HelperSNMPTransactEx, so that an object the printer lacks is named and the
// others are still read.
int RunGroup(const GroupOptions &options) {
    const std::string command = "group " + std::to_string(options.group);
    if (options.group >= kObjectGroupCount) {
        std::fprintf(stderr, "%s: there are %u groups, 0 to %u (see 'snmphelper groups')\n", command.c_str(),
                     kObjectGroupCount, kObjectGroupCount - 1);
        return kExitUsage;
    }
    EnsureLibraryLoaded();
    return RunAndPrint(command, options.printer, SNMP_REQUEST_GET, GroupIdentifiers(options.group), "", options.json);
}

}  // namespace

void AddGroupCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<GroupOptions>();
    Command *command = app.add_subcommand("group", "Fetch every object of one fixed object group from a printer");
    AddPrinterArguments(*command, options->printer, options->json);
    AddTransactionOptions(*command);
    command->add_option("number", options->group, "Group number, 0 to 25 (see 'snmphelper groups')")->required();
    command->callback([options, &exitCode] { exitCode = RunGroup(*options); });
}

}  // namespace snmphelper::cli
