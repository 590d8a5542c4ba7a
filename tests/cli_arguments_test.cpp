// SPDX-License-Identifier: Apache-2.0
// What the snmphelper tool refuses before it sends anything (object
// identifiers that are not strictly dotted decimal, command lines the parser
// rejects, each with its exit code), the JSON of the commands that print
// data without a printer, and the exporter command handing its arguments to
// the exporter's own program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"

namespace snmphelper {
namespace {

using test::ProgramRun;
using test::RunSnmphelper;

constexpr int kExitUsage = 2;
constexpr int kExitConfiguration = 5;

struct IdentifierCase {
    const char *text;
    const char *problem;  // null: accepted
};

// Accepted identifiers pass the check and stop only at the missing printer.
const IdentifierCase kIdentifiers[] = {
    {"1.3.6.1.2.1.1.5.0", nullptr},
    {".1.3.6.1.2.1.1.5.0", nullptr},
    {"0.39", nullptr},
    {"1.39.4294967295", nullptr},
    {"2.999.1", nullptr},
    {"1.3.01", nullptr},
    {"", "'': empty object identifier"},
    {".", "'.': empty object identifier"},
    {"1..3", "'1..3': empty arc at position 3"},
    {"..1.3", "'..1.3': empty arc at position 2"},
    {"1.3.", "'1.3.': trailing dot at position 4"},
    {"3.6.1", "'3.6.1': first arc 3 is above 2 at position 1"},
    {".3.6.1", "'.3.6.1': first arc 3 is above 2 at position 2"},
    {"1.40", "'1.40': second arc 40 under arc 1 is 40 or more at position 3"},
    {"0.41.1", "'0.41.1': second arc 41 under arc 0 is 40 or more at position 3"},
    {"sysName.0", "'sysName.0': 's' is not a digit at position 1"},
    {"1.3.6.x", "'1.3.6.x': 'x' is not a digit at position 7"},
    {"1.3.-6", "'1.3.-6': '-' is not a digit at position 5"},
    {"1.3 .6", "'1.3 .6': ' ' is not a digit at position 4"},
    {"1", "'1': an object identifier has at least two arcs"},
    {"1.3.4294967296", "'1.3.4294967296': arc above 4294967295 at position 5"},
};

TEST(CliIdentifiers, EachIdentifierIsCheckedBeforeAnythingIsSent) {
    const test::TempRegistry registry;  // no printers: nothing can be sent
    for (const IdentifierCase &c : kIdentifiers) {
        SCOPED_TRACE(c.text);
        for (const char *command : {"get", "getnext", "walk"}) {
            const ProgramRun run = RunSnmphelper({command, "nosuch", c.text});
            if (c.problem == nullptr) {
                EXPECT_EQ(run.exitCode, kExitConfiguration) << command << ": " << run.out;
                EXPECT_NE(run.out.find("no printer 'nosuch'"), std::string::npos) << run.out;
            } else {
                EXPECT_EQ(run.exitCode, kExitUsage) << command << ": " << run.out;
                EXPECT_EQ(run.out, std::string(command) + ": " + c.problem + "\n");
            }
        }
    }
}

TEST(CliIdentifiers, EveryIdentifierOfACommandAndAnOidValueAreChecked) {
    const test::TempRegistry registry;
    ProgramRun run = RunSnmphelper({"get", "nosuch", "1.3.6.1.2.1.1.5.0", "1.3..1"});
    EXPECT_EQ(run.exitCode, kExitUsage);
    EXPECT_NE(run.out.find("'1.3..1': empty arc at position 5"), std::string::npos) << run.out;
    run = RunSnmphelper({"set", "nosuch", "1.3.6.1.2.1.1.5.0", "oid", "3.6.1"});
    EXPECT_EQ(run.exitCode, kExitUsage);
    EXPECT_NE(run.out.find("first arc 3 is above 2"), std::string::npos) << run.out;
    run = RunSnmphelper({"set", "nosuch", "1.3.6.1.2.1.1.5", ".0", "integer", "1"});
    EXPECT_EQ(run.exitCode, kExitUsage) << run.out;
    run = RunSnmphelper({"get", "nosuch", "1.3.6.1.2.1.1.5.0", "--json"});
    EXPECT_EQ(run.exitCode, kExitConfiguration);
    EXPECT_NE(run.out.find("\"result\":20041"), std::string::npos) << run.out;
    run = RunSnmphelper({"get", "nosuch", "1.3.6.1.2.1.1.5.0.", "--json"});
    EXPECT_EQ(run.exitCode, kExitUsage);
    EXPECT_NE(run.out.find("\"problem\":\"'1.3.6.1.2.1.1.5.0.': trailing dot at position 18\""), std::string::npos)
        << run.out;
}

// The parser's own exit codes (105, 106, 109, ...) are not the tool's.
TEST(CliArguments, WrongCommandLinesAreUsageErrors) {
    const std::vector<std::vector<std::string>> wrong = {
        {},                                             // no subcommand
        {"nosuchcommand"},                              // unknown subcommand
        {"get"},                                        // missing printer and identifiers
        {"get", "lab", "1.3.6.1.2.1.1.5.0", "--timeout", "soon"},  // not a number
        {"get", "lab", "1.3.6.1.2.1.1.5.0", "--retries", "-1"},    // out of range
        {"get", "lab", "1.3.6.1.2.1.1.5.0", "--nosuch"},           // unknown option
        {"get", "lab", "1.3.6.1.2.1.1.5.0", "-Oz"},                // unknown output letter
        {"group", "lab", "26"},                                    // no such group
    };
    for (const auto &arguments : wrong) {
        const ProgramRun run = RunSnmphelper(arguments);
        EXPECT_EQ(run.exitCode, kExitUsage) << (arguments.empty() ? "" : arguments[0]) << ": " << run.out;
    }
    const ProgramRun help = RunSnmphelper({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Exit codes:"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("4  the printer answered with an error-status"), std::string::npos) << help.out;
}

// `snmphelper exporter` is snmphelper-exporter run in its place: that
// program's parser answers, with the tool's exit codes; a tool without the
// program beside it or where it is installed says which file it missed.
TEST(CliExporter, TheCommandRunsTheExportersProgramWithItsArguments) {
    const ProgramRun help = RunSnmphelper({"exporter", "--help"});
    EXPECT_EQ(help.exitCode, 0) << help.out;
    EXPECT_NE(help.out.find("--listen"), std::string::npos) << help.out;
    const ProgramRun wrong = RunSnmphelper({"exporter", "--shard", "3/2"});
    EXPECT_EQ(wrong.exitCode, kExitUsage) << wrong.out;

    const test::TempRegistry registry;
    const std::string alone = registry.Folder() + "/snmphelper";
    std::filesystem::copy_file(test::BuildTreePath("tools/snmphelper"), alone);
    const ProgramRun missing = test::RunProgram({alone, "exporter"}, test::ErrorOutput::Merged);
    EXPECT_EQ(missing.exitCode, 1) << missing.out;
    EXPECT_NE(missing.out.find("cannot run"), std::string::npos) << missing.out;
    EXPECT_NE(missing.out.find("libexec/snmphelper/snmphelper-exporter"), std::string::npos) << missing.out;
}

TEST(CliJson, CommandsWithoutAPrinterSpeakJsonToo) {
    const test::TempRegistry registry(test::PrinterHive(
        "Bürodrucker", "\"cProtocols\"=dword:00000002\n\"IP Address\"=\"10.1.2.3\"\n\"MAC Address\"=\"\"\n"));
    ProgramRun run = RunSnmphelper({"printer", "show", "Bürodrucker", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out.find("{\"command\":\"printer show\",\"name\":\"Bürodrucker\",\"protocols\":\"ip\","
                           "\"use\":\"unset\",\"ipAddress\":\"10.1.2.3\""),
              0u)
        << run.out;
    run = RunSnmphelper({"printer", "list", "--json"});
    EXPECT_EQ(run.out, "{\"command\":\"printer list\",\"printers\":[{\"name\":\"Bürodrucker\",\"protocols\":"
                       "\"ip\",\"use\":\"unset\",\"address\":\"10.1.2.3\"}]}\n");
    // Octets that are not UTF-8 are escaped, never replaced or dropped; a
    // backslash beside them is doubled so the form stays unambiguous.
    run = RunSnmphelper({"get", "caf\xe9\\", "1.3.6.1.2.1.1.5.0", "--json"});
    EXPECT_EQ(run.exitCode, kExitConfiguration);
    EXPECT_NE(run.out.find("\"printer\":\"caf\\\\xE9\\\\\\\\\""), std::string::npos) << run.out;
    run = RunSnmphelper({"groups", "0", "--json"});
    EXPECT_EQ(run.out.find("{\"command\":\"groups\",\"groups\":[{\"group\":0,\"identifiers\":"
                           "[\"1.3.6.1.2.1.1.1.0\",\"1.3.6.1.2.1.1.2.0\","),
              0u)
        << run.out;
}

}  // namespace
}  // namespace snmphelper
