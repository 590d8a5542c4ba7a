// SPDX-License-Identifier: Apache-2.0
// snmphelper config: shows the library's `Snmp` settings key (reply timeout,
// retry count, reply checks) and sets the timeout and the retry count.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "library/library_entry.h"
#include "platform/registry.h"
#include "platform/string_table.h"
#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/json_output.h"
#include "tools/cli/library_load.h"
#include "tools/cli/printer_records.h"
#include "tools/cli/registry_messages.h"
#include "tools/cli/snmp_settings.h"
#include "transact/printer_config.h"
#include "transact/printer_store.h"

namespace snmphelper::cli {
namespace {

using platform::RegistryKey;

struct Setting {
    const char *word;  // as typed after "config set"
    std::uint32_t valueEntry;
    std::int32_t defaultValue;
    std::uint32_t minimum;
    std::uint32_t maximum;
    const char *unit;
};
constexpr Setting kSettings[] = {
    {"timeout", kTimeoutValueEntry, kDefaultTimeoutSeconds, 1, 86400, " seconds"},
    {"retries", kRetriesValueEntry, kDefaultRetries, 0, 100, ""},
};

// The words of the ReplyChecks bits the library acts on; other bits are
// ignored, so they are not shown.
std::vector<std::string> ReplyCheckWords(std::uint32_t checks) {
    std::vector<std::string> words;
    if ((checks & kReplyCheckSender) != 0) words.emplace_back("sender");
    if ((checks & kReplyCheckUnpredictableIds) != 0) words.emplace_back("unpredictable-ids");
    return words;
}

std::string JoinedWords(const std::vector<std::string> &words) {
    std::string text;
    for (const std::string &word : words) text += (text.empty() ? "" : ", ") + word;
    return text.empty() ? "none" : text;
}

// One line (or JSON member) of "config show".
struct ShownSetting {
    const char *word;
    std::string valueName;
    std::uint32_t effective;
    const char *unit;
    const std::vector<std::string> *checks;  // ReplyChecks only: the checks in force
};

int RunShow(bool json, bool showSecrets) {
    std::int32_t timeout = 0;
    std::int32_t retries = 0;
    std::uint32_t replyChecks = 0;
    EnsureLibraryLoaded();
    GetTransactionSettings(&timeout, &retries, &replyChecks);
    const std::vector<std::string> checks = ReplyCheckWords(replyChecks);
    const ShownSetting shown[] = {
        {kSettings[0].word, StringEntry(kSettings[0].valueEntry), static_cast<std::uint32_t>(timeout),
         kSettings[0].unit, nullptr},
        {kSettings[1].word, StringEntry(kSettings[1].valueEntry), static_cast<std::uint32_t>(retries),
         kSettings[1].unit, nullptr},
        {"replychecks", kReplyChecksValue, replyChecks, "", &checks},
    };
    RegistryKey key = nullptr;
    const std::int32_t openCode = platform::OpenRegistryKey(SnmpKeyPath().c_str(), platform::kKeyRead, &key);
    const std::string meanings[] = {TimeoutMeaning(timeout, WhyDefault(key, openCode, shown[0].valueName).empty()),
                                    RetriesMeaning(retries), ""};
    Json settings = Json::object();
    if (!json) std::printf("registry: %s\n", platform::RegistryLocation().c_str());
    for (std::size_t i = 0; i < std::size(shown); ++i) {
        const ShownSetting &setting = shown[i];
        const std::string why = WhyDefault(key, openCode, setting.valueName);
        if (json) {
            Json entry{{"value", setting.effective},
                       {"from", why.empty() ? setting.valueName : "default"},
                       {"why", why.empty() ? Json(nullptr) : JsonText(why)}};
            if (setting.checks != nullptr) entry["checks"] = *setting.checks;
            settings[setting.word] = entry;
        } else {
            const std::string meaning = setting.checks != nullptr ? ": " + JoinedWords(*setting.checks) : "";
            std::printf("%s: %u%s (%s)%s\n", setting.word, setting.effective, setting.unit,
                        why.empty() ? setting.valueName.c_str() : ("default; " + why).c_str(), meaning.c_str());
            if (!meanings[i].empty()) std::printf("  %s\n", meanings[i].c_str());
        }
    }
    // The default community of printers without their own; "(none)" leaves
    // the library's built-in one.
    const std::string community =
        openCode == platform::kRegistrySuccess ? CommunityShown(key, showSecrets) : std::string(kNoCommunity);
    if (!json) std::printf("community: %s\n", community.c_str());
    platform::CloseRegistryKey(key);
    const bool readable = openCode == platform::kRegistrySuccess || openCode == platform::kRegistryNotFound;
    if (json) {
        Json object{{"command", "config show"}, {"registry", JsonText(platform::RegistryLocation())}};
        for (auto &[word, value] : settings.items()) object[word] = value;
        object["waits"] = Json{{"timeout", meanings[0]}, {"retries", meanings[1]}};
        object["communitySet"] = community != kNoCommunity;
        if (showSecrets && community != kNoCommunity) object["community"] = JsonText(community);
        if (!readable) object["problem"] = JsonText(DescribeRegistryResult(openCode));
        PrintJson(object);
    } else if (!readable) {
        std::fprintf(stderr, "config show: %s\n", DescribeRegistryResult(openCode).c_str());
    }
    return readable ? kExitOk : kExitFailure;
}

bool ParseCount(const std::string &text, std::uint32_t &count) {
    if (text.empty() || text.size() > 9) return false;
    count = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        count = count * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return true;
}

// The Snmp key, created when missing, open for setting values.
std::int32_t OpenSnmpKeyForWriting(RegistryKey &key) {
    const std::string path = SnmpKeyPath();
    std::int32_t code = platform::CreateRegistryKey(path.c_str());
    if (code == platform::kRegistrySuccess) code = platform::OpenRegistryKey(path.c_str(), platform::kKeySetValue, &key);
    return code;
}

// config set community TEXT: the default community of printers without
// their own; an empty text removes it.
int RunSetCommunity(const std::string &community) {
    if (!IsStorableCommunity(community)) {
        std::fprintf(stderr, "config set community: at most %zu octets of text without control characters\n",
                     kCommunityFieldSize - 1);
        return kExitFailure;
    }
    RegistryKey key = nullptr;
    std::int32_t code = OpenSnmpKeyForWriting(key);
    if (code == platform::kRegistrySuccess) {
        code = community.empty() ? platform::DeleteRegistryValue(key, kCommunityValue)
                                 : platform::SetRegistryValue(key, kCommunityValue, platform::kRegSz,
                                                              community.c_str(),
                                                              static_cast<std::uint32_t>(community.size() + 1));
        if (community.empty() && code == platform::kRegistryNotFound) code = platform::kRegistrySuccess;
    }
    platform::CloseRegistryKey(key);
    if (code != platform::kRegistrySuccess) {
        std::fprintf(stderr, "config set community: %s\n", DescribeRegistryResult(code).c_str());
        return kExitFailure;
    }
    std::printf("community: %s\n", community.empty() ? "(none: the library's own)" : "set");
    return kExitOk;
}

int RunSet(const std::string &word, const std::string &valueText) {
    if (word == "community") return RunSetCommunity(valueText);
    const Setting *setting = nullptr;
    for (const Setting &candidate : kSettings) {
        if (word == candidate.word) setting = &candidate;
    }
    if (setting == nullptr) {
        std::fprintf(stderr, "config set: unknown setting \"%s\"; the settings are timeout, retries and community\n", word.c_str());
        return kExitUsage;
    }
    std::uint32_t value = 0;
    if (!ParseCount(valueText, value) || value < setting->minimum || value > setting->maximum) {
        std::fprintf(stderr, "config set %s: \"%s\" is not a whole number from %u to %u\n", setting->word,
                     valueText.c_str(), setting->minimum, setting->maximum);
        return kExitUsage;
    }
    const std::string valueName = StringEntry(setting->valueEntry);
    RegistryKey key = nullptr;
    std::int32_t code = OpenSnmpKeyForWriting(key);
    if (code == platform::kRegistrySuccess) {
        const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                       static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
        code = platform::SetRegistryValue(key, valueName.c_str(), platform::kRegDword, bytes, sizeof bytes);
    }
    platform::CloseRegistryKey(key);
    if (code != platform::kRegistrySuccess) {
        std::fprintf(stderr, "config set %s: %s\n", setting->word, DescribeRegistryResult(code).c_str());
        return kExitFailure;
    }
    std::printf("%s: %u%s (%s)\n", setting->word, value, setting->unit, valueName.c_str());
    return 0;
}

struct SetOptions {
    std::string setting;
    std::string value;
};

}  // namespace

void AddConfigCommand(Command &app, int &exitCode) {
    Command *config = app.add_subcommand("config", "Show or set the reply timeout, the retry count and the default community");
    config->require_subcommand(1);

    auto showJson = std::make_shared<bool>(false);
    auto showSecrets = std::make_shared<bool>(false);
    Command *show = config->add_subcommand(
        "show", "Show the timeout, retry count, reply checks and default community the library uses");
    show->add_flag("--json", *showJson, "Print one JSON object");
    show->add_flag("--show-secrets", *showSecrets, "Print the community itself, not only whether one is set");
    show->callback([showJson, showSecrets, &exitCode] { exitCode = RunShow(*showJson, *showSecrets); });

    auto options = std::make_shared<SetOptions>();
    Command *set = config->add_subcommand(
        "set", "Set timeout SECONDS (1-86400), retries N (0-100) or community TEXT (\"\": none)");
    set->add_option("setting", options->setting, "timeout, retries or community")->required();
    set->add_option("value", options->value, "Seconds to wait for a reply, extra attempts, or the community")
        ->required();
    set->callback([options, &exitCode] { exitCode = RunSet(options->setting, options->value); });
}

}  // namespace snmphelper::cli
