// SPDX-License-Identifier: Apache-2.0
// Library load and unload: the entry function's steps for every reason, and
// the real shared library's loader hooks.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <array>
#include <cstring>
#include <cstdlib>
#include <string>

#include "library/library_entry.h"
#include "groups/object_groups.h"
#include "platform/heap.h"
#include "snmphelper.h"
#include "tests/support/child_process.h"
#include "tests/support/heap_faults.h"
#include "tests/support/temp_registry.h"
#include "transact/request_id.h"

namespace snmphelper {
namespace {

char moduleToken;

std::array<const char *, kObjectGroupCount> CurrentLists() {
    std::array<const char *, kObjectGroupCount> lists{};
    for (std::uint32_t g = 0; g < kObjectGroupCount; ++g) lists[g] = JoinedGroupList(g);
    return lists;
}

class LibraryEntryTest : public ::testing::Test {
protected:
    void TearDown() override { LibraryEntry(&moduleToken, kProcessDetach); }
};

TEST_F(LibraryEntryTest, ProcessAttachStoresTheHandleAndBuildsTheLists) {
    EXPECT_EQ(LibraryEntry(&moduleToken, kProcessAttach), 1);
    EXPECT_EQ(LibraryModuleHandle(), &moduleToken);
    for (std::uint32_t g = 0; g < kObjectGroupCount; ++g) EXPECT_NE(JoinedGroupList(g), nullptr) << g;
}

TEST_F(LibraryEntryTest, FirstRequestIdAfterLoadIsOne) {
    NextRequestId();
    LibraryEntry(&moduleToken, kProcessAttach);
    EXPECT_EQ(NextRequestId(), 1);
}

TEST_F(LibraryEntryTest, ThreadNotificationsChangeNothing) {
    LibraryEntry(&moduleToken, kProcessAttach);
    const auto lists = CurrentLists();
    const std::int64_t blocks = platform::HeapLiveBlocks();
    char otherModule;
    EXPECT_EQ(LibraryEntry(&otherModule, kThreadAttach), 1);
    EXPECT_EQ(LibraryEntry(&otherModule, kThreadDetach), 1);
    EXPECT_EQ(LibraryEntry(&otherModule, 7), 1);  // unknown reasons are ignored too
    EXPECT_EQ(LibraryModuleHandle(), &moduleToken);
    EXPECT_EQ(CurrentLists(), lists);
    EXPECT_EQ(platform::HeapLiveBlocks(), blocks);
}

TEST_F(LibraryEntryTest, ProcessDetachReleasesEveryList) {
    LibraryEntry(&moduleToken, kProcessAttach);
    const std::int64_t blocks = platform::HeapLiveBlocks();
    EXPECT_EQ(LibraryEntry(&moduleToken, kProcessDetach), 1);
    EXPECT_EQ(platform::HeapLiveBlocks(), blocks - kObjectGroupCount);
    for (std::uint32_t g = 0; g < kObjectGroupCount; ++g) EXPECT_EQ(JoinedGroupList(g), nullptr);
    // The handle stays valid for the life of the process.
    EXPECT_EQ(LibraryModuleHandle(), &moduleToken);
}

TEST_F(LibraryEntryTest, AttachingAgainDoesNotLeakTheEarlierLists) {
    LibraryEntry(&moduleToken, kProcessAttach);
    const std::int64_t blocks = platform::HeapLiveBlocks();
    LibraryEntry(&moduleToken, kProcessAttach);
    EXPECT_EQ(platform::HeapLiveBlocks(), blocks);
}

TEST_F(LibraryEntryTest, LoadSucceedsWhenEveryListAllocationFails) {
    LibraryEntry(&moduleToken, kProcessDetach);
    const std::int64_t blocks = platform::HeapLiveBlocks();
    {
        test::HeapFaultGuard guard;
        platform::HeapFailNthAllocation(1, true);
        EXPECT_EQ(LibraryEntry(&moduleToken, kProcessAttach), 1);
    }
    EXPECT_EQ(LibraryModuleHandle(), &moduleToken);
    for (std::uint32_t g = 0; g < kObjectGroupCount; ++g) EXPECT_EQ(JoinedGroupList(g), nullptr);
    EXPECT_EQ(LibraryEntry(&moduleToken, kProcessDetach), 1);
    EXPECT_EQ(platform::HeapLiveBlocks(), blocks);
}

// The shared library runs process attach from its ELF constructor: a packet
// formed through it carries request-id 1 and the string-table community,
// which only a stored module handle can load.
TEST(SharedLibrary, LoaderRunsTheLoadSteps) {
    const char *binaryDir = std::getenv("SNMPHELPER_BINARY_DIR");
    if (binaryDir == nullptr) GTEST_SKIP() << "SNMPHELPER_BINARY_DIR is not set";
    const std::string path = std::string(binaryDir) + "/libsnmphelper.so";
    void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    // Port monitors load the library at run time: a library that dlopen
    // refuses (static thread storage, say) is a failure, never a skip.
    ASSERT_NE(library, nullptr) << "cannot load " << path << ": " << dlerror();

    using FormFunction = uint8_t *(*)(int32_t, char *, uint32_t, char *, const uint32_t *,
                                      uint32_t, uint32_t *);
    using FreeFunction = void (*)(void *);
    auto form = reinterpret_cast<FormFunction>(dlsym(library, "HelperFormSNMPPacket"));
    auto release = reinterpret_cast<FreeFunction>(dlsym(library, "HelperFreeBlock"));
    ASSERT_NE(form, nullptr);
    ASSERT_NE(release, nullptr);

    char oid[] = "1.3.6.1.2.1.1.1.0";
    const uint32_t valueSize = 0;
    uint32_t length = 0;
    uint8_t *packet = form(SNMP_REQUEST_GET, oid, sizeof oid, nullptr, &valueSize, 1, &length);
    ASSERT_NE(packet, nullptr);
    // 30 2B, version 02 01 00, community 04 0B "t*o&r^e~l+d", A0 19, request-id 02 01 01.
    const std::string community(reinterpret_cast<const char *>(packet) + 7, 11);
    EXPECT_EQ(length, 45u);
    EXPECT_EQ(packet[6], 11);
    EXPECT_EQ(community, "t*o&r^e~l+d");
    EXPECT_EQ(packet[20], 0x02);
    EXPECT_EQ(packet[21], 0x01);
    EXPECT_EQ(packet[22], 0x01);
    release(packet);
    dlclose(library);  // runs process detach
}

// A process that exits while its threads are inside HelperGetSNMPObjects:
// the lists they read stay valid to the end (under AddressSanitizer a read
// of a released list is reported and fails the run).
TEST(SharedLibrary, ExitWhileThreadsFetchGroupsLeavesTheListsReadable) {
    const test::TempRegistry registry;
    for (int run = 0; run < 5; ++run) {
        const test::ProgramRun exited =
            test::RunProgram({test::BuildTreePath("tests/library_exit_program")}, test::ErrorOutput::Merged);
        ASSERT_EQ(exited.exitCode, 0) << exited.out;
        EXPECT_EQ(exited.out.rfind("exiting after ", 0), 0u) << exited.out;
    }
}

// An unload after use (the exit watch armed) still gives the lists back,
// and the process then exits cleanly.
TEST(SharedLibrary, UnloadAfterUseReleasesTheLists) {
    const test::TempRegistry registry;
    std::size_t listBytes = 0;
    LibraryEntry(&moduleToken, kProcessAttach);
    for (std::uint32_t g = 0; g < kObjectGroupCount; ++g) listBytes += std::strlen(JoinedGroupList(g)) + 1;
    LibraryEntry(&moduleToken, kProcessDetach);
    const test::ProgramRun unloaded =
        test::RunProgram({"env", "GLIBC_TUNABLES=glibc.malloc.tcache_count=0",
                          test::BuildTreePath("tests/library_unload_program"), test::BuildTreePath("libsnmphelper.so")},
                         test::ErrorOutput::Merged);
    ASSERT_EQ(unloaded.exitCode, 0) << unloaded.out;
    ASSERT_EQ(unloaded.out.rfind("released ", 0), 0u) << unloaded.out;
#if !defined(__SANITIZE_ADDRESS__)
    // (AddressSanitizer's heap keeps no such count; its leak check fails the
    // program instead when the lists are left behind.)
    EXPECT_GE(std::stoul(unloaded.out.substr(9)), listBytes) << unloaded.out;
#endif
}

}  // namespace
}  // namespace snmphelper
