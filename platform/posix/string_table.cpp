// The library's string table. On Windows these texts are resources of the
// DLL; here they are compiled in, and the module handle only has to be the
// token the loader entry stored.
#include "platform/string_table.h"

#include <atomic>
#include <cstring>

namespace snmphelper::platform {
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

// Bit i set: entry i has been made unavailable by a test. Every entry id is
// below 32.
std::atomic<std::uint32_t> unavailableEntries{0};

const char *FindEntry(std::uint32_t id) {
    if (id < 32 && (unavailableEntries.load() & (1u << id)) != 0) return nullptr;
    for (const StringEntry &entry : kEntries) {
        if (entry.id == id) return entry.text;
    }
    return nullptr;
}

}  // namespace

int LoadStringResource(ModuleHandle module, std::uint32_t id, char *buffer, int room) {
    if (module == nullptr || buffer == nullptr || room <= 0) return 0;
    const char *text = FindEntry(id);
    if (text == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    std::size_t length = std::strlen(text);
    if (length > static_cast<std::size_t>(room - 1)) length = static_cast<std::size_t>(room - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

void SetStringResourceAvailable(std::uint32_t id, bool available) {
    if (id >= 32) return;  // no such entry: it is unavailable anyway
    if (available) {
        unavailableEntries.fetch_and(~(1u << id));
    } else {
        unavailableEntries.fetch_or(1u << id);
    }
}

}  // namespace snmphelper::platform
