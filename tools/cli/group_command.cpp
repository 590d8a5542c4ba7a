// snmphelper group: fetches every object of one fixed object group from a
// printer (HelperGetSNMPObjects).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "groups/object_groups.h"
#include "snmphelper.h"
#include "tools/cli/commands.h"
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

int RunGroup(const GroupOptions &options) {
    EnsureLibraryLoaded();
    const std::string command = "group " + std::to_string(options.group);
    std::vector<char> values(kValueRoom, '\0');
    std::uint32_t valueSize = kValueRoom;
    const std::int32_t result = HelperGetSNMPObjects(options.printer.c_str(), options.group, values.data(), &valueSize);
    if (result != 0) return ReportResult(command, options.printer, result, options.json);
    if (valueSize >= kValueRoom) {
        std::printf("%s: the printer answered genErr; the library counts it as success and returned no values\n",
                    command.c_str());
        return 0;
    }
    const auto variables = ParseReply(GroupIdentifiers(options.group).c_str(), values.data(), valueSize);
    if (!variables) {
        std::fprintf(stderr, "%s: printer '%s': the reply's values could not be read back\n", command.c_str(),
                     options.printer.c_str());
        return 1;
    }
    PrintVariables(command, options.printer, *variables, options.json);
    return 0;
}

}  // namespace

void AddGroupCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<GroupOptions>();
    Command *command = app.add_subcommand("group", "Fetch every object of one fixed object group from a printer");
    AddPrinterArguments(*command, options->printer, options->json);
    command->add_option("number", options->group, "Group number, 0 to 25 (see 'snmphelper groups')")->required();
    command->callback([options, &exitCode] { exitCode = RunGroup(*options); });
}

}  // namespace snmphelper::cli
