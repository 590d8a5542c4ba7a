// SPDX-License-Identifier: Apache-2.0
// The IPX transport's WinSock records and results, against a stand-in
// WinSock library that keeps what it was given (the transport's frames on a
// real network are in ipx_transport_netns_test.cpp).
#include "transport/ipx_transport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>

#include "tests/support/hex.h"
#include "tests/support/platform_folder.h"

namespace snmphelper {
namespace {

using test::ToHex;

// The stand-in as the transport loaded it (the same copy: dlopen counts).
class FakeWinsock {
public:
    explicit FakeWinsock(const std::string &path) : library_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (library_ != nullptr) Call<void (*)()>("FakeReset")();
    }
    ~FakeWinsock() {
        if (library_ != nullptr) dlclose(library_);
    }
    bool Loaded() const { return library_ != nullptr; }
    std::string LastSendTo() { return ToHex(Call<const unsigned char *(*)()>("FakeLastSendTo")(), 14); }
    std::string LastBind() { return ToHex(Call<const unsigned char *(*)()>("FakeLastBind")(), 14); }
    int SendCalls() { return Call<int (*)()>("FakeSendCalls")(); }
    void SetBindResult(int result) { Call<void (*)(int)>("FakeSetBindResult")(result); }
    void SetSendResult(int result, int error) { Call<void (*)(int, int)>("FakeSetSendResult")(result, error); }

private:
    template <typename Function>
    Function Call(const char *name) {
        return reinterpret_cast<Function>(dlsym(library_, name));
    }
    void *library_;
};

class IpxTransportRecords : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Install("fake_winsock", "wsock32.so"));
        fake_ = std::make_unique<FakeWinsock>(folder_.Path() + "/wsock32.so");
        ASSERT_TRUE(fake_->Loaded());
    }

    test::PlatformFolder folder_;
    std::unique_ptr<FakeWinsock> fake_;
    const std::uint8_t request_[4] = {0x30, 0x02, 0x05, 0x00};
};

// The stand-in's htons swaps bytes as a little-endian host's does, so the
// records read as WinSock's would.
struct AddressCase {
    const char *title;
    const char *address;
    const char *record;  // family, network, node, socket
};

class IpxTransportAddresses : public IpxTransportRecords,
                              public ::testing::WithParamInterface<AddressCase> {};

TEST_P(IpxTransportAddresses, SendToAgentFillsTheRecord) {
    IpxTransport transport(1, 1, 0);
    ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
    ASSERT_EQ(ResultCode(transport.SendToAgent(request_, sizeof request_, GetParam().address)), 0);
    EXPECT_EQ(fake_->LastSendTo(), ToHex(test::Hex(GetParam().record)));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IpxTransportAddresses,
    ::testing::Values(
        AddressCase{"Uppercase", "0000000100A0C9123456", "0600 00000001 00A0C9123456 900F"},
        AddressCase{"Lowercase", "0000000a00a0c9123456", "0600 0000000A 00A0C9123456 900F"},
        AddressCase{"CharactersAfterTheTwentiethIgnored", "0000000100A0C9123456:extra",
                    "0600 00000001 00A0C9123456 900F"},
        // A separator is a digit of value 255 and shifts the node.
        AddressCase{"ColonSeparator", "00000001:00A0C9123456", "0600 00000001 F0 0A 0C 91 23 45 900F"},
        AddressCase{"DotSeparator", "00000001.00A0C9123456", "0600 00000001 F0 0A 0C 91 23 45 900F"}),
    [](const auto &testCase) { return std::string(testCase.param.title); });

TEST_F(IpxTransportRecords, BindAsksForTheSocketInNetworkOrder) {
    IpxTransport zero(1, 1, 0);
    ASSERT_EQ(ResultCode(zero.Bind(0)), 0);
    EXPECT_EQ(fake_->LastBind(), ToHex(test::Hex("0600 00000000 000000000000 0000")));
    EXPECT_EQ(zero.LocalPort(), 0U);
    IpxTransport asked(1, 1, 0);
    ASSERT_EQ(ResultCode(asked.Bind(0x4001)), 0);
    EXPECT_EQ(fake_->LastBind(), ToHex(test::Hex("0600 00000000 000000000000 4001")));
    EXPECT_EQ(asked.LocalPort(), 0x4001U);
}

TEST_F(IpxTransportRecords, BroadcastGoesToNetworkZeroEveryNode) {
    IpxTransport transport(1, 1, kTransportAllowBroadcast);
    ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
    ASSERT_EQ(ResultCode(transport.SendBroadcast(request_, sizeof request_, 0x900F)), 0);
    EXPECT_EQ(fake_->LastSendTo(), ToHex(test::Hex("0600 00000000 FFFFFFFFFFFF 900F")));
}

TEST_F(IpxTransportRecords, AShortAddressTextIsRefusedWithoutSending) {
    IpxTransport transport(1, 1, 0);
    ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
    for (const char *text : {"", "0", "00000001", "0000000100A0C912345"}) {
        EXPECT_EQ(ResultCode(transport.SendToAgent(request_, sizeof request_, text)),
                  CPH_DATAGRAM_SEND_FAILED)
            << text;
    }
    EXPECT_EQ(ResultCode(transport.SendToAgent(request_, sizeof request_, nullptr)),
              CPH_DATAGRAM_SEND_FAILED);
    EXPECT_EQ(fake_->SendCalls(), 0);
}

TEST_F(IpxTransportRecords, ReceiveWritesTheSendersTenBytesAndSocket) {
    IpxTransport transport(1, 1, 0);
    ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
    std::uint8_t buffer[16];
    std::uint32_t length = 0;
    std::uint8_t sender[kSenderAddressRoom] = {};
    std::uint16_t port = 0;
    ASSERT_EQ(ResultCode(transport.Receive(buffer, sizeof buffer, &length, sender, &port)), 0);
    EXPECT_EQ(length, 3U);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 3), "ABC");
    EXPECT_EQ(ToHex(sender, sizeof sender), ToHex(test::Hex("00000001 00A0C9123456")));
    EXPECT_EQ(port, 36879);
}

TEST_F(IpxTransportRecords, LocalAddressIsTheSocketsOwn) {
    IpxTransport transport(1, 1, 0);
    ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
    std::uint8_t address[10] = {};
    ASSERT_EQ(LocalAddressResult(transport.GetLocalAddress(address)), 1);
    EXPECT_EQ(ToHex(address, sizeof address), ToHex(test::Hex("12345678 020000ABCDEF")));
}

TEST_F(IpxTransportRecords, FailuresFollowWinsocksError) {
    IpxTransport transport(1, 1, 0);
    ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
    fake_->SetSendResult(-1, winsock::WSAENOBUFS);
    EXPECT_EQ(ResultCode(transport.SendToAgent(request_, sizeof request_, "0000000100A0C9123456")),
              CPH_DATAGRAM_SEND_FAILED);
    fake_->SetSendResult(-1, winsock::WSAECONNRESET);
    EXPECT_EQ(ResultCode(transport.SendToAgent(request_, sizeof request_, "0000000100A0C9123456")),
              CPH_SOCKET_CLOSED);
    // Fewer bytes than asked is no datagram sent.
    fake_->SetSendResult(2, 0);
    EXPECT_EQ(ResultCode(transport.SendToAgent(request_, sizeof request_, "0000000100A0C9123456")),
              CPH_DATAGRAM_SEND_FAILED);
    IpxTransport attempts(3, 1, 0);
    ASSERT_EQ(ResultCode(attempts.Bind(0)), 0);
    fake_->SetSendResult(-1, winsock::WSAENOBUFS);
    const int before = fake_->SendCalls();
    EXPECT_EQ(ResultCode(attempts.SendToAgent(request_, sizeof request_, "0000000100A0C9123456")),
              CPH_DATAGRAM_SEND_FAILED);
    EXPECT_EQ(fake_->SendCalls() - before, 3);
}

TEST_F(IpxTransportRecords, AFailedBindClosesTheTransport) {
    fake_->SetBindResult(-1);
    IpxTransport transport(1, 1, 0);
    EXPECT_EQ(ResultCode(transport.Bind(0)), CPH_BIND_FAILED);
    EXPECT_FALSE(transport.IsOpen());
    std::uint8_t buffer[8];
    std::uint32_t length = 0;
    std::uint8_t sender[kSenderAddressRoom];
    std::uint16_t port = 0;
    EXPECT_EQ(ResultCode(transport.SendToAgent(request_, sizeof request_, "0000000100A0C9123456")),
              CPH_SOCKET_CLOSED);
    EXPECT_EQ(ResultCode(transport.Receive(buffer, sizeof buffer, &length, sender, &port)),
              CPH_SOCKET_CLOSED);
    EXPECT_EQ(LocalAddressResult(transport.GetLocalAddress(sender)), CPH_SOCKET_CLOSED);
    EXPECT_EQ(fake_->SendCalls(), 0);
}

// Without any WinSock library every call answers 10050: not one of them may
// pass for a bind, a send or a receive that worked.
TEST(IpxTransportWithoutWinsock, NetworkDownIsNoSuccess) {
    const test::PlatformFolder empty;
    IpxTransport transport(1, 1, 0);
    EXPECT_EQ(ResultCode(transport.Bind(0)), CPH_BIND_FAILED);
    const std::uint8_t request[2] = {0x05, 0x00};
    EXPECT_EQ(ResultCode(transport.SendToAgent(request, sizeof request, "0000000100A0C9123456")),
              CPH_SOCKET_CLOSED);

    IpxTransport unbound(1, 1, 0);
    EXPECT_EQ(ResultCode(unbound.SendToAgent(request, sizeof request, "0000000100A0C9123456")),
              CPH_DATAGRAM_SEND_FAILED);
    std::uint8_t buffer[8];
    std::uint32_t length = 0;
    std::uint8_t sender[kSenderAddressRoom];
    std::uint16_t port = 0;
    EXPECT_NE(ResultCode(unbound.Receive(buffer, sizeof buffer, &length, sender, &port)), 0);
    EXPECT_EQ(LocalAddressResult(unbound.GetLocalAddress(sender)), 0);
}

}  // namespace
}  // namespace snmphelper
