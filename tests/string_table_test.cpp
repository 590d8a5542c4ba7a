// SPDX-License-Identifier: Apache-2.0
// The library's string table: the texts, and LoadString's copy rules.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/string_table.h"

#include "tests/support/test_module.h"

namespace snmphelper {
namespace {


struct EntryCase {
    std::uint32_t id;
    const char *text;
};

const EntryCase kEntries[] = {
    {2, "UdpTimeOutInterval"},
    {3, "Software\\Brelvin\\Palimar\\AdapterPorts"},
    {4, "MAC Address"},
    {5, "Network Address"},
    {6, "Port Number"},
    {7, "UdpTotalRetries"},
    {8, "PrinterDataFile"},
    {9, "InstalledPrinters"},
    {10, "Software\\Brelvin\\Palimar\\"},
    {11, "System\\Currentcontrolset\\Control\\Print\\Printers"},
    {12, "Port"},
    {13, "Snmp"},
    {17, "t*o&r^e~l+d"},
};

TEST(StringTable, EveryEntryHasItsText) {
    for (const EntryCase &entry : kEntries) {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        const int length = platform::LoadStringResource(test::TestModule(), entry.id, buffer, sizeof buffer);
        EXPECT_EQ(length, static_cast<int>(std::strlen(entry.text))) << "entry " << entry.id;
        EXPECT_STREQ(buffer, entry.text) << "entry " << entry.id;
    }
}

TEST(StringTable, CommunityIsElevenCharacters) {
    char buffer[256];
    EXPECT_EQ(platform::LoadStringResource(test::TestModule(), 17, buffer, sizeof buffer), 11);
}

TEST(StringTable, MissingEntriesGiveNothing) {
    for (std::uint32_t id : {0u, 1u, 14u, 15u, 16u, 18u, 31u, 32u, 1000u}) {
        char buffer[16] = "unchanged";
        EXPECT_EQ(platform::LoadStringResource(test::TestModule(), id, buffer, sizeof buffer), 0) << id;
        EXPECT_STREQ(buffer, "") << id;
    }
}

TEST(StringTable, CopiesAtMostRoomLessOneAndTerminates) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(platform::LoadStringResource(test::TestModule(), 2, buffer, 5), 4);
    EXPECT_STREQ(buffer, "UdpT");
    EXPECT_EQ(buffer[5], 'x');  // nothing past the room

    EXPECT_EQ(platform::LoadStringResource(test::TestModule(), 2, buffer, 1), 0);
    EXPECT_EQ(buffer[0], '\0');

    buffer[0] = 'x';
    EXPECT_EQ(platform::LoadStringResource(test::TestModule(), 2, buffer, 0), 0);
    EXPECT_EQ(buffer[0], 'x');  // room 0: not even a terminator
}

TEST(StringTable, NeedsAModuleAndABuffer) {
    char buffer[32] = {};
    EXPECT_EQ(platform::LoadStringResource(nullptr, 17, buffer, sizeof buffer), 0);
    EXPECT_EQ(platform::LoadStringResource(test::TestModule(), 17, nullptr, 32), 0);
}

TEST(StringTable, TestsCanMakeAnEntryUnavailable) {
    char buffer[32];
    platform::SetStringResourceAvailable(17, false);
    EXPECT_EQ(platform::LoadStringResource(test::TestModule(), 17, buffer, sizeof buffer), 0);
    EXPECT_EQ(platform::LoadStringResource(test::TestModule(), 13, buffer, sizeof buffer), 4);  // others stay
    platform::SetStringResourceAvailable(17, true);
    EXPECT_EQ(platform::LoadStringResource(test::TestModule(), 17, buffer, sizeof buffer), 11);
}

}  // namespace
}  // namespace snmphelper
