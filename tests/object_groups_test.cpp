// SPDX-License-Identifier: Apache-2.0
// The 26 object groups: the compiled-in tables and the joined lists.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "library/library_entry.h"
#include "groups/object_groups.h"
#include "platform/heap.h"
#include "tests/support/heap_faults.h"

namespace snmphelper {
namespace {

struct GroupCase {
    std::uint32_t count;
    std::size_t joinedLength;  // characters, terminator not counted
    const char *first;
    const char *last;
};

// Counts, joined lengths (characters of the identifiers plus one comma
// between each two), and first and last identifiers in request order.
const GroupCase kGroups[kObjectGroupCount] = {
    {7, 125, "1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.7.0"},
    {11, 252, "1.3.6.1.2.1.2.2.1.10.2", "1.3.6.1.2.1.2.2.1.20.2"},
    {1, 24, "1.3.6.1.2.1.10.7.2.1.2.0", "1.3.6.1.2.1.10.7.2.1.2.0"},
    {9, 164, "1.3.6.1.2.1.4.3.0", "1.3.6.1.2.1.4.12.0"},
    {6, 110, "1.3.6.1.2.1.5.1.0", "1.3.6.1.2.1.5.22.0"},
    {4, 71, "1.3.6.1.2.1.7.1.0", "1.3.6.1.2.1.7.4.0"},
    {2, 37, "1.3.6.1.2.1.6.10.0", "1.3.6.1.2.1.6.11.0"},
    {8, 235, "1.3.6.1.4.1.23.2.5.1.1.1.6.1", "1.3.6.1.4.1.23.2.5.1.1.1.16.1"},
    {2, 41, "1.3.6.1.2.1.13.2.2.0", "1.3.6.1.2.1.13.2.3.0"},
    {2, 51, "1.3.6.1.2.1.13.3.1.1.14.1", "1.3.6.1.2.1.13.3.1.1.15.1"},
    {6, 127, "1.3.6.1.2.1.13.4.1.0", "1.3.6.1.2.1.13.4.14.0"},
    {3, 65, "1.3.6.1.2.1.13.16.1.0", "1.3.6.1.2.1.13.16.3.0"},
    {4, 99, "1.3.6.1.2.1.13.17.1.1.1.1", "1.3.6.1.2.1.13.17.2.0"},
    {7, 146, "1.3.6.1.2.1.13.8.2.0", "1.3.6.1.2.1.13.8.8.0"},
    {6, 131, "1.3.6.1.2.1.13.10.3.0", "1.3.6.1.2.1.13.10.2.0"},
    {4, 83, "1.3.6.1.2.1.13.9.1.0", "1.3.6.1.2.1.13.9.4.0"},
    {6, 139, "1.3.6.1.2.1.13.11.1.0", "1.3.6.1.2.1.13.11.8.1.4.1"},
    {17, 333, "1.3.6.1.2.1.11.1.0", "1.3.6.1.2.1.11.29.0"},
    {31, 968, "1.3.6.1.4.1.236.11.5.1.1.2.2.0", "1.3.6.1.4.1.236.11.5.1.1.8.11.0"},
    {31, 967, "1.3.6.1.4.1.236.11.5.1.1.2.1.0", "1.3.6.1.4.1.236.11.5.1.1.8.10.0"},
    {7, 217, "1.3.6.1.4.1.236.11.5.1.12.5.1.0", "1.3.6.1.4.1.236.11.5.1.12.5.6.0"},
    {11, 353, "1.3.6.1.4.1.236.11.5.1.12.3.1.0", "1.3.6.1.4.1.236.11.5.1.12.2.9.0"},
    {4, 98, "1.3.6.1.2.1.1.5.0", "1.3.6.1.4.1.236.11.5.1.12.4.2.0"},
    {11, 375, "1.3.6.1.4.1.236.11.5.1.12.8.1.1.0", "1.3.6.1.4.1.236.11.5.1.12.8.1.11.0"},
    {11, 357, "1.3.6.1.4.1.236.11.5.1.12.7.1.1.2.1", "1.3.6.1.4.1.236.11.5.1.12.7.4.0"},
    {6, 196, "1.3.6.1.4.1.236.11.5.1.12.3.3.0", "1.3.6.1.4.1.236.11.5.1.12.2.14.0"},
};

std::vector<std::string> Identifiers(std::uint32_t group) {
    const ObjectGroup table = GetObjectGroup(group);
    return std::vector<std::string>(table.identifiers, table.identifiers + table.count);
}

std::string Join(const std::vector<std::string> &identifiers) {
    std::string joined;
    for (const std::string &identifier : identifiers) {
        if (!joined.empty()) joined += ',';
        joined += identifier;
    }
    return joined;
}

class ObjectGroupsTest : public ::testing::Test {
protected:
    void SetUp() override { BuildJoinedGroupLists(); }
    void TearDown() override { ReleaseJoinedGroupLists(); }
};

TEST_F(ObjectGroupsTest, TablesHaveTheirCountsAndOrder) {
    for (std::uint32_t g = 0; g < kObjectGroupCount; ++g) {
        const std::vector<std::string> identifiers = Identifiers(g);
        ASSERT_EQ(identifiers.size(), kGroups[g].count) << "group " << g;
        EXPECT_EQ(identifiers.front(), kGroups[g].first) << "group " << g;
        EXPECT_EQ(identifiers.back(), kGroups[g].last) << "group " << g;
        for (const std::string &identifier : identifiers) {
            EXPECT_EQ(identifier.find_first_not_of("0123456789."), std::string::npos) << identifier;
            EXPECT_NE(identifier.front(), '.') << identifier;
            EXPECT_NE(identifier.back(), '.') << identifier;
            EXPECT_EQ(identifier.find(".."), std::string::npos) << identifier;
        }
    }
}

TEST_F(ObjectGroupsTest, JoinedListsAreTheIdentifiersJoinedByCommas) {
    for (std::uint32_t g = 0; g < kObjectGroupCount; ++g) {
        const char *joined = JoinedGroupList(g);
        ASSERT_NE(joined, nullptr) << "group " << g;
        EXPECT_EQ(std::strlen(joined), kGroups[g].joinedLength) << "group " << g;
        EXPECT_EQ(joined, Join(Identifiers(g))) << "group " << g;
        // Every list fits the 1024-byte working copy of a group request.
        EXPECT_LT(std::strlen(joined) + 1, 1024u) << "group " << g;
    }
}

TEST_F(ObjectGroupsTest, SingleIdentifierGroupHasNoComma) {
    EXPECT_STREQ(JoinedGroupList(2), "1.3.6.1.2.1.10.7.2.1.2.0");
}

TEST_F(ObjectGroupsTest, NonNumericOrdersAreKept) {
    EXPECT_STREQ(JoinedGroupList(14),
                 "1.3.6.1.2.1.13.10.3.0,1.3.6.1.2.1.13.10.4.0,1.3.6.1.2.1.13.10.5.0,"
                 "1.3.6.1.2.1.13.10.6.0,1.3.6.1.2.1.13.10.1.0,1.3.6.1.2.1.13.10.2.0");
    // The same object at positions 2 and 6; 12.5.3.0 is not requested.
    EXPECT_STREQ(JoinedGroupList(20),
                 "1.3.6.1.4.1.236.11.5.1.12.5.1.0,1.3.6.1.4.1.236.11.5.1.12.5.5.0,"
                 "1.3.6.1.4.1.236.11.5.1.12.5.2.0,1.3.6.1.2.1.13.3.1.1.17.1,"
                 "1.3.6.1.4.1.236.11.5.1.12.5.4.0,1.3.6.1.4.1.236.11.5.1.12.5.5.0,"
                 "1.3.6.1.4.1.236.11.5.1.12.5.6.0");
    const std::string prefix = "1.3.6.1.4.1.236.11.5.1.12.7.";
    std::vector<std::string> expected;
    for (const char *suffix :
         {"1.1.2.1", "9.0", "3.0", "10.0", "11.0", "5.0", "6.0", "7.0", "8.0", "2.0", "4.0"}) {
        expected.push_back(prefix + suffix);
    }
    EXPECT_EQ(Identifiers(24), expected);
    EXPECT_EQ(Identifiers(21)[2], "1.3.6.1.4.1.236.11.5.1.12.6.1.1.0");
}

TEST_F(ObjectGroupsTest, PrinterPrivateSetsAreTheEvenAndOddHalves) {
    const std::string prefix = "1.3.6.1.4.1.236.11.5.1.1.";
    const std::vector<std::string> first = Identifiers(18);
    const std::vector<std::string> second = Identifiers(19);
    EXPECT_EQ(first[4], prefix + "2.13.0");
    EXPECT_EQ(first[12], prefix + "3.16.0");
    EXPECT_EQ(first[17], prefix + "5.2.0");
    EXPECT_EQ(second[4], prefix + "2.12.0");
    EXPECT_EQ(second[12], prefix + "3.15.0");
    EXPECT_EQ(second[17], prefix + "5.1.0");
}

TEST_F(ObjectGroupsTest, NumbersPastTheTableGiveNothing) {
    EXPECT_EQ(JoinedGroupList(kObjectGroupCount), nullptr);
    EXPECT_EQ(JoinedGroupList(0xFFFFFFFF), nullptr);
    EXPECT_EQ(GetObjectGroup(kObjectGroupCount).count, 0u);
    EXPECT_EQ(GetObjectGroup(kObjectGroupCount).identifiers, nullptr);
}

TEST_F(ObjectGroupsTest, AFailedAllocationLeavesOnlyThatGroupNull) {
    ReleaseJoinedGroupLists();
    const std::int64_t blocks = platform::HeapLiveBlocks();
    for (std::uint32_t failing = 0; failing < kObjectGroupCount; ++failing) {
        {
            test::HeapFaultGuard guard;
            platform::HeapFailNthAllocation(failing + 1);
            BuildJoinedGroupLists();
        }
        for (std::uint32_t g = 0; g < kObjectGroupCount; ++g) {
            if (g == failing) {
                EXPECT_EQ(JoinedGroupList(g), nullptr) << "group " << g;
            } else {
                ASSERT_NE(JoinedGroupList(g), nullptr) << "group " << g << ", failing " << failing;
                EXPECT_EQ(JoinedGroupList(g), Join(Identifiers(g))) << "group " << g;
            }
        }
        ReleaseJoinedGroupLists();
        EXPECT_EQ(platform::HeapLiveBlocks(), blocks);
    }
}

}  // namespace
}  // namespace snmphelper
