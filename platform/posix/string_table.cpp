// SPDX-License-Identifier: Apache-2.0
// The library's string table. On Windows these texts are resources of the
// DLL (platform/win32/snmphelper.rc, the same entries); here they are
// compiled in, and the module handle only has to be the token the loader
// entry stored.
#include <cstring>

#include "platform/string_table.h"

namespace snmphelper::platform::detail {
namespace {

struct StringEntry {
    std::uint32_t id;
    const char *text;
};

// Entries 3-6, 8, 9, 11 and 12 are part of the shared configuration
// vocabulary of the product's programs; the library itself does not read them.
constexpr StringEntry kEntries[] = {
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
    {17, "t*o&r^e~l+d"},  // the community of every request
};

}  // namespace

int ReadStringResource(ModuleHandle, std::uint32_t id, char *buffer, int room) {
    for (const StringEntry &entry : kEntries) {
        if (entry.id != id) continue;
        std::size_t length = std::strlen(entry.text);
        if (length > static_cast<std::size_t>(room - 1)) length = static_cast<std::size_t>(room - 1);
        std::memcpy(buffer, entry.text, length);
        buffer[length] = '\0';
        return static_cast<int>(length);
    }
    buffer[0] = '\0';
    return 0;
}

}  // namespace snmphelper::platform::detail
