// SPDX-License-Identifier: Apache-2.0
#include "tests/support/veth_pair.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/support/child_process.h"

namespace snmphelper::test {
namespace {

bool RunIp(const std::vector<std::string> &arguments, std::string &error) {
    std::vector<std::string> argv = {"ip"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const ProgramRun run = RunProgram(argv, ErrorOutput::Merged);
    if (run.exitCode == 0) return true;
    error = "ip";
    for (const std::string &argument : arguments) error += " " + argument;
    error += ": " + run.out;
    return false;
}

// Whether the system has made `name` operational. Until it has (its link
// watch runs a little after the link is set up, later on a busy machine),
// the link keeps the placeholder queue it starts with, which drops every
// frame sent on it.
bool Operational(const std::string &name) {
    const ProgramRun run = RunProgram({"ip", "-o", "link", "show", "dev", name}, ErrorOutput::Merged);
    return run.exitCode == 0 && run.out.find("state UP") != std::string::npos &&
           run.out.find("qdisc noop") == std::string::npos;
}

void WaitOperational(const std::string &first, const std::string &second) {
    constexpr auto kLongest = std::chrono::seconds(5);
    const auto end = std::chrono::steady_clock::now() + kLongest;
    while (!(Operational(first) && Operational(second)) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

std::string MacText(const MacAddress &mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return text;
}

VethPair::VethPair(std::string first, std::string second, const MacAddress &firstMac,
                   const MacAddress &secondMac)
    : first_(std::move(first)), second_(std::move(second)) {
    ready_ = RunIp({"link", "add", first_, "address", MacText(firstMac), "type", "veth", "peer",
                    "name", second_, "address", MacText(secondMac)},
                   error_) &&
             RunIp({"link", "set", first_, "up"}, error_) &&
             RunIp({"link", "set", second_, "up"}, error_);
    if (ready_) WaitOperational(first_, second_);
}

VethPair::~VethPair() {
    std::string ignored;
    RunIp({"link", "delete", first_}, ignored);  // takes its peer with it
}

}  // namespace snmphelper::test
