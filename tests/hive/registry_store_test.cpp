// SPDX-License-Identifier: Apache-2.0
// The registry store: values of every type survive a write and a read, names
// compare without case, queries honour the room, regedit exports in their
// three encodings import, a hive that does not parse is never touched,
// every open sees the hive as it is at that moment, and writers killed at any
// point leave the old or the new hive and nothing the next write keeps.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "hive/hive_file.h"
#include "platform/registry.h"
#include "tests/support/hex.h"
#include "tests/support/temp_registry.h"

namespace snmphelper::platform {
namespace {

using test::Hex;
using test::TempRegistry;

constexpr const char kEmptyHive[] = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Test]\n";

struct StoredValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    std::int32_t code = -1;
};

StoredValue Query(const char *path, const char *name) {
    StoredValue value;
    RegistryKey key = nullptr;
    value.code = OpenRegistryKey(path, kKeyRead, &key);
    if (value.code != kRegistrySuccess) return value;
    std::uint32_t size = 0;
    value.code = QueryRegistryValue(key, name, &value.type, nullptr, &size);
    if (value.code == kRegistrySuccess) {
        value.data.resize(size);
        value.code = QueryRegistryValue(key, name, &value.type, value.data.data(), &size);
    }
    CloseRegistryKey(key);
    return value;
}

std::int32_t Set(const char *path, const char *name, std::uint32_t type, const std::vector<std::uint8_t> &data) {
    RegistryKey key = nullptr;
    std::int32_t code = OpenRegistryKey(path, kKeySetValue, &key);
    if (code == kRegistrySuccess) {
        code = SetRegistryValue(key, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
    }
    CloseRegistryKey(key);
    return code;
}

std::vector<std::uint8_t> Bytes(const std::string &text) { return std::vector<std::uint8_t>(text.begin(), text.end()); }

// Every value must come back with its type and bytes after the hive has been
// written and read again, including those that cannot be written as "text".
TEST(RegistryStore, EveryValueSurvivesWriteAndRead) {
    const struct {
        const char *name;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    } cases[] = {
        {"Text", kRegSz, Bytes(std::string("10.1.2.3", 9))},
        {"Quotes \"and\" back\\slash", kRegSz, Bytes(std::string("C:\\dir \"x\"", 11))},
        {"", kRegSz, Bytes(std::string("default", 8))},
        {"Two lines", kRegSz, Bytes(std::string("a\r\nb", 5))},               // no "text" form: hex(1)
        {"Unterminated", kRegSz, Bytes("abc")},                                // no terminating zero
        {"Binary in text", kRegSz, Hex("04 00 00 00")},                      // as a switch might store
        {"Accented", kRegExpandSz, Bytes(std::string("%TEMP%\\caf\xC3\xA9", 13))},
        {"Multi", kRegMultiSz, Bytes(std::string("one\0two\0\0", 9))},
        {"Dword", kRegDword, Hex("2A 00 00 80")},
        {"Short dword", kRegDword, Hex("07 01 00")},                         // not 4 bytes: hex(4)
        {"Binary", kRegBinary, Hex("00 FF 10 20 30 40 50 60 70 80 90 A0 B0 C0 D0 E0 F0 01 02 03 04 05 06 07 08 09 "
                                   "0A 0B 0C 0D 0E 0F")},                    // wraps over lines
        {"Empty binary", kRegBinary, {}},
        {"Qword", kRegQword, Hex("01 02 03 04 05 06 07 08")},
        {"Unknown type", 0x1234, Hex("DE AD")},
    };
    TempRegistry registry(kEmptyHive);
    for (const auto &value : cases) {
        ASSERT_EQ(Set("Software\\Test", value.name, value.type, value.data), kRegistrySuccess) << value.name;
    }
    // Written by one set after another, then read back from the file.
    for (const auto &value : cases) {
        const StoredValue stored = Query("Software\\Test", value.name);
        ASSERT_EQ(stored.code, kRegistrySuccess) << value.name;
        EXPECT_EQ(stored.type, value.type) << value.name;
        EXPECT_EQ(test::ToHex(stored.data), test::ToHex(value.data)) << value.name;
    }
    // An export imported into an empty hive gives the same values.
    std::string exported;
    ASSERT_EQ(ExportRegistryText("", exported), kRegistrySuccess);
    TempRegistry copy;
    std::string problem;
    ASSERT_EQ(ImportRegistryText(exported, problem), kRegistrySuccess) << problem;
    for (const auto &value : cases) {
        const StoredValue stored = Query("Software\\Test", value.name);
        EXPECT_EQ(stored.type, value.type) << value.name;
        EXPECT_EQ(test::ToHex(stored.data), test::ToHex(value.data)) << value.name;
    }
}

TEST(RegistryStore, NamesCompareWithoutCaseAndKeepTheirCase) {
    TempRegistry registry(kEmptyHive);
    ASSERT_EQ(Set("SOFTWARE\\test", "Ip Address", kRegSz, Bytes(std::string("a", 2))), kRegistrySuccess);
    ASSERT_EQ(Set("software\\TEST", "IP ADDRESS", kRegSz, Bytes(std::string("b", 2))), kRegistrySuccess);
    const StoredValue stored = Query("Software\\Test", "ip address");
    EXPECT_EQ(stored.data, Bytes(std::string("b", 2)));
    EXPECT_NE(registry.Contents().find("[HKEY_LOCAL_MACHINE\\Software\\Test]\n\"Ip Address\"=\"b\""), std::string::npos)
        << registry.Contents();
}

TEST(RegistryStore, QueryHonoursTheRoom) {
    TempRegistry registry(std::string(kEmptyHive) + "\"Name\"=\"0123456789\"\n");
    RegistryKey key = nullptr;
    ASSERT_EQ(OpenRegistryKey("Software\\Test", kKeyRead, &key), kRegistrySuccess);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(QueryRegistryValue(key, "Name", &type, nullptr, &size), kRegistrySuccess);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(type, kRegSz);

    char buffer[16];
    std::memset(buffer, 0xAA, sizeof buffer);
    size = 10;  // one short: the terminating zero does not fit
    EXPECT_EQ(QueryRegistryValue(key, "Name", &type, buffer, &size), kRegistryMoreData);
    EXPECT_EQ(size, 11u);
    for (char c : buffer) EXPECT_EQ(static_cast<unsigned char>(c), 0xAA);

    size = 11;
    EXPECT_EQ(QueryRegistryValue(key, "Name", &type, buffer, &size), kRegistrySuccess);
    EXPECT_STREQ(buffer, "0123456789");
    EXPECT_EQ(static_cast<unsigned char>(buffer[11]), 0xAA);

    EXPECT_EQ(QueryRegistryValue(key, "Missing", &type, buffer, &size), kRegistryNotFound);
    EXPECT_EQ(QueryRegistryValue(key, "Name", &type, buffer, nullptr), kRegistryInvalidParameter);
    // A key opened for reading cannot set.
    EXPECT_EQ(SetRegistryValue(key, "Name", kRegSz, "x", 2), kRegistryAccessDenied);
    CloseRegistryKey(key);
}

TEST(RegistryStore, MissingHiveHasNoKeysAndTheLibraryCreatesNone) {
    TempRegistry registry;
    RegistryKey key = nullptr;
    EXPECT_EQ(OpenRegistryKey("Software", kKeyRead, &key), kRegistryNotFound);
    EXPECT_EQ(OpenRegistryKey("Software", kKeyAllAccess, &key), kRegistryNotFound);
    EXPECT_EQ(key, nullptr);
    EXPECT_FALSE(std::filesystem::exists(registry.Path()));
}

// Full access asks whether the hive's folder may take a rewrite; through a
// link, that is the folder of the file linked to, not the link's. Checked as
// an unprivileged user (the superuser may write anywhere), in a child process.
TEST(RegistryStore, FullAccessChecksTheFolderTheHiveReallyIsIn) {
    TempRegistry registry("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Test]\n\n");
    const std::string linkFolder = registry.Folder() + "/links";
    const std::string link = linkFolder + "/registry.reg";
    ASSERT_EQ(mkdir(linkFolder.c_str(), 0777), 0);
    ASSERT_EQ(chmod(linkFolder.c_str(), 0777), 0);
    ASSERT_EQ(symlink(registry.Path().c_str(), link.c_str()), 0);
    ASSERT_EQ(chmod(registry.Folder().c_str(), 0755), 0);
    ASSERT_EQ(chmod(registry.Path().c_str(), 0666), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
        // The hive itself is writable, its folder is not; the link's folder is.
        auto open = [](const std::string &hive, std::uint32_t access) {
            setenv("SNMPHELPER_REGISTRY", hive.c_str(), 1);
            RegistryKey key = nullptr;
            const std::int32_t code = OpenRegistryKey("Software\\Test", access, &key);
            if (key != nullptr) CloseRegistryKey(key);
            return code;
        };
        bool denied = open(link, kKeyAllAccess) == kRegistryAccessDenied &&
                      open(registry.Path(), kKeyAllAccess) == kRegistryAccessDenied &&
                      open(link, kKeyRead) == kRegistrySuccess;
        // Keys sharing one reading are checked as any other: a read-only
        // open first does not let full access through.
        {
            RegistryReading reading;
            denied = denied && open(link, kKeyRead) == kRegistrySuccess &&
                     open(link, kKeyAllAccess) == kRegistryAccessDenied;
        }
        _exit(denied ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(RegistryStore, SetOnAKeyDeletedMeanwhileRecreatesNothing) {
    TempRegistry registry(kEmptyHive);
    RegistryKey key = nullptr;
    ASSERT_EQ(OpenRegistryKey("Software\\Test", kKeyAllAccess, &key), kRegistrySuccess);
    ASSERT_EQ(DeleteRegistryKey("Software\\Test"), kRegistrySuccess);
    const std::uint8_t value[4] = {4, 0, 0, 0};
    EXPECT_EQ(SetRegistryValue(key, "pProtocol", kRegDword, value, 4), kRegistryKeyDeleted);
    CloseRegistryKey(key);
    EXPECT_EQ(Query("Software\\Test", "pProtocol").code, kRegistryNotFound);
}

TEST(RegistryStore, WritesKeepTheHiveModeAndLeaveNoTemporaryFiles) {
    TempRegistry registry(kEmptyHive);
    ASSERT_EQ(chmod(registry.Path().c_str(), 0640), 0);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(Set("Software\\Test", "Count", kRegDword, {static_cast<std::uint8_t>(i), 0, 0, 0}), kRegistrySuccess);
    }
    struct stat status {};
    ASSERT_EQ(stat(registry.Path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(registry.Folder())) {
        files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

std::vector<std::string> FolderFiles(const std::string &folder) {
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> TemporaryFiles(const std::string &folder) {
    std::vector<std::string> files = FolderFiles(folder);
    const std::string prefix = "registry.reg.new-";
    std::erase_if(files, [&](const std::string &name) {
        return name.rfind(prefix, 0) != 0 || name.size() != prefix.size() + 6;
    });
    return files;
}

// What the writer of the child does when its write passes the file-size
// limit: the limit stops it after it created its temporary file and before
// it renamed it, where a crash or a kill could stop any writer.
void (*limitAction)() = nullptr;
void OnFileSizeLimit(int) { limitAction(); }

// Forks a writer that sets a value larger than the file-size limit lets it
// write; `action` runs in it at that moment. The child's pid.
pid_t StartWriterStoppedMidWrite(void (*action)()) {
    const pid_t child = fork();
    if (child != 0) return child;
    limitAction = action;
    signal(SIGXFSZ, OnFileSizeLimit);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const rlimit small{64, 64};
    setrlimit(RLIMIT_FSIZE, &small);
    Set("Software\\Test", "Big", kRegBinary, std::vector<std::uint8_t>(4096, 0xAB));
    _exit(0);  // the write passed the limit: not reached
}

// Sets a value in a forked writer; its pid. It exits 0 when the value is set.
pid_t StartWriter(const char *name) {
    const pid_t child = fork();
    if (child != 0) return child;
    _exit(Set("Software\\Test", name, kRegDword, {1, 0, 0, 0}) == kRegistrySuccess ? 0 : 1);
}

// Whether /proc/locks shows `pid` waiting for a lock.
bool WaitsForALock(pid_t pid) {
    std::ifstream locks("/proc/locks");
    // Appended rather than "literal" + string, which GCC 12 at -O3 flags
    // (falsely) as an overlapping copy.
    std::string field = " ";
    field.append(std::to_string(pid)).append(" ");
    std::string line;
    while (std::getline(locks, line)) {
        if (line.find("->") != std::string::npos && line.find(field) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// A writer killed between creating its temporary file and renaming it leaves
// the file; the next write removes it (and no file of another name) while
// the hive keeps the old state.
TEST(RegistryStore, NextWriteRemovesTheFileOfAKilledWriter) {
    TempRegistry registry(kEmptyHive);
    const std::string before = registry.Contents();
    const std::string others[] = {"registry.reg.backup", "registry.reg.202401", "registry.reg.new-12345",
                                  "other.reg.new-AbC123", "registry.reg.new-AbC123.kept"};
    for (const std::string &name : others) std::ofstream(registry.Folder() + "/" + name) << "an administrator's\n";

    const pid_t writer = StartWriterStoppedMidWrite([] { kill(getpid(), SIGKILL); });
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    ASSERT_EQ(TemporaryFiles(registry.Folder()).size(), 1u) << "the killed writer left no file to clean up";
    EXPECT_EQ(registry.Contents(), before);

    ASSERT_EQ(Set("Software\\Test", "After", kRegDword, {2, 0, 0, 0}), kRegistrySuccess);
    std::vector<std::string> expected(std::begin(others), std::end(others));
    expected.insert(expected.end(), {"registry.reg", "registry.reg.lock"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FolderFiles(registry.Folder()), expected);
    EXPECT_EQ(Query("Software\\Test", "After").data, Hex("02 00 00 00"));
    EXPECT_EQ(Query("Software\\Test", "Big").code, kRegistryNotFound);
}

// A writer stopped mid-write still owns its temporary file: another writer
// waits for it and never removes the file meanwhile.
TEST(RegistryStore, AWaitingWriterLeavesTheLiveWritersFileAlone) {
    TempRegistry registry(kEmptyHive);
    const pid_t stopped = StartWriterStoppedMidWrite([] {
        kill(getpid(), SIGSTOP);
        _exit(3);  // continued: dies without renaming
    });
    // However the test ends, the stopped writer does not outlive it.
    const std::unique_ptr<const pid_t, void (*)(const pid_t *)> reaper(&stopped, [](const pid_t *pid) {
        if (kill(*pid, SIGKILL) == 0) waitpid(*pid, nullptr, 0);
    });
    int status = 0;
    ASSERT_EQ(waitpid(stopped, &status, WUNTRACED), stopped);
    ASSERT_TRUE(WIFSTOPPED(status)) << status;
    const std::vector<std::string> live = TemporaryFiles(registry.Folder());
    ASSERT_EQ(live.size(), 1u);

    const pid_t waiting = StartWriter("Waiting");
    bool waits = false;
    for (int i = 0; i < 1000 && !(waits = WaitsForALock(waiting)); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(waits) << "the second writer never waited for the lock";
    EXPECT_EQ(TemporaryFiles(registry.Folder()), live);

    kill(stopped, SIGCONT);
    ASSERT_EQ(waitpid(stopped, &status, 0), stopped);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
    ASSERT_EQ(waitpid(waiting, &status, 0), waiting);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(TemporaryFiles(registry.Folder()), std::vector<std::string>{});
    EXPECT_EQ(Query("Software\\Test", "Waiting").data, Hex("01 00 00 00"));
}

// --- Writers killed at random points ----------------------------------------

// Generation g of a hive written by many writers in turn: the printer keys
// P<k> below Software\Test for the last four k up to g, each with its own
// address, its generation, and a long model text so that a write takes long
// enough for kills to land inside it. Each step from g - 1 to g is one import
// that adds P<g> and removes P<g - 4>, as "printer add" and "printer remove"
// would.
constexpr std::uint32_t kKeptPrinters = 4;

std::string PrinterAddress(std::uint32_t k) {
    return "10.0." + std::to_string(k / 250) + "." + std::to_string(k % 250 + 1);
}

std::string PrinterModel(std::uint32_t k) { return "Model " + std::to_string(k) + " " + std::string(3000, 'm'); }

std::string GenerationStep(std::uint32_t g) {
    char generation[16];
    std::snprintf(generation, sizeof generation, "%08x", g);
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    if (g > kKeptPrinters) text += "[-HKEY_LOCAL_MACHINE\\Software\\Test\\P" + std::to_string(g - kKeptPrinters) + "]\n\n";
    return text + "[HKEY_LOCAL_MACHINE\\Software\\Test\\P" + std::to_string(g) + "]\n\"IP Address\"=\"" +
           PrinterAddress(g) + "\"\n\"Generation\"=dword:" + generation + "\n\"Model\"=\"" + PrinterModel(g) + "\"\n";
}

// The printers, their values and nothing else, in one comparable text.
std::string ExpectedState(std::uint32_t g) {
    std::vector<std::string> printers;
    for (std::uint32_t k = g > kKeptPrinters ? g - kKeptPrinters + 1 : 1; k <= g; ++k) {
        std::string printer = "P";  // appended, as in WaitsForALock
        printer.append(std::to_string(k)).append(" IP Address=").append(PrinterAddress(k));
        printer.append(" Generation=").append(std::to_string(k)).append(" Model=the model of ");
        printers.push_back(printer.append(std::to_string(k)).append("\n"));
    }
    std::sort(printers.begin(), printers.end());
    std::string state;
    for (const std::string &printer : printers) state += printer;
    return state;
}

// The hive's state in the form of ExpectedState; "unreadable: ..." when a
// key or value cannot be read or has the wrong type.
std::string StoredState() {
    RegistryKey root = nullptr;
    std::vector<std::string> names;
    std::int32_t code = OpenRegistryKey("Software\\Test", kKeyRead, &root);
    if (code == kRegistrySuccess) code = ListRegistrySubkeys(root, names);
    CloseRegistryKey(root);
    if (code != kRegistrySuccess) return "unreadable: Software\\Test gives " + std::to_string(code);
    std::vector<std::string> printers;
    for (const std::string &name : names) {
        const std::string path = "Software\\Test\\" + name;
        RegistryKey key = nullptr;
        std::vector<std::string> values;
        if (OpenRegistryKey(path.c_str(), kKeyRead, &key) != kRegistrySuccess ||
            ListRegistryValues(key, values) != kRegistrySuccess) {
            CloseRegistryKey(key);
            return "unreadable: " + name;
        }
        CloseRegistryKey(key);
        std::sort(values.begin(), values.end());
        if (values != std::vector<std::string>{"Generation", "IP Address", "Model"}) return "other values in " + name;
        const StoredValue address = Query(path.c_str(), "IP Address");
        const StoredValue generation = Query(path.c_str(), "Generation");
        const StoredValue model = Query(path.c_str(), "Model");
        if (address.type != kRegSz || model.type != kRegSz || generation.type != kRegDword ||
            generation.data.size() != 4 || address.data.empty() || model.data.empty()) {
            return "wrong types in " + name;
        }
        std::uint32_t number = 0;
        std::memcpy(&number, generation.data.data(), 4);
        // The long model text is named, not shown, so that a failure stays readable.
        const std::string modelText(model.data.begin(), model.data.end() - 1);
        const std::string modelShown = modelText == PrinterModel(number)
                                           ? "the model of " + std::to_string(number)
                                           : "another text of " + std::to_string(modelText.size()) + " octets";
        printers.push_back(name + " IP Address=" + std::string(address.data.begin(), address.data.end() - 1) +
                           " Generation=" + std::to_string(number) + " Model=" + modelShown + "\n");
    }
    std::sort(printers.begin(), printers.end());
    std::string state;
    for (const std::string &printer : printers) state += printer;
    return state;
}

// Forks a writer that makes `step` after step from `from` on (each given
// its number), telling the pipe `report` each number it has stored, until it
// is killed (or, should the test be gone, after many steps). The child's pid.
pid_t StartSteppingWriter(std::uint32_t from, int report, const std::function<std::int32_t(std::uint32_t)> &step) {
    const pid_t child = fork();
    if (child != 0) return child;
    for (std::uint32_t g = from + 1; g < from + 100000; ++g) {
        if (step(g) != kRegistrySuccess) _exit(1);
        if (write(report, &g, sizeof g) != static_cast<ssize_t>(sizeof g)) _exit(2);
    }
    _exit(0);
}

// Kills the writer `child` after `delay`; a failure when it had ended otherwise.
testing::AssertionResult KilledAfter(pid_t child, std::chrono::microseconds delay) {
    std::this_thread::sleep_for(delay);
    if (kill(child, SIGKILL) != 0) return testing::AssertionFailure() << "kill failed";
    int status = 0;
    if (waitpid(child, &status, 0) != child) return testing::AssertionFailure() << "waitpid failed";
    if (!WIFSIGNALED(status) || WTERMSIG(status) != SIGKILL) {
        return testing::AssertionFailure() << "the writer failed: " << status;
    }
    return testing::AssertionSuccess();
}

// The last generation the writer reported, or `from` when it reported none.
std::uint32_t LastReported(int report, std::uint32_t from) {
    std::uint32_t last = from;
    std::uint32_t g = 0;
    while (read(report, &g, sizeof g) == static_cast<ssize_t>(sizeof g)) last = g;
    return last;
}

// Writers in separate processes, each killed with SIGKILL after a random
// (seeded) delay, so at every point of a write: reading the hive, writing,
// syncing or renaming the temporary file, syncing the folder. After every
// kill the hive parses and holds exactly the last generation the writer
// reported or the one after it, never a mixture; whatever temporary file the
// kill left is gone after the next write.
TEST(RegistryStore, WritersKilledAnywhereLeaveTheOldOrTheNewHive) {
    constexpr int kKills = 40;
    constexpr unsigned kSeed = 20261209;
    constexpr int kLongestDelayMicroseconds = 6000;
    TempRegistry registry(kEmptyHive);
    std::mt19937 random(kSeed);
    std::uniform_int_distribution<int> delay(0, kLongestDelayMicroseconds);
    std::uint32_t generation = 0;
    int killsInsideAWrite = 0;  // kills that left a temporary file behind
    int killsAfterAStep = 0;    // kills where the hive was one step past the last report
    for (int attempt = 0; attempt < kKills; ++attempt) {
        SCOPED_TRACE(testing::Message() << "kill " << attempt << " (seed " << kSeed << ")");
        int report[2];
        ASSERT_EQ(pipe(report), 0);
        const pid_t writer = StartSteppingWriter(generation, report[1], [](std::uint32_t g) {
            std::string problem;
            return ImportRegistryText(GenerationStep(g), problem);
        });
        ASSERT_GT(writer, 0);
        close(report[1]);
        ASSERT_TRUE(KilledAfter(writer, std::chrono::microseconds(delay(random))));
        const std::uint32_t reported = LastReported(report[0], generation);
        close(report[0]);

        const std::string stored = StoredState();
        if (stored == ExpectedState(reported + 1)) {
            ++killsAfterAStep;
            generation = reported + 1;
        } else {
            ASSERT_EQ(stored, ExpectedState(reported)) << "neither generation " << reported << " nor the next";
            generation = reported;
        }
        const std::size_t debris = TemporaryFiles(registry.Folder()).size();
        ASSERT_LE(debris, 1u);
        killsInsideAWrite += static_cast<int>(debris);

        // The next write, by this process, leaves no temporary file behind.
        std::string problem;
        ++generation;
        ASSERT_EQ(ImportRegistryText(GenerationStep(generation), problem), kRegistrySuccess) << problem;
        EXPECT_EQ(StoredState(), ExpectedState(generation));
        EXPECT_EQ(FolderFiles(registry.Folder()), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
    }
    RecordProperty("generations", static_cast<int>(generation));
    RecordProperty("kills_inside_a_write", killsInsideAWrite);
    RecordProperty("kills_after_a_step", killsAfterAStep);
    std::printf("%d kills: %u generations, %d left a temporary file, %d came after an unreported step\n", kKills,
                generation, killsInsideAWrite, killsAfterAStep);
}

// A hive an administrator broke: every open fails, every change is refused,
// and the file stays exactly as it was.
TEST(RegistryStore, HiveThatDoesNotParseIsNeverTouched) {
    const std::string printers = "[HKEY_LOCAL_MACHINE\\Software\\Test]\n\"cProtocols\"=dword:00000006\n";
    const std::string broken[] = {
        "Windows Registry Editor Version 4.00\n\n" + printers,                       // unknown header
        "\n" + printers,                                                                // no header
        "REGEDIT4\n\"Orphan\"=\"value before any key\"\n" + printers,                 // value outside a key
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n" + printers,                      // another root key
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\\\Test]\n",                        // empty key name
        "REGEDIT4\n\n" + printers + "\"Open\"=\"no closing quote\n",
        "REGEDIT4\n\n" + printers + "\"Big\"=dword:123456789\n",                      // nine digits
        "REGEDIT4\n\n" + printers + "\"Bad\"=hex:01,0g\n",
        "REGEDIT4\n\n" + printers + "\"Bad\"=hex:01,,02\n",
        "REGEDIT4\n\n" + printers + "garbage\n",
        "Windows Registry Editor Version 5.00\n\n" + printers + "\"Odd\"=hex(1):41,00,42\n",  // odd UTF-16
        std::string("\xFF\xFE\x52\x00\x45", 5),                                        // odd UTF-16 file
        std::string("\xFE\xFF\x00R", 4),                                               // big-endian
        "REGEDIT4\n\n" + printers + std::string("\"Nul\"=\"a\0b\"\n", 11),
        "Windows Registry Editor Version 5.00\n\n" + printers + "\"Stray\"=\"\xFF\"\n",  // not UTF-8
        std::string(),                                                                  // empty file
    };
    for (const std::string &hive : broken) {
        TempRegistry registry;
        registry.Write(hive);
        RegistryKey key = nullptr;
        EXPECT_EQ(OpenRegistryKey("Software\\Test", kKeyRead, &key), kRegistryCorrupt) << hive;
        EXPECT_EQ(OpenRegistryKey("Software\\Test", kKeyAllAccess, &key), kRegistryCorrupt) << hive;
        EXPECT_EQ(CreateRegistryKey("Software\\Other"), kRegistryCorrupt) << hive;
        EXPECT_EQ(DeleteRegistryKey("Software\\Test"), kRegistryCorrupt) << hive;
        std::string problem;
        EXPECT_EQ(ImportRegistryText(std::string(kEmptyHive), problem), kRegistryCorrupt) << hive;
        EXPECT_FALSE(RegistryProblem().empty()) << hive;
        EXPECT_EQ(registry.Contents(), hive);
    }
}

std::vector<std::string> Subkeys(const char *path) {
    std::vector<std::string> names;
    RegistryKey key = nullptr;
    if (OpenRegistryKey(path, kKeyRead, &key) == kRegistrySuccess) ListRegistrySubkeys(key, names);
    CloseRegistryKey(key);
    return names;
}

// Names and texts the .reg form has to quote, escape or could misread come
// back octet for octet after a write and a fresh read; those that are not
// UTF-8 are refused before anything is written.
TEST(RegistryStore, NamesAndTextsReadBackExactlyOrAreRefused) {
    const std::string kept[] = {
        "\xC3\xBF",                    // U+00FF, whose Latin-1 octet alone is not UTF-8
        "Caf\xC3\xA9 \xE6\x97\xA5\xF0\x9F\x96\xA8",  // two, three and four octets
        "Key ]with] brackets",
        "-starts like a removal",
        ";starts like a comment",
        " padded ",
        "quote \" and back\\slash\\",
        "@",
    };
    // A key is named as the value, with '\' (the path separator) as '|'.
    const auto keyName = [](std::string name) {
        std::replace(name.begin(), name.end(), '\\', '|');
        return name == "@" ? std::string("at") : name;
    };
    TempRegistry registry(kEmptyHive);
    std::vector<std::string> expected;
    for (const std::string &name : kept) {
        expected.push_back(keyName(name));
        const std::string path = "Software\\Test\\" + keyName(name);
        ASSERT_EQ(CreateRegistryKey(path.c_str()), kRegistrySuccess) << name;
        std::vector<std::uint8_t> text = Bytes(name);
        text.push_back(0);
        ASSERT_EQ(Set(path.c_str(), name.c_str(), kRegSz, text), kRegistrySuccess) << name;
        const StoredValue stored = Query(path.c_str(), name.c_str());
        EXPECT_EQ(stored.code, kRegistrySuccess) << name;
        EXPECT_EQ(stored.type, kRegSz) << name;
        EXPECT_EQ(stored.data, text) << name;
    }
    EXPECT_EQ(Subkeys("Software\\Test"), expected) << registry.Contents();

    const std::string before = registry.Contents();
    EXPECT_EQ(CreateRegistryKey("Software\\Test\\\xFF"), kRegistryInvalidParameter);
    EXPECT_EQ(Set("Software\\Test", "\xFF", kRegSz, Bytes(std::string("x", 2))), kRegistryInvalidParameter);
    EXPECT_EQ(Set("Software\\Test", "Latin", kRegSz, Bytes(std::string("caf\xE9", 5))), kRegistryInvalidParameter);
    EXPECT_EQ(Set("Software\\Test", "Latin", kRegMultiSz, Bytes(std::string("\xE9\0\0", 3))),
              kRegistryInvalidParameter);
    // Octets are octets in a binary value.
    EXPECT_EQ(Set("Software\\Test", "Blob", kRegBinary, Hex("FF")), kRegistrySuccess);
    EXPECT_EQ(Query("Software\\Test", "Blob").data, Hex("FF"));
    EXPECT_EQ(Query("Software\\Test\\\xC3\xBF", "\xC3\xBF").data, Bytes(std::string("\xC3\xBF", 3)));
    EXPECT_NE(before, registry.Contents());
}

// The way a name was lost: a key added by its Latin-1 octet turned every
// UTF-8 name of the hive into Latin-1 when the hive was read back. An import
// that is not UTF-8 (and not REGEDIT4) is refused, saying where.
// A key name is refused for a control character or a stray octet wherever
// it stands, before or after a character outside ASCII, and for a length
// above 255; the hive stays as it was.
TEST(RegistryStore, KeyNamesAreCheckedToTheirLastOctet) {
    TempRegistry registry(kEmptyHive);
    const struct {
        std::string name;
        std::int32_t expected;
    } cases[] = {
        {"plain", kRegistrySuccess},
        {"caf\xC3\xA9 after", kRegistrySuccess},
        {std::string(255, 'k'), kRegistrySuccess},
        {std::string(256, 'k'), kRegistryInvalidParameter},
        {"tab\tinside", kRegistryInvalidParameter},
        {"delete\x7F", kRegistryInvalidParameter},
        {"caf\xC3\xA9\x01", kRegistryInvalidParameter},
        {"\xC3\xA9\x1F after", kRegistryInvalidParameter},
        {"caf\xC3\xA9\xFF", kRegistryInvalidParameter},
        {"caf\xC3", kRegistryInvalidParameter},
    };
    for (const auto &c : cases) {
        const std::string before = registry.Contents();
        const std::string path = "Software\\Test\\" + c.name;
        EXPECT_EQ(CreateRegistryKey(path.c_str()), c.expected) << c.name;
        if (c.expected != kRegistrySuccess) {
            EXPECT_EQ(registry.Contents(), before) << c.name;
        }
        RegistryKey key = nullptr;
        EXPECT_EQ(OpenRegistryKey(path.c_str(), kKeyRead, &key),
                  c.expected == kRegistrySuccess ? kRegistrySuccess : kRegistryNotFound)
            << c.name;
        CloseRegistryKey(key);
    }
}

TEST(RegistryImport, Version5TextThatIsNotUtf8IsRefusedAndChangesNothing) {
    TempRegistry registry;
    std::string problem;
    ASSERT_EQ(ImportRegistryText("Windows Registry Editor Version 5.00\n\n"
                                 "[HKEY_LOCAL_MACHINE\\Software\\Test\\\xC3\xBF]\n\"IP Address\"=\"10.0.0.1\"\n",
                                 problem),
              kRegistrySuccess)
        << problem;
    const std::string before = registry.Contents();
    EXPECT_EQ(ImportRegistryText("Windows Registry Editor Version 5.00\n\n"
                                 "[HKEY_LOCAL_MACHINE\\Software\\Test\\\xFF]\n\"IP Address\"=\"10.9.9.9\"\n",
                                 problem),
              kRegistryInvalidParameter);
    EXPECT_NE(problem.find("line 3: octet 0xFF is not UTF-8"), std::string::npos) << problem;
    EXPECT_EQ(registry.Contents(), before);
    EXPECT_EQ(Query("Software\\Test\\\xC3\xBF", "IP Address").data, Bytes(std::string("10.0.0.1", 9)));
    EXPECT_EQ(Subkeys("Software\\Test"), std::vector<std::string>{"\xC3\xBF"});

    // A hive with a stray octet is reported as such, not read another way.
    registry.Write(before + "\"Stray\"=\"\xFF\"\n");
    RegistryKey key = nullptr;
    EXPECT_EQ(OpenRegistryKey("Software\\Test\\\xC3\xBF", kKeyRead, &key), kRegistryCorrupt);
    EXPECT_NE(RegistryProblem().find(": octet 0xFF is not UTF-8"), std::string::npos) << RegistryProblem();
}

// Every open reads the hive anew: a rewrite between two opens in the same
// process is seen by the second, even one that keeps the file, its size and
// its modification time (only the bytes tell it apart), and one that breaks it.
// Rewrites the hive in place with `bytes` (of the same size) and gives it
// back the modification time it had, as `cp -p` or a fast editor can.
void RewriteInPlaceKeepingTimes(const TempRegistry &registry, const std::string &bytes) {
    struct stat before {};
    ASSERT_EQ(stat(registry.Path().c_str(), &before), 0);
    ASSERT_EQ(static_cast<std::size_t>(before.st_size), bytes.size());
    registry.Write(bytes);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, registry.Path().c_str(), times, 0), 0);
    struct stat after {};
    ASSERT_EQ(stat(registry.Path().c_str(), &after), 0);
    ASSERT_EQ(after.st_ino, before.st_ino);
    ASSERT_EQ(after.st_size, before.st_size);
    ASSERT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

void RenameOver(const TempRegistry &registry, const std::string &bytes) {
    const std::string replacement = registry.Path() + ".new";
    std::ofstream(replacement, std::ios::binary) << bytes;
    ASSERT_EQ(std::rename(replacement.c_str(), registry.Path().c_str()), 0);
}

TEST(RegistryStore, EveryOpenSeesTheHiveAsItIsNow) {
    const auto hiveWith = [](const std::string &address) {
        return std::string(kEmptyHive) + "\"IP Address\"=\"" + address + "\"\n";
    };
    TempRegistry registry(hiveWith("10.0.0.1"));
    EXPECT_EQ(Query("Software\\Test", "IP Address").data, Bytes(std::string("10.0.0.1", 9)));

    RewriteInPlaceKeepingTimes(registry, hiveWith("10.0.0.2"));  // same inode, same size
    EXPECT_EQ(Query("Software\\Test", "IP Address").data, Bytes(std::string("10.0.0.2", 9)));

    // Another process replaces the hive by renaming a new file over it.
    RenameOver(registry, hiveWith("10.0.0.3"));
    EXPECT_EQ(Query("Software\\Test", "IP Address").data, Bytes(std::string("10.0.0.3", 9)));

    registry.Write(std::string(kEmptyHive) + "garbage\n");
    EXPECT_EQ(Query("Software\\Test", "IP Address").code, kRegistryCorrupt);
    registry.Write(hiveWith("10.0.0.1"));
    EXPECT_EQ(Query("Software\\Test", "IP Address").data, Bytes(std::string("10.0.0.1", 9)));

    // A key open before a change keeps the tree it read.
    RegistryKey key = nullptr;
    ASSERT_EQ(OpenRegistryKey("Software\\Test", kKeyRead, &key), kRegistrySuccess);
    registry.Write(hiveWith("10.0.0.4"));
    char text[16] = {};
    std::uint32_t size = sizeof text;
    EXPECT_EQ(QueryRegistryValue(key, "IP Address", nullptr, text, &size), kRegistrySuccess);
    EXPECT_STREQ(text, "10.0.0.1");
    CloseRegistryKey(key);
    EXPECT_EQ(Query("Software\\Test", "IP Address").data, Bytes(std::string("10.0.0.4", 9)));
}

// Keys opened while a RegistryReading lives share one reading of the hive;
// the thread's own changes are seen by its next open all the same, other
// threads read the hive as it is, and once the reading ends every open reads
// it anew again.
TEST(RegistryStore, OpensSharingAReadingSeeTheirOwnChangesAndEndWithIt) {
    const auto hiveWith = [](const std::string &address) {
        return std::string(kEmptyHive) + "\"IP Address\"=\"" + address + "\"\n";
    };
    const auto address = [](const StoredValue &value) {
        const std::string text(value.data.begin(), value.data.end());
        return text.substr(0, text.find('\0'));
    };
    TempRegistry registry(hiveWith("10.0.0.1"));
    const auto replace = [&](const std::string &bytes) { RenameOver(registry, bytes); };
    {
        RegistryReading reading;
        EXPECT_EQ(address(Query("Software\\Test", "IP Address")), "10.0.0.1");
        replace(hiveWith("10.0.0.2"));
        std::string otherThread;
        std::thread([&] { otherThread = address(Query("Software\\Test", "IP Address")); }).join();
        EXPECT_EQ(otherThread, "10.0.0.2");
        EXPECT_EQ(address(Query("Software\\Test", "IP Address")), "10.0.0.1");  // this thread's reading

        // A change through the registry is stored into the hive as it is now,
        // and the next open sees the result.
        ASSERT_EQ(Set("Software\\Test", "Count", kRegDword, {7, 0, 0, 0}), kRegistrySuccess);
        EXPECT_EQ(address(Query("Software\\Test", "IP Address")), "10.0.0.2");
        EXPECT_EQ(Query("Software\\Test", "Count").data, (std::vector<std::uint8_t>{7, 0, 0, 0}));

        // A reading made inside another shares it, and its end ends nothing.
        replace(hiveWith("10.0.0.3"));
        {
            RegistryReading inner;
            inner.End();
        }
        EXPECT_EQ(address(Query("Software\\Test", "IP Address")), "10.0.0.2");
        reading.End();
        EXPECT_EQ(address(Query("Software\\Test", "IP Address")), "10.0.0.3");
        replace(hiveWith("10.0.0.4"));
        EXPECT_EQ(address(Query("Software\\Test", "IP Address")), "10.0.0.4");
    }
    replace(hiveWith("10.0.0.5"));
    EXPECT_EQ(address(Query("Software\\Test", "IP Address")), "10.0.0.5");
}

// Within one reading, an open of a path opened before finds what the
// registry's own changes left, not the key it found then.
TEST(RegistryStore, OpensSharingAReadingFindKeysAsChangedSince) {
    TempRegistry registry(std::string(kEmptyHive) + "\"Count\"=dword:00000001\n");
    RegistryReading reading;
    EXPECT_EQ(Query("Software\\Test", "Count").data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(Query("SOFTWARE\\test", "Count").data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    ASSERT_EQ(DeleteRegistryKey("Software\\Test"), kRegistrySuccess);
    EXPECT_EQ(Query("Software\\Test", "Count").code, kRegistryNotFound);
    EXPECT_EQ(Query("SOFTWARE\\test", "Count").code, kRegistryNotFound);
    ASSERT_EQ(Set("Software\\Other", "Count", kRegDword, {2, 0, 0, 0}), kRegistryNotFound);
    ASSERT_EQ(CreateRegistryKey("Software\\Test"), kRegistrySuccess);
    EXPECT_EQ(Query("Software\\Test", "Count").code, kRegistryNotFound);
    ASSERT_EQ(Set("Software\\Test", "Count", kRegDword, {3, 0, 0, 0}), kRegistrySuccess);
    // More paths than a reading remembers, then the first again.
    for (const char *path : {"Software", "Software\\Test", "software", "SOFTWARE", "Software\\TEST"}) {
        EXPECT_EQ(Query(path, "Count").code, path[8] == '\\' ? kRegistrySuccess : kRegistryNotFound) << path;
    }
    EXPECT_EQ(Query("Software\\Test", "Count").data, (std::vector<std::uint8_t>{3, 0, 0, 0}));
}

// Within one reading a key is found below its parent's key once the parent
// has been found: what every path names is what a fresh open finds.
TEST(RegistryStore, KeysFoundBelowAParentTheReadingFoundAreTheOnesTheirPathsName) {
    TempRegistry registry("Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_LOCAL_MACHINE\\Software\\Site\\p1]\n\"Count\"=dword:00000001\n\n"
                          "[HKEY_LOCAL_MACHINE\\Software\\Site\\p2]\n\"Count\"=dword:00000002\n\n"
                          "[HKEY_LOCAL_MACHINE\\Software\\Site\\p2\\inner]\n\"Count\"=dword:00000004\n");
    const auto count = [](const char *path) {
        const StoredValue value = Query(path, "Count");
        return value.code == kRegistrySuccess && value.data.size() == 4 ? int{value.data[0]} : -value.code;
    };
    for (int pass = 0; pass < 2; ++pass) {
        RegistryReading reading;
        EXPECT_EQ(count("Software\\Site\\p1"), 1);
        EXPECT_EQ(count("Software\\Site\\p2"), 2);
        EXPECT_EQ(count("Software\\Site\\P2\\"), 2);
        EXPECT_EQ(count("Software\\Site\\p2\\inner"), 4);
        EXPECT_EQ(count("Software\\Site\\p3"), -kRegistryNotFound);
        EXPECT_EQ(count("Software\\Site\\p\x01"), -kRegistryNotFound);
        EXPECT_EQ(count("Software\\Site\\\\"), -kRegistryNotFound);
        EXPECT_EQ(count("Software\\Site\\"), -kRegistryNotFound);  // the key is there, without the value
    }
    RegistryReading reading;
    EXPECT_EQ(count("Software\\Site\\p1"), 1);
    ASSERT_EQ(DeleteRegistryKey("Software\\Site\\p1"), kRegistrySuccess);
    EXPECT_EQ(count("Software\\Site\\p1"), -kRegistryNotFound);
    EXPECT_EQ(count("Software\\Site\\p2"), 2);
}

// Many threads open and read keys while the hive is rewritten under them:
// each read gives one of the values the hive held, never anything else.
TEST(RegistryStore, ThreadsOpeningWhileTheHiveChanges) {
    TempRegistry registry(std::string(kEmptyHive) + "\"Count\"=dword:00000000\n");
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                const StoredValue value = Query("Software\\Test", "Count");
                if (value.code != kRegistrySuccess || value.type != kRegDword || value.data.size() != 4 ||
                    value.data[0] > 20) {
                    ++wrong;
                }
            }
        });
    }
    for (std::uint8_t round = 1; round <= 20; ++round) {
        ASSERT_EQ(Set("Software\\Test", "Count", kRegDword, {round, 0, 0, 0}), kRegistrySuccess);
    }
    stop = true;
    for (std::thread &reader : readers) reader.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(Query("Software\\Test", "Count").data, (std::vector<std::uint8_t>{20, 0, 0, 0}));
}

// A store of `printers` printer keys; the one in the middle holds `address`.
std::string LargeStore(int printers, const std::string &address) {
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    for (int i = 0; i < printers; ++i) {
        hive += test::PrinterKey("printer" + std::to_string(i),
                                 "\"MAC Address\"=\"\"\n\"IP Address\"=\"" +
                                     (i == printers / 2 ? address : std::string("10.9.9.9")) + "\"\n");
    }
    return hive;
}

constexpr const char kMiddlePrinter[] = "Software\\Brelvin\\Palimar\\AdapterOnly\\printer5000";

std::string AddressOf(const StoredValue &value) {
    if (value.code != kRegistrySuccess) return "code " + std::to_string(value.code);
    const std::string text(value.data.begin(), value.data.end());
    return text.substr(0, text.find('\0'));
}

// Waits until the hive's times are old enough for its identity alone to be
// trusted, as a store nobody has written for a while is.
void WaitUntilSettled(const std::string &path) {
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    const time_t newest = std::max(status.st_mtim.tv_sec, status.st_ctim.tv_sec);
    while (time(nullptr) <= newest + hive::kSettledSeconds) std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

// A read costs the same whatever the store's size because the process keeps
// its last parse while the file's identity stays; every change is seen by
// the very next read all the same: in place within the same second (size
// and modification time as before), by a rename, in place on a store that
// has not changed for a while, and a file made unparsable fails that read.
TEST(RegistryStore, LargeStoreSeesEveryChangeAtTheNextRead) {
    constexpr int kPrinters = 10000;
    TempRegistry registry(LargeStore(kPrinters, "10.0.0.1"));
    EXPECT_EQ(AddressOf(Query(kMiddlePrinter, "IP Address")), "10.0.0.1");

    RewriteInPlaceKeepingTimes(registry, LargeStore(kPrinters, "10.0.0.2"));
    EXPECT_EQ(AddressOf(Query(kMiddlePrinter, "IP Address")), "10.0.0.2");
    RenameOver(registry, LargeStore(kPrinters, "10.0.0.3"));
    EXPECT_EQ(AddressOf(Query(kMiddlePrinter, "IP Address")), "10.0.0.3");

    WaitUntilSettled(registry.Path());
    EXPECT_EQ(AddressOf(Query(kMiddlePrinter, "IP Address")), "10.0.0.3");
    RewriteInPlaceKeepingTimes(registry, LargeStore(kPrinters, "10.0.0.4"));
    EXPECT_EQ(AddressOf(Query(kMiddlePrinter, "IP Address")), "10.0.0.4");

    WaitUntilSettled(registry.Path());
    EXPECT_EQ(AddressOf(Query(kMiddlePrinter, "IP Address")), "10.0.0.4");
    RenameOver(registry, LargeStore(kPrinters, "10.0.0.5"));
    EXPECT_EQ(AddressOf(Query(kMiddlePrinter, "IP Address")), "10.0.0.5");

    // The same size, one octet made a syntax error: "IP Address"= loses its '='.
    std::string broken = LargeStore(kPrinters, "10.0.0.5");
    broken[broken.find("\"IP Address\"=")+12] = ' ';
    RewriteInPlaceKeepingTimes(registry, broken);
    EXPECT_EQ(Query(kMiddlePrinter, "IP Address").code, kRegistryCorrupt);
    RenameOver(registry, LargeStore(kPrinters, "10.0.0.6"));
    EXPECT_EQ(AddressOf(Query(kMiddlePrinter, "IP Address")), "10.0.0.6");
}

// A change works on the process's last parse itself when nothing else holds
// it; a key opened before the change holds it, so the change works on a copy
// and the key goes on reading what it read.
TEST(RegistryStore, AKeyOpenBeforeItsOwnProcessWritesKeepsWhatItRead) {
    TempRegistry registry(LargeStore(100, "10.0.0.1"));
    constexpr const char kPrinter[] = "Software\\Brelvin\\Palimar\\AdapterOnly\\printer50";
    const auto change = [](const std::string &address) {
        std::string problem;
        return ImportRegistryText(test::PrinterHive("printer50", "\"IP Address\"=\"" + address + "\"\n"), problem);
    };
    RegistryKey before = nullptr;
    ASSERT_EQ(OpenRegistryKey(kPrinter, kKeyRead, &before), kRegistrySuccess);
    ASSERT_EQ(change("10.0.0.2"), kRegistrySuccess);
    char text[16] = {};
    std::uint32_t size = sizeof text;
    EXPECT_EQ(QueryRegistryValue(before, "IP Address", nullptr, text, &size), kRegistrySuccess);
    EXPECT_STREQ(text, "10.0.0.1");
    CloseRegistryKey(before);
    EXPECT_EQ(AddressOf(Query(kPrinter, "IP Address")), "10.0.0.2");
    // Nothing holds the last parse now: the next change works on it.
    ASSERT_EQ(change("10.0.0.3"), kRegistrySuccess);
    EXPECT_EQ(AddressOf(Query(kPrinter, "IP Address")), "10.0.0.3");
    EXPECT_NE(registry.Contents().find("\"IP Address\"=\"10.0.0.3\""), std::string::npos);
}

// Readers on many threads while one writer changes a printer of a large
// store again and again: no reader ever fails, and none ever reads a value
// older than one it has read before.
TEST(RegistryStore, ReadersOfALargeStoreNeverGoBackWhileItIsWritten) {
    TempRegistry registry(LargeStore(1000, "10.0.0.0"));
    constexpr const char kWatched[] = "Software\\Brelvin\\Palimar\\AdapterOnly\\printer500";
    constexpr int kWrites = 12;
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            int last = 0;
            while (!stop.load()) {
                // Half of them read as a transaction does, two opens sharing a reading.
                std::optional<RegistryReading> reading;
                if (t % 2 == 0) reading.emplace();
                const std::string address = AddressOf(Query(kWatched, "IP Address"));
                const StoredValue mac = Query(kWatched, "MAC Address");
                const int seen = address.rfind("10.0.0.", 0) == 0 ? std::atoi(address.c_str() + 7) : -1;
                if (seen < last || seen > kWrites || mac.code != kRegistrySuccess) ++wrong;
                last = std::max(last, seen);
            }
        });
    }
    for (int round = 1; round <= kWrites; ++round) {
        const std::string address = "10.0.0." + std::to_string(round);
        ASSERT_EQ(Set(kWatched, "IP Address", kRegSz, Bytes(std::string(address.c_str(), address.size() + 1))),
                  kRegistrySuccess);
    }
    stop = true;
    for (std::thread &reader : readers) reader.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(AddressOf(Query(kWatched, "IP Address")), "10.0.0." + std::to_string(kWrites));
}

// regedit on Windows exports UTF-16LE with a byte-order mark and CRLF line
// ends, text-typed hex lists in UTF-16LE, and long hex lists over lines.
std::string Utf16LeFile(const std::string &utf8) {
    std::string out("\xFF\xFE", 2);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        unsigned unit = static_cast<unsigned char>(utf8[i]);
        if (unit == 0xC3) unit = 0xC0 | (static_cast<unsigned char>(utf8[++i]) & 0x3F);  // the one accent used
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

TEST(RegistryImport, WindowsVersion5ExportInUtf16) {
    const std::string exported = Utf16LeFile(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brelvin\\Palimar\\AdapterOnly\\Desk Printer]\r\n"
        "\"cProtocols\"=dword:00000006\r\n"
        "\"MAC Address\"=\"0000C0A1B2C3\"\r\n"
        "\"Location\"=\"Caf\xC3\xA9 \\\"front\\\" C:\\\\queue\"\r\n"
        "\"Path\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
        "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
        "  17,18,19\r\n\r\n");
    TempRegistry registry;
    std::string problem;
    ASSERT_EQ(ImportRegistryText(exported, problem), kRegistrySuccess) << problem;
    const char *printer = "Software\\Brelvin\\Palimar\\AdapterOnly\\desk printer";
    EXPECT_EQ(Query(printer, "cProtocols").data, Hex("06 00 00 00"));
    EXPECT_EQ(Query(printer, "MAC Address").data, Bytes(std::string("0000C0A1B2C3", 13)));
    const StoredValue location = Query(printer, "Location");
    EXPECT_EQ(location.type, kRegSz);
    EXPECT_EQ(location.data, Bytes(std::string("Caf\xC3\xA9 \"front\" C:\\queue", 23)));
    const StoredValue path = Query(printer, "Path");
    EXPECT_EQ(path.type, kRegExpandSz);
    EXPECT_EQ(path.data, Bytes(std::string("%TEMP%", 7)));
    const StoredValue blob = Query(printer, "Blob");
    EXPECT_EQ(blob.type, kRegBinary);
    EXPECT_EQ(blob.data.size(), 26u);
    EXPECT_EQ(blob.data.back(), 0x19);
}

TEST(RegistryImport, Regedit4ExportInAnsi) {
    const std::string exported =
        "REGEDIT4\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\r\n"
        "\"UdpTimeOutInterval\"=dword:1e\r\n"
        "\"Path\"=hex(2):25,54,45,4d,50,25,00\r\n"
        "\"Latin\"=\"caf\xE9\"\r\n"
        "@=\"default\"\r\n";
    TempRegistry registry;
    std::string problem;
    ASSERT_EQ(ImportRegistryText(exported, problem), kRegistrySuccess) << problem;
    const char *snmp = "Software\\Brelvin\\Palimar\\Snmp";
    EXPECT_EQ(Query(snmp, "UdpTimeOutInterval").data, Hex("1E 00 00 00"));
    EXPECT_EQ(Query(snmp, "Path").data, Bytes(std::string("%TEMP%", 7)));
    EXPECT_EQ(Query(snmp, "Latin").data, Bytes(std::string("caf\xC3\xA9", 6)));  // Latin-1 read as such
    EXPECT_EQ(Query(snmp, "").data, Bytes(std::string("default", 8)));
}

TEST(RegistryImport, RemovesKeysAndValuesAndMergesTheRest) {
    TempRegistry registry(std::string(kEmptyHive) +
                          "\"Old\"=\"x\"\n\"Kept\"=\"y\"\n\n[HKEY_LOCAL_MACHINE\\Software\\Test\\Gone\\Deep]\n\"v\"=\"z\"\n");
    std::string problem;
    ASSERT_EQ(ImportRegistryText("Windows Registry Editor Version 5.00\n\n"
                                 "[-HKEY_LOCAL_MACHINE\\Software\\Test\\Gone]\n"
                                 "\"ignored\"=\"inside a removed key\"\n\n"
                                 "[HKEY_LOCAL_MACHINE\\Software\\Test]\n\"Old\"=-\n\"New\"=dword:00000001\n",
                                 problem),
              kRegistrySuccess)
        << problem;
    EXPECT_EQ(Query("Software\\Test", "Old").code, kRegistryNotFound);
    EXPECT_EQ(Query("Software\\Test", "Kept").code, kRegistrySuccess);
    EXPECT_EQ(Query("Software\\Test", "New").data, Hex("01 00 00 00"));
    EXPECT_EQ(Query("Software\\Test\\Gone", "v").code, kRegistryNotFound);
}

TEST(RegistryImport, BadFileChangesNothingAndSaysWhere) {
    TempRegistry registry(kEmptyHive);
    const std::string before = registry.Contents();
    std::string problem;
    EXPECT_EQ(ImportRegistryText("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Test]\n\"A\"=\"1\"\n\"B\"=word:1\n",
                                 problem),
              kRegistryInvalidParameter);
    EXPECT_NE(problem.find("line 5"), std::string::npos) << problem;
    EXPECT_EQ(registry.Contents(), before);
    EXPECT_EQ(ImportRegistryText("REGEDIT4\n[HKEY_USERS\\x]\n", problem), kRegistryInvalidParameter);
    EXPECT_NE(problem.find("HKEY_LOCAL_MACHINE"), std::string::npos) << problem;
    EXPECT_EQ(registry.Contents(), before);
}

// Key lines that share their start with the line before (siblings, a key
// and its parent, names that only begin alike, the same path again, a
// trailing backslash, another case) open the keys they name.
TEST(RegistryStore, KeyLinesSharingTheirStartOpenTheKeysTheyName) {
    const auto line = [](const std::string &path, int value) {
        char number[16];
        std::snprintf(number, sizeof number, "%08x", static_cast<unsigned>(value));
        return "[HKEY_LOCAL_MACHINE\\" + path + "]\n\"v" + std::to_string(value) + "\"=dword:" + number + "\n";
    };
    TempRegistry registry("Windows Registry Editor Version 5.00\n\n" + line("T\\A\\B", 1) + line("T\\A\\BC", 2) +
                          line("T\\A\\B\\C", 3) + line("T\\A", 4) + line("T\\A\\B", 5) + line("t\\a\\b\\D", 6) +
                          line("T\\A\\B\\", 7) + line("T\\AB\\C", 8) + line("T\\A\\B\\C\\E", 9) + line("T\\A\\B", 10) +
                          "[-HKEY_LOCAL_MACHINE\\T\\A\\BC]\n" + line("T\\A\\BC\\F", 11) + line("T\\A", 12));
    const struct {
        const char *path;
        std::vector<std::string> values;
        std::vector<std::string> subkeys;
    } keys[] = {
        {"T", {}, {"A", "AB"}},
        {"T\\A", {"v4", "v12"}, {"B", "BC"}},
        {"T\\A\\B", {"v1", "v5", "v7", "v10"}, {"C", "D"}},
        {"T\\A\\BC", {}, {"F"}},
        {"T\\A\\BC\\F", {"v11"}, {}},
        {"T\\A\\B\\C", {"v3"}, {"E"}},
        {"T\\A\\B\\C\\E", {"v9"}, {}},
        {"T\\A\\B\\D", {"v6"}, {}},
        {"T\\AB\\C", {"v8"}, {}},
    };
    for (const auto &key : keys) {
        RegistryKey open = nullptr;
        ASSERT_EQ(OpenRegistryKey(key.path, kKeyRead, &open), kRegistrySuccess) << key.path;
        std::vector<std::string> values;
        EXPECT_EQ(ListRegistryValues(open, values), kRegistrySuccess);
        CloseRegistryKey(open);
        EXPECT_EQ(values, key.values) << key.path;
        EXPECT_EQ(Subkeys(key.path), key.subkeys) << key.path;
    }
    // A path that breaks off after the shared part is refused all the same.
    for (const char *broken : {"T\\A\\B\\\\C", "T\\A\\B\\\\", "T\\A\\\\B"}) {
        registry.Write("Windows Registry Editor Version 5.00\n\n" + line("T\\A\\B", 1) + line(broken, 2));
        RegistryKey open = nullptr;
        EXPECT_EQ(OpenRegistryKey("T\\A\\B", kKeyRead, &open), kRegistryCorrupt) << broken;
    }
}

unsigned ModeOf(const std::string &path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? (status.st_mode & 07777) : 0;
}

// A key that has to be absent is added at the end of the hive as it stands
// when the hive is as the store writes it (or as an editor leaves it, in
// UTF-8 version 5.00 with nothing removed), else the hive is rewritten; in
// every case the store then holds what applying the text to the whole hive
// gives, its mode closes once it holds a community, and a key that is there,
// in another case or only through a key below it, leaves the hive as it was.
TEST(RegistryStore, AnAddedKeyReadsAsTheWholeHiveRewrittenWould) {
    const std::string v5 = "Windows Registry Editor Version 5.00\n\n";
    const std::string other = "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\AdapterOnly\\other]\n"
                              "\"IP Address\"=\"10.0.0.1\"\n\n";
    const std::string hexAtTheEnd = "[HKEY_LOCAL_MACHINE\\Software\\Test]\n\"Binary\"=hex:00,01,02,\\\n  03,04\n";
    const std::string added = test::PrinterHive("new", "\"MAC Address\"=\"\"\n\"IP Address\"=\"10.0.0.9\"\n");
    const std::string addedSecret = test::PrinterHive("new", "\"MAC Address\"=\"\"\n\"Community\"=\"s\"\n");
    // No blank line after the header: the key line would follow on from a
    // last line without its line end.
    const std::string addedTight = "Windows Registry Editor Version 5.00\n"
                                   "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\AdapterOnly\\new]\n\"v\"=\"1\"\n";
    std::string crlf;
    for (char c : v5 + other) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const struct {
        const char *what;
        std::string hive;
        const std::string &addition;
        std::int32_t code;
        bool appended;
        unsigned mode;
    } cases[] = {
        {"as the store writes it", v5 + other, added, kRegistrySuccess, true, 0644},
        {"a hex list over lines last", v5 + other + hexAtTheEnd, added, kRegistrySuccess, true, 0644},
        {"no line end after the last line", v5 + other + hexAtTheEnd.substr(0, hexAtTheEnd.size() - 1), added,
         kRegistrySuccess, true, 0644},
        {"no line end, nor a blank line before the key", v5 + other + "\"Last\"=\"x\"", addedTight,
         kRegistrySuccess, true, 0644},
        {"comments and blanks last", v5 + "; made by hand\n" + other + "; the end\n  \t\n", added, kRegistrySuccess,
         true, 0644},
        {"an empty hive", v5, added, kRegistrySuccess, true, 0644},
        {"a community already", v5 + other + "\"Community\"=\"s\"\n", added, kRegistrySuccess, true, 0600},
        {"a community added", v5 + other, addedSecret, kRegistrySuccess, true, 0600},
        {"there in another case", v5 + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\brelvin\\Palimar\\AdapterOnly\\NEW]\n", added,
         kRegistryKeyExists, false, 0644},
        {"there through a key below it", v5 + "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\AdapterOnly\\new\\x]\n",
         added, kRegistryKeyExists, false, 0644},
        {"there and removed further on",
         v5 + "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\AdapterOnly\\new]\n\"Old\"=\"1\"\n"
              "[-HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\AdapterOnly\\new]\n" + other,
         added, kRegistrySuccess, false, 0644},
        {"a community removed", v5 + other + "\"Community\"=\"s\"\n\"Community\"=-\n", added, kRegistrySuccess, false,
         0644},
        {"CRLF line ends", crlf, added, kRegistrySuccess, false, 0644},
        {"REGEDIT4", "REGEDIT4\n\n" + other, added, kRegistrySuccess, false, 0644},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + v5 + other, added, kRegistrySuccess, false, 0644},
        {"UTF-16LE", Utf16LeFile(v5 + other), added, kRegistrySuccess, false, 0644},
        {"no hive yet", "", added, kRegistrySuccess, false, 0644},
    };
    constexpr const char kNew[] = "Software\\Brelvin\\Palimar\\AdapterOnly\\new";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        // What applying the text to the whole hive stores.
        std::string expected;
        {
            TempRegistry whole(c.hive);
            if (!c.hive.empty()) {
                ASSERT_EQ(chmod(whole.Path().c_str(), 0644), 0);
            }
            std::string problem;
            ASSERT_EQ(ImportRegistryText(c.addition, problem), kRegistrySuccess) << problem;
            ASSERT_EQ(ExportRegistryText("", expected), kRegistrySuccess);
        }
        TempRegistry registry(c.hive);
        if (!c.hive.empty()) {
            ASSERT_EQ(chmod(registry.Path().c_str(), 0644), 0);
        }
        std::string problem;
        ASSERT_EQ(ImportRegistryTextWhere(kNew, KeyCondition::Absent, c.addition, problem), c.code) << problem;
        if (c.code != kRegistrySuccess) {
            EXPECT_EQ(registry.Contents(), c.hive);
            continue;
        }
        const std::string stored = registry.Contents();
        EXPECT_EQ(!c.hive.empty() && stored.compare(0, c.hive.size(), c.hive) == 0, c.appended);
        std::string exported;
        ASSERT_EQ(ExportRegistryText("", exported), kRegistrySuccess);
        EXPECT_EQ(exported, expected);
        EXPECT_EQ(ModeOf(registry.Path()), c.mode);
        EXPECT_EQ(FolderFiles(registry.Folder()), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
        // And once more: the key is there now.
        EXPECT_EQ(ImportRegistryTextWhere(kNew, KeyCondition::Absent, c.addition, problem), kRegistryKeyExists);
        EXPECT_EQ(registry.Contents(), stored);
    }
}

// A hive that does not parse takes no key at its end either: the add is
// refused as corrupt and the file stays exactly as it was.
TEST(RegistryStore, AHiveThatDoesNotParseTakesNoAddedKey) {
    const std::string v5 = "Windows Registry Editor Version 5.00\n\n";
    const std::string key = "[HKEY_LOCAL_MACHINE\\Software\\Test]\n";
    const std::string broken[] = {
        v5 + key + "\"Open\"=\"no closing quote\n",
        v5 + key + "\"Bad\"=hex:01,0g\n",
        v5 + key + "\"Hex\"=hex:01,02,\\\n",  // a hex list that the end of the file cuts off
        v5 + key + "\"Odd\"=hex(1):41,00,42\n",
        v5 + key + "\"Stray\"=\"\xFF\"\n",
        v5 + key + std::string("\"Nul\"=\"a\0b\"\n", 11),
        v5 + "\"Orphan\"=\"value before any key\"\n" + key,
        v5 + key + "garbage\n",
        v5 + "[HKEY_LOCAL_MACHINE\\Software\\\\Test]\n",
    };
    for (const std::string &hive : broken) {
        TempRegistry registry(hive);
        std::string problem;
        EXPECT_EQ(ImportRegistryTextWhere("Software\\New", KeyCondition::Absent,
                                          v5 + "[HKEY_LOCAL_MACHINE\\Software\\New]\n\"v\"=\"1\"\n", problem),
                  kRegistryCorrupt)
            << hive;
        EXPECT_EQ(registry.Contents(), hive);
    }
}

// Adders in separate processes, each killed with SIGKILL after a random
// (seeded) delay, so at every point of an add to a hive of some size:
// reading it, writing the new file, syncing, renaming. After every kill the
// hive parses and holds the keys the adder reported, or one more, and every
// key it held before; whatever temporary file the kill left is gone after
// the next write.
TEST(RegistryStore, AddersKilledAnywhereLeaveTheOldOrTheNewHive) {
    constexpr int kKills = 30;
    constexpr unsigned kSeed = 20261210;
    constexpr int kLongestDelayMicroseconds = 8000;
    TempRegistry registry(LargeStore(1000, "10.0.0.1"));
    constexpr const char kAddedKeys[] = "Software\\Added";
    const auto addKey = [&](std::uint32_t number) {
        const std::string name = "key" + std::to_string(number);
        std::string problem;
        return ImportRegistryTextWhere((std::string(kAddedKeys) + "\\" + name).c_str(), KeyCondition::Absent,
                                       "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Added\\" +
                                           name + "]\n\"Number\"=\"" + std::to_string(number) + "\"\n",
                                       problem);
    };
    const auto keysUpTo = [](std::uint32_t last) {
        std::vector<std::string> names;
        for (std::uint32_t n = 1; n <= last; ++n) names.push_back("key" + std::to_string(n));
        return names;
    };
    std::mt19937 random(kSeed);
    std::uniform_int_distribution<int> delay(0, kLongestDelayMicroseconds);
    std::uint32_t added = 0;
    int killsInsideAnAdd = 0;  // kills that left a temporary file behind
    for (int attempt = 0; attempt < kKills; ++attempt) {
        SCOPED_TRACE(testing::Message() << "kill " << attempt << " (seed " << kSeed << ")");
        int report[2];
        ASSERT_EQ(pipe(report), 0);
        const pid_t adder = StartSteppingWriter(added, report[1], addKey);
        ASSERT_GT(adder, 0);
        close(report[1]);
        ASSERT_TRUE(KilledAfter(adder, std::chrono::microseconds(delay(random))));
        const std::uint32_t reported = LastReported(report[0], added);
        close(report[0]);

        const std::vector<std::string> stored = Subkeys(kAddedKeys);
        if (stored == keysUpTo(reported + 1)) {
            added = reported + 1;
        } else {
            ASSERT_EQ(stored, keysUpTo(reported)) << "neither " << reported << " keys nor one more";
            added = reported;
        }
        ASSERT_EQ(AddressOf(Query("Software\\Brelvin\\Palimar\\AdapterOnly\\printer500", "IP Address")), "10.0.0.1");
        ASSERT_EQ(Subkeys("Software\\Brelvin\\Palimar\\AdapterOnly").size(), 1000u);
        const std::size_t debris = TemporaryFiles(registry.Folder()).size();
        ASSERT_LE(debris, 1u);
        killsInsideAnAdd += static_cast<int>(debris);

        ++added;
        ASSERT_EQ(addKey(added), kRegistrySuccess);
        EXPECT_EQ(Subkeys(kAddedKeys), keysUpTo(added));
        EXPECT_EQ(FolderFiles(registry.Folder()), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
    }
    RecordProperty("kills_inside_an_add", killsInsideAnAdd);
    std::printf("%d kills: %u keys added, %d left a temporary file\n", kKills, added, killsInsideAnAdd);
}

}  // namespace
}  // namespace snmphelper::platform
