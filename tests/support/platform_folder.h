/* SPDX-License-Identifier: Apache-2.0 */
// A temporary folder of platform libraries made the library's search path
// (SNMPHELPER_PLATFORM_PATH; on Windows the DLL directory) while the object
// lives: tests put stand-in WinSock and DLC libraries there under the names
// the library looks for.
#pragma once

#include <string>

namespace snmphelper::test {

class PlatformFolder {
public:
    PlatformFolder();
    ~PlatformFolder();  // removes the folder, restores the previous path
    PlatformFolder(const PlatformFolder &) = delete;
    PlatformFolder &operator=(const PlatformFolder &) = delete;

    // Copies the test fixture library `fixture` (e.g. "fake_winsock") of the
    // build tree into the folder as `fileName` (e.g. "wsock32.so").
    bool Install(const std::string &fixture, const std::string &fileName) const;
    const std::string &Path() const { return folder_; }

private:
    std::string folder_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// A platform library's file name on this system: "dlcapi" is dlcapi.so, or
// dlcapi.dll on Windows.
std::string PlatformLibraryFile(const std::string &stem);

// The path of a test fixture library in the build tree.
std::string FixtureLibrary(const std::string &fixture);

}  // namespace snmphelper::test
