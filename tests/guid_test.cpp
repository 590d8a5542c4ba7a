// SPDX-License-Identifier: Apache-2.0
// GUID creation: a fresh GUID on every call, with the same six node bytes on
// every call, and where those bytes come from.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "platform/guid.h"
#include "platform/host_node.h"

namespace snmphelper::platform {
namespace {

using detail::DefaultRouteInterface;
using detail::HostNode;
using detail::NodeFromMachineIdentity;

std::string Node(const Guid &guid) {
    return std::string(reinterpret_cast<const char *>(guid.data4 + kGuidNodeOffset), kGuidNodeLength);
}

TEST(GuidTest, EveryCallGivesAnotherGuidWithTheSameNode) {
    Guid first{};
    ASSERT_TRUE(CreateGuid(&first));
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        Guid guid{};
        ASSERT_TRUE(CreateGuid(&guid));
        EXPECT_EQ(Node(guid), Node(first));
        seen.insert(std::string(reinterpret_cast<const char *>(&guid), sizeof guid));
    }
    EXPECT_EQ(seen.size(), 1000u);
}

// RFC 4122 4.1.3 and 4.1.1: a GUID of the RFC's variant; time-based on
// POSIX, random (CoCreateGuid's) on Windows, whose node the library replaces.
TEST(GuidTest, IsAnRfc4122GuidOfItsVersion) {
    Guid guid{};
    ASSERT_TRUE(CreateGuid(&guid));
#if defined(_WIN32)
    EXPECT_EQ(guid.data3 >> 12, 4);
#else
    EXPECT_EQ(guid.data3 >> 12, 1);
#endif
    EXPECT_EQ(guid.data4[0] & 0xC0, 0x80);
}

TEST(GuidTest, NullIsRefused) { EXPECT_FALSE(CreateGuid(nullptr)); }

// --- The default route -----------------------------------------------------------

constexpr char kHeading[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

struct RouteCase {
    const char *name;
    std::string rows;
    const char *expected;  // null: none
};

const RouteCase kRouteCases[] = {
    {"Default", "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
                "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n",
     "eth0"},
    {"OnlyANetworkRoute", "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n", nullptr},
    {"LowestMetricWins", "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                         "eth1\t00000000\t010200C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                         "eth2\t00000000\t010300C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
     "eth1"},
    {"DownRouteIsSkipped", "eth0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n", nullptr},
    {"DefaultDestinationWithAMask", "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t000000FF\t0\t0\t0\n", nullptr},
    {"CutShortRowIsSkipped", "eth0\t00000000\t010200C0\n"
                             "eth3\t00000000\t010200C0\t0003\t0\t0\t5\t00000000\t0\t0\t0\n",
     "eth3"},
    {"BadNumbersAreSkipped", "eth0\t00000000\t010200C0\tZZ\t0\t0\t0\t00000000\t0\t0\t0\n", nullptr},
    {"Empty", "", nullptr},
};

class DefaultRouteTest : public ::testing::TestWithParam<RouteCase> {};

TEST_P(DefaultRouteTest, FindsTheDefaultRoutesInterface) {
    const RouteCase &route = GetParam();
    const auto found = DefaultRouteInterface(std::string(kHeading) + route.rows);
    if (route.expected == nullptr) {
        EXPECT_FALSE(found.has_value()) << *found;
    } else {
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(*found, route.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, DefaultRouteTest, ::testing::ValuesIn(kRouteCases),
                         [](const ::testing::TestParamInfo<RouteCase> &param) { return param.param.name; });

TEST(DefaultRouteTest, WithoutAHeadingNothingIsFound) { EXPECT_FALSE(DefaultRouteInterface("").has_value()); }

// --- The machine's identity ------------------------------------------------------------

TEST(MachineIdentityNodeTest, IsLocallyAdministeredUnicastAndStable) {
    for (const char *identity : {"3d1219c7c4c5404aaa1f6d2a48adfda4", "00000000000000000000000000000000",
                                 "ffffffffffffffffffffffffffffffff", "x"}) {
        const auto node = NodeFromMachineIdentity(identity);
        ASSERT_TRUE(node.has_value()) << identity;
        EXPECT_EQ((*node)[0] & 0x02, 0x02) << identity;
        EXPECT_EQ((*node)[0] & 0x01, 0x00) << identity;
        EXPECT_EQ(NodeFromMachineIdentity(identity), node);
    }
}

TEST(MachineIdentityNodeTest, SurroundingWhiteSpaceDoesNotCount) {
    EXPECT_EQ(NodeFromMachineIdentity("3d1219c7c4c5404aaa1f6d2a48adfda4\n"),
              NodeFromMachineIdentity("3d1219c7c4c5404aaa1f6d2a48adfda4"));
    EXPECT_FALSE(NodeFromMachineIdentity(" \n").has_value());
    EXPECT_FALSE(NodeFromMachineIdentity("").has_value());
}

// A keyed hash: the node shows none of the identity's bytes, and
// identities one character apart give unrelated nodes.
TEST(MachineIdentityNodeTest, IsAHashNotTheIdentity) {
    const auto a = NodeFromMachineIdentity("3d1219c7c4c5404aaa1f6d2a48adfda4");
    const auto b = NodeFromMachineIdentity("3d1219c7c4c5404aaa1f6d2a48adfda5");
    ASSERT_TRUE(a && b);
    int differing = 0;
    for (std::size_t i = 1; i < a->size(); ++i) differing += (*a)[i] != (*b)[i] ? 1 : 0;
    EXPECT_GE(differing, 3);
    EXPECT_NE(*a, (HostNode{0x3d, 0x12, 0x19, 0xc7, 0xc4, 0xc5}));
}

TEST(HostNodeTest, IsTheNodeOfEveryGuid) {
    const auto node = detail::FindHostNode();
    ASSERT_TRUE(node.has_value());
    Guid guid{};
    ASSERT_TRUE(CreateGuid(&guid));
    EXPECT_EQ(0, std::memcmp(guid.data4 + kGuidNodeOffset, node->data(), node->size()));
    // Never a group address, never all zeros.
    EXPECT_EQ((*node)[0] & 0x01, 0);
    EXPECT_NE(*node, HostNode{});
}

}  // namespace
}  // namespace snmphelper::platform
