// SPDX-License-Identifier: Apache-2.0
// The one file of the tool that includes CLI11 (see command_line.h).
#include "tools/cli/command_line.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <deque>

namespace snmphelper::cli {

struct CommandLine::Parts {
    Parts(const std::string &description, CommandLine &owner) : app(description), root(owner, &app) {}

    CLI::App app;
    Command root;
    // Deques keep the handed-out addresses stable as more are added.
    std::deque<Command> commands;
    std::deque<Option> options;
};

Option *Option::required() {
    option_->required();
    return this;
}

Option *Option::capture_default_str() {
    option_->capture_default_str();
    return this;
}

Option *Option::excludes(Option *other) {
    option_->excludes(other->option_);
    return this;
}

Option *Option::check_member(const std::vector<std::string> &words) {
    option_->check(CLI::IsMember(words));
    return this;
}

Option *Option::check_range(long long low, long long high) {
    option_->check(CLI::Range(low, high));
    return this;
}

Option *Option::check_length(std::size_t longest, const std::string &what) {
    option_->check(CLI::Validator(
        [longest, what](const std::string &text) {
            return text.size() <= longest ? std::string()
                                          : what + " has at most " + std::to_string(longest) + " octets";
        },
        "TEXT"));
    return this;
}

Option *Option::one_word_each() {
    option_->allow_extra_args(false);
    return this;
}

Command *Command::add_subcommand(const std::string &name, const std::string &description) {
    return &owner_.parts_->commands.emplace_back(owner_, app_->add_subcommand(name, description));
}

template <typename T>
Option *Command::add_option(const std::string &name, T &value, const std::string &description) {
    return Keep(app_->add_option(name, value, description));
}

// The option types the commands use.
template Option *Command::add_option(const std::string &, std::string &, const std::string &);
template Option *Command::add_option(const std::string &, std::vector<std::string> &, const std::string &);
template Option *Command::add_option(const std::string &, int &, const std::string &);
template Option *Command::add_option(const std::string &, unsigned &, const std::string &);
template Option *Command::add_option(const std::string &, double &, const std::string &);
template Option *Command::add_option(const std::string &, std::uint16_t &, const std::string &);
template Option *Command::add_option(const std::string &, std::optional<unsigned> &, const std::string &);
template Option *Command::add_option(const std::string &, std::optional<int> &, const std::string &);
template Option *Command::add_option(const std::string &, std::optional<std::string> &, const std::string &);

Option *Command::add_flag(const std::string &name, bool &value, const std::string &description) {
    return Keep(app_->add_flag(name, value, description));
}

void Command::require_subcommand(int count) { app_->require_subcommand(count); }

void Command::footer(const std::string &text) { app_->footer(text); }

void Command::pass_through() {
    app_->set_help_flag();
    app_->allow_extras();
    app_->prefix_command();
}

void Command::callback(std::function<void()> action) { app_->callback(std::move(action)); }

Option *Command::Keep(CLI::Option *option) { return &owner_.parts_->options.emplace_back(option); }

CommandLine::CommandLine(const std::string &description)
    : parts_(std::make_unique<Parts>(description, *this)) {}

CommandLine::~CommandLine() = default;

Command &CommandLine::root() { return parts_->root; }

void CommandLine::version(const std::string &text) { parts_->app.set_version_flag("--version", text); }

std::optional<int> CommandLine::Parse(int argc, char **argv) {
    try {
        parts_->app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        return parts_->app.exit(error);
    }
    return std::nullopt;
}

}  // namespace snmphelper::cli
