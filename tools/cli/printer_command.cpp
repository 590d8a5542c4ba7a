// snmphelper printer: adds, shows, lists and removes the printers' keys that
// the library reads (their protocols and their addresses).
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/json_output.h"
#include "tools/cli/printer_records.h"
#include "tools/cli/registry_messages.h"
#include "tools/cli/utf8_text.h"
#include "transact/printer_config.h"

namespace snmphelper::cli {
namespace {

using platform::RegistryKey;

// The longest name whose key path still fits the library's path buffer.
constexpr std::size_t kMaxPrinterNameLength = kPrinterKeyPathSize - 1 - (sizeof kAdapterKeyPath - 1) - 1;

struct ProtocolName {
    std::uint8_t code;
    const char *name;
};
// In the order the channel prefers when `pProtocol` is unset.
constexpr ProtocolName kProtocolNames[] = {{kProtocolDlc, "dlc"}, {kProtocolIp, "ip"}, {kProtocolIpx, "ipx"}};

std::string PrinterKeyPath(const std::string &name) { return std::string(kAdapterKeyPath) + "\\" + name; }

bool IsHexDigits(const std::string &text) {
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return false;
    }
    return true;
}

std::string Upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A printer name the library can read: it must fit the key path and name
// exactly one key.
std::optional<std::string> CheckPrinterName(const std::string &name) {
    if (name.empty()) return "the printer name is empty";
    if (name.size() > kMaxPrinterNameLength) {
        return "the printer name is " + std::to_string(name.size()) + " characters long; at most " +
               std::to_string(kMaxPrinterNameLength) + " fit the library's key path";
    }
    if (name.find('\\') != std::string::npos) return "the printer name must not contain '\\'";
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "the printer name must not contain control characters";
    }
    // The registry keeps names as UTF-8; any other octets would be stored
    // under another name, or not found again.
    if (!IsValidUtf8(name)) {
        return "the printer name \"" + EscapeInvalidUtf8(name) +
               "\" is not valid UTF-8; give it in UTF-8 (check the terminal's or the script's encoding)";
    }
    return std::nullopt;
}

// Dotted-decimal IPv4 "a.b.c.d", each part 0-255 without leading zeros (the
// platform's address parser would read those as octal).
bool IsDottedQuad(const std::string &text) {
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
        std::size_t end = at;
        while (end < text.size() && end - at < 4 && std::isdigit(static_cast<unsigned char>(text[end])) != 0) ++end;
        const std::size_t digits = end - at;
        if (digits == 0 || digits > 3 || (digits > 1 && text[at] == '0')) return false;
        if (std::stoi(text.substr(at, digits)) > 255) return false;
        at = end;
    }
    return at == text.size();
}

// 0.0.0.0 and 255.255.255.255 (which the transport's parser also gives for
// text it rejects) are no printer's address.
std::optional<std::string> NormalizeIp(const std::string &text, std::string &problem) {
    if (!IsDottedQuad(text)) {
        problem = "--ip " + text + ": expected a dotted-decimal IPv4 address such as 192.168.1.20 "
                  "(four numbers 0-255, no leading zeros)";
        return std::nullopt;
    }
    if (text == "0.0.0.0" || text == "255.255.255.255") {
        problem = "--ip " + text + ": not a printer's address";
        return std::nullopt;
    }
    return text;
}

// 8 hex digits of network, 12 of node: stored as the 20 digits the IPX
// transport reads; "net:node" and "net.node" are accepted and joined.
std::optional<std::string> NormalizeIpx(const std::string &text, std::string &problem) {
    std::string digits = text;
    if (text.size() == 21 && (text[8] == ':' || text[8] == '.')) digits = text.substr(0, 8) + text.substr(9);
    if (digits.size() != 20 || !IsHexDigits(digits)) {
        problem = "--ipx " + text +
                  ": expected 8 hexadecimal digits of network and 12 of node, such as 0000000100A0C9123456 or "
                  "00000001:00A0C9123456";
        return std::nullopt;
    }
    return Upper(digits);
}

// 12 hex digits, stored without separators as the DLC transport reads them;
// six pairs separated by ':' or '-' are accepted and joined.
std::optional<std::string> NormalizeMac(const std::string &text, std::string &problem) {
    std::string digits = text;
    if (text.size() == 17 && (text[2] == ':' || text[2] == '-')) {
        digits.clear();
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (i % 3 == 2) {
                if (text[i] != text[2]) break;
            } else {
                digits += text[i];
            }
        }
    }
    if (digits.size() != 12 || !IsHexDigits(digits)) {
        problem = "--mac " + text + ": expected 12 hexadecimal digits, such as 0000C0A1B2C3 or 00:00:C0:A1:B2:C3";
        return std::nullopt;
    }
    return Upper(digits);
}

std::optional<std::uint8_t> ProtocolCode(const std::string &name) {
    for (const ProtocolName &protocol : kProtocolNames) {
        if (name == protocol.name) return protocol.code;
    }
    return std::nullopt;
}

std::string ProtocolList(std::uint32_t bits) {
    std::string list;
    for (const ProtocolName &protocol : kProtocolNames) {
        if ((bits & protocol.code) == 0) continue;
        if (!list.empty()) list += ',';
        list += protocol.name;
    }
    return list.empty() ? "none" : list;
}

std::string ProtocolNameOf(std::uint32_t code) {
    for (const ProtocolName &protocol : kProtocolNames) {
        if (code == protocol.code) return protocol.name;
    }
    return code == 0 ? "unset" : "invalid";
}

struct AddOptions {
    std::string name;
    std::string ip;
    std::string ipx;
    std::string mac;
    std::string protocols;
    std::string use;
    bool replace = false;
};

// What `printer add` stores, once every option has been checked.
struct PrinterSettings {
    std::string ip;
    std::string ipx;
    std::string mac;
    std::uint8_t protocols = 0;
    std::uint8_t use = 0;
};

bool CheckAddOptions(const AddOptions &options, PrinterSettings &settings, std::string &problem) {
    if (auto nameProblem = CheckPrinterName(options.name)) {
        problem = *nameProblem;
        return false;
    }
    std::uint8_t addressed = 0;
    if (!options.ip.empty()) {
        auto ip = NormalizeIp(options.ip, problem);
        if (!ip) return false;
        settings.ip = *ip;
        addressed |= kProtocolIp;
    }
    if (!options.ipx.empty()) {
        auto ipx = NormalizeIpx(options.ipx, problem);
        if (!ipx) return false;
        settings.ipx = *ipx;
        addressed |= kProtocolIpx;
    }
    if (!options.mac.empty()) {
        auto mac = NormalizeMac(options.mac, problem);
        if (!mac) return false;
        settings.mac = *mac;
        addressed |= kProtocolDlc;
    }
    if (addressed == 0) {
        problem = "give at least one address: --ip, --ipx or --mac";
        return false;
    }
    settings.protocols = addressed;
    if (!options.protocols.empty()) {
        settings.protocols = 0;
        std::size_t at = 0;
        for (;;) {
            const std::size_t comma = options.protocols.find(',', at);
            const std::string name = options.protocols.substr(at, comma == std::string::npos ? comma : comma - at);
            const auto code = ProtocolCode(name);
            if (!code) {
                problem = "--protocols: unknown protocol \"" + name + "\"; the protocols are ip, ipx and dlc";
                return false;
            }
            if ((addressed & *code) == 0) {
                problem = "--protocols names " + name + " but no " +
                          (*code == kProtocolIp ? "--ip" : *code == kProtocolIpx ? "--ipx" : "--mac") +
                          " address is given";
                return false;
            }
            settings.protocols = static_cast<std::uint8_t>(settings.protocols | *code);
            if (comma == std::string::npos) break;
            at = comma + 1;
        }
    }
    if (!options.use.empty()) {
        const auto code = ProtocolCode(options.use);
        if (!code) {
            problem = "--use: unknown protocol \"" + options.use + "\"; the protocols are ip, ipx and dlc";
            return false;
        }
        if ((settings.protocols & *code) == 0) {
            problem = "--use " + options.use + " is not among the printer's protocols (" +
                      ProtocolList(settings.protocols) + ")";
            return false;
        }
        settings.use = *code;
    } else {
        // IP when the printer has it, as it is the usual way to reach one.
        for (std::uint8_t preferred : {kProtocolIp, kProtocolDlc, kProtocolIpx}) {
            if ((settings.protocols & preferred) != 0) {
                settings.use = preferred;
                break;
            }
        }
    }
    return true;
}

std::string DwordText(std::uint8_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(value));
    return text;
}

// The printer's key as one registry change: every value appears at once, so
// no reader ever sees the key half written. The library reads a printer only
// when its key holds `MAC Address`, so a printer without DLC gets an empty one.
std::string PrinterKeyText(const std::string &name, const PrinterSettings &settings, bool replace) {
    const std::string header = "HKEY_LOCAL_MACHINE\\" + PrinterKeyPath(name);
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    if (replace) text += "[-" + header + "]\n\n";
    text += "[" + header + "]\n";
    text += "\"" + std::string(kProtocolSetValue) + "\"=" + DwordText(settings.protocols) + "\n";
    text += "\"" + std::string(kProtocolInUseValue) + "\"=" + DwordText(settings.use) + "\n";
    text += "\"" + std::string(kMacAddressValue) + "\"=\"" + settings.mac + "\"\n";
    if (!settings.ip.empty()) text += "\"" + std::string(kIpAddressValue) + "\"=\"" + settings.ip + "\"\n";
    if (!settings.ipx.empty()) text += "\"" + std::string(kIpxAddressValue) + "\"=\"" + settings.ipx + "\"\n";
    return text;
}

int RunAdd(const AddOptions &options) {
    PrinterSettings settings;
    std::string problem;
    if (!CheckAddOptions(options, settings, problem)) {
        std::fprintf(stderr, "printer add: %s\n", problem.c_str());
        return kExitUsage;
    }
    RegistryKey existing = nullptr;
    const std::int32_t found = platform::OpenRegistryKey(PrinterKeyPath(options.name).c_str(), platform::kKeyRead, &existing);
    platform::CloseRegistryKey(existing);
    if (found == platform::kRegistrySuccess && !options.replace) {
        std::fprintf(stderr, "printer add: printer \"%s\" already exists; use --replace to overwrite it\n",
                     options.name.c_str());
        return 1;
    }
    if (found != platform::kRegistrySuccess && found != platform::kRegistryNotFound) {
        std::fprintf(stderr, "printer add: %s\n", DescribeRegistryResult(found).c_str());
        return 1;
    }
    const std::int32_t code =
        platform::ImportRegistryText(PrinterKeyText(options.name, settings, options.replace), problem);
    if (code != platform::kRegistrySuccess) {
        std::fprintf(stderr, "printer add: %s\n",
                     problem.empty() ? DescribeRegistryResult(code).c_str() : problem.c_str());
        return 1;
    }
    std::printf("printer \"%s\": protocols %s, using %s\n", options.name.c_str(),
                ProtocolList(settings.protocols).c_str(), ProtocolNameOf(settings.use).c_str());
    return 0;
}

std::optional<std::uint32_t> QueryNumber(RegistryKey key, const char *name) {
    std::uint8_t bytes[4] = {};
    std::uint32_t size = sizeof bytes;
    if (platform::QueryRegistryValue(key, name, nullptr, bytes, &size) != platform::kRegistrySuccess) {
        return std::nullopt;
    }
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::string QueryText(RegistryKey key, const char *name) {
    std::uint32_t size = 0;
    if (platform::QueryRegistryValue(key, name, nullptr, nullptr, &size) != platform::kRegistrySuccess) {
        return "(none)";
    }
    std::string text(size, '\0');
    if (platform::QueryRegistryValue(key, name, nullptr, text.data(), &size) != platform::kRegistrySuccess) {
        return "(unreadable)";
    }
    text.resize(std::strlen(text.c_str()));
    return text.empty() ? "(empty)" : text;
}

// Why the library could not read the printer, for `printer show`.
std::string LibraryView(const std::string &name, RegistryKey key) {
    PrinterAddressRecord record;
    InitPrinterAddressRecord(&record);
    if (ReadPrinterAddressRecord(name.c_str(), &record) == 0) return "reads this printer";
    std::uint32_t size = 0;
    if (platform::QueryRegistryValue(key, kMacAddressValue, nullptr, nullptr, &size) != platform::kRegistrySuccess) {
        return "cannot read this printer: its key has no \"MAC Address\" value";
    }
    if (size >= kAddressFieldSize) {
        return "cannot read this printer: its \"MAC Address\" is longer than 21 characters";
    }
    return "cannot read this printer: this process may not write the registry, and the library opens "
           "printer keys for full access";
}

int RunShow(const std::string &name, bool json) {
    if (auto problem = CheckPrinterName(name)) {
        std::fprintf(stderr, "printer show: %s\n", problem->c_str());
        return kExitUsage;
    }
    RegistryKey key = nullptr;
    const std::int32_t code = platform::OpenRegistryKey(PrinterKeyPath(name).c_str(), platform::kKeyRead, &key);
    if (code == platform::kRegistryNotFound) {
        std::fprintf(stderr, "printer show: no printer named \"%s\"\n", name.c_str());
        return kExitConfiguration;
    }
    if (code != platform::kRegistrySuccess) {
        std::fprintf(stderr, "printer show: %s\n", DescribeRegistryResult(code).c_str());
        return 1;
    }
    const auto protocols = QueryNumber(key, kProtocolSetValue);
    const auto use = QueryNumber(key, kProtocolInUseValue);
    if (json) {
        PrintJson(Json{{"command", "printer show"},
                       {"name", JsonText(name)},
                       {"protocols", protocols ? ProtocolList(*protocols & 0xFF) : "(none)"},
                       {"use", use ? ProtocolNameOf(*use & 0xFF) : "unset"},
                       {"ipAddress", JsonText(QueryText(key, kIpAddressValue))},
                       {"ipxAddress", JsonText(QueryText(key, kIpxAddressValue))},
                       {"macAddress", JsonText(QueryText(key, kMacAddressValue))},
                       {"library", LibraryView(name, key)}});
        platform::CloseRegistryKey(key);
        return 0;
    }
    std::printf("printer \"%s\"\n", name.c_str());
    std::printf("  protocols:   %s\n", protocols ? ProtocolList(*protocols & 0xFF).c_str() : "(none)");
    std::printf("  in use:      %s\n", use ? ProtocolNameOf(*use & 0xFF).c_str() : "unset");
    std::printf("  IP Address:  %s\n", QueryText(key, kIpAddressValue).c_str());
    std::printf("  IPX Address: %s\n", QueryText(key, kIpxAddressValue).c_str());
    std::printf("  MAC Address: %s\n", QueryText(key, kMacAddressValue).c_str());
    std::printf("  library:     %s\n", LibraryView(name, key).c_str());
    platform::CloseRegistryKey(key);
    return 0;
}

// One printer as `printer list` shows it.
struct ListedPrinter {
    std::string name;
    std::string protocols;
    std::string use;
    std::string address;
};

int RunList(bool json) {
    std::string problem;
    const auto names = RegisteredPrinters(problem);
    if (!names) {
        std::fprintf(stderr, "printer list: %s\n", problem.c_str());
        return kExitFailure;
    }
    std::vector<ListedPrinter> printers;
    for (const std::string &name : *names) {
        RegistryKey key = nullptr;
        if (platform::OpenRegistryKey(PrinterKeyPath(name).c_str(), platform::kKeyRead, &key) !=
            platform::kRegistrySuccess) {
            continue;  // removed meanwhile
        }
        const std::uint32_t use = QueryNumber(key, kProtocolInUseValue).value_or(0) & 0xFF;
        const char *addressValue = use == kProtocolIpx ? kIpxAddressValue
                                   : use == kProtocolDlc ? kMacAddressValue
                                                         : kIpAddressValue;
        printers.push_back({name, ProtocolList(QueryNumber(key, kProtocolSetValue).value_or(0) & 0xFF),
                            ProtocolNameOf(use), QueryText(key, addressValue)});
        platform::CloseRegistryKey(key);
    }
    if (json) {
        Json list = Json::array();
        for (const ListedPrinter &printer : printers) {
            list.push_back(Json{{"name", JsonText(printer.name)},
                                {"protocols", printer.protocols},
                                {"use", printer.use},
                                {"address", JsonText(printer.address)}});
        }
        PrintJson(Json{{"command", "printer list"}, {"printers", list}});
        return kExitOk;
    }
    for (const ListedPrinter &printer : printers) {
        std::printf("%s\t%s\t%s\t%s\n", printer.name.c_str(), printer.protocols.c_str(), printer.use.c_str(),
                    printer.address.c_str());
    }
    return kExitOk;
}

int RunRemove(const std::string &name) {
    if (auto problem = CheckPrinterName(name)) {
        std::fprintf(stderr, "printer remove: %s\n", problem->c_str());
        return kExitUsage;
    }
    const std::int32_t code = platform::DeleteRegistryKey(PrinterKeyPath(name).c_str());
    if (code == platform::kRegistryNotFound) {
        std::fprintf(stderr, "printer remove: no printer named \"%s\"\n", name.c_str());
        return kExitConfiguration;
    }
    if (code != platform::kRegistrySuccess) {
        std::fprintf(stderr, "printer remove: %s\n", DescribeRegistryResult(code).c_str());
        return 1;
    }
    return 0;
}

}  // namespace

void AddPrinterCommand(Command &app, int &exitCode) {
    Command *printer = app.add_subcommand("printer", "Add, show, list and remove printers in the registry");
    printer->require_subcommand(1);

    auto add = std::make_shared<AddOptions>();
    Command *addCommand = printer->add_subcommand("add", "Record a printer's protocols and addresses");
    addCommand->add_option("name", add->name, "Printer name, as callers pass it to the library")->required();
    addCommand->add_option("--ip", add->ip, "IPv4 address, dotted decimal");
    addCommand->add_option("--ipx", add->ipx, "IPX address: 8 hex digits of network, 12 of node");
    addCommand->add_option("--mac", add->mac, "Adapter (MAC) address for DLC: 12 hex digits");
    addCommand->add_option("--protocols", add->protocols,
                           "Protocols to reach it by, comma-separated: ip, ipx, dlc (default: those with an address)");
    addCommand->add_option("--use", add->use, "Protocol to use first: ip, ipx or dlc (default: ip if allowed)");
    addCommand->add_flag("--replace", add->replace, "Overwrite an existing printer of that name");
    addCommand->callback([add, &exitCode] { exitCode = RunAdd(*add); });

    auto name = std::make_shared<std::string>();
    auto showJson = std::make_shared<bool>(false);
    Command *show = printer->add_subcommand("show", "Show what the registry holds for a printer");
    show->add_option("name", *name, "Printer name")->required();
    show->add_flag("--json", *showJson, "Print one JSON object");
    show->callback([name, showJson, &exitCode] { exitCode = RunShow(*name, *showJson); });

    auto listJson = std::make_shared<bool>(false);
    Command *list = printer->add_subcommand("list", "List the printers: name, protocols, protocol in use, its address");
    list->add_flag("--json", *listJson, "Print one JSON object");
    list->callback([listJson, &exitCode] { exitCode = RunList(*listJson); });

    Command *remove = printer->add_subcommand("remove", "Remove a printer's key");
    remove->add_option("name", *name, "Printer name")->required();
    remove->callback([name, &exitCode] { exitCode = RunRemove(*name); });
}

}  // namespace snmphelper::cli
