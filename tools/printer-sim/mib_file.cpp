// SPDX-License-Identifier: Apache-2.0
// Reading and writing the objects file.
#include "tools/printer-sim/mib_file.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "tools/printer-sim/sim_parse.h"

namespace printersim {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits a line into words; a double-quoted word may hold spaces and
// escapes. Stops at a "#" that begins a word.
bool SplitWords(std::string_view line, std::vector<std::string> &words, std::string &error) {
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i == line.size() || line[i] == '#') return true;
        std::string word;
        if (line[i] != '"') {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                word += line[i++];
            words.push_back(word);
            continue;
        }
        ++i;
        while (true) {
            if (i == line.size()) return Fail(error, "unterminated quoted text");
            const char c = line[i++];
            if (c == '"') break;
            if (c != '\\') {
                word += c;
                continue;
            }
            if (i == line.size()) return Fail(error, "unterminated quoted text");
            const char escaped = line[i++];
            if (escaped == 'n') {
                word += '\n';
            } else if (escaped == 't') {
                word += '\t';
            } else if (escaped == '"' || escaped == '\\') {
                word += escaped;
            } else if (escaped == 'x' && i + 1 < line.size() && HexDigit(line[i]) >= 0 &&
                       HexDigit(line[i + 1]) >= 0) {
                word += static_cast<char>(HexDigit(line[i]) * 16 + HexDigit(line[i + 1]));
                i += 2;
            } else {
                return Fail(error, "unknown escape in quoted text");
            }
        }
        words.push_back(word);
    }
}

bool ParseBounds(std::string_view text, Bounds &bounds) {
    const std::size_t dots = text.find("..");
    return dots != std::string_view::npos && ParseNumber(text.substr(0, dots), bounds.low) &&
           ParseNumber(text.substr(dots + 2), bounds.high) && bounds.low <= bounds.high;
}

bool ParseValue(const Oid &name, std::string_view type, const std::string &text, MibObject &object,
                std::string &error) {
    if (type == "INTEGER") {
        std::int32_t number = 0;
        if (!ParseNumber(text, number)) return Fail(error, "INTEGER needs a 32-bit signed number");
        object.value = IntegerValue(number);
    } else if (type == "STRING") {
        object.value = StringValue(text);
    } else if (type == "HEX" || type == "OPAQUE") {
        std::vector<std::uint8_t> octets;
        if (!ParseHex(text, octets)) return Fail(error, std::string(type) + " needs hex digit pairs");
        object.value = OctetsValue(type == "HEX" ? kTagOctetString : kTagOpaque, octets);
    } else if (type == "IPADDRESS") {
        std::array<std::uint8_t, 4> address{};
        if (!ParseIpAddress(text, address)) return Fail(error, "IPADDRESS needs a.b.c.d");
        object.value = IpAddressValue(address);
    } else if (type == "COUNTER" || type == "GAUGE" || type == "TIMETICKS") {
        const std::uint8_t tag = type == "COUNTER" ? kTagCounter : type == "GAUGE" ? kTagGauge : kTagTimeTicks;
        std::uint32_t number = 0;
        if (type == "TIMETICKS" && text == "@uptime") {
            object.source = ValueSource::Uptime;
        } else if (type == "COUNTER" && text == "@snmp") {
            if (!SnmpStatisticArc(name)) return Fail(error, "@snmp is only for snmp group counters 1.3.6.1.2.1.11.N.0");
            object.source = ValueSource::SnmpStatistic;
        } else if (!ParseNumber(text, number)) {
            return Fail(error, std::string(type) + " needs a 32-bit unsigned number");
        }
        object.value = UnsignedValue(tag, number);
    } else if (type == "OID") {
        Oid oid;
        if (!ParseOid(text, oid)) return Fail(error, "OID needs a dotted-decimal object identifier");
        object.value = OidValue(oid);
    } else if (type == "NULL") {
        if (text != "-") return Fail(error, "NULL takes the value -");
        object.value = NullValue();
    } else {
        return Fail(error, "unknown type '" + std::string(type) + "'");
    }
    return true;
}

bool ParseFlag(const std::string &word, MibObject &object, std::string &error) {
    const bool numeric = object.value.tag == kTagInteger;
    const bool octets = object.value.tag == kTagOctetString || object.value.tag == kTagOpaque;
    if (word == "rw" || word == "ro") {
        object.access = word == "rw" ? Access::ReadWrite : Access::ReadOnly;
        if (object.access == Access::ReadWrite && object.source != ValueSource::Fixed)
            return Fail(error, "a value that follows the agent cannot be writable");
    } else if (word.starts_with("range=") || word.starts_with("size=")) {
        const bool isRange = word.starts_with("range=");
        if (isRange ? !numeric : !octets) return Fail(error, "range= is for INTEGER, size= for STRING, HEX and OPAQUE");
        Bounds bounds;
        if (!ParseBounds(std::string_view(word).substr(isRange ? 6 : 5), bounds))
            return Fail(error, "bounds need LO..HI");
        object.bounds = bounds;
    } else if (word.starts_with("fault=")) {
        return ParseFault(std::string_view(word).substr(6), object.faults, error);
    } else {
        return Fail(error, "unknown flag '" + word + "'");
    }
    return true;
}

bool ParseLine(std::string_view line, MibStore &store, std::string &error) {
    std::vector<std::string> words;
    if (!SplitWords(line, words, error)) return false;
    if (words.empty()) return true;
    if (words.size() < 3) return Fail(error, "expected OID TYPE VALUE [flags]");
    Oid name;
    if (!ParseOid(words[0], name)) return Fail(error, "bad object identifier '" + words[0] + "'");
    MibObject object;
    if (!ParseValue(name, words[1], words[2], object, error)) return false;
    for (std::size_t i = 3; i < words.size(); ++i)
        if (!ParseFlag(words[i], object, error)) return false;
    store.Put(name, std::move(object));
    return true;
}

bool IsPrintable(const std::vector<std::uint8_t> &octets) {
    for (std::uint8_t octet : octets)
        if (octet < 0x20 || octet > 0x7E) return false;
    return true;
}

std::string HexText(const std::vector<std::uint8_t> &octets) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t octet : octets) {
        text += kDigits[octet >> 4];
        text += kDigits[octet & 0x0F];
    }
    return text.empty() ? "\"\"" : text;
}

std::string QuotedText(const std::vector<std::uint8_t> &octets) {
    std::string text = "\"";
    for (std::uint8_t octet : octets) {
        if (octet == '"' || octet == '\\') text += '\\';
        text += static_cast<char>(octet);
    }
    return text + "\"";
}

std::string TypeAndValue(const MibObject &object) {
    const Value &value = object.value;
    std::int32_t signedNumber = 0;
    std::uint32_t number = 0;
    Oid oid;
    switch (value.tag) {
    case kTagInteger:
        DecodeSigned(value.contents, signedNumber);
        return "INTEGER " + std::to_string(signedNumber);
    case kTagOctetString:
        return IsPrintable(value.contents) ? "STRING " + QuotedText(value.contents)
                                           : "HEX " + HexText(value.contents);
    case kTagOpaque:
        return "OPAQUE " + HexText(value.contents);
    case kTagIpAddress: {
        std::string text = "IPADDRESS ";
        for (std::size_t i = 0; i < value.contents.size(); ++i) {
            if (i != 0) text += '.';
            text += std::to_string(value.contents[i]);
        }
        return text;
    }
    case kTagCounter:
    case kTagGauge:
    case kTagTimeTicks: {
        const char *type = value.tag == kTagCounter ? "COUNTER " : value.tag == kTagGauge ? "GAUGE " : "TIMETICKS ";
        if (object.source == ValueSource::Uptime) return std::string(type) + "@uptime";
        if (object.source == ValueSource::SnmpStatistic) return std::string(type) + "@snmp";
        DecodeUnsigned(value.contents, number);
        return type + std::to_string(number);
    }
    case kTagObjectId:
        DecodeOidContents(value.contents, oid);
        return "OID " + FormatOid(oid);
    default:
        return "NULL -";
    }
}

}  // namespace

bool ParseHex(std::string_view text, std::vector<std::uint8_t> &octets) {
    if (text.size() % 2 != 0) return false;
    octets.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        octets.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

bool ParseIpAddress(std::string_view text, std::array<std::uint8_t, 4> &address) {
    for (std::size_t part = 0; part < 4; ++part) {
        const std::size_t dot = text.find('.');
        if ((part < 3) == (dot == std::string_view::npos)) return false;
        unsigned number = 0;
        if (!ParseNumber(text.substr(0, dot), number) || number > 255) return false;
        address[part] = static_cast<std::uint8_t>(number);
        if (part < 3) text.remove_prefix(dot + 1);
    }
    return true;
}

bool LoadLines(std::string_view text, std::string_view sourceName, LineReader reader, MibStore &store,
               std::string &error) {
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::string what;
        if (!reader(line, store, what)) {
            error = std::string(sourceName) + ":" + std::to_string(lineNumber) + ": " + what;
            return false;
        }
    }
    return true;
}

bool ReadTextFile(const std::string &path, std::string &contents, std::string &error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return Fail(error, path + ": cannot be read");
    std::ostringstream read;
    read << file.rdbuf();
    contents = read.str();
    return true;
}

bool LoadObjects(std::string_view text, std::string_view sourceName, MibStore &store,
                 std::string &error) {
    return LoadLines(text, sourceName, ParseLine, store, error);
}

bool LoadObjectsFile(const std::string &path, MibStore &store, std::string &error) {
    std::string contents;
    return ReadTextFile(path, contents, error) && LoadObjects(contents, path, store, error);
}

std::string FormatObjects(const MibStore &store) {
    std::string text;
    for (const auto *entry = store.AtOrAfter({}); entry != nullptr; entry = store.Next(entry->first)) {
        const auto &[name, object] = *entry;
        text += FormatOid(name) + " " + TypeAndValue(object);
        if (object.access == Access::ReadWrite) text += " rw";
        if (object.bounds) {
            text += object.value.tag == kTagInteger ? " range=" : " size=";
            text += std::to_string(object.bounds->low) + ".." + std::to_string(object.bounds->high);
        }
        for (const std::string &fault : FaultTexts(object.faults)) text += " fault=" + fault;
        text += '\n';
    }
    return text;
}

}  // namespace printersim
