// DLC access prepared once per process, against stand-in DLC interfaces
// installed as dlcapi.so: a missing library or entry point, an interface
// that faults or throws on its first command, rejections, an adapter of
// another type, event and memory failures, and the blocks the library
// builds. Every scenario forgets the process-wide state before and after
// (FakeDlc), so each runs as if the library had just been loaded.
#include "dlc/dlc_access.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <vector>

#include "dlc/dlc_commands.h"
#include "platform/event.h"
#include "platform/heap.h"
#include "tests/fixtures/fake_dlcapi.h"
#include "tests/support/debug_capture.h"
#include "tests/support/fault_handlers.h"
#include "tests/support/heap_faults.h"

namespace snmphelper {
namespace {

using test::FakeDlc;
using test::FakeDlcRule;

// The node address as DIR.STATUS reports it (Token Ring bit order), and as
// the library keeps it.
constexpr std::uint8_t kLibraryNode[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};

std::vector<std::uint8_t> NodeAddress() {
    return {DlcAdapterNodeAddress(), DlcAdapterNodeAddress() + 6};
}

// --- ReverseAddressBits -----------------------------------------------------

struct ReverseCase {
    std::uint8_t in[6];
    std::uint8_t out[6];
};

class ReverseAddressBitsVectors : public ::testing::TestWithParam<ReverseCase> {};

TEST_P(ReverseAddressBitsVectors, ReversesEachByteAndTwiceIsIdentity) {
    std::uint8_t address[6];
    std::memcpy(address, GetParam().in, 6);
    ReverseAddressBits(address);
    EXPECT_EQ(std::memcmp(address, GetParam().out, 6), 0);
    ReverseAddressBits(address);
    EXPECT_EQ(std::memcmp(address, GetParam().in, 6), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, ReverseAddressBitsVectors,
    ::testing::Values(ReverseCase{{0x01, 0x02, 0xA0, 0x00, 0x80, 0x0F},
                                  {0x80, 0x40, 0x05, 0x00, 0x01, 0xF0}},
                      ReverseCase{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                                  {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
                      ReverseCase{{0x02, 0x00, 0x00, 0x00, 0x00, 0x01},
                                  {0x40, 0x00, 0x00, 0x00, 0x00, 0x80}}));

TEST(ReverseAddressBits, TwiceIsIdentityForEveryByteValue) {
    for (unsigned value = 0; value < 256; ++value) {
        std::uint8_t address[6];
        std::memset(address, static_cast<int>(value), sizeof address);
        ReverseAddressBits(address);
        ReverseAddressBits(address);
        for (std::uint8_t byte : address) ASSERT_EQ(byte, value);
    }
}

// --- Binding the interface ------------------------------------------------------

TEST(InitDlcAccess, WithoutTheInterfaceLibraryDlcIsUnavailable) {
    const FakeDlc fake("");
    EXPECT_EQ(InitDlcAccess(), kDlcFailed);
    EXPECT_FALSE(DlcAvailable());
    EXPECT_EQ(NodeAddress(), std::vector<std::uint8_t>(6, 0));
    // The library handle stays null, so a later call tries again.
    EXPECT_EQ(InitDlcAccess(), kDlcFailed);
}

TEST(InitDlcAccess, WithoutAcsLanDlcIsUnavailableAndStaysSo) {
    const FakeDlc fake("fake_dlcapi_without_acslan");
    ASSERT_TRUE(fake.Loaded());
    EXPECT_EQ(InitDlcAccess(), kDlcFailed);
    EXPECT_FALSE(DlcAvailable());
    // The library stays loaded: a second call does nothing.
    EXPECT_EQ(InitDlcAccess(), kDlcFailed);
    EXPECT_FALSE(DlcAvailable());
}

TEST(InitDlcAccess, PreparesAdapterStatusAndPool) {
    const FakeDlc fake;
    ASSERT_TRUE(fake.Loaded());
    const std::int64_t blocksBefore = platform::HeapLiveBlocks();
    const std::int64_t eventsBefore = platform::LiveEvents();
    ASSERT_EQ(InitDlcAccess(), kDlcSuccess);
    EXPECT_TRUE(DlcAvailable());
    EXPECT_EQ(bgApplId, 0x5A);
    EXPECT_EQ(NodeAddress(), std::vector<std::uint8_t>(kLibraryNode, kLibraryNode + 6));

    const auto &open = fake.Seen(dlc::kDirOpenAdapter);
    EXPECT_EQ(open.block.adapterNumber, 0);
    EXPECT_EQ(open.block.applicationId, 0);  // read back, not carried
    EXPECT_NE(open.block.completionEvent, nullptr);
    EXPECT_EQ(open.openAdapter.maxFrameSize, 1496);
    EXPECT_EQ(open.openAdapter.openOptions, 0);
    EXPECT_EQ(open.openExtended.bufferPool, nullptr);
    EXPECT_EQ(open.openExtended.ethernetType, dlc::kEthernetTypeDefault);
    EXPECT_EQ(open.openDlc.maxSaps, 0x7E);
    EXPECT_EQ(open.openDlc.maxStations, 0xFF);
    EXPECT_EQ(open.openDlc.maxGroupSaps, 0);

    EXPECT_EQ(fake.Seen(dlc::kDirStatus).block.applicationId, 0x5A);
    const auto &pool = fake.Seen(dlc::kBufferCreate);
    EXPECT_EQ(pool.block.applicationId, 0x5A);
    EXPECT_NE(pool.table.bufferCreate.buffer, nullptr);
    EXPECT_EQ(pool.table.bufferCreate.bufferSize, 32768U);
    EXPECT_EQ(pool.table.bufferCreate.minimumSizeThreshold, 8192U);
    EXPECT_EQ(fake.Count(dlc::kDirCloseAdapter), 0);

    // Only the pool memory stays, with the interface.
    EXPECT_EQ(platform::HeapLiveBlocks(), blocksBefore + 1);
    EXPECT_EQ(platform::LiveEvents(), eventsBefore);
    // Prepared once: a second call changes nothing.
    EXPECT_EQ(InitDlcAccess(), kDlcFailed);
    EXPECT_EQ(fake.Count(dlc::kDirOpenAdapter), 1);
}

// --- The exception guard -----------------------------------------------------

struct FirstCommandCase {
    const char *title;
    int how;
};

class InitDlcAccessFirstCommand : public ::testing::TestWithParam<FirstCommandCase> {};

TEST_P(InitDlcAccessFirstCommand, LeavesDlcUnavailableAndSaysSoOnce) {
    const FakeDlc fake;
    ASSERT_TRUE(fake.Loaded());
    fake.Control<test::FakeDlcFirstCommandFn>("FakeDlcFirstCommand")(GetParam().how);
    const test::FaultHandlers before;
    const test::DebugOutputCapture capture;

    EXPECT_EQ(InitDlcAccess(), kDlcFailed);

    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"Got exception.DLC not installed"});
    EXPECT_FALSE(DlcAvailable());
    EXPECT_EQ(fake.Count(dlc::kDirStatus), 0);
    EXPECT_TRUE(test::FaultHandlers() == before);  // the guard's handlers are gone
    // As without the interface: a transport submits nothing.
    const std::uint8_t data[1] = {0};
    const std::uint8_t destination[6] = {};
    EXPECT_EQ(DlcTransmitUiFrame(0, data, 1, destination, 0x0A), kDlcFailed);
    EXPECT_EQ(fake.Count(dlc::kTransmitUiFrame), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, InitDlcAccessFirstCommand,
    ::testing::Values(FirstCommandCase{"AccessViolation", test::kFakeFirstCommandFaults},
                      FirstCommandCase{"CppException", test::kFakeFirstCommandThrows}),
    [](const auto &testCase) { return std::string(testCase.param.title); });

// --- Commands that fail -----------------------------------------------------------

TEST(InitDlcAccess, AdapterAlreadyOpenIsARejectionItGoesOnFrom) {
    const FakeDlc fake;
    ASSERT_TRUE(fake.Loaded());
    fake.Control<test::FakeDlcAlreadyOpenFn>("FakeDlcAlreadyOpen")();
    EXPECT_EQ(InitDlcAccess(), kDlcSuccess);
    EXPECT_EQ(bgApplId, 0x5A);
    EXPECT_EQ(fake.Count(dlc::kBufferCreate), 1);
}

TEST(InitDlcAccess, AdapterOfAnotherTypeIsClosedAgainAndItsAddressKept) {
    const FakeDlc fake;
    ASSERT_TRUE(fake.Loaded());
    const std::uint8_t node[6] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04};
    fake.Control<test::FakeDlcSetAdapterFn>("FakeDlcSetAdapter")(dlc::kAdapterTypeEthernet, node,
                                                                 0x33);
    EXPECT_EQ(InitDlcAccess(), kDlcWrongAdapter);
    EXPECT_EQ(NodeAddress(), (std::vector<std::uint8_t>{0x01, 0x02, 0x04, 0x08, 0x10, 0x20}));
    EXPECT_EQ(fake.Count(dlc::kDirCloseAdapter), 1);
    EXPECT_EQ(fake.Seen(dlc::kDirCloseAdapter).block.applicationId, 0x33);
    EXPECT_EQ(fake.Count(dlc::kBufferCreate), 0);
    // AcsLan stays bound.
    EXPECT_TRUE(DlcAvailable());
}

struct FailingCommandCase {
    const char *title;
    std::uint8_t command;
    FakeDlcRule rule;
    int expected;
    int closes;  // DIR.CLOSE.ADAPTER issued afterwards
};

class InitDlcAccessFailingCommand : public ::testing::TestWithParam<FailingCommandCase> {};

TEST_P(InitDlcAccessFailingCommand, ReportsAndClosesTheAdapterWhereItWasOpened) {
    const FakeDlc fake;
    ASSERT_TRUE(fake.Loaded());
    SetDlcWaitLimitsForTests(50, 50);
    fake.SetRule(GetParam().command, GetParam().rule);
    const std::int64_t eventsBefore = platform::LiveEvents();
    EXPECT_EQ(InitDlcAccess(), GetParam().expected);
    EXPECT_EQ(fake.Count(dlc::kDirCloseAdapter), GetParam().closes);
    EXPECT_EQ(platform::LiveEvents(), eventsBefore);
    EXPECT_TRUE(DlcAvailable());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, InitDlcAccessFailingCommand,
    ::testing::Values(
        FailingCommandCase{"OpenRejected", dlc::kDirOpenAdapter, {2, 0x1D, 0}, 1, 0},
        FailingCommandCase{"OpenCompletesWithError", dlc::kDirOpenAdapter, {0, 0x5E, 0}, 1, 0},
        FailingCommandCase{"OpenNeverCompletes", dlc::kDirOpenAdapter, {0, 0, 1}, 1, 0},
        FailingCommandCase{"StatusRejected", dlc::kDirStatus, {2, 0x01, 0}, 1, 1},
        FailingCommandCase{"StatusCompletesWithError", dlc::kDirStatus, {0, 0x04, 0}, 1, 1},
        FailingCommandCase{"StatusNeverCompletes", dlc::kDirStatus, {0, 0, 1}, 1, 1},
        FailingCommandCase{"PoolRejected", dlc::kBufferCreate, {2, 0x12, 0}, 1, 1},
        FailingCommandCase{"PoolCompletesWithError", dlc::kBufferCreate, {0, 0x12, 0}, 1, 1},
        FailingCommandCase{"PoolStillPending", dlc::kBufferCreate, {0, 0, 1}, 1, 1}),
    [](const auto &testCase) { return std::string(testCase.param.title); });

// --- Events and memory that cannot be had ---------------------------------------

class InitDlcAccessEventFailure : public ::testing::TestWithParam<int> {};

TEST_P(InitDlcAccessEventFailure, IsAFailureOfThatStep) {
    const FakeDlc fake;
    ASSERT_TRUE(fake.Loaded());
    platform::EventFailNthCreation(static_cast<std::uint64_t>(GetParam()));
    const int result = InitDlcAccess();
    platform::EventFailNthCreation(0);
    EXPECT_EQ(result, kDlcFailed);
    // 1: no adapter open at all; 2: status, 3: pool, each closing the adapter.
    EXPECT_EQ(fake.Count(dlc::kDirOpenAdapter), GetParam() == 1 ? 0 : 1);
    EXPECT_EQ(fake.Count(dlc::kDirCloseAdapter), GetParam() == 1 ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(EachEvent, InitDlcAccessEventFailure, ::testing::Values(1, 2, 3));

TEST(InitDlcAccess, EachAllocationFailureIsOutOfMemoryAndLeaksNothing) {
    std::int64_t blocksBefore = 0;
    int result = -1;
    const std::uint64_t allocations = test::ForEachAllocationFailure(
        [&] {
            const FakeDlc fake;
            blocksBefore = platform::HeapLiveBlocks();
            result = InitDlcAccess();
            if (result == kDlcSuccess) blocksBefore += 1;  // the pool, with the interface
        },
        [&](std::uint64_t k) {
            EXPECT_EQ(result, k == 0 ? kDlcSuccess : kDlcNoMemory) << "allocation " << k;
            EXPECT_EQ(platform::HeapLiveBlocks(), blocksBefore) << "allocation " << k;
        });
    // Block and tables of the open, block and table of the status, the pool
    // memory, block and table of BUFFER.CREATE.
    EXPECT_EQ(allocations, 7U);
}

// --- Wrappers on their own -------------------------------------------------------

TEST(DlcCommands, EveryWrapperAnswersOneWithoutDlc) {
    const FakeDlc fake("");
    ASSERT_EQ(InitDlcAccess(), kDlcFailed);
    platform::EventHandle event = platform::CreateManualResetEvent();
    std::uint16_t station = 0x7777;
    const std::uint8_t data[1] = {0};
    const std::uint8_t destination[6] = {};
    EXPECT_EQ(DlcOpenSap(0x10, &station, event), kDlcFailed);
    EXPECT_EQ(station, 0x7777);
    EXPECT_EQ(DlcCloseSap(0x1000), kDlcFailed);
    EXPECT_EQ(DlcStartReceive(0x1000, nullptr), kDlcFailed);
    EXPECT_EQ(DlcIssueRead(0x1000, event), nullptr);
    EXPECT_EQ(DlcCancel(dlc::kReceiveCancel, 0x1000, nullptr), kDlcFailed);
    EXPECT_EQ(DlcFreeBuffers(nullptr, event), kDlcFailed);
    EXPECT_EQ(DlcTransmitUiFrame(0x1000, data, 1, destination, 0x0A), kDlcFailed);
    platform::CloseEvent(event);
}

TEST(DlcCommands, OpenSapBuildsItsTableAndAnswersTheStation) {
    const FakeDlc fake;
    ASSERT_EQ(InitDlcAccess(), kDlcSuccess);
    platform::EventHandle event = platform::CreateManualResetEvent();
    std::uint16_t station = 0;
    EXPECT_EQ(DlcOpenSap(0x20, &station, event), kDlcSuccess);
    EXPECT_EQ(station, 0x2000);
    const auto &seen = fake.Seen(dlc::kDlcOpenSap);
    EXPECT_EQ(seen.block.completionEvent, event);
    EXPECT_EQ(seen.block.applicationId, 0x5A);
    const dlc::OpenSapTable &table = seen.table.openSap;
    EXPECT_EQ(table.sapValue, 0x20);
    EXPECT_EQ(table.optionsPriority, 0x04);
    EXPECT_EQ(table.stationCount, 1);
    EXPECT_EQ(table.dlcStatusFlags, 1U);
    EXPECT_EQ(table.timerT1, 10);
    EXPECT_EQ(table.maxOut, 5);
    EXPECT_EQ(table.timerT2, 0);
    EXPECT_EQ(table.maxIn, 0);
    platform::CloseEvent(event);
}

TEST(DlcCommands, CloseSapGivesUpAfterItsBound) {
    const FakeDlc fake;
    ASSERT_EQ(InitDlcAccess(), kDlcSuccess);
    SetDlcWaitLimitsForTests(0, 20);
    fake.SetRule(dlc::kDlcCloseSap, {0, 0, 1});
    EXPECT_EQ(DlcCloseSap(0x1000), kDlcFailed);
    EXPECT_EQ(fake.Seen(dlc::kDlcCloseSap).block.parameter.dlc.stationId, 0x1000);
}

TEST(DlcCommands, CancelNamesTheStationOrTheBlock) {
    const FakeDlc fake;
    ASSERT_EQ(InitDlcAccess(), kDlcSuccess);
    EXPECT_EQ(DlcCancel(dlc::kReceiveCancel, 0x1000, nullptr), kDlcSuccess);
    EXPECT_EQ(fake.Seen(dlc::kReceiveCancel).block.parameter.dlc.stationId, 0x1000);
    dlc::Ccb target{};
    EXPECT_EQ(DlcCancel(dlc::kReadCancel, 0x1000, &target), kDlcSuccess);
    EXPECT_EQ(fake.Seen(dlc::kReadCancel).block.parameter.command, &target);
    fake.SetRule(dlc::kReadCancel, {2, 0x01, 0});
    EXPECT_EQ(DlcCancel(dlc::kReadCancel, 0x1000, &target), kDlcFailed);
}

TEST(DlcCommands, ReleaseTransmitsReleasesOnlyTransmitsUpToTheCount) {
    const FakeDlc fake;
    ASSERT_EQ(InitDlcAccess(), kDlcSuccess);
    const std::int64_t blocksBefore = platform::HeapLiveBlocks();
    const std::uint8_t data[4] = {1, 2, 3, 4};
    const std::uint8_t destination[6] = {2, 0, 0, 0, 0, 1};
    ASSERT_EQ(DlcTransmitUiFrame(0x1000, data, 4, destination, 0x0A), kDlcSuccess);
    ASSERT_EQ(DlcTransmitUiFrame(0x1000, data, 4, destination, 0x0A), kDlcSuccess);
    EXPECT_EQ(platform::HeapLiveBlocks(), blocksBefore + 6);
    // A READ report by hand: both transmits and a foreign block, count 2.
    dlc::Ccb foreign{};
    foreign.command = dlc::kReceive;
    dlc::ParameterTable readTable{};
    dlc::Ccb read{};
    read.command = dlc::kRead;
    read.parameter.table = &readTable;
    fake.Control<test::FakeDlcQueueFn>("FakeDlcQueueTransmitCompletions")();
    platform::EventHandle event = platform::CreateManualResetEvent();
    dlc::Ccb *completed = DlcIssueRead(0x1000, event);
    ASSERT_NE(completed, nullptr);
    dlc::ReadEvent &report = ReadTableOf(completed).report.event;
    ASSERT_EQ(report.ccbCount, 2);
    dlc::Ccb *second = report.ccbCompletionList->next;
    readTable.read.report.event = report;
    readTable.read.report.event.ccbCompletionList = &foreign;
    foreign.next = report.ccbCompletionList;
    // The foreign block takes the first place in the count of 2: one
    // transmit is released, the other stays.
    EXPECT_EQ(DlcReleaseTransmits(&read), 2U);
    EXPECT_EQ(platform::HeapLiveBlocks(), blocksBefore + 3 + 2);  // one transmit + the READ
    // The rest of the list, as the interface reported it.
    readTable.read.report.event.ccbCompletionList = second;
    readTable.read.report.event.ccbCount = 1;
    EXPECT_EQ(DlcReleaseTransmits(&read), 1U);
    DlcReleaseBlock(completed);
    EXPECT_EQ(platform::HeapLiveBlocks(), blocksBefore);
    platform::CloseEvent(event);
}

}  // namespace
}  // namespace snmphelper
