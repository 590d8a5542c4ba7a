/* SPDX-License-Identifier: Apache-2.0 */
// The tool's narrow view of its argument parser. Command files declare their
// subcommands and options through these two classes; only command_line.cpp
// includes CLI11, so its parser (whole header, validators and all) is
// compiled once instead of in every command file. The method names are
// CLI11's, so the declarations read as CLI11 code does.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace snmphelper::cli {

class CommandLine;

// One option or positional argument of a command.
class Option {
public:
    explicit Option(CLI::Option *option) : option_(option) {}
    Option *required();
    // Shows the bound variable's starting value in the help as the default.
    Option *capture_default_str();
    Option *excludes(Option *other);
    // Accepts only one of these words.
    Option *check_member(const std::vector<std::string> &words);
    // Accepts only a number from `low` to `high`.
    Option *check_range(long long low, long long high);
    // Accepts only a text of at most `longest` octets; `what` names it in
    // the refusal ("a community has at most 255 octets").
    Option *check_length(std::size_t longest, const std::string &what);
    // A list option that takes one word each time it is given, so that
    // "-On lab OID" leaves the words after it to the positional arguments.
    Option *one_word_each();

private:
    CLI::Option *option_;
};

// The tool itself or one of its subcommands.
class Command {
public:
    Command(CommandLine &owner, CLI::App *app) : owner_(owner), app_(app) {}
    Command *add_subcommand(const std::string &name, const std::string &description);
    // T is one of the types command_line.cpp instantiates (text, text list,
    // the integer types the commands read, their optional forms).
    template <typename T>
    Option *add_option(const std::string &name, T &value, const std::string &description);
    Option *add_flag(const std::string &name, bool &value, const std::string &description);
    void require_subcommand(int count);
    void footer(const std::string &text);
    // Leaves every argument after the command unparsed, --help included,
    // for a program the command hands them to.
    void pass_through();
    void callback(std::function<void()> action);

private:
    Option *Keep(CLI::Option *option);

    CommandLine &owner_;
    CLI::App *app_;
};

// Owns the parser and every Command and Option handed out.
class CommandLine {
public:
    explicit CommandLine(const std::string &description);
    ~CommandLine();
    CommandLine(const CommandLine &) = delete;
    CommandLine &operator=(const CommandLine &) = delete;

    Command &root();
    // Adds --version, printing `text`.
    void version(const std::string &text);
    // Parses the arguments, running the chosen subcommand's callback. Empty
    // when that happened; otherwise the exit code of a usage error or of
    // --help/--version, whose text has been printed.
    std::optional<int> Parse(int argc, char **argv);

private:
    friend class Command;
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace snmphelper::cli
