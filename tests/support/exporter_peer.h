/* SPDX-License-Identifier: Apache-2.0 */
// snmphelper exporter as the exporter tests run it: a child process on a
// loopback port, its HTTP answers, and the Prometheus text it serves read
// back into samples.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace snmphelper::test {

// `snmphelper exporter --listen 127.0.0.1:PORT --interval 1 ARGUMENTS...`.
class ExporterProcess {
public:
    ExporterProcess(int port, const std::vector<std::string> &arguments = {});
    // True once it has read the fleet once.
    bool Ready() { return process_.WaitForOutput("first reading of"); }
    int Stop() { return process_.Stop(); }
    int Port() const { return port_; }

private:
    int port_;
    ChildProcess process_;
};

struct HttpAnswer {
    int status = 0;  // 0: no answer
    std::string contentType;
    std::string body;
};

// GET http://ADDRESS:PORT/PATH.
HttpAnswer HttpGet(const std::string &address, int port, const std::string &path, const std::string &accept = "");

// One sample of the Prometheus text format.
struct Sample {
    std::string name;
    std::map<std::string, std::string> labels;
    double value = 0;
};

// The samples of a text exposition; comments skipped.
std::vector<Sample> ParseSamples(const std::string &text);

// The value of the one sample named `name` whose labels include `labels`;
// nothing when none is, or more than one is.
std::optional<double> FindSample(const std::vector<Sample> &samples, const std::string &name,
                                 const std::map<std::string, std::string> &labels);

// How many samples are named `name` and carry `labels`.
std::size_t CountSamples(const std::vector<Sample> &samples, const std::string &name,
                         const std::map<std::string, std::string> &labels);

// Where a program is installed, from PATH or /usr/sbin, /usr/bin; empty when it is not.
std::string FindProgram(const std::string &name);

}  // namespace snmphelper::test
