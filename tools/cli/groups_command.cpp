// SPDX-License-Identifier: Apache-2.0
// snmphelper groups: lists the fixed object groups and their identifiers.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "groups/object_groups.h"
#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/json_output.h"
#include "tools/cli/library_load.h"

namespace snmphelper::cli {
namespace {

void PrintGroup(std::uint32_t group) {
    const ObjectGroup table = GetObjectGroup(group);
    std::printf("group %u: %u object(s)\n", group, table.count);
    for (std::uint32_t i = 0; i < table.count; ++i) std::printf("  %s\n", table.identifiers[i]);
}

// The groups as one JSON object: {"groups":[{"group":0,"identifiers":[...]},...]}.
void PrintGroupsJson(std::uint32_t first, std::uint32_t last) {
    Json groups = Json::array();
    for (std::uint32_t g = first; g <= last; ++g) {
        const ObjectGroup table = GetObjectGroup(g);
        Json identifiers = Json::array();
        for (std::uint32_t i = 0; i < table.count; ++i) identifiers.push_back(table.identifiers[i]);
        groups.push_back(Json{{"group", g}, {"identifiers", identifiers}});
    }
    PrintJson(Json{{"command", "groups"}, {"groups", groups}});
}

int RunGroups(std::optional<std::uint32_t> group, bool joined, bool json) {
    EnsureLibraryLoaded();
    if (group && *group >= kObjectGroupCount) {
        std::fprintf(stderr, "groups: no group %u; the groups are 0 to %u\n", *group,
                     kObjectGroupCount - 1);
        return kExitUsage;
    }
    const std::uint32_t first = group ? *group : 0;
    const std::uint32_t last = group ? *group : kObjectGroupCount - 1;
    if (json) {
        PrintGroupsJson(first, last);
        return 0;
    }
    for (std::uint32_t g = first; g <= last; ++g) {
        if (!joined) {
            PrintGroup(g);
            continue;
        }
        const char *list = JoinedGroupList(g);
        if (list == nullptr) {
            std::fprintf(stderr, "groups: the joined list of group %u could not be allocated\n", g);
            return 1;
        }
        std::printf("%u %s\n", g, list);
    }
    return 0;
}

struct GroupsOptions {
    std::optional<std::uint32_t> group;
    bool joined = false;
    bool json = false;
};

}  // namespace

void AddGroupsCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<GroupsOptions>();
    Command *command =
        app.add_subcommand("groups", "List the fixed object groups with their identifiers");
    command->add_option("group", options->group, "Only this group (0 to 25)");
    command->add_flag("-j,--joined", options->joined,
                      "Print each group as the comma-joined list that is requested");
    command->add_flag("--json", options->json, "Print one JSON object");
    command->callback(
        [options, &exitCode] { exitCode = RunGroups(options->group, options->joined, options->json); });
}

}  // namespace snmphelper::cli
