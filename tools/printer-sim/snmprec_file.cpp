// SPDX-License-Identifier: Apache-2.0
#include "tools/printer-sim/snmprec_file.h"

#include <algorithm>
#include <filesystem>

#include "tools/printer-sim/mib_file.h"
#include "tools/printer-sim/sim_parse.h"

namespace printersim {
namespace {

constexpr std::uint8_t kTagCounter64 = 0x46;

bool ParseRecordValue(std::string_view tagText, std::string_view text, Value &value, bool &skip,
                      std::string &error) {
    const bool hex = !tagText.empty() && tagText.back() == 'x';
    if (hex) tagText.remove_suffix(1);
    unsigned tag = 0;
    if (tagText.find(':') != std::string_view::npos) {
        skip = true;  // a variation module's line: snmpsim computes its value
        return true;
    }
    if (!ParseNumber(tagText, tag) || tag > 0xFF) return Fail(error, "TAG must be a BER tag number, such as 2 or 4x");
    std::vector<std::uint8_t> octets;
    if (hex && !ParseHex(text, octets)) return Fail(error, "a value in hex needs hex digit pairs");
    const std::string plain(text);
    switch (static_cast<std::uint8_t>(tag)) {
    case kTagInteger: {
        std::int32_t number = 0;
        if (hex || !ParseNumber(text, number)) return Fail(error, "INTEGER needs a 32-bit signed number");
        value = IntegerValue(number);
        return true;
    }
    case kTagOctetString:
    case kTagOpaque:
        value = OctetsValue(static_cast<std::uint8_t>(tag),
                            hex ? octets : std::vector<std::uint8_t>(plain.begin(), plain.end()));
        return true;
    case kTagNull:
        value = NullValue();
        return true;
    case kTagObjectId: {
        Oid oid;
        if (hex || !ParseOid(text, oid)) return Fail(error, "OBJECT IDENTIFIER needs a dotted-decimal identifier");
        value = OidValue(oid);
        return true;
    }
    case kTagIpAddress: {
        std::array<std::uint8_t, 4> address{};
        if (hex ? octets.size() != 4 : !ParseIpAddress(text, address)) return Fail(error, "IpAddress needs a.b.c.d");
        if (hex) std::copy(octets.begin(), octets.end(), address.begin());
        value = IpAddressValue(address);
        return true;
    }
    case kTagCounter:
    case kTagGauge:
    case kTagTimeTicks: {
        std::uint32_t number = 0;
        if (hex || !ParseNumber(text, number)) return Fail(error, "Counter32, Gauge32 and TimeTicks need a 32-bit unsigned number");
        value = UnsignedValue(static_cast<std::uint8_t>(tag), number);
        return true;
    }
    case kTagCounter64:
        skip = true;
        return true;
    default:
        return Fail(error, "unknown TAG " + std::string(tagText));
    }
}

bool ParseRecordLine(std::string_view line, MibStore &store, std::string &error) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') return true;
    const std::size_t first = line.find('|');
    const std::size_t second = first == std::string_view::npos ? first : line.find('|', first + 1);
    if (second == std::string_view::npos) return Fail(error, "expected OID|TAG|VALUE");
    Oid name;
    if (!ParseOid(line.substr(0, first), name)) return Fail(error, "bad object identifier");
    MibObject object;
    bool skip = false;
    if (!ParseRecordValue(line.substr(first + 1, second - first - 1), line.substr(second + 1), object.value, skip,
                          error)) {
        return false;
    }
    if (!skip) store.Put(name, std::move(object));
    return true;
}

}  // namespace

bool LoadSnmprec(std::string_view text, std::string_view sourceName, MibStore &store, std::string &error) {
    return LoadLines(text, sourceName, ParseRecordLine, store, error);
}

bool LoadSnmprecFile(const std::string &path, MibStore &store, std::string &error) {
    std::string contents;
    return ReadTextFile(path, contents, error) && LoadSnmprec(contents, path, store, error);
}

bool LoadSnmprecFolder(const std::string &folder, std::vector<MibStore> &stores, std::vector<std::string> &names,
                       std::string &error) {
    std::error_code failure;
    std::vector<std::filesystem::path> paths;
    for (const auto &entry : std::filesystem::directory_iterator(folder, failure)) {
        if (entry.path().extension() == ".snmprec") paths.push_back(entry.path());
    }
    if (failure) return Fail(error, folder + ": cannot be read");
    if (paths.empty()) return Fail(error, folder + ": no .snmprec files");
    std::sort(paths.begin(), paths.end());
    for (const auto &path : paths) {
        stores.emplace_back();
        names.push_back(path.stem().string());
        if (!LoadSnmprecFile(path.string(), stores.back(), error)) return false;
    }
    return true;
}

}  // namespace printersim
