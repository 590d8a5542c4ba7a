// SPDX-License-Identifier: Apache-2.0
#include "tests/support/exporter_peer.h"

#include <httplib.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "tests/support/test_files.h"

namespace snmphelper::test {
namespace {

std::vector<std::string> ExporterArguments(int port, const std::vector<std::string> &arguments) {
    std::vector<std::string> argv{BuildTreePath("tools/snmphelper"), "exporter", "--listen",
                                  "127.0.0.1:" + std::to_string(port), "--interval", "1"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

}  // namespace

ExporterProcess::ExporterProcess(int port, const std::vector<std::string> &arguments)
    : port_(port), process_(ExporterArguments(port, arguments)) {}

HttpAnswer HttpGet(const std::string &address, int port, const std::string &path, const std::string &accept) {
    httplib::Client client(address, port);
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    httplib::Headers headers;
    if (!accept.empty()) headers.emplace("Accept", accept);
    const httplib::Result result = client.Get(path.c_str(), headers);
    HttpAnswer answer;
    if (!result) return answer;
    answer.status = result->status;
    answer.contentType = result->get_header_value("Content-Type");
    answer.body = result->body;
    return answer;
}

std::vector<Sample> ParseSamples(const std::string &text) {
    std::vector<Sample> samples;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        Sample sample;
        std::size_t at = line.find_first_of("{ ");
        sample.name = line.substr(0, at);
        if (at != std::string::npos && line[at] == '{') {
            ++at;
            while (at < line.size() && line[at] != '}') {
                const std::size_t equals = line.find('=', at);
                if (equals == std::string::npos || equals + 1 >= line.size()) break;
                const std::string name = line.substr(at, equals - at);
                std::string value;
                std::size_t i = equals + 2;  // past ="
                for (; i < line.size() && line[i] != '"'; ++i) {
                    if (line[i] == '\\' && i + 1 < line.size()) {
                        ++i;
                        value += line[i] == 'n' ? '\n' : line[i];
                    } else {
                        value += line[i];
                    }
                }
                sample.labels[name] = value;
                at = i + 1;
                if (at < line.size() && line[at] == ',') ++at;
            }
            at = line.find(' ', at);
        }
        if (at == std::string::npos) continue;
        sample.value = std::strtod(line.c_str() + at + 1, nullptr);
        samples.push_back(std::move(sample));
    }
    return samples;
}

namespace {

bool Matches(const Sample &sample, const std::string &name, const std::map<std::string, std::string> &labels) {
    if (sample.name != name) return false;
    for (const auto &[key, value] : labels) {
        const auto it = sample.labels.find(key);
        if (it == sample.labels.end() || it->second != value) return false;
    }
    return true;
}

}  // namespace

std::optional<double> FindSample(const std::vector<Sample> &samples, const std::string &name,
                                 const std::map<std::string, std::string> &labels) {
    std::optional<double> found;
    for (const Sample &sample : samples) {
        if (!Matches(sample, name, labels)) continue;
        if (found) return std::nullopt;
        found = sample.value;
    }
    return found;
}

std::size_t CountSamples(const std::vector<Sample> &samples, const std::string &name,
                         const std::map<std::string, std::string> &labels) {
    std::size_t count = 0;
    for (const Sample &sample : samples) count += Matches(sample, name, labels) ? 1 : 0;
    return count;
}

std::string FindProgram(const std::string &name) {
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/usr/bin";
    std::istringstream folders(path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = folder + "/" + name;
        if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

}  // namespace snmphelper::test
