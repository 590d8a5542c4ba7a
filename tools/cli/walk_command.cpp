// snmphelper walk: reads a subtree of a printer's objects with get-next
// requests, one object at a time, until the replies leave the subtree.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tools/cli/commands.h"
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

int RunWalk(const WalkOptions &options) {
    const std::vector<std::uint64_t> root = Arcs(options.root);
    if (root.empty()) {
        std::fprintf(stderr, "walk: '%s' is not a dotted-decimal object identifier\n", options.root.c_str());
        return 2;
    }
    EnsureLibraryLoaded();
    std::vector<ReplyVariable> found;
    std::string current = options.root;
    std::vector<std::uint64_t> previous = root;
    for (std::size_t step = 0; step < kMaxWalkSteps; ++step) {
        TransactionBuffers buffers(current, "");
        const std::int32_t result =
            HelperSNMPTransact(options.printer.c_str(), SNMP_REQUEST_GET_NEXT, buffers.identifiers.data(),
                               buffers.IdentifierRoom(), buffers.values.data(), &buffers.valueSize, 1);
        // RFC 1157 4.1.3: past the last object the agent answers noSuchName.
        if (result == SNMP_RESULT_ERROR_STATUS) break;
        if (result != 0) return ReportResult("walk", options.printer, result, options.json);
        const auto variables = buffers.valueSize < buffers.values.size()
                                   ? ParseReply(buffers.identifiers.data(), buffers.values.data(), buffers.valueSize)
                                   : std::nullopt;
        if (!variables || variables->size() != 1) {
            std::fprintf(stderr, "walk: printer '%s': the reply to get-next %s could not be read\n",
                         options.printer.c_str(), current.c_str());
            return 1;
        }
        const std::vector<std::uint64_t> arcs = Arcs(variables->front().oid);
        if (!InSubtree(root, arcs)) break;
        if (!(previous < arcs)) {
            std::fprintf(stderr, "walk: printer '%s': get-next of %s answered %s, which does not follow it\n",
                         options.printer.c_str(), current.c_str(), variables->front().oid.c_str());
            return 1;
        }
        previous = arcs;
        current = variables->front().oid;
        if (!options.json) PrintVariables("walk", options.printer, *variables, false);
        found.push_back(variables->front());
    }
    if (options.json) PrintVariables("walk", options.printer, found, true);
    return 0;
}

}  // namespace

void AddWalkCommand(CLI::App &app, int &exitCode) {
    auto options = std::make_shared<WalkOptions>();
    CLI::App *command =
        app.add_subcommand("walk", "Read a subtree of a printer's objects with get-next requests");
    AddPrinterArguments(*command, options->printer, options->json);
    command->add_option("oid", options->root, "Root of the subtree")->capture_default_str();
    command->callback([options, &exitCode] { exitCode = RunWalk(*options); });
}

}  // namespace snmphelper::cli
