// SPDX-License-Identifier: Apache-2.0
#include "tests/support/link_transactions.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>

#include "platform/registry.h"
#include "snmphelper.h"
#include "tests/support/temp_registry.h"
#include "transact/channel.h"

namespace snmphelper::test {
namespace {

std::mutex recordedMutex;
std::vector<std::uint32_t> recorded;

void Record(std::uint32_t protocol, std::int32_t) {
    const std::lock_guard lock(recordedMutex);
    recorded.push_back(protocol);
}

}  // namespace

std::string DwordLine(const char *name, int value) {
    char line[64];
    std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\n", name, static_cast<unsigned>(value));
    return line;
}

std::string LinkPrinterHive(const std::string &name, const LinkPrinter &printer) {
    std::string values = DwordLine("cProtocols", printer.cProtocols) + DwordLine("pProtocol", printer.pProtocol) +
                         "\"IP Address\"=\"" + printer.ip + "\"\n" + "\"MAC Address\"=\"" + printer.mac + "\"\n";
    if (!printer.ipx.empty()) values += "\"IPX Address\"=\"" + printer.ipx + "\"\n";
    return "Windows Registry Editor Version 5.00\n\n" + PrinterKey(name, values) +
           "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n" + DwordLine("UdpTimeOutInterval", 1) +
           DwordLine("UdpTotalRetries", 0) + "\n";
}

std::uint32_t StoredProtocol(const std::string &printer) {
    const std::string path = "Software\\Brelvin\\Palimar\\AdapterOnly\\" + printer;
    platform::RegistryKey key = nullptr;
    if (platform::OpenRegistryKey(path.c_str(), platform::kKeyRead, &key) != 0) return 0xFFFFFFFF;
    std::uint32_t value = 0;
    std::uint32_t size = sizeof value;
    const std::int32_t read = platform::QueryRegistryValue(key, "pProtocol", nullptr, &value, &size);
    platform::CloseRegistryKey(key);
    return read == 0 ? value : 0xFFFFFFFF;
}

void StartRecordingTransports() {
    {
        const std::lock_guard lock(recordedMutex);
        recorded.clear();
    }
    SetTransportCreatedObserver(Record);
}

void StopRecordingTransports() { SetTransportCreatedObserver(nullptr); }

std::vector<std::uint32_t> RecordedTransports() {
    const std::lock_guard lock(recordedMutex);
    return recorded;
}

TransactOutcome TransactOne(const std::string &printer, std::int32_t requestType, const std::string &oids,
                            const std::string &valueText) {
    std::vector<char> identifiers(512, '\0');
    std::memcpy(identifiers.data(), oids.c_str(), std::min(oids.size(), identifiers.size() - 1));
    std::vector<char> values(512, '\0');
    std::memcpy(values.data(), valueText.c_str(), std::min(valueText.size(), values.size() - 1));
    std::uint32_t valueSize = static_cast<std::uint32_t>(values.size());
    TransactOutcome outcome;
    outcome.result = HelperSNMPTransact(printer.c_str(), requestType, identifiers.data(),
                                        static_cast<std::uint32_t>(identifiers.size()), values.data(), &valueSize, 1);
    outcome.identifiers = identifiers.data();
    if (outcome.result == 0) outcome.values.assign(values.data(), std::min<std::size_t>(valueSize, values.size()));
    return outcome;
}

bool WritePcap(const std::string &path, const std::vector<std::vector<std::uint8_t>> &frames) {
    std::ofstream out(path, std::ios::binary);
    const std::uint32_t header[] = {0xA1B2C3D4, 0x00040002, 0, 0, 65535, 1};
    out.write(reinterpret_cast<const char *>(header), sizeof header);
    for (const auto &frame : frames) {
        const std::uint32_t record[] = {0, 0, static_cast<std::uint32_t>(frame.size()),
                                        static_cast<std::uint32_t>(frame.size())};
        out.write(reinterpret_cast<const char *>(record), sizeof record);
        out.write(reinterpret_cast<const char *>(frame.data()), static_cast<std::streamsize>(frame.size()));
    }
    return static_cast<bool>(out);
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

}  // namespace snmphelper::test
