/* SPDX-License-Identifier: Apache-2.0 */
// A registry hive of its own for a test: a file in a fresh temporary folder,
// made the process's registry (SNMPHELPER_REGISTRY) while the object lives.
// Child processes started meanwhile inherit it. On Windows the hive is the
// system registry's Software\Brelvin key, replaced while the object lives
// (support/win32/temp_registry.cpp); Path() then names that key.
#pragma once

#include <string>

namespace snmphelper::test {

class TempRegistry {
public:
    // `hive` is the .reg text to start with; empty leaves the hive absent.
    explicit TempRegistry(const std::string &hive = "");
    TempRegistry(const TempRegistry &) = delete;
    TempRegistry &operator=(const TempRegistry &) = delete;
    ~TempRegistry();

    const std::string &Folder() const { return folder_; }
    const std::string &Path() const { return path_; }
    // Replaces the hive file with `bytes`.
    void Write(const std::string &bytes) const;
    // The hive file's bytes; empty when it is absent.
    std::string Contents() const;

private:
    std::string folder_;
    std::string path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// The .reg section of a printer key below Software\Brelvin\Palimar\AdapterOnly
// holding `valueLines` (.reg value lines, each ending in a line feed).
std::string PrinterKey(const std::string &printer, const std::string &valueLines);

// "Windows Registry Editor Version 5.00" text with that one printer key;
// append further PrinterKey sections for more printers.
std::string PrinterHive(const std::string &printer, const std::string &valueLines);

}  // namespace snmphelper::test
