// SPDX-License-Identifier: Apache-2.0
// snmphelper record: walks a printer's subtrees through the library and
// writes them in the snmprec form (OID|TAG|VALUE, one object a line), in
// which snmpsim serves device recordings and public projects keep them; the
// printer simulator serves them too (--snmprec).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tools/cli/column_walk.h"
#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/library_load.h"
#include "tools/cli/oid_arcs.h"
#include "tools/cli/transaction_text.h"
#include "tools/cli/value_text.h"
#include "transact/ascii_rewrite.h"

namespace snmphelper::cli {
namespace {

struct RecordOptions {
    std::string printer;
    // system, Host Resources devices and printers, the whole Printer MIB:
    // what status reads and more.
    std::vector<std::string> subtrees{"1.3.6.1.2.1.1", "1.3.6.1.2.1.25.3", "1.3.6.1.2.1.43"};
    std::string output;  // -o; standard output when empty
};

// Octets snmpsim writes as text: printable ASCII without leading or
// trailing blanks, which a reader of lines may strip. Others go in hex.
bool PlainText(const std::vector<std::uint8_t> &octets) {
    if (!octets.empty() && (octets.front() == ' ' || octets.back() == ' ')) return false;
    return std::all_of(octets.begin(), octets.end(), [](std::uint8_t octet) { return octet >= 0x20 && octet <= 0x7E; });
}

std::string Hex(const std::vector<std::uint8_t> &octets) {
    std::string text(2 * octets.size() + 1, '\0');
    HexEncode(text.data(), octets.data(), octets.size());
    text.pop_back();
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c); });
    return text;
}

// One line of the recording; empty for a value SNMPv1 has no tag for.
std::string RecordLine(const ReplyVariable &variable) {
    const std::vector<std::uint8_t> &value = variable.value;
    std::string tagAndValue;
    switch (variable.type) {
    case SNMP_VALUE_INTEGER:
    case SNMP_VALUE_COUNTER:
    case SNMP_VALUE_GAUGE:
    case SNMP_VALUE_TIME_TICKS: {
        if (value.size() != 4) return {};
        const char *tag = variable.type == SNMP_VALUE_INTEGER ? "2|"
                          : variable.type == SNMP_VALUE_COUNTER ? "65|"
                          : variable.type == SNMP_VALUE_GAUGE   ? "66|"
                                                                : "67|";
        tagAndValue = tag + DescribeValue(variable.type, value.data(), 4).text;
        if (variable.type == SNMP_VALUE_TIME_TICKS) tagAndValue = tagAndValue.substr(0, tagAndValue.find(' '));
        break;
    }
    case SNMP_VALUE_OCTET_STRING:
        tagAndValue = PlainText(value) ? "4|" + std::string(value.begin(), value.end()) : "4x|" + Hex(value);
        break;
    case SNMP_VALUE_OPAQUE: tagAndValue = "68x|" + Hex(value); break;
    case SNMP_VALUE_IP_ADDRESS:
        if (value.size() != 4) return {};
        tagAndValue = "64|" + std::to_string(value[0]) + "." + std::to_string(value[1]) + "." +
                      std::to_string(value[2]) + "." + std::to_string(value[3]);
        break;
    case SNMP_VALUE_OBJECT_IDENTIFIER: {
        const std::string text(value.begin(), std::find(value.begin(), value.end(), std::uint8_t{0}));
        tagAndValue = "6|" + text;
        break;
    }
    case SNMP_VALUE_NULL: tagAndValue = "5|"; break;
    default: return {};
    }
    return variable.oid + "|" + tagAndValue + "\n";
}

int RunRecord(const RecordOptions &options) {
    EnsureLibraryLoaded();
    std::string joined;
    int exitCode = kExitOk;
    if (!PrepareTransaction("record", options.printer, options.subtrees, false, joined, exitCode)) return exitCode;
    const ColumnWalkResult walk = WalkColumns(options.printer, options.subtrees);
    // Each cell's identifier: its subtree's and its row index.
    std::vector<std::pair<std::vector<std::uint64_t>, ReplyVariable>> found;
    for (std::size_t column = 0; column < walk.ColumnCount(); ++column) {
        const std::vector<std::uint64_t> root = Arcs(options.subtrees[column]);
        for (const WalkCell &cell : walk.Cells(column)) {
            std::vector<std::uint64_t> arcs = root;
            arcs.insert(arcs.end(), cell.index.begin(), cell.index.end());
            ReplyVariable variable{{}, cell.type, std::vector<std::uint8_t>(cell.value.begin(), cell.value.end())};
            AppendArcs(arcs, variable.oid);
            found.emplace_back(std::move(arcs), std::move(variable));
        }
    }
    if (walk.result != 0 && found.empty()) return ReportResult("record", options.printer, walk.result, false);
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::string recording;
    for (const auto &[arcs, variable] : found) recording += RecordLine(variable);
    if (options.output.empty()) {
        std::fputs(recording.c_str(), stdout);
    } else {
        std::ofstream file(options.output, std::ios::binary | std::ios::trunc);
        file << recording;
        if (!file.flush()) {
            std::fprintf(stderr, "record: %s: cannot be written\n", options.output.c_str());
            return kExitFailure;
        }
        std::fprintf(stderr, "record: %zu objects of printer '%s' in %s\n", found.size(), options.printer.c_str(),
                     options.output.c_str());
    }
    // A walk cut short keeps what it read, and says why it stopped.
    return walk.result == 0 ? kExitOk : ReportResult("record", options.printer, walk.result, false);
}

}  // namespace

void AddRecordCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<RecordOptions>();
    Command *command = app.add_subcommand(
        "record", "Record a printer's objects in the snmprec form that snmpsim and the printer simulator serve");
    command->add_option("printer", options->printer, "Printer name, as registered with 'snmphelper printer add'")
        ->required();
    command->add_option("subtrees", options->subtrees,
                        "Roots of the subtrees to record (default: system, Host Resources devices and printers, "
                        "the Printer MIB)");
    command->add_option("-o,--output", options->output, "File to write (default: standard output)");
    AddWaitOptions(*command);
    AddCommunityOption(*command);
    command->callback([options, &exitCode] { exitCode = RunRecord(*options); });
}

}  // namespace snmphelper::cli
