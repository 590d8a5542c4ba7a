// SPDX-License-Identifier: Apache-2.0
// The run-time WinSock binding against stand-in WinSock libraries in a
// temporary folder on the platform search path: which library is loaded,
// which entry points are found, and what the forwarding functions answer.
#include "transport/winsock_binding.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/library_loader.h"
#include "tests/support/platform_folder.h"

namespace snmphelper {
namespace {

using test::PlatformFolder;

// The name of the library a loaded binding reached (the stand-in writes
// its own file name into the description).
std::string LoadedLibrary(const WinsockBinding &binding) {
    winsock::WSADATA data{};
    if (binding.WSAStartup(winsock::MakeVersion(1, 1), &data) != 0) return "";
    return data.szDescription;
}

struct LoadOrderCase {
    const char *title;
    std::vector<const char *> present;
    const char *expected;  // "" when none loads
};

class WinsockBindingLoadOrder : public ::testing::TestWithParam<LoadOrderCase> {};

TEST_P(WinsockBindingLoadOrder, FirstPresentLibraryWins) {
    const PlatformFolder folder;
    for (const char *name : GetParam().present) ASSERT_TRUE(folder.Install("fake_winsock", name));
    WinsockBinding binding;
    binding.Load();
    EXPECT_EQ(LoadedLibrary(binding), GetParam().expected);
    EXPECT_EQ(binding.module != nullptr, std::strlen(GetParam().expected) != 0);
    binding.Unload();
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, WinsockBindingLoadOrder,
    ::testing::Values(
        LoadOrderCase{"AllThree", {"wsock32.so", "ws2_32.so", "winsock.so"}, "wsock32.so"},
        LoadOrderCase{"Wsock32AndWs2_32", {"ws2_32.so", "wsock32.so"}, "wsock32.so"},
        LoadOrderCase{"Ws2_32AndWinsock", {"winsock.so", "ws2_32.so"}, "ws2_32.so"},
        LoadOrderCase{"OnlyWinsock", {"winsock.so"}, "winsock.so"},
        LoadOrderCase{"OnlyWs2_32", {"ws2_32.so"}, "ws2_32.so"},
        LoadOrderCase{"WrongCaseIsNotLooked", {"WSOCK32.so", "wsock32.dll"}, ""}),
    [](const auto &testCase) { return std::string(testCase.param.title); });

TEST(WinsockBinding, NoLibraryAnswersNetworkDownAndUnloadDoesNothing) {
    const PlatformFolder folder;  // empty
    WinsockBinding binding;
    binding.Load();
    EXPECT_EQ(binding.module, nullptr);
    for (platform::EntryPoint entry : binding.entries) EXPECT_EQ(entry, nullptr);
    winsock::WSADATA data{};
    EXPECT_EQ(binding.WSAStartup(winsock::MakeVersion(1, 1), &data), 10050);
    EXPECT_EQ(binding.WSACleanup(), 10050);
    EXPECT_EQ(binding.socket(winsock::AF_IPX, winsock::SOCK_DGRAM, 1004),
              static_cast<winsock::SOCKET>(10050));
    EXPECT_EQ(binding.bind(1, nullptr, 14), 10050);
    EXPECT_EQ(binding.sendto(1, "x", 1, 0, nullptr, 14), 10050);
    EXPECT_EQ(binding.htons(0x900F), 10050);
    EXPECT_EQ(binding.ntohs(0x900F), 10050);
    // The one text-returning forwarder gives no text at all rather than a
    // made-up address.
    EXPECT_EQ(binding.inet_ntoa(winsock::in_addr{0x0100007F}), nullptr);
    binding.Unload();
    EXPECT_EQ(binding.module, nullptr);
}

TEST(WinsockBinding, AMissingNameLeavesOnlyThatEntryNull) {
    const PlatformFolder folder;
    ASSERT_TRUE(folder.Install("fake_winsock_without_wsarecvex", "wsock32.so"));
    WinsockBinding binding;
    binding.Load();
    ASSERT_NE(binding.module, nullptr);
    for (std::size_t i = 0; i < kWinsockEntryCount; ++i) {
        EXPECT_EQ(binding.entries[i] == nullptr, i == static_cast<std::size_t>(WinsockEntry::WSARecvEx))
            << kWinsockEntryNames[i];
    }
    EXPECT_FALSE(binding.Provides(WinsockEntry::WSARecvEx));
    EXPECT_TRUE(binding.Provides(WinsockEntry::sendto));
    EXPECT_EQ(LoadedLibrary(binding), "wsock32.so");
    binding.Unload();
}

TEST(WinsockBinding, AnEntryIsTakenFromTheLibraryAloneNotFromWhatItLinks) {
    // The stand-in lacks socket; the C library it links has one, which must
    // not stand in for it.
    const PlatformFolder folder;
    ASSERT_TRUE(folder.Install("fake_winsock_without_socket", "wsock32.so"));
    WinsockBinding binding;
    binding.Load();
    ASSERT_NE(binding.module, nullptr);
    EXPECT_EQ(binding.entries[static_cast<std::size_t>(WinsockEntry::socket)], nullptr);
    EXPECT_EQ(binding.socket(winsock::AF_IPX, winsock::SOCK_DGRAM, 1004),
              static_cast<winsock::SOCKET>(10050));
    binding.Unload();
}

TEST(WinsockBinding, ForwardersPassArgumentsAndResults) {
    const PlatformFolder folder;
    ASSERT_TRUE(folder.Install("fake_winsock", "wsock32.so"));
    WinsockBinding binding;
    binding.Load();
    ASSERT_NE(binding.module, nullptr);
    EXPECT_EQ(binding.socket(6, 2, 1004), static_cast<winsock::SOCKET>(6 * 100000 + 2 * 10000 + 1004));
    EXPECT_EQ(binding.htons(0x900F), 0x0F90);
    EXPECT_EQ(binding.ntohs(0x0F90), 0x900F);
    EXPECT_EQ(binding.sendto(1, "abcd", 4, 0, nullptr, 0), 4);
    EXPECT_EQ(binding.WSACleanup(), 5);
    EXPECT_STREQ(binding.inet_ntoa(winsock::in_addr{0}), "fake.ntoa");
    binding.Unload();
}

TEST(WinsockBinding, EachLoadTakesAReferenceAndEachUnloadGivesItBack) {
    const PlatformFolder folder;
    ASSERT_TRUE(folder.Install("fake_winsock", "wsock32.so"));
    WinsockBinding first;
    WinsockBinding second;
    first.Load();
    second.Load();
    ASSERT_EQ(first.module, second.module);
    first.Unload();
    // The second binding's reference keeps the library and its entries alive.
    EXPECT_EQ(second.htons(1), 0x0100);
    second.Unload();
}

TEST(PlatformLibraryLoader, WindowsNamesMapToSharedObjects) {
    const PlatformFolder folder;
    ASSERT_TRUE(folder.Install("fake_winsock", "dlcapi.so"));
    for (const char *name : {"DLCAPI.DLL", "dlcapi.dll", "DlcApi.Dll", "dlcapi"}) {
        platform::LibraryHandle library = platform::LoadPlatformLibrary(name);
        EXPECT_NE(library, nullptr) << name;
        platform::ReleasePlatformLibrary(library);
    }
    for (const char *name : {"", "../dlcapi.dll", "sub/dlcapi.dll", "c:\\dlcapi.dll", ".dll"}) {
        EXPECT_EQ(platform::LoadPlatformLibrary(name), nullptr) << name;
    }
    EXPECT_EQ(platform::LoadPlatformLibrary(nullptr), nullptr);
    EXPECT_EQ(platform::FindEntryPoint(nullptr, "socket"), nullptr);
    platform::ReleasePlatformLibrary(nullptr);
}

TEST(PlatformLibraryLoader, SearchesEveryFolderOfThePathInOrder) {
    const PlatformFolder first;
    const test::PlatformFolder second;  // now the path; widen it to both below
    ASSERT_TRUE(first.Install("fake_winsock", "winsock.so"));
    ASSERT_TRUE(second.Install("fake_winsock", "ws2_32.so"));
    ASSERT_TRUE(second.Install("fake_winsock", "winsock.so"));
    const std::string path = "::" + first.Path() + "::" + second.Path() + ":";
    setenv("SNMPHELPER_PLATFORM_PATH", path.c_str(), 1);
    platform::LibraryHandle winsockLibrary = platform::LoadPlatformLibrary("winsock.dll");
    platform::LibraryHandle ws2Library = platform::LoadPlatformLibrary("ws2_32.dll");
    ASSERT_NE(winsockLibrary, nullptr);
    ASSERT_NE(ws2Library, nullptr);
    // The first folder's copy of winsock.so is the one loaded.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void *>(platform::FindEntryPoint(winsockLibrary, "htons")), &info), 0);
    EXPECT_EQ(std::string(info.dli_fname), first.Path() + "/winsock.so");
    platform::ReleasePlatformLibrary(winsockLibrary);
    platform::ReleasePlatformLibrary(ws2Library);
}

}  // namespace
}  // namespace snmphelper
