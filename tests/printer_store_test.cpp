// SPDX-License-Identifier: Apache-2.0
// Printer records through the C interface (HelperPrinterAdd, ...Update,
// ...Read, ...Remove, ...List) against a real store in a temporary folder:
// what the key holds afterwards, what is refused, the store's mode and group
// once it holds a community, and what a user told no by root's store reads.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"
#include "tests/support/test_files.h"

namespace snmphelper {
namespace {

using test::TempRegistry;

SnmpPrinterRecord Record(const char *name, const char *ip = "", const char *community = "") {
    SnmpPrinterRecord record{};
    record.recordSize = sizeof record;
    std::strcpy(record.name, name);
    std::strcpy(record.ipAddress, ip);
    std::strcpy(record.community, community);
    return record;
}

std::string KeyText(const std::string &valueLines) {
    return "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\AdapterOnly\\lab]\n" + valueLines;
}

unsigned Mode(const std::string &path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? (status.st_mode & 0777) : 0;
}

// A store of `printers` printers named other0, other1, ..., all at 10.0.0.1:
// large enough that reading it takes a while.
std::string StoreOfOthers(int printers) {
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    for (int i = 0; i < printers; ++i) {
        hive += test::PrinterKey("other" + std::to_string(i), "\"MAC Address\"=\"\"\n\"IP Address\"=\"10.0.0.1\"\n");
    }
    return hive;
}

// Runs `work(i)` in `processes` child processes that all start at the same
// moment (each waits on a pipe until the parent closes its end); their exit
// codes in order, -1 for one that did not exit.
std::vector<int> AtOnceInProcesses(int processes, const std::function<int(int)> &work) {
    int start[2];
    if (pipe(start) != 0) return {};
    std::vector<pid_t> children;
    for (int i = 0; i < processes; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(start[1]);
            char go = 0;
            if (read(start[0], &go, 1) < 0) _exit(3);  // returns once the parent closes its end
            _exit(work(i));
        }
        children.push_back(pid);
    }
    close(start[0]);
    close(start[1]);
    std::vector<int> codes;
    for (const pid_t pid : children) {
        int status = 0;
        codes.push_back(pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    return codes;
}

// Processes adding the same printer at the same moment to a store large
// enough that reading it takes a while: exactly one adds it, every other is
// told it exists, and the key holds the one record that was added.
TEST(PrinterStore, OfProcessesAddingOnePrinterAtOnceExactlyOneAddsIt) {
    TempRegistry registry(StoreOfOthers(2000));
    constexpr int kAdders = 6;
    for (int round = 0; round < 3; ++round) {
        const std::string name = "contested" + std::to_string(round);
        const auto address = [&](int adder) {
            return "10.1." + std::to_string(round) + "." + std::to_string(adder + 1);
        };
        const std::vector<int> codes = AtOnceInProcesses(kAdders, [&](int i) {
            const SnmpPrinterRecord record = Record(name.c_str(), address(i).c_str());
            const std::int32_t result = HelperPrinterAdd(&record, 0);
            return result == 0 ? 0 : result == SNMP_RESULT_PRINTER_EXISTS ? 1 : 2;
        });
        ASSERT_EQ(codes.size(), static_cast<std::size_t>(kAdders));
        int added = 0;
        int refused = 0;
        std::string winner;
        for (int i = 0; i < kAdders; ++i) {
            const int code = codes[static_cast<std::size_t>(i)];
            if (code == 0) {
                ++added;
                winner = address(i);
            }
            if (code == 1) ++refused;
        }
        EXPECT_EQ(added, 1) << name;
        EXPECT_EQ(refused, kAdders - 1) << name;
        SnmpPrinterRecord read{};
        read.recordSize = sizeof read;
        ASSERT_EQ(HelperPrinterRead(name.c_str(), &read), 0);
        EXPECT_EQ(std::string(read.ipAddress), winner);
    }
}

// Processes adding different printers at the same moment, each to the hive
// as the one before left it: no add is lost, none of the printers already
// there either, and the new keys follow the hive's bytes as they were.
TEST(PrinterStore, ProcessesAddingDifferentPrintersAtOnceLoseNone) {
    constexpr int kStored = 2000;
    const std::string hive = StoreOfOthers(kStored);
    TempRegistry registry(hive);
    constexpr int kAdders = 4;
    constexpr int kEach = 5;
    const auto name = [](int adder, int each) { return "added" + std::to_string(adder) + "-" + std::to_string(each); };
    const auto address = [](int adder, int each) {
        return "10.2." + std::to_string(adder) + "." + std::to_string(each + 1);
    };
    const std::vector<int> codes = AtOnceInProcesses(kAdders, [&](int i) {
        for (int j = 0; j < kEach; ++j) {
            const SnmpPrinterRecord record = Record(name(i, j).c_str(), address(i, j).c_str());
            if (HelperPrinterAdd(&record, 0) != 0) return 1;
        }
        return 0;
    });
    EXPECT_EQ(codes, std::vector<int>(kAdders, 0));
    std::uint32_t size = 0;
    ASSERT_EQ(HelperPrinterList(nullptr, &size), SNMP_RESULT_LIST_DOES_NOT_FIT);
    std::vector<char> names(size);
    ASSERT_EQ(HelperPrinterList(names.data(), &size), 0);
    int listed = 0;
    for (const char *listedName = names.data(); *listedName != '\0'; listedName += std::strlen(listedName) + 1) {
        ++listed;
    }
    EXPECT_EQ(listed, kStored + kAdders * kEach);
    for (int i = 0; i < kAdders; ++i) {
        for (int j = 0; j < kEach; ++j) {
            SnmpPrinterRecord read{};
            read.recordSize = sizeof read;
            ASSERT_EQ(HelperPrinterRead(name(i, j).c_str(), &read), 0) << name(i, j);
            EXPECT_EQ(std::string(read.ipAddress), address(i, j));
        }
    }
    SnmpPrinterRecord first{};
    first.recordSize = sizeof first;
    ASSERT_EQ(HelperPrinterRead("other0", &first), 0);
    EXPECT_EQ(std::string(first.ipAddress), "10.0.0.1");
    EXPECT_TRUE(registry.Contents().starts_with(hive));
}

TEST(PrinterStore, ARecordIsWrittenReadUpdatedListedAndRemoved) {
    TempRegistry registry;
    SnmpPrinterRecord record = Record("lab", "192.168.1.20", "public");
    std::strcpy(record.macAddress, "00:00:c0:a1:b2:c3");
    record.ipPort = 1161;
    ASSERT_EQ(HelperPrinterAdd(&record, 0), 0);
    EXPECT_NE(registry.Contents().find(KeyText("\"cProtocols\"=dword:00000006\n\"pProtocol\"=dword:00000002\n"
                                               "\"MAC Address\"=\"0000C0A1B2C3\"\n\"IP Address\"=\"192.168.1.20\"\n"
                                               "\"Community\"=\"public\"\n\"IP Port\"=dword:00000489\n")),
              std::string::npos)
        << registry.Contents();
    EXPECT_EQ(HelperPrinterAdd(&record, 0), SNMP_RESULT_PRINTER_EXISTS);

    SnmpPrinterRecord read{};
    read.recordSize = sizeof read;
    ASSERT_EQ(HelperPrinterRead("LAB", &read), 0);
    EXPECT_STREQ(read.ipAddress, "192.168.1.20");
    EXPECT_STREQ(read.macAddress, "0000C0A1B2C3");
    EXPECT_STREQ(read.community, "public");
    EXPECT_EQ(read.cProtocols, 6u);
    EXPECT_EQ(read.pProtocol, 2u);
    EXPECT_EQ(read.ipPort, 1161u);

    // An update rewrites what the record names: the community and the port
    // go, a value of the key's own stays.
    std::string hive = registry.Contents();
    const std::string port = "\"IP Port\"=dword:00000489\n";
    hive.replace(hive.find(port), port.size(), port + "\"Note\"=\"kept\"\n");
    registry.Write(hive);
    read.community[0] = '\0';
    read.ipPort = 0;
    read.pProtocol = SNMP_PROTOCOL_DLC;
    ASSERT_EQ(HelperPrinterUpdate(&read), 0);
    EXPECT_NE(registry.Contents().find(KeyText("\"cProtocols\"=dword:00000006\n\"pProtocol\"=dword:00000004\n"
                                               "\"MAC Address\"=\"0000C0A1B2C3\"\n\"IP Address\"=\"192.168.1.20\"\n"
                                               "\"Note\"=\"kept\"\n\n")),
              std::string::npos)
        << registry.Contents();
    SnmpPrinterRecord other = Record("hall", "10.0.0.2");
    EXPECT_EQ(HelperPrinterUpdate(&other), SNMP_RESULT_NO_SUCH_PRINTER);
    ASSERT_EQ(HelperPrinterAdd(&other, 0), 0);

    char names[16];
    std::uint32_t size = 3;
    EXPECT_EQ(HelperPrinterList(names, &size), SNMP_RESULT_LIST_DOES_NOT_FIT);
    EXPECT_EQ(size, 10u);
    size = sizeof names;
    ASSERT_EQ(HelperPrinterList(names, &size), 0);
    EXPECT_EQ(std::string(names, size), std::string("lab\0hall\0\0", 10));

    EXPECT_EQ(HelperPrinterRemove("lab"), 0);
    EXPECT_EQ(HelperPrinterRemove("lab"), SNMP_RESULT_NO_SUCH_PRINTER);
    EXPECT_EQ(HelperPrinterRead("lab", &read), SNMP_RESULT_NO_SUCH_PRINTER);
    size = sizeof names;
    ASSERT_EQ(HelperPrinterList(names, &size), 0);
    EXPECT_EQ(std::string(names, size), std::string("hall\0\0", 6));
}

TEST(PrinterStore, RefusedRecordsLeaveTheStoreAsItWas) {
    const struct {
        const char *what;
        void (*change)(SnmpPrinterRecord &);
    } cases[] = {
        {"wrong size", [](SnmpPrinterRecord &r) { r.recordSize = 4; }},
        {"empty name", [](SnmpPrinterRecord &r) { r.name[0] = '\0'; }},
        {"backslash", [](SnmpPrinterRecord &r) { std::strcpy(r.name, "a\\b"); }},
        {"name too long", [](SnmpPrinterRecord &r) { std::memset(r.name, 'n', 91); }},
        {"unterminated", [](SnmpPrinterRecord &r) { std::memset(r.community, 'c', sizeof r.community); }},
        {"octal-looking ip", [](SnmpPrinterRecord &r) { std::strcpy(r.ipAddress, "010.1.1.1"); }},
        {"broadcast", [](SnmpPrinterRecord &r) { std::strcpy(r.ipAddress, "255.255.255.255"); }},
        {"ipx", [](SnmpPrinterRecord &r) { std::strcpy(r.ipxAddress, "0000000100A0C912345"); }},
        {"no address", [](SnmpPrinterRecord &r) { r.ipAddress[0] = '\0'; }},
        {"dlc without mac", [](SnmpPrinterRecord &r) { r.cProtocols = SNMP_PROTOCOL_IP | SNMP_PROTOCOL_DLC; }},
        {"unknown protocol", [](SnmpPrinterRecord &r) { r.cProtocols = 8; }},
        {"use not among", [](SnmpPrinterRecord &r) { r.pProtocol = SNMP_PROTOCOL_IPX; }},
        {"port", [](SnmpPrinterRecord &r) { r.ipPort = 65536; }},
        {"community with a line feed", [](SnmpPrinterRecord &r) { std::strcpy(r.community, "a\nb"); }},
        {"numeric host name", [](SnmpPrinterRecord &r) { std::strcpy(r.hostName, "1.2.3"); }},
    };
    TempRegistry registry(test::PrinterHive("Existing", "\"MAC Address\"=\"\"\n"));
    const std::string before = registry.Contents();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SnmpPrinterRecord record = Record("new", "10.1.2.3");
        c.change(record);
        EXPECT_EQ(HelperPrinterAdd(&record, 0), SNMP_RESULT_PRINTER_INVALID);
    }
    EXPECT_EQ(HelperPrinterAdd(nullptr, 0), SNMP_RESULT_PRINTER_INVALID);
    SnmpPrinterRecord record = Record("new", "10.1.2.3");
    EXPECT_EQ(HelperPrinterAdd(&record, 2), SNMP_RESULT_PRINTER_INVALID);
    EXPECT_EQ(HelperPrinterList(nullptr, nullptr), SNMP_RESULT_PRINTER_INVALID);
    EXPECT_EQ(HelperPrinterRead("Existing", nullptr), SNMP_RESULT_PRINTER_INVALID);
    EXPECT_EQ(registry.Contents(), before);
}

TEST(PrinterStore, AStoreHoldingACommunityIsItsOwnersAlone) {
    TempRegistry registry;
    SnmpPrinterRecord plain = Record("plain", "10.0.0.1");
    ASSERT_EQ(HelperPrinterAdd(&plain, 0), 0);
    EXPECT_EQ(Mode(registry.Path()), 0644u);
    SnmpPrinterRecord secret = Record("secret", "10.0.0.2", "public");
    ASSERT_EQ(HelperPrinterAdd(&secret, 0), 0);
    EXPECT_EQ(Mode(registry.Path()), 0600u);
    // Every later rewrite keeps it so, the community gone or not.
    ASSERT_EQ(HelperPrinterRemove("plain"), 0);
    EXPECT_EQ(Mode(registry.Path()), 0600u);
    ASSERT_EQ(HelperPrinterRemove("secret"), 0);
    EXPECT_EQ(Mode(registry.Path()), 0600u);
    // A community set by the tool, in the Snmp key, counts alike.
    TempRegistry other(test::PrinterHive("lab", "\"MAC Address\"=\"\"\n"));
    ASSERT_EQ(test::RunSnmphelper({"config", "set", "community", "public"}).exitCode, 0);
    EXPECT_EQ(Mode(other.Path()), 0600u);
}

struct stat Status(const std::string &path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status;
}

// An administrator's chgrp and chmod of a store holding a community outlive
// every rewrite; "other" never keeps a bit, and a group's bits given to a
// store that was everyone's to read are not a choice to share a community.
TEST(PrinterStore, RewritesKeepTheGroupAndModeAnAdministratorGave) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to give the store another group";
    constexpr gid_t kGroup = 4242;
    struct Case {
        const char *what;
        const char *community;  // of the printer there before the administrator's change
        mode_t given;
        mode_t expected;
    };
    const std::vector<Case> cases = {
        {"group readers", "public", 0640, 0640},
        {"group writers", "public", 0660, 0660},
        {"owner alone", "public", 0600, 0600},
        {"made everyone's", "public", 0644, 0600},
        {"everyone's before its first community", "", 0664, 0600},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempRegistry registry;
        SnmpPrinterRecord first = Record("first", "10.0.0.1", c.community);
        ASSERT_EQ(HelperPrinterAdd(&first, 0), 0);
        ASSERT_EQ(chown(registry.Path().c_str(), 0, kGroup), 0);
        ASSERT_EQ(chmod(registry.Path().c_str(), c.given), 0);
        SnmpPrinterRecord second = Record("second", "10.0.0.2", "private");
        ASSERT_EQ(HelperPrinterAdd(&second, 0), 0);
        ASSERT_EQ(HelperPrinterRemove("first"), 0);
        const struct stat status = Status(registry.Path());
        EXPECT_EQ(status.st_mode & 07777, c.expected);
        EXPECT_EQ(status.st_gid, kGroup);
        EXPECT_EQ(status.st_uid, 0u);
    }
}

// A store made in a setgid folder takes the folder's group, which the
// administrator chose by making it so: that group may read the community.
// Elsewhere the community stays the owner's alone.
TEST(PrinterStore, AStoreInASetgidFolderIsItsGroupsToRead) {
    struct Case {
        const char *what;
        bool setgid;
        const char *community;
        mode_t expected;
    };
    const std::vector<Case> cases = {
        {"setgid, a community", true, "public", 0640},
        {"setgid, none", true, "", 0644},
        {"plain folder, a community", false, "public", 0600},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempRegistry registry;
        if (c.setgid) {
            ASSERT_EQ(chmod(registry.Folder().c_str(), 02750), 0);
        }
        SnmpPrinterRecord record = Record("lab", "10.0.0.1", c.community);
        ASSERT_EQ(HelperPrinterAdd(&record, 0), 0);
        EXPECT_EQ(Status(registry.Path()).st_mode & 07777, c.expected);
        EXPECT_EQ(Status(registry.Path()).st_gid, Status(registry.Folder()).st_gid);
        // A store there before its first community gets the same.
        SnmpPrinterRecord secret = Record("hall", "10.0.0.2", "private");
        ASSERT_EQ(HelperPrinterAdd(&secret, 0), 0);
        EXPECT_EQ(Status(registry.Path()).st_mode & 07777, c.setgid ? 0640u : 0600u);
    }
}

// A writer who is not root keeps the store's group only when it is one of
// theirs; otherwise the group's bits go, so that the community does not
// pass to the writer's own group.
TEST(PrinterStore, AWriterKeepsOnlyAGroupOfTheirs) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to be another user";
    constexpr uid_t kNobody = 65534;
    constexpr gid_t kGroup = 4242;
    struct Case {
        const char *what;
        const char *groups;
        gid_t expectedGroup;
        mode_t expected;
    };
    const std::vector<Case> cases = {
        {"in the group", "4242", kGroup, 0640},
        {"not in it", "", kNobody, 0600},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempRegistry registry;
        SnmpPrinterRecord record = Record("lab", "10.0.0.1", "public");
        ASSERT_EQ(HelperPrinterAdd(&record, 0), 0);
        ASSERT_EQ(chown(registry.Folder().c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(chown(registry.Path().c_str(), kNobody, kGroup), 0);
        ASSERT_EQ(chmod(registry.Path().c_str(), 0640), 0);
        std::vector<std::string> argv = {"setpriv", "--reuid=65534", "--regid=65534"};
        argv.push_back(*c.groups != 0 ? std::string("--groups=") + c.groups : "--clear-groups");
        argv.push_back(test::BuildTreePath("tools/snmphelper"));
        for (const char *word : {"printer", "add", "hall", "--ip", "10.0.0.2"}) argv.emplace_back(word);
        const test::ProgramRun run = test::RunProgram(argv, test::ErrorOutput::Merged);
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const struct stat status = Status(registry.Path());
        EXPECT_EQ(status.st_mode & 07777, c.expected);
        EXPECT_EQ(status.st_gid, c.expectedGroup);
    }
}

// A user who may not write root's store is told whose it is and how to keep
// one of their own.
TEST(PrinterStore, AUserRefusedByRootsStoreIsToldWhatToDo) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to be another user";
    const std::string folder = test::MakeTempFolder("root-store");
    chmod(folder.c_str(), 0755);
    const std::string store = folder + "/registry.reg";
    test::SetEnvironment("SNMPHELPER_REGISTRY", store.c_str());
    ASSERT_EQ(test::RunSnmphelper({"printer", "add", "lab", "--ip", "10.0.0.1"}).exitCode, 0);
    const test::ProgramRun run = test::RunProgram(
        {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", test::BuildTreePath("tools/snmphelper"),
         "printer", "add", "hall", "--ip", "10.0.0.2"},
        test::ErrorOutput::Merged);
    test::SetEnvironment("SNMPHELPER_REGISTRY", nullptr);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("permission denied: " + store + ": the store is root's"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("SNMPHELPER_REGISTRY"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace snmphelper
