// SPDX-License-Identifier: Apache-2.0
#include "tests/support/veth_pair.h"

#include <cstdio>

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
}

VethPair::~VethPair() {
    std::string ignored;
    RunIp({"link", "delete", first_}, ignored);  // takes its peer with it
}

}  // namespace snmphelper::test
