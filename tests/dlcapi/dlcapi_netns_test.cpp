// SPDX-License-Identifier: Apache-2.0
// dlcapi.so, the DLC interface of this platform, loaded as the library loads
// it and driven through AcsLan with command blocks, against raw 802.2
// frames on a veth pair. Frames are built and read here byte by byte.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/dlc_interface.h"
#include "platform/event.h"
#include "tests/support/raw_frames.h"
#include "tests/support/veth_pair.h"

namespace {

namespace dlc = snmphelper::dlc;
namespace platform = snmphelper::platform;
using snmphelper::test::MacAddress;
using snmphelper::test::RawFrames;
using snmphelper::test::VethPair;
using Bytes = std::vector<std::uint8_t>;

const char *const kDlcInterface = "dlcif0";
const char *const kPeerInterface = "dlcpeer0";
const MacAddress kLocal = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const MacAddress kPeer = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
const MacAddress kOther = {0x02, 0x00, 0x00, 0x00, 0x00, 0x03};
constexpr std::uint8_t kAgentSap = 0x0A;
constexpr std::uint8_t kLocalSap = 0x10;
constexpr std::uint32_t kPoolSize = 32768;
constexpr std::size_t kPoolBuffers = kPoolSize / 256;

// Completions are expected at once; the limit only bounds a failure.
constexpr std::uint32_t kCompletionWaitMs = 2000;
constexpr std::uint32_t kSilenceWaitMs = 300;

std::uint8_t Reverse(std::uint8_t value) {
    std::uint8_t reversed = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if ((value & (1U << bit)) != 0) reversed = static_cast<std::uint8_t>(reversed | (0x80U >> bit));
    }
    return reversed;
}

MacAddress Reversed(const MacAddress &mac) {
    MacAddress out{};
    for (std::size_t i = 0; i < mac.size(); ++i) out[i] = Reverse(mac[i]);
    return out;
}

MacAddress MacAt(const std::uint8_t *bytes) {
    MacAddress mac{};
    std::memcpy(mac.data(), bytes, mac.size());
    return mac;
}

// An 802.3 frame from the peer: LLC header and data, then `padding` zeros
// outside the length.
Bytes PeerFrame(const MacAddress &to, std::uint8_t dsap, std::uint8_t ssap, std::uint8_t control, const Bytes &data,
                std::size_t padding = 0) {
    Bytes frame(to.begin(), to.end());
    frame.insert(frame.end(), kPeer.begin(), kPeer.end());
    const std::size_t length = 3 + data.size();
    frame.push_back(static_cast<std::uint8_t>(length >> 8));
    frame.push_back(static_cast<std::uint8_t>(length));
    frame.push_back(dsap);
    frame.push_back(ssap);
    frame.push_back(control);
    frame.insert(frame.end(), data.begin(), data.end());
    frame.insert(frame.end(), padding, 0);
    return frame;
}

Bytes Pattern(std::size_t length, std::uint8_t seed) {
    Bytes data(length);
    for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(seed + i * 7);
    return data;
}

// A command block with its own table and event.
struct Command {
    explicit Command(std::uint8_t code, std::uint8_t applicationId) : event(platform::CreateManualResetEvent()) {
        block.command = code;
        block.applicationId = applicationId;
        block.parameter.table = &table;
        block.completionEvent = event;
    }
    ~Command() { platform::CloseEvent(event); }
    Command(const Command &) = delete;
    Command &operator=(const Command &) = delete;

    bool Completed(std::uint32_t waitMs = kCompletionWaitMs) const {
        return platform::WaitForEvent(event, waitMs) == platform::EventWait::kSignalled;
    }

    dlc::Ccb block{};
    dlc::ParameterTable table{};
    platform::EventHandle event;
};

// dlcapi.so from the build tree, as the library would load DLCAPI.DLL.
class DlcApi {
public:
    DlcApi() {
        const std::string path = std::string(SNMPHELPER_TEST_BINARY_DIR) + "/snmphelper/dlcapi.so";
        library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library_ != nullptr) acsLan_ = reinterpret_cast<dlc::AcsLanEntry>(dlsym(library_, "AcsLan"));
    }
    ~DlcApi() {
        if (library_ != nullptr) dlclose(library_);
    }
    DlcApi(const DlcApi &) = delete;
    DlcApi &operator=(const DlcApi &) = delete;

    bool Loaded() const { return acsLan_ != nullptr; }
    dlc::AcsLanStatus Submit(dlc::Ccb &block) {
        dlc::Ccb *failing = nullptr;
        const dlc::AcsLanStatus answer = acsLan_(&block, &failing);
        if (answer != dlc::kAcsLanAccepted) {
            EXPECT_EQ(failing, &block);
        }
        return answer;
    }
    // Submits and waits: the block's final status, or 0xFF when it stays pending.
    std::uint8_t Run(Command &command) {
        Submit(command.block);
        return command.Completed() ? command.block.status : dlc::kStatusPending;
    }

private:
    void *library_ = nullptr;
    dlc::AcsLanEntry acsLan_ = nullptr;
};

// One adapter open with its pool, closed again at the end.
class Application {
public:
    explicit Application(DlcApi &api) : api_(api) {}
    ~Application() {
        if (id_ != 0) Close();
    }
    Application(const Application &) = delete;
    Application &operator=(const Application &) = delete;

    std::uint8_t Open() {
        Command open(dlc::kDirOpenAdapter, 0);
        dlc::AdapterOpenParameters adapter{};
        dlc::ExtendedAdapterParameters extended{};
        dlc::DlcParameters parameters{};
        adapter.maxFrameSize = 1496;
        parameters.maxSaps = 0x7E;
        parameters.maxStations = 0xFF;
        open.table.dirOpenAdapter = {&adapter, &extended, &parameters, nullptr};
        EXPECT_EQ(api_.Submit(open.block), dlc::kAcsLanAccepted);
        EXPECT_TRUE(open.Completed());
        if (open.block.status != dlc::kStatusSuccess) return open.block.status;
        id_ = open.block.applicationId;
        EXPECT_NE(id_, 0);
        return dlc::kStatusSuccess;
    }
    std::uint8_t CreatePool() {
        pool_.assign(kPoolSize, 0);
        Command create(dlc::kBufferCreate, id_);
        create.table.bufferCreate.buffer = pool_.data();
        create.table.bufferCreate.bufferSize = kPoolSize;
        create.table.bufferCreate.minimumSizeThreshold = kPoolSize / 4;
        return api_.Run(create);
    }
    void Close() {
        Command close(dlc::kDirCloseAdapter, id_);
        close.block.parameter.table = nullptr;
        EXPECT_EQ(api_.Run(close), dlc::kStatusSuccess);
        id_ = 0;
    }
    std::optional<std::uint16_t> OpenSap(std::uint8_t sap) {
        Command open(dlc::kDlcOpenSap, id_);
        open.table.openSap.sapValue = sap;
        open.table.openSap.optionsPriority = dlc::kSapIndividual;
        open.table.openSap.stationCount = 1;
        open.table.openSap.dlcStatusFlags = 1;
        if (api_.Run(open) != dlc::kStatusSuccess) return std::nullopt;
        return open.table.openSap.stationId;
    }
    std::uint8_t CloseSap(std::uint16_t station) {
        Command close(dlc::kDlcCloseSap, id_);
        close.block.parameter.dlc.stationId = station;
        return api_.Run(close);
    }
    // A RECEIVE left outstanding; false when it did not stay pending.
    bool StartReceive(Command &receive, std::uint16_t station) {
        receive.block.completionEvent = nullptr;
        receive.table.receive.stationId = station;
        receive.table.receive.receiveFlag = 0x50204040;
        return api_.Submit(receive.block) == dlc::kAcsLanAccepted && receive.block.status == dlc::kStatusPending;
    }
    void CancelReceive(std::uint16_t station) {
        Command cancel(dlc::kReceiveCancel, id_);
        cancel.block.parameter.dlc.stationId = station;
        EXPECT_EQ(api_.Run(cancel), dlc::kStatusSuccess);
    }
    void IssueRead(Command &read, std::uint16_t station) {
        read.table.read.stationId = station;
        read.table.read.optionIndicator = dlc::kReadSap;
        read.table.read.eventSet = dlc::kEventAll;
        platform::ClearEvent(read.event);
        EXPECT_EQ(api_.Submit(read.block), dlc::kAcsLanAccepted);
    }
    dlc::AcsLanStatus CancelRead(Command &read) {
        Command cancel(dlc::kReadCancel, id_);
        cancel.block.parameter.command = &read.block;
        const dlc::AcsLanStatus answer = api_.Submit(cancel.block);
        EXPECT_TRUE(cancel.Completed());
        return answer;
    }
    // BUFFER.FREE: its status, and the buffers left through `left`.
    std::uint8_t FreeBuffers(dlc::ReceiveBuffer *first, std::uint16_t *left = nullptr) {
        Command free(dlc::kBufferFree, id_);
        free.table.bufferFree.firstBuffer = first;
        const std::uint8_t status = api_.Run(free);
        if (left != nullptr) *left = free.table.bufferFree.buffersLeft;
        return status;
    }
    std::uint8_t Id() const { return id_; }

private:
    DlcApi &api_;
    std::uint8_t id_ = 0;
    Bytes pool_;
};

// A transmit as the library builds it: a 14-byte LAN header with the
// destination in token-ring order, then the data; completed through READ.
struct Transmit {
    Transmit(std::uint8_t applicationId, std::uint16_t station, const MacAddress &to, std::uint8_t remoteSap,
             Bytes payload)
        : lanHeader(14, 0), data(std::move(payload)) {
        block.command = dlc::kTransmitUiFrame;
        block.applicationId = applicationId;
        block.parameter.table = &table;
        const MacAddress reversed = Reversed(to);
        std::memcpy(lanHeader.data() + 2, reversed.data(), reversed.size());
        table.transmit.stationId = station;
        table.transmit.remoteSap = remoteSap;
        table.transmit.buffer1 = lanHeader.data();
        table.transmit.buffer1Length = 14;
        table.transmit.buffer2 = data.data();
        table.transmit.buffer2Length = static_cast<std::uint16_t>(data.size());
    }
    dlc::Ccb block{};
    dlc::ParameterTable table{};
    Bytes lanHeader;
    Bytes data;
};

// The data of a received frame's buffer chain, and its buffer count.
Bytes ChainData(const dlc::ReceiveBuffer *first, std::size_t &buffers) {
    Bytes data;
    buffers = 0;
    for (const dlc::ReceiveBuffer *part = first; part != nullptr && buffers < kPoolBuffers;
         part = part->header.nextBuffer) {
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(part);
        EXPECT_LE(part->header.userDataOffset + part->header.userDataLength, part->header.bufferLength);
        data.insert(data.end(), bytes + part->header.userDataOffset,
                    bytes + part->header.userDataOffset + part->header.userDataLength);
        ++buffers;
    }
    return data;
}

// An 802.3 length frame from the adapter (the kernel's own IPv6 traffic is not).
bool IsFromLocal(const Bytes &frame) {
    return frame.size() >= 17 && MacAt(frame.data() + 6) == kLocal && (frame[12] << 8 | frame[13]) <= 1500;
}

// Reads `station` until it reported local busy and `count` frames came,
// freeing none: the frames, in order; `busy` tells whether it was reported.
std::vector<dlc::ReceiveBuffer *> ReadUntilBusy(Application &application, std::uint16_t station, std::size_t count,
                                                bool &busy) {
    std::vector<dlc::ReceiveBuffer *> frames;
    busy = false;
    for (std::size_t reads = 0; reads < count + 3 && !(busy && frames.size() == count); ++reads) {
        Command read(dlc::kRead, application.Id());
        application.IssueRead(read, station);
        if (!read.Completed()) {
            EXPECT_EQ(application.CancelRead(read), dlc::kAcsLanAccepted);
            break;
        }
        if (read.table.read.event == dlc::kEventStatusChange) {
            EXPECT_EQ(read.table.read.report.status.dlcStatusCode, dlc::kIndicateLocalStationBusy);
            EXPECT_EQ(read.table.read.report.status.stationId, station);
            busy = true;
        } else if (read.table.read.event == dlc::kEventReceiveData) {
            frames.push_back(read.table.read.report.event.receivedFrame);
        }
    }
    return frames;
}

class DlcApiTest : public ::testing::Test {
protected:
    DlcApiTest() : veth_(kDlcInterface, kPeerInterface, kLocal, kPeer), peer_(kPeerInterface) {}
    void SetUp() override {
        if (!veth_.Ready()) GTEST_SKIP() << "needs a veth pair: " << veth_.Error();
        if (!peer_.Open()) GTEST_SKIP() << "needs a packet socket: " << peer_.Error();
        ASSERT_TRUE(api_.Loaded()) << dlerror();
        setenv("SNMPHELPER_DLC_INTERFACE", kDlcInterface, 1);
        unsetenv("SNMPHELPER_DLC_ADAPTER_TYPE");
    }
    // `count` frames of 1497 data bytes (seven pool buffers each) to `sap`,
    // frame i carrying Pattern(1497, i).
    bool SendFullFrames(std::size_t count, std::uint8_t sap) {
        for (std::size_t i = 0; i < count; ++i) {
            if (!peer_.Send(PeerFrame(kLocal, sap, kAgentSap, 0x03, Pattern(1497, static_cast<std::uint8_t>(i))))) {
                return false;
            }
        }
        return true;
    }
    std::optional<Bytes> NextFromLocal(int waitMs = static_cast<int>(kCompletionWaitMs)) {
        return peer_.ReceiveMatching(IsFromLocal, waitMs);
    }

    VethPair veth_;
    RawFrames peer_;
    DlcApi api_;
};

TEST_F(DlcApiTest, OpenStatusPoolAndClose) {
    Application application(api_);
    ASSERT_EQ(application.Open(), dlc::kStatusSuccess);

    Command status(dlc::kDirStatus, application.Id());
    ASSERT_EQ(api_.Run(status), dlc::kStatusSuccess);
    EXPECT_EQ(MacAt(status.table.dirStatus.nodeAddress), Reversed(kLocal)) << "token-ring order";
    EXPECT_EQ(MacAt(status.table.dirStatus.permanentAddress), Reversed(kLocal));
    EXPECT_EQ(status.table.dirStatus.adapterType, 0x0100);

    setenv("SNMPHELPER_DLC_ADAPTER_TYPE", "0x0010", 1);
    Command other(dlc::kDirStatus, application.Id());
    ASSERT_EQ(api_.Run(other), dlc::kStatusSuccess);
    EXPECT_EQ(other.table.dirStatus.adapterType, 0x0010);

    ASSERT_EQ(application.CreatePool(), dlc::kStatusSuccess);
    EXPECT_EQ(application.CreatePool(), dlc::kStatusDuplicateCommand) << "one pool per open";

    // A second open is another application with an id of its own.
    Application second(api_);
    ASSERT_EQ(second.Open(), dlc::kStatusSuccess);
    EXPECT_NE(second.Id(), application.Id());
    second.Close();

    const std::uint8_t id = application.Id();
    application.Close();
    Command late(dlc::kDirStatus, id);
    EXPECT_EQ(api_.Submit(late.block), dlc::kAcsLanCcbInError);
    EXPECT_EQ(late.block.status, dlc::kStatusInvalidApplicationId);
}

TEST_F(DlcApiTest, OpenFailsWithoutTheInterface) {
    setenv("SNMPHELPER_DLC_INTERFACE", "nosuch0", 1);
    Application application(api_);
    EXPECT_EQ(application.Open(), dlc::kStatusAdapterNotInstalled);
    EXPECT_EQ(application.Id(), 0);
}

TEST_F(DlcApiTest, OpenFailsWithoutCapNetRaw) {
    // In a child: the capability is gone from the process for good.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (syscall(SYS_capget, &header, data) != 0) _exit(2);
        for (auto &set : data) {
            set.effective &= ~(1U << CAP_NET_RAW);
            set.permitted &= ~(1U << CAP_NET_RAW);
        }
        if (syscall(SYS_capset, &header, data) != 0) _exit(2);
        Application application(api_);
        const std::uint8_t status = application.Open();
        _exit(status == dlc::kStatusAccessDenied ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "DIR.OPEN.ADAPTER did not answer access denied";
}

TEST_F(DlcApiTest, SapStationsAndTheirErrors) {
    Application application(api_);
    ASSERT_EQ(application.Open(), dlc::kStatusSuccess);
    ASSERT_EQ(application.CreatePool(), dlc::kStatusSuccess);
    EXPECT_EQ(application.OpenSap(kLocalSap), 0x1000);
    EXPECT_EQ(application.OpenSap(kLocalSap), 0x1001) << "a second open of SAP 10 is a station of its own";
    EXPECT_EQ(application.OpenSap(0x20), 0x2000);
    EXPECT_FALSE(application.OpenSap(0x11)) << "a group SAP";
    EXPECT_FALSE(application.OpenSap(0x00)) << "the null SAP";
    EXPECT_EQ(application.CloseSap(0x1000), dlc::kStatusSuccess);
    EXPECT_EQ(application.OpenSap(kLocalSap), 0x1000) << "the lowest free id again";
    EXPECT_EQ(application.CloseSap(0x3000), dlc::kStatusInvalidStationId);
    EXPECT_EQ(application.CloseSap(0), dlc::kStatusInvalidStationId);

    // RECEIVE stays pending; RECEIVE.CANCEL ends it with "cancelled by user".
    Command receive(dlc::kReceive, application.Id());
    ASSERT_TRUE(application.StartReceive(receive, 0x2000));
    Command duplicate(dlc::kReceive, application.Id());
    EXPECT_FALSE(application.StartReceive(duplicate, 0x2000));
    EXPECT_EQ(duplicate.block.status, dlc::kStatusDuplicateCommand);
    application.CancelReceive(0x2000);
    EXPECT_EQ(receive.block.status, dlc::kStatusCancelledByUser);
}

TEST_F(DlcApiTest, TransmitsAnUiFrameAndReportsItsCompletion) {
    Application application(api_);
    ASSERT_EQ(application.Open(), dlc::kStatusSuccess);
    ASSERT_EQ(application.CreatePool(), dlc::kStatusSuccess);
    const std::uint16_t station = application.OpenSap(kLocalSap).value_or(0);
    ASSERT_EQ(station, 0x1000);

    Transmit transmit(application.Id(), station, kPeer, kAgentSap, {0x30, 0x03, 0x02, 0x01, 0x00});
    ASSERT_EQ(api_.Submit(transmit.block), dlc::kAcsLanAccepted);
    const auto frame = NextFromLocal();
    ASSERT_TRUE(frame);
    const Bytes expected = {
        0x02, 0x00, 0x00, 0x00, 0x00, 0x02,  // destination: the printer's real address
        0x02, 0x00, 0x00, 0x00, 0x00, 0x01,  // source: the adapter
        0x00, 0x08,                          // 802.3 length: LLC header and data
        0x0A, 0x10, 0x03,                    // DSAP, SSAP (the station's), UI
        0x30, 0x03, 0x02, 0x01, 0x00,        // data
    };
    Bytes padded = expected;
    padded.resize(60, 0);  // padded as an adapter pads
    EXPECT_EQ(*frame, padded);

    Command read(dlc::kRead, application.Id());
    application.IssueRead(read, station);
    ASSERT_TRUE(read.Completed());
    EXPECT_EQ(read.block.status, dlc::kStatusSuccess);
    EXPECT_EQ(read.table.read.event, dlc::kEventTransmitCompletion);
    EXPECT_EQ(read.table.read.report.event.ccbCount, 1);
    EXPECT_EQ(read.table.read.report.event.ccbCompletionList, &transmit.block);
    EXPECT_EQ(transmit.block.status, dlc::kStatusSuccess);
    EXPECT_EQ(transmit.block.next, nullptr);

    // Too long for an Ethernet frame, and no LAN header: refused at once.
    Transmit tooLong(application.Id(), station, kPeer, kAgentSap, Bytes(1498, 0x55));
    EXPECT_EQ(api_.Submit(tooLong.block), dlc::kAcsLanCcbInError);
    EXPECT_EQ(tooLong.block.status, dlc::kStatusInvalidFrameLength);
    Transmit headerless(application.Id(), station, kPeer, kAgentSap, {1});
    headerless.table.transmit.buffer1Length = 13;
    EXPECT_EQ(api_.Submit(headerless.block), dlc::kAcsLanCcbInError);
    Transmit longest(application.Id(), station, kPeer, kAgentSap, Bytes(1497, 0x66));
    ASSERT_EQ(api_.Submit(longest.block), dlc::kAcsLanAccepted);
    const auto big = NextFromLocal();
    ASSERT_TRUE(big);
    EXPECT_EQ(big->size(), 1514u);
}

TEST_F(DlcApiTest, DeliversAReceivedFrameInTheReceiveBufferLayout) {
    Application application(api_);
    Command receive(dlc::kReceive, 0);
    std::uint16_t station = 0;
    ASSERT_EQ(application.Open(), dlc::kStatusSuccess);
    receive.block.applicationId = application.Id();
    ASSERT_EQ(application.CreatePool(), dlc::kStatusSuccess);
    station = application.OpenSap(kLocalSap).value_or(0);
    ASSERT_TRUE(application.StartReceive(receive, station));

    // 300 data bytes take two buffers; padding past the length is not data.
    const Bytes data = Pattern(300, 0x11);
    ASSERT_TRUE(peer_.Send(PeerFrame(kLocal, kLocalSap, kAgentSap, 0x03, data, 9)));
    Command read(dlc::kRead, application.Id());
    application.IssueRead(read, station);
    ASSERT_TRUE(read.Completed());
    ASSERT_EQ(read.block.status, dlc::kStatusSuccess);
    ASSERT_EQ(read.table.read.event, dlc::kEventReceiveData);
    const dlc::ReadEvent &report = read.table.read.report.event;
    EXPECT_EQ(report.receivedFrameCount, 1);
    EXPECT_EQ(read.table.read.notificationFlag, 0x50204040u) << "the RECEIVE's flag";
    dlc::ReceiveBuffer *frame = report.receivedFrame;
    ASSERT_NE(frame, nullptr);
    const dlc::FirstReceiveBuffer &first = frame->first;
    EXPECT_EQ(first.stationId, station);
    EXPECT_EQ(first.messageType, 0x06) << "UI frame";
    EXPECT_EQ(first.nextFrame, nullptr);
    EXPECT_EQ(first.lanHeaderLength, 14);
    EXPECT_EQ(first.dlcHeaderLength, 3);
    EXPECT_EQ(MacAt(first.lanHeader + 2), Reversed(kLocal)) << "destination, token-ring order";
    EXPECT_EQ(MacAt(first.lanHeader + 8), Reversed(kPeer)) << "source, token-ring order";
    EXPECT_EQ(first.dlcHeader[0], kLocalSap);
    EXPECT_EQ(first.dlcHeader[1], kAgentSap);
    EXPECT_EQ(first.dlcHeader[2], 0x03);
    EXPECT_EQ(first.userDataOffset, sizeof(dlc::FirstReceiveBuffer)) << "data after the headers";
    EXPECT_EQ(first.buffersLeft, kPoolBuffers - 2);
    std::size_t buffers = 0;
    EXPECT_EQ(ChainData(frame, buffers), data);
    EXPECT_EQ(buffers, 2u);

    std::uint16_t left = 0;
    EXPECT_EQ(application.FreeBuffers(frame, &left), dlc::kStatusSuccess);
    EXPECT_EQ(left, kPoolBuffers) << "every buffer came back";
    EXPECT_EQ(application.FreeBuffers(frame, &left), dlc::kStatusBufferAlreadyReleased);
    EXPECT_EQ(left, kPoolBuffers);
    dlc::ReceiveBuffer stray{};
    EXPECT_EQ(application.FreeBuffers(&stray), dlc::kStatusInvalidBufferAddress);

    application.CancelReceive(station);
    EXPECT_EQ(application.CloseSap(station), dlc::kStatusSuccess);
}

TEST_F(DlcApiTest, PoolAccountingOverManyFramesAndLocalBusy) {
    Application application(api_);
    Command receive(dlc::kReceive, 0);
    std::uint16_t station = 0;
    ASSERT_EQ(application.Open(), dlc::kStatusSuccess);
    receive.block.applicationId = application.Id();
    ASSERT_EQ(application.CreatePool(), dlc::kStatusSuccess);
    station = application.OpenSap(kLocalSap).value_or(0);
    ASSERT_TRUE(application.StartReceive(receive, station));

    // 1497 data bytes take seven buffers: eighteen frames fill the pool, the
    // nineteenth finds it full and is reported as local busy.
    constexpr std::size_t kFrames = 19;
    ASSERT_TRUE(SendFullFrames(kFrames, kLocalSap));
    bool busy = false;
    const std::vector<dlc::ReceiveBuffer *> frames = ReadUntilBusy(application, station, 18, busy);
    EXPECT_TRUE(busy);
    ASSERT_EQ(frames.size(), 18u);
    std::uint16_t left = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        std::size_t buffers = 0;
        EXPECT_EQ(ChainData(frames[i], buffers), Pattern(1497, static_cast<std::uint8_t>(i)));
        EXPECT_EQ(buffers, 7u);
        EXPECT_EQ(application.FreeBuffers(frames[i], &left), dlc::kStatusSuccess);
    }
    EXPECT_EQ(left, kPoolBuffers);
}

// A burst beyond the pool waits in the adapter's socket buffer while the pool
// is full: once buffers come back, the next READs get every frame, in order.
TEST_F(DlcApiTest, FramesBeyondAFullPoolWaitForItsBuffers) {
    Application application(api_);
    Command receive(dlc::kReceive, 0);
    ASSERT_EQ(application.Open(), dlc::kStatusSuccess);
    receive.block.applicationId = application.Id();
    ASSERT_EQ(application.CreatePool(), dlc::kStatusSuccess);
    const std::uint16_t station = application.OpenSap(kLocalSap).value_or(0);
    ASSERT_TRUE(application.StartReceive(receive, station));

    constexpr std::size_t kFrames = 60;  // more than three pools of seven-buffer frames
    ASSERT_TRUE(SendFullFrames(kFrames, kLocalSap));
    bool busy = false;
    const std::vector<dlc::ReceiveBuffer *> held = ReadUntilBusy(application, station, 18, busy);
    EXPECT_TRUE(busy);
    ASSERT_EQ(held.size(), 18u);
    for (dlc::ReceiveBuffer *frame : held) EXPECT_EQ(application.FreeBuffers(frame), dlc::kStatusSuccess);

    std::size_t next = held.size();
    for (std::size_t reads = 0; reads < 2 * kFrames && next < kFrames; ++reads) {
        Command read(dlc::kRead, application.Id());
        application.IssueRead(read, station);
        if (!read.Completed()) {
            EXPECT_EQ(application.CancelRead(read), dlc::kAcsLanAccepted);
            break;
        }
        if ((read.table.read.event & dlc::kEventReceiveData) == 0) continue;
        dlc::ReceiveBuffer *frame = read.table.read.report.event.receivedFrame;
        std::size_t buffers = 0;
        EXPECT_EQ(ChainData(frame, buffers), Pattern(1497, static_cast<std::uint8_t>(next))) << "frame " << next;
        std::uint16_t left = 0;
        EXPECT_EQ(application.FreeBuffers(frame, &left), dlc::kStatusSuccess);
        ++next;
        if (next == kFrames) {
            EXPECT_EQ(left, kPoolBuffers);
        }
    }
    EXPECT_EQ(next, kFrames) << "frames lost";
}

// A READ already waiting gets its frame when another station's buffers
// come back, without a further READ.
TEST_F(DlcApiTest, AWaitingReadGetsItsFrameWhenBuffersComeBack) {
    constexpr std::uint8_t kSecondSap = 0x12;
    Application application(api_);
    ASSERT_EQ(application.Open(), dlc::kStatusSuccess);
    ASSERT_EQ(application.CreatePool(), dlc::kStatusSuccess);
    const std::uint16_t first = application.OpenSap(kLocalSap).value_or(0);
    const std::uint16_t second = application.OpenSap(kSecondSap).value_or(0);
    Command receiveFirst(dlc::kReceive, application.Id());
    Command receiveSecond(dlc::kReceive, application.Id());
    ASSERT_TRUE(application.StartReceive(receiveFirst, first));
    ASSERT_TRUE(application.StartReceive(receiveSecond, second));

    ASSERT_TRUE(SendFullFrames(19, kLocalSap));
    ASSERT_TRUE(peer_.Send(PeerFrame(kLocal, kSecondSap, kAgentSap, 0x03, {0x5E})));
    bool busy = false;
    const std::vector<dlc::ReceiveBuffer *> held = ReadUntilBusy(application, first, 18, busy);
    EXPECT_TRUE(busy);
    ASSERT_EQ(held.size(), 18u);

    Command read(dlc::kRead, application.Id());
    application.IssueRead(read, second);
    EXPECT_EQ(application.FreeBuffers(held.front()), dlc::kStatusSuccess);
    ASSERT_TRUE(read.Completed());
    ASSERT_EQ(read.table.read.event, dlc::kEventReceiveData);
    std::size_t buffers = 0;
    EXPECT_EQ(ChainData(read.table.read.report.event.receivedFrame, buffers), Bytes{0x5E});
    EXPECT_EQ(application.FreeBuffers(read.table.read.report.event.receivedFrame), dlc::kStatusSuccess);
    for (std::size_t i = 1; i < held.size(); ++i) EXPECT_EQ(application.FreeBuffers(held[i]), dlc::kStatusSuccess);
}

TEST_F(DlcApiTest, ReadCancelEndsAPendingReadOnly) {
    Application application(api_);
    Command receive(dlc::kReceive, 0);
    std::uint16_t station = 0;
    ASSERT_EQ(application.Open(), dlc::kStatusSuccess);
    receive.block.applicationId = application.Id();
    ASSERT_EQ(application.CreatePool(), dlc::kStatusSuccess);
    station = application.OpenSap(kLocalSap).value_or(0);
    ASSERT_TRUE(application.StartReceive(receive, station));

    Command read(dlc::kRead, application.Id());
    application.IssueRead(read, station);
    EXPECT_EQ(read.block.status, dlc::kStatusPending);
    EXPECT_FALSE(read.Completed(kSilenceWaitMs));
    EXPECT_EQ(application.CancelRead(read), dlc::kAcsLanAccepted);
    EXPECT_EQ(read.block.status, dlc::kStatusCancelledByUser);
    // Not pending any more: a second cancel is refused, and a frame that
    // arrives now waits for the next READ.
    EXPECT_EQ(application.CancelRead(read), dlc::kAcsLanCcbInError);
    ASSERT_TRUE(peer_.Send(PeerFrame(kLocal, kLocalSap, kAgentSap, 0x03, {1, 2, 3})));
    Command next(dlc::kRead, application.Id());
    application.IssueRead(next, station);
    ASSERT_TRUE(next.Completed());
    ASSERT_EQ(next.table.read.event, dlc::kEventReceiveData);
    std::size_t buffers = 0;
    EXPECT_EQ(ChainData(next.table.read.report.event.receivedFrame, buffers), (Bytes{1, 2, 3}));
    EXPECT_EQ(application.FreeBuffers(next.table.read.report.event.receivedFrame), dlc::kStatusSuccess);

    // Closing the SAP ends a pending READ with "closed" and signals it.
    Command last(dlc::kRead, application.Id());
    application.IssueRead(last, station);
    EXPECT_EQ(application.CloseSap(station), dlc::kStatusSuccess);
    ASSERT_TRUE(last.Completed());
    EXPECT_EQ(last.block.status, dlc::kStatusCommandCancelledClosed);
    EXPECT_EQ(receive.block.status, dlc::kStatusCommandCancelledClosed);
}

TEST_F(DlcApiTest, IgnoresAFloodOfFramesForOthers) {
    Application application(api_);
    Command receive(dlc::kReceive, 0);
    std::uint16_t station = 0;
    ASSERT_EQ(application.Open(), dlc::kStatusSuccess);
    receive.block.applicationId = application.Id();
    ASSERT_EQ(application.CreatePool(), dlc::kStatusSuccess);
    station = application.OpenSap(kLocalSap).value_or(0);
    ASSERT_TRUE(application.StartReceive(receive, station));

    const Bytes good = PeerFrame(kLocal, kLocalSap, kAgentSap, 0x03, Pattern(40, 3));
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(peer_.Send(PeerFrame(kLocal, static_cast<std::uint8_t>(0x20 + 2 * (i % 8)), kAgentSap, 0x03,
                                         Pattern(100, 1))));
    }
    for (std::uint8_t control : {std::uint8_t{0x13}, std::uint8_t{0xAF}, std::uint8_t{0xE3}, std::uint8_t{0x00}}) {
        ASSERT_TRUE(peer_.Send(PeerFrame(kLocal, kLocalSap, kAgentSap, control, Pattern(40, 2))));  // not UI
    }
    for (std::size_t cut = 14; cut < good.size(); ++cut) ASSERT_TRUE(peer_.Send(Bytes(good.begin(), good.begin() + static_cast<long>(cut))));
    for (std::size_t length : {std::size_t{0}, std::size_t{2}, good.size() - 14 + 1, std::size_t{1500}}) {
        Bytes frame = good;
        frame[12] = static_cast<std::uint8_t>(length >> 8);
        frame[13] = static_cast<std::uint8_t>(length);
        ASSERT_TRUE(peer_.Send(frame));
    }
    Command read(dlc::kRead, application.Id());
    application.IssueRead(read, station);
    EXPECT_FALSE(read.Completed(kSilenceWaitMs)) << "event " << static_cast<int>(read.table.read.event);
    EXPECT_EQ(application.CancelRead(read), dlc::kAcsLanAccepted);

    ASSERT_TRUE(peer_.Send(good));
    Command next(dlc::kRead, application.Id());
    application.IssueRead(next, station);
    ASSERT_TRUE(next.Completed());
    ASSERT_EQ(next.table.read.event, dlc::kEventReceiveData);
    std::size_t buffers = 0;
    EXPECT_EQ(ChainData(next.table.read.report.event.receivedFrame, buffers), Pattern(40, 3));
    std::uint16_t left = 0;
    EXPECT_EQ(application.FreeBuffers(next.table.read.report.event.receivedFrame, &left), dlc::kStatusSuccess);
    EXPECT_EQ(left, kPoolBuffers);
}

// Two stations on SAP 10, as two transports on two threads open them: each
// reply goes to the station whose transmit it answers.
TEST_F(DlcApiTest, SortsRepliesAmongStationsOfOneSap) {
    Application application(api_);
    ASSERT_EQ(application.Open(), dlc::kStatusSuccess);
    ASSERT_EQ(application.CreatePool(), dlc::kStatusSuccess);
    const std::uint16_t first = application.OpenSap(kLocalSap).value_or(0);
    const std::uint16_t second = application.OpenSap(kLocalSap).value_or(0);
    ASSERT_EQ(first, 0x1000);
    ASSERT_EQ(second, 0x1001);
    Command receiveFirst(dlc::kReceive, application.Id());
    Command receiveSecond(dlc::kReceive, application.Id());
    ASSERT_TRUE(application.StartReceive(receiveFirst, first));
    ASSERT_TRUE(application.StartReceive(receiveSecond, second));

    // The second asks the peer, the first another printer: the peer's reply
    // is the second's.
    Transmit toOther(application.Id(), first, kOther, kAgentSap, {0xAA});
    Transmit toPeer(application.Id(), second, kPeer, kAgentSap, {0xBB});
    ASSERT_EQ(api_.Submit(toOther.block), dlc::kAcsLanAccepted);
    ASSERT_EQ(api_.Submit(toPeer.block), dlc::kAcsLanAccepted);
    ASSERT_TRUE(peer_.Send(PeerFrame(kLocal, kLocalSap, kAgentSap, 0x03, {0xB0})));

    auto readData = [&](std::uint16_t station, Bytes &data) {
        for (int reads = 0; reads < 4; ++reads) {
            Command read(dlc::kRead, application.Id());
            application.IssueRead(read, station);
            if (!read.Completed(kSilenceWaitMs)) {
                EXPECT_EQ(application.CancelRead(read), dlc::kAcsLanAccepted);
                return false;
            }
            if ((read.table.read.event & dlc::kEventReceiveData) != 0) {
                std::size_t buffers = 0;
                data = ChainData(read.table.read.report.event.receivedFrame, buffers);
                EXPECT_EQ(application.FreeBuffers(read.table.read.report.event.receivedFrame), dlc::kStatusSuccess);
                return true;
            }
        }
        return false;
    };
    Bytes data;
    ASSERT_TRUE(readData(second, data));
    EXPECT_EQ(data, Bytes{0xB0});
    EXPECT_FALSE(readData(first, data)) << "the first station got a reply it did not ask for";

    // Both ask the peer: replies go in the order of the requests.
    Transmit firstAsks(application.Id(), first, kPeer, kAgentSap, {0x01});
    Transmit secondAsks(application.Id(), second, kPeer, kAgentSap, {0x02});
    ASSERT_EQ(api_.Submit(firstAsks.block), dlc::kAcsLanAccepted);
    ASSERT_EQ(api_.Submit(secondAsks.block), dlc::kAcsLanAccepted);
    ASSERT_TRUE(peer_.Send(PeerFrame(kLocal, kLocalSap, kAgentSap, 0x03, {0x10})));
    ASSERT_TRUE(peer_.Send(PeerFrame(kLocal, kLocalSap, kAgentSap, 0x03, {0x20})));
    ASSERT_TRUE(readData(first, data));
    EXPECT_EQ(data, Bytes{0x10});
    ASSERT_TRUE(readData(second, data));
    EXPECT_EQ(data, Bytes{0x20});
    // Unasked frames to a shared SAP go to no one.
    ASSERT_TRUE(peer_.Send(PeerFrame(kLocal, kLocalSap, kAgentSap, 0x03, {0x30})));
    EXPECT_FALSE(readData(first, data));
    EXPECT_FALSE(readData(second, data));

    application.CancelReceive(first);
    application.CancelReceive(second);
}

}  // namespace
