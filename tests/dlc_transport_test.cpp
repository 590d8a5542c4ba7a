// SPDX-License-Identifier: Apache-2.0
// The DLC transport against the stand-in DLC interface: SAP selection, the
// frames it hands over, received frames copied out of buffer chains, READs
// that report other things, errors, timeouts, cancels that fail, and
// transports without DLC or without an event. Timeouts are 0 seconds (no
// wall-clock waits); the fake completes commands on the calling thread.
#include "dlc/dlc_transport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dlc/dlc_commands.h"
#include "snmphelper.h"
#include "platform/event.h"
#include "platform/heap.h"
#include "tests/fixtures/fake_dlcapi.h"
#include "tests/support/heap_faults.h"
#include "tests/support/temp_registry.h"

namespace snmphelper {
namespace {

using test::FakeDlc;

// A printer's adapter 02-00-00-00-00-01 as the interface carries it.
constexpr std::uint8_t kPrinterOnWire[6] = {0x40, 0x00, 0x00, 0x00, 0x00, 0x80};
constexpr std::uint8_t kPrinter[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};

std::vector<std::uint8_t> Pattern(std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return bytes;
}

// A prepared interface and a transport bound to the default SAP.
class DlcTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fake_.Loaded());
        ASSERT_EQ(InitDlcAccess(), kDlcSuccess);
        transport_ = new DlcTransport(1, 0, 0);
        ASSERT_TRUE(transport_->IsOpen());
        ASSERT_EQ(ResultCode(transport_->Bind(0)), kDlcSuccess);
    }
    void TearDown() override { delete transport_; }

    std::int32_t Receive(std::vector<std::uint8_t> &buffer) {
        return ResultCode(transport_->Receive(buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                                              &length_, sender_, &senderPort_));
    }

    FakeDlc fake_;
    DlcTransport *transport_ = nullptr;
    std::uint32_t length_ = 0xDEAD;
    std::uint8_t sender_[kSenderAddressRoom] = {};
    std::uint16_t senderPort_ = 0xBEEF;
};

// --- Without DLC --------------------------------------------------------------------

TEST(DlcTransportWithoutDlc, EveryOperationAnswersOneAndTheAddressIsZero) {
    const FakeDlc fake("");
    ASSERT_EQ(InitDlcAccess(), kDlcFailed);
    DlcTransport transport(1, 0, 0);
    const std::uint8_t data[3] = {1, 2, 3};
    EXPECT_EQ(ResultCode(transport.Bind(0)), kDlcFailed);
    EXPECT_EQ(ResultCode(transport.SendToAgent(data, 3, "020000000001")), kDlcFailed);
    EXPECT_EQ(ResultCode(transport.SendTo(data, 3, "020000000001", 0x0A)), kDlcFailed);
    EXPECT_EQ(ResultCode(transport.SendBroadcast(data, 3, 0x0A)), kDlcFailed);
    std::uint8_t buffer[16];
    std::uint32_t length = 0xDEAD;
    std::uint16_t port = 0xBEEF;
    EXPECT_EQ(ResultCode(transport.Receive(buffer, sizeof buffer, &length, buffer, &port)), kDlcFailed);
    EXPECT_EQ(length, 0xDEADU);
    EXPECT_EQ(port, 0xBEEF);
    std::uint8_t address[6];
    std::memset(address, 0xEE, sizeof address);
    EXPECT_EQ(LocalAddressResult(transport.GetLocalAddress(address)), 1);
    EXPECT_EQ(std::vector<std::uint8_t>(address, address + 6), std::vector<std::uint8_t>(6, 0));
}

TEST(DlcTransportWithoutEvent, IsNotOpenAndSubmitsNothing) {
    const FakeDlc fake;
    ASSERT_EQ(InitDlcAccess(), kDlcSuccess);
    const std::int64_t eventsBefore = platform::LiveEvents();
    platform::EventFailNthCreation(1);
    {
        DlcTransport transport(1, 0, 0);
        platform::EventFailNthCreation(0);
        EXPECT_FALSE(transport.IsOpen());
        const std::uint8_t data[1] = {0};
        EXPECT_EQ(ResultCode(transport.Bind(0)), kDlcFailed);
        EXPECT_EQ(ResultCode(transport.SendToAgent(data, 1, "020000000001")), kDlcFailed);
        std::uint8_t buffer[4];
        std::uint32_t length = 0;
        EXPECT_EQ(ResultCode(transport.Receive(buffer, 4, &length, buffer, nullptr)), kDlcFailed);
        std::uint8_t address[6];
        EXPECT_EQ(LocalAddressResult(transport.GetLocalAddress(address)), 1);
        EXPECT_EQ(std::vector<std::uint8_t>(address, address + 6),
                  (std::vector<std::uint8_t>{0x02, 0, 0, 0, 0, 0x01}));
        EXPECT_EQ(fake.Count(dlc::kDlcOpenSap), 0);
        EXPECT_EQ(fake.Count(dlc::kTransmitUiFrame), 0);
        EXPECT_EQ(fake.Count(dlc::kRead), 0);
    }
    EXPECT_EQ(platform::LiveEvents(), eventsBefore);
}

// --- Bind ---------------------------------------------------------------------------

struct BindCase {
    std::uint16_t port;
    std::uint8_t sap;
};

class DlcTransportBind : public ::testing::TestWithParam<BindCase> {};

TEST_P(DlcTransportBind, OpensTheSapOfThePortsLowByteAndStartsReceiving) {
    const FakeDlc fake;
    ASSERT_EQ(InitDlcAccess(), kDlcSuccess);
    const std::int64_t eventsBefore = platform::LiveEvents();
    {
        DlcTransport transport(1, 0, 0);
        ASSERT_EQ(ResultCode(transport.Bind(GetParam().port)), kDlcSuccess);
        EXPECT_EQ(fake.Seen(dlc::kDlcOpenSap).table.openSap.sapValue, GetParam().sap);
        const std::uint16_t station = static_cast<std::uint16_t>(GetParam().sap << 8);
        EXPECT_EQ(transport.StationId(), station);
        const auto &receive = fake.Seen(dlc::kReceive);
        EXPECT_EQ(receive.table.receive.stationId, station);
        EXPECT_EQ(receive.table.receive.receiveFlag, 0x50204040U);
        EXPECT_EQ(receive.block.completionFlag, 0x50204030U);
        EXPECT_EQ(receive.block.completionEvent, nullptr);
        EXPECT_EQ(receive.block.applicationId, 0x5A);
        EXPECT_EQ(transport.LocalPort(), 0U);
    }
    // Closing cancels the RECEIVE, closes the SAP and the event.
    EXPECT_EQ(fake.Count(dlc::kReceiveCancel), 1);
    EXPECT_EQ(fake.Seen(dlc::kReceiveCancel).block.parameter.dlc.stationId, GetParam().sap << 8);
    EXPECT_EQ(fake.Count(dlc::kDlcCloseSap), 1);
    EXPECT_EQ(fake.Seen(dlc::kDlcCloseSap).block.parameter.dlc.stationId, GetParam().sap << 8);
    EXPECT_EQ(platform::LiveEvents(), eventsBefore);
}

INSTANTIATE_TEST_SUITE_P(Ports, DlcTransportBind,
                         ::testing::Values(BindCase{0, 0x10}, BindCase{0x20, 0x20},
                                           BindCase{0x120, 0x20}));

TEST(DlcTransportBindFailure, ReportsTheFailingStepAndStillClosesStationZero) {
    const FakeDlc fake;
    ASSERT_EQ(InitDlcAccess(), kDlcSuccess);
    fake.SetRule(dlc::kDlcOpenSap, {2, dlc::kStatusInvalidSapValue, 0});
    {
        DlcTransport transport(1, 0, 0);
        EXPECT_EQ(ResultCode(transport.Bind(0)), kDlcFailed);
        EXPECT_EQ(transport.StationId(), 0);
        EXPECT_TRUE(transport.IsOpen());
        EXPECT_EQ(fake.Count(dlc::kReceive), 0);
    }
    EXPECT_EQ(fake.Seen(dlc::kDlcCloseSap).block.parameter.dlc.stationId, 0);
}

TEST(DlcTransportBindFailure, OutOfMemoryForTheReceiveIsTwo) {
    const FakeDlc fake;
    ASSERT_EQ(InitDlcAccess(), kDlcSuccess);
    DlcTransport transport(1, 0, 0);
    const test::HeapFaultGuard guard;
    platform::HeapFailNthAllocation(3);  // SAP block, SAP table, RECEIVE block
    EXPECT_EQ(ResultCode(transport.Bind(0)), kDlcNoMemory);
}

// --- Sending --------------------------------------------------------------------------

TEST_F(DlcTransportTest, SendToAgentHandsTheBitSwappedAddressAndSap0A) {
    const std::vector<std::uint8_t> message = Pattern(45);
    ASSERT_EQ(ResultCode(transport_->SendToAgent(message.data(), 45, "020000000001")), kDlcSuccess);
    const auto &seen = fake_.Seen(dlc::kTransmitUiFrame);
    // LAN header: access and frame control 0, destination, source left to the interface.
    const std::uint8_t header[14] = {0, 0, 0x40, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(seen.transmitHeader, header, sizeof header), 0);
    const dlc::TransmitTable &table = seen.table.transmit;
    EXPECT_EQ(table.stationId, 0x1000);
    EXPECT_EQ(table.remoteSap, 0x0A);
    EXPECT_EQ(table.buffer1Length, 14);
    EXPECT_EQ(table.buffer2Length, 45);
    EXPECT_EQ(table.queue1, nullptr);
    EXPECT_EQ(std::vector<std::uint8_t>(seen.transmitData, seen.transmitData + 45), message);
    EXPECT_EQ(seen.block.completionEvent, nullptr);
    EXPECT_EQ(seen.block.completionFlag, 0U);
    EXPECT_EQ(seen.block.applicationId, 0x5A);
}

struct SendCase {
    const char *title;
    int kind;  // 0 SendTo, 1 SendBroadcast
    const char *address;
    std::uint16_t port;
    std::uint8_t onWire[6];
    std::uint8_t remoteSap;
};

class DlcTransportSend : public DlcTransportTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(DlcTransportSend, AddressesTheFrame) {
    const std::uint8_t data[2] = {0x30, 0x00};
    const SendCase &c = GetParam();
    const std::int32_t result = c.kind == 0 ? ResultCode(transport_->SendTo(data, 2, c.address, c.port))
                                            : ResultCode(transport_->SendBroadcast(data, 2, c.port));
    ASSERT_EQ(result, kDlcSuccess);
    const auto &seen = fake_.Seen(dlc::kTransmitUiFrame);
    EXPECT_EQ(std::memcmp(seen.transmitHeader + 2, c.onWire, 6), 0);
    EXPECT_EQ(seen.table.transmit.remoteSap, c.remoteSap);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, DlcTransportSend,
    ::testing::Values(
        SendCase{"Broadcast", 1, nullptr, 0x0A, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0x0A},
        SendCase{"LowerCaseText", 0, "a0b1c2d3e4f5", 0x0A, {0x05, 0x8D, 0x43, 0xCB, 0x27, 0xAF}, 0x0A},
        SendCase{"PortLowByte", 0, "020000000001", 0x1234, {0x40, 0, 0, 0, 0, 0x80}, 0x34}),
    [](const auto &testCase) { return std::string(testCase.param.title); });

// An address of fewer than 12 hex digits names no adapter: refused as a
// short IPX address is, nothing sent and nothing read past its end.
TEST_F(DlcTransportTest, AnAddressOfFewerThanTwelveDigitsIsRefused) {
    const std::uint8_t data[2] = {0x30, 0x00};
    for (const char *address : {"", "02", "02000000000", "02000000000G", static_cast<const char *>(nullptr)}) {
        EXPECT_EQ(ResultCode(transport_->SendToAgent(data, 2, address)), CPH_DATAGRAM_SEND_FAILED)
            << (address != nullptr ? address : "(null)");
    }
    EXPECT_EQ(fake_.Count(dlc::kTransmitUiFrame), 0);
    // Twelve digits and whatever follows them: the twelve are the address.
    EXPECT_EQ(ResultCode(transport_->SendToAgent(data, 2, "020000000001FF")), kDlcSuccess);
    EXPECT_EQ(std::memcmp(fake_.Seen(dlc::kTransmitUiFrame).transmitHeader + 2, kPrinterOnWire, 6), 0);
}

TEST_F(DlcTransportTest, ARejectedFrameIsOneAndReleasesEverything) {
    fake_.SetRule(dlc::kTransmitUiFrame, {2, dlc::kStatusInvalidStationId, 0});
    const std::int64_t before = platform::HeapLiveBlocks();
    const std::uint8_t data[1] = {0};
    EXPECT_EQ(ResultCode(transport_->SendToAgent(data, 1, "020000000001")), kDlcFailed);
    EXPECT_EQ(platform::HeapLiveBlocks(), before);
}

TEST_F(DlcTransportTest, OutOfMemoryForAnyPartOfAFrameIsTwoAndLeaksNothing) {
    const std::uint8_t data[8] = {};
    const std::int64_t before = platform::HeapLiveBlocks();
    std::int32_t result = -1;
    const std::uint64_t allocations = test::ForEachAllocationFailure(
        [&] { result = ResultCode(transport_->SendToAgent(data, 8, "020000000001")); },
        [&](std::uint64_t k) {
            if (k != 0) {
                EXPECT_EQ(result, kDlcNoMemory) << "allocation " << k;
                EXPECT_EQ(platform::HeapLiveBlocks(), before + 3) << "allocation " << k;
            }
        });
    EXPECT_EQ(allocations, 3U);  // frame, block, table
}

TEST_F(DlcTransportTest, ADatagramLongerThanAFrameCanCarryIsRefused) {
    std::vector<std::uint8_t> data(0x10000);
    EXPECT_EQ(ResultCode(transport_->SendToAgent(data.data(), 0x10000, "020000000001")), kDlcFailed);
    EXPECT_EQ(fake_.Count(dlc::kTransmitUiFrame), 0);
}

// --- Receiving ------------------------------------------------------------------------

TEST_F(DlcTransportTest, CopiesAFrameFromItsBufferChain) {
    const std::vector<std::uint8_t> frame = Pattern(100);
    fake_.QueueFrame(frame.data(), 100, 40, kPrinterOnWire, 0x0A);
    std::vector<std::uint8_t> buffer(512, 0);
    ASSERT_EQ(Receive(buffer), kDlcSuccess);
    EXPECT_EQ(length_, 100U);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 100), frame);
    EXPECT_EQ(std::memcmp(sender_, kPrinter, 6), 0);
    EXPECT_EQ(senderPort_, 0x0A);
    EXPECT_EQ(fake_.OutstandingFrames(), 0);
    const auto &read = fake_.Seen(dlc::kRead);
    EXPECT_EQ(read.table.read.stationId, 0x1000);
    EXPECT_EQ(read.table.read.optionIndicator, 1);
    EXPECT_EQ(read.table.read.eventSet, 0x7F);
    EXPECT_EQ(fake_.Seen(dlc::kBufferFree).block.applicationId, 0x5A);
}

struct FitCase {
    const char *title;
    std::uint32_t frameLength;
    std::uint32_t bufferSize;  // data bytes per receive buffer
    std::uint32_t room;
    std::int32_t result;
    std::uint32_t copied;
};

class DlcTransportFit : public DlcTransportTest, public ::testing::WithParamInterface<FitCase> {};

TEST_P(DlcTransportFit, CopiesWhatFitsAndReturnsTheBuffers) {
    const FitCase &c = GetParam();
    const std::vector<std::uint8_t> frame = Pattern(c.frameLength);
    fake_.QueueFrame(frame.data(), c.frameLength, c.bufferSize, kPrinterOnWire, 0x0A);
    std::vector<std::uint8_t> buffer(c.room, 0);
    EXPECT_EQ(Receive(buffer), c.result);
    EXPECT_EQ(length_, c.copied);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + c.copied),
              std::vector<std::uint8_t>(frame.begin(), frame.begin() + c.copied));
    EXPECT_EQ(senderPort_, 0x0A);
    EXPECT_EQ(fake_.OutstandingFrames(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rooms, DlcTransportFit,
    ::testing::Values(FitCase{"ExactFit", 512, 200, 512, kDlcSuccess, 512},
                      FitCase{"TooLargeInOneBuffer", 600, 1024, 512, kDlcFrameTooLarge, 0},
                      FitCase{"TooLargeAfterTwoBuffers", 600, 256, 512, kDlcFrameTooLarge, 512},
                      FitCase{"TooLargeMidway", 600, 200, 512, kDlcFrameTooLarge, 400},
                      FitCase{"EmptyFrame", 0, 64, 0, kDlcSuccess, 0}),
    [](const auto &testCase) { return std::string(testCase.param.title); });

struct FailedReadCase {
    const char *title;
    int kind;  // 0 READ error status, 1 status change
    std::uint16_t value;
    std::int32_t result;
};

class DlcTransportFailedRead : public DlcTransportTest,
                               public ::testing::WithParamInterface<FailedReadCase> {};

TEST_P(DlcTransportFailedRead, EndsTheReceive) {
    const FailedReadCase &c = GetParam();
    if (c.kind == 0) {
        fake_.Control<test::FakeDlcQueueReadErrorFn>("FakeDlcQueueReadError")(
            static_cast<std::uint8_t>(c.value));
    } else {
        fake_.Control<test::FakeDlcQueueStatusFn>("FakeDlcQueueStatusChange")(c.value);
    }
    const std::int64_t before = platform::HeapLiveBlocks();
    std::vector<std::uint8_t> buffer(64);
    EXPECT_EQ(Receive(buffer), c.result);
    EXPECT_EQ(length_, 0xDEADU);
    EXPECT_EQ(senderPort_, 0);
    EXPECT_EQ(platform::HeapLiveBlocks(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, DlcTransportFailedRead,
    ::testing::Values(
        FailedReadCase{"LostData", 0, dlc::kStatusLostDataNoBuffers, kDlcLinkFailure},
        FailedReadCase{"AdapterClosed", 0, dlc::kStatusAdapterClosed, kDlcLinkFailure},
        FailedReadCase{"LinkLost", 1, dlc::kIndicateLinkLost, kDlcLinkFailure},
        FailedReadCase{"DmOrDisc", 1, dlc::kIndicateDmDiscReceived, kDlcLinkFailure},
        FailedReadCase{"FrmrReceived", 1, dlc::kIndicateFrmrReceived, kDlcLinkFailure},
        // Other status changes are not failures: the next READ times out.
        FailedReadCase{"RemoteReady", 1, dlc::kIndicateRemoteReady, kDlcTimedOut}),
    [](const auto &testCase) { return std::string(testCase.param.title); });

TEST_F(DlcTransportTest, NoFrameTimesOutCancelsTheReadAndWritesOnlyThePort) {
    const std::int64_t before = platform::HeapLiveBlocks();
    std::vector<std::uint8_t> buffer(64);
    EXPECT_EQ(Receive(buffer), kDlcTimedOut);
    EXPECT_EQ(length_, 0xDEADU);
    EXPECT_EQ(senderPort_, 0);
    EXPECT_EQ(fake_.Count(dlc::kReadCancel), 1);
    EXPECT_EQ(platform::HeapLiveBlocks(), before);
}

TEST_F(DlcTransportTest, TransmitCompletionsAreReleasedAndTheReceiveWaitsAgain) {
    const std::uint8_t data[4] = {1, 2, 3, 4};
    ASSERT_EQ(ResultCode(transport_->SendToAgent(data, 4, "020000000001")), kDlcSuccess);
    ASSERT_EQ(ResultCode(transport_->SendToAgent(data, 4, "020000000001")), kDlcSuccess);
    const std::int64_t before = platform::HeapLiveBlocks();
    fake_.Control<test::FakeDlcQueueFn>("FakeDlcQueueTransmitCompletions")();
    fake_.Control<test::FakeDlcQueueFn>("FakeDlcQueueNothing")();
    std::vector<std::uint8_t> buffer(64);
    EXPECT_EQ(Receive(buffer), kDlcTimedOut);
    // The transmits' READ, a READ of nothing awaited, and the one that timed out.
    EXPECT_EQ(fake_.Count(dlc::kRead), 3);
    EXPECT_EQ(fake_.PendingTransmits(), 0);
    EXPECT_EQ(platform::HeapLiveBlocks(), before - 6);  // header, block, table each
    EXPECT_EQ(senderPort_, 0);
}

TEST_F(DlcTransportTest, TransmitCompletionsThenAFrame) {
    const std::uint8_t data[4] = {1, 2, 3, 4};
    ASSERT_EQ(ResultCode(transport_->SendToAgent(data, 4, "020000000001")), kDlcSuccess);
    fake_.Control<test::FakeDlcQueueFn>("FakeDlcQueueTransmitCompletions")();
    const std::vector<std::uint8_t> frame = Pattern(30);
    fake_.QueueFrame(frame.data(), 30, 64, kPrinterOnWire, 0x0A);
    std::vector<std::uint8_t> buffer(64);
    EXPECT_EQ(Receive(buffer), kDlcSuccess);
    EXPECT_EQ(length_, 30U);
    EXPECT_EQ(fake_.PendingTransmits(), 0);
}

TEST_F(DlcTransportTest, AReadThatCompletesAfterItsCancelFailedKeepsItsFrame) {
    fake_.SetRule(dlc::kRead, {0, 0, 1});  // every READ held until something happens
    const std::vector<std::uint8_t> frame = Pattern(20);
    fake_.QueueFrame(frame.data(), 20, 64, kPrinterOnWire, 0x0A);
    fake_.Control<test::FakeDlcReadCancelFailsFn>("FakeDlcReadCancelFails")(1);
    std::vector<std::uint8_t> buffer(64);
    EXPECT_EQ(Receive(buffer), kDlcSuccess);
    EXPECT_EQ(length_, 20U);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 20), frame);
    EXPECT_EQ(senderPort_, 0x0A);
    EXPECT_EQ(fake_.OutstandingFrames(), 0);
}

// An interface that batches frames: each Receive gets the next frame of
// the READ in arrival order, and every frame's buffers go back to the pool,
// also those of frames still held when the transport is destroyed.
TEST_F(DlcTransportTest, EveryFrameOfABatchedReadIsReceivedAndReturnedToThePool) {
    for (int perRead : {2, 3}) {
        SCOPED_TRACE(perRead);
        fake_.Control<test::FakeDlcBatchFramesFn>("FakeDlcBatchFrames")(perRead);
        const int readsBefore = fake_.Count(dlc::kRead);
        std::vector<std::vector<std::uint8_t>> frames;
        for (int i = 0; i < perRead; ++i) {
            frames.push_back(Pattern(10 + static_cast<std::size_t>(i)));
            const std::uint8_t sap = static_cast<std::uint8_t>(0x0A + i);
            fake_.QueueFrame(frames.back().data(), 10 + static_cast<std::uint32_t>(i), 4, kPrinterOnWire, sap);
        }
        std::vector<std::uint8_t> buffer(64);
        for (int i = 0; i < perRead; ++i) {
            ASSERT_EQ(Receive(buffer), kDlcSuccess);
            ASSERT_EQ(length_, frames[i].size());
            EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + length_), frames[i]);
            EXPECT_EQ(senderPort_, 0x0A + i);
        }
        EXPECT_EQ(fake_.Count(dlc::kRead), readsBefore + 1);
        EXPECT_EQ(fake_.OutstandingFrames(), 0);
        EXPECT_EQ(Receive(buffer), kDlcTimedOut);
    }
    // Destroyed while holding two frames of a batch of three.
    const std::vector<std::uint8_t> frame = Pattern(8);
    for (int i = 0; i < 3; ++i) fake_.QueueFrame(frame.data(), 8, 64, kPrinterOnWire, 0x0A);
    std::vector<std::uint8_t> buffer(64);
    ASSERT_EQ(Receive(buffer), kDlcSuccess);
    EXPECT_EQ(fake_.OutstandingFrames(), 2);
    delete transport_;
    transport_ = nullptr;
    EXPECT_EQ(fake_.OutstandingFrames(), 0);
}

// A READ cancelled for its timeout is gone; a frame that arrives after it
// is the next READ's, and its buffers go back too.
TEST_F(DlcTransportTest, AFrameArrivingAfterASuccessfulCancelIsTheNextReadsAndReturned) {
    fake_.Control<test::FakeDlcBatchFramesFn>("FakeDlcBatchFrames")(2);
    std::vector<std::uint8_t> buffer(64);
    ASSERT_EQ(Receive(buffer), kDlcTimedOut);
    ASSERT_EQ(fake_.Count(dlc::kReadCancel), 1);
    const std::vector<std::uint8_t> frame = Pattern(12);
    fake_.QueueFrame(frame.data(), 12, 5, kPrinterOnWire, 0x0A);
    fake_.QueueFrame(frame.data(), 6, 5, kPrinterOnWire, 0x0A);
    ASSERT_EQ(Receive(buffer), kDlcSuccess);
    EXPECT_EQ(length_, 12U);
    ASSERT_EQ(Receive(buffer), kDlcSuccess);
    EXPECT_EQ(length_, 6U);
    EXPECT_EQ(fake_.OutstandingFrames(), 0);
}

TEST_F(DlcTransportTest, AReadWhoseCancelFailedAndThatDidNotCompleteIsLeftToTheInterface) {
    fake_.Control<test::FakeDlcReadCancelFailsFn>("FakeDlcReadCancelFails")(0);
    const std::int64_t before = platform::HeapLiveBlocks();
    std::vector<std::uint8_t> buffer(64);
    EXPECT_EQ(Receive(buffer), kDlcTimedOut);
    EXPECT_EQ(platform::HeapLiveBlocks(), before + 2);  // the READ and its table
}

TEST_F(DlcTransportTest, AReadThatCannotBeIssuedIsOne) {
    fake_.SetRule(dlc::kRead, {2, dlc::kStatusInvalidStationId, 0});
    std::vector<std::uint8_t> buffer(64);
    EXPECT_EQ(Receive(buffer), kDlcFailed);
    EXPECT_EQ(senderPort_, 0);
    const test::HeapFaultGuard guard;
    fake_.SetRule(dlc::kRead, {0, 0, 0});
    platform::HeapFailNthAllocation(1);
    EXPECT_EQ(Receive(buffer), kDlcFailed);
}

TEST_F(DlcTransportTest, LocalAddressIsTheAdaptersNodeAddress) {
    std::uint8_t address[6];
    EXPECT_EQ(LocalAddressResult(transport_->GetLocalAddress(address)), 1);
    EXPECT_EQ(std::memcmp(address, kPrinter, 6), 0);
}

// What the interface ended at the close comes back to the heap: a transmit
// no READ collected, a READ given up on, the cancelled RECEIVE.
TEST(DlcTransportClose, ReleasesEverythingTheCloseEnded) {
    const FakeDlc fake;
    ASSERT_EQ(InitDlcAccess(), kDlcSuccess);
    const std::int64_t before = platform::HeapLiveBlocks();
    {
        DlcTransport transport(1, 0, 0);
        ASSERT_EQ(ResultCode(transport.Bind(0)), kDlcSuccess);
        const std::uint8_t data[4] = {1, 2, 3, 4};
        ASSERT_EQ(ResultCode(transport.SendToAgent(data, 4, "020000000001")), kDlcSuccess);
        fake.Control<test::FakeDlcReadCancelFailsFn>("FakeDlcReadCancelFails")(0);
        std::vector<std::uint8_t> buffer(64);
        std::uint32_t length = 0;
        ASSERT_EQ(ResultCode(transport.Receive(buffer.data(), 64, &length, nullptr, nullptr)), kDlcTimedOut);
    }
    EXPECT_EQ(fake.PendingTransmits(), 0);
    EXPECT_EQ(platform::HeapLiveBlocks(), before);
}

TEST(DlcTransportClose, ASapCloseThatNeverCompletesIsGivenUpOn) {
    const FakeDlc fake;
    ASSERT_EQ(InitDlcAccess(), kDlcSuccess);
    SetDlcWaitLimitsForTests(0, 20);
    fake.SetRule(dlc::kDlcCloseSap, {0, 0, 1});
    auto *transport = new DlcTransport(1, 0, 0);
    ASSERT_EQ(ResultCode(transport->Bind(0)), kDlcSuccess);
    const std::int64_t before = platform::HeapLiveBlocks();
    delete transport;
    EXPECT_EQ(fake.Count(dlc::kDlcCloseSap), 1);
    // The cancel ended the RECEIVE: released; the close's block stays.
    EXPECT_EQ(platform::HeapLiveBlocks(), before - 2 + 1);
}

// --- What a transaction returns ---------------------------------------------------------

// A printer reached only over DLC whose send fails: HelperSNMPTransact
// returns the DLC interface's own code, as its documentation says.
TEST(DlcTransactResult, ASendThatFailsOverDlcGivesTheInterfacesCode) {
    const test::TempRegistry registry(test::PrinterHive(
        "prn", "\"cProtocols\"=dword:00000004\n\"pProtocol\"=dword:00000004\n\"MAC Address\"=\"020000000001\"\n"));
    const auto transact = [] {
        char oids[64] = "1.3.6.1.2.1.1.5.0";
        char values[64] = "";
        std::uint32_t valueSize = sizeof values;
        return HelperSNMPTransact("prn", SNMP_REQUEST_GET, oids, sizeof oids, values, &valueSize, 1);
    };
    {
        const FakeDlc none("");
        ASSERT_NE(InitDlcAccess(), kDlcSuccess);
        EXPECT_EQ(transact(), kDlcFailed);
    }
    const FakeDlc fake;
    ASSERT_TRUE(fake.Loaded());
    ASSERT_EQ(InitDlcAccess(), kDlcSuccess);
    fake.SetRule(dlc::kTransmitUiFrame, {2, dlc::kStatusInvalidStationId, 0});
    EXPECT_EQ(transact(), kDlcFailed);
}

}  // namespace
}  // namespace snmphelper
