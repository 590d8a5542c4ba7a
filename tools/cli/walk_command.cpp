// SPDX-License-Identifier: Apache-2.0
// snmphelper walk: reads a subtree of a printer's objects with get-next
// requests, one object at a time, until the replies leave the subtree.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/library_load.h"
#include "tools/cli/oid_arcs.h"
#include "tools/cli/transaction_text.h"

namespace snmphelper::cli {
namespace {

// Enough for any printer's MIB; stops a printer that never ends its MIB.
constexpr std::size_t kMaxWalkSteps = 100000;

struct WalkOptions {
    std::string printer;
    std::string root = "1.3.6.1.2.1.1";
    bool json = false;
};

// RFC 1157 4.1.3: past the last object an SNMPv1 agent answers noSuchName.
constexpr std::uint32_t kErrorStatusNoSuchName = 2;

// What the walk read, printed as it comes in text and kept for JSON.
struct WalkState {
    const WalkOptions &options;
    std::vector<ReplyVariable> found;

    void Add(const ReplyVariable &variable) {
        if (!options.json) PrintVariables("walk", options.printer, {variable}, false);
        found.push_back(variable);
    }
    // What was read is kept: in text it has been printed already, in JSON it
    // goes with the failure.
    int Fail(std::int32_t result) const {
        return ReportResultWithVariables("walk", options.printer, result, found, options.json);
    }
    int Fail(const TransactionOutcome &outcome, const std::string &requested) const {
        return ReportErrorStatus("walk", options.printer, outcome, {requested},
                                 options.json ? found : std::vector<ReplyVariable>{}, {}, options.json);
    }
    int Unreadable(const std::string &problem) const {
        std::fprintf(stderr, "walk: printer '%s': %s\n", options.printer.c_str(), problem.c_str());
        return Fail(SNMP_RESULT_DECODE_FAILED);
    }
};

// net-snmp's snmpwalk, for a root that is a leaf: a get of the root itself.
int GetRoot(WalkState &walk, const std::string &root) {
    const TransactionOutcome outcome = Transact(walk.options.printer, SNMP_REQUEST_GET, root, "");
    if (outcome.result == SNMP_RESULT_ERROR_STATUS && outcome.errorStatus == kErrorStatusNoSuchName) {
        if (!walk.options.json) {
            std::fprintf(stderr, "walk: printer '%s' has no object at or below %s\n", walk.options.printer.c_str(),
                         root.c_str());
        }
    } else if (outcome.result == SNMP_RESULT_ERROR_STATUS) {
        return walk.Fail(outcome, root);
    } else if (outcome.result != 0) {
        return walk.Fail(outcome.result);
    } else {
        for (const ReplyVariable &variable : outcome.variables) walk.Add(variable);
    }
    if (walk.options.json) PrintVariables("walk", walk.options.printer, walk.found, true);
    return kExitOk;
}

// The arc of a root of one arc written as net-snmp's users write it to walk
// everything (".1"), or nothing. Without the dot a lone arc stays refused as
// any identifier of one arc is: it is more likely a slip than "everything".
std::optional<std::uint64_t> SingleArc(const std::string &text) {
    if (text.size() != 2 || text[0] != '.' || text[1] < '0' || text[1] > '2') return std::nullopt;
    return static_cast<std::uint64_t>(text[1] - '0');
}

int RunWalk(const WalkOptions &options) {
    EnsureLibraryLoaded();
    // An identifier of one arc has no encoding of its own; like net-snmp,
    // which encodes ".1" as 1.0, the walk starts from the arc's ".0", below
    // which no object lives.
    const std::optional<std::uint64_t> singleArc = SingleArc(options.root);
    std::string checkedRoot;
    int exitCode = kExitOk;
    const std::string start = singleArc ? std::to_string(*singleArc) + ".0" : options.root;
    if (!PrepareTransaction("walk", options.printer, {start}, options.json, checkedRoot, exitCode)) {
        return exitCode;
    }
    const std::vector<std::uint64_t> root = singleArc ? std::vector<std::uint64_t>{*singleArc} : Arcs(checkedRoot);
    WalkState walk{options, {}};
    std::string current = checkedRoot;
    std::vector<std::uint64_t> previous = root;
    for (std::size_t step = 0; step < kMaxWalkSteps; ++step) {
        const TransactionOutcome outcome = Transact(options.printer, SNMP_REQUEST_GET_NEXT, current, "");
        if (outcome.result == SNMP_RESULT_ERROR_STATUS && outcome.errorStatus == kErrorStatusNoSuchName) break;
        if (outcome.result == SNMP_RESULT_ERROR_STATUS) return walk.Fail(outcome, current);
        if (outcome.result != 0) return walk.Fail(outcome.result);
        if (outcome.variables.size() != 1) {
            return walk.Unreadable("the reply to get-next " + current + " holds " +
                                   std::to_string(outcome.variables.size()) + " variables");
        }
        const ReplyVariable &variable = outcome.variables.front();
        const std::vector<std::uint64_t> arcs = Arcs(variable.oid);
        if (!InSubtree(root, arcs)) break;
        if (!(previous < arcs)) {
            return walk.Unreadable("get-next of " + current + " answered " + variable.oid +
                                   ", which does not follow it");
        }
        previous = arcs;
        current = variable.oid;
        walk.Add(variable);
    }
    if (walk.found.empty() && !singleArc) return GetRoot(walk, checkedRoot);
    if (options.json) PrintVariables("walk", options.printer, walk.found, true);
    return kExitOk;
}

}  // namespace

void AddWalkCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<WalkOptions>();
    Command *command =
        app.add_subcommand("walk", "Read a subtree of a printer's objects with get-next requests");
    AddPrinterArguments(*command, options->printer, options->json);
    AddTransactionOptions(*command);
    command->add_option("oid", options->root, "Root of the subtree (.1: every object)")->capture_default_str();
    command->callback([options, &exitCode] { exitCode = RunWalk(*options); });
}

}  // namespace snmphelper::cli
