// SPDX-License-Identifier: Apache-2.0
// snmphelper exporter: a long-running service that reads the fleet (or its
// shard of it) every interval and serves the last readings to Prometheus
// (/metrics), one printer read on request (/probe, the SNMP exporter's
// multi-target pattern), its own health (/healthz), the readings as JSON
// (/api/fleet) and a dashboard page over them (/).
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/exporter_dashboard.h"
#include "tools/cli/exporter_metrics.h"
#include "tools/cli/fleet_reading.h"
#include "tools/cli/json_output.h"
#include "tools/cli/library_load.h"
#include "tools/cli/printer_records.h"
#include "tools/cli/status_view.h"

// Last: it defines INVALID_SOCKET and friends as macros, which the
// platform's WinSock declarations (through the headers above) name too.
#include <httplib.h>

namespace snmphelper::cli {
namespace {

struct ExporterOptions {
    std::vector<std::string> printers;
    std::string listen = "127.0.0.1:9161";
    unsigned interval = 60;  // seconds
    std::string shard;  // "I/N", I from 1 to N
    unsigned threads = 8;
    unsigned window = 0;  // 0: every printer at once
};

struct Shard {
    std::uint32_t index = 0;  // from 0
    std::uint32_t count = 1;
};

// FNV-1a over the name's octets: the same on every machine and in every
// release, so that exporters started with the same N split a fleet alike.
std::uint32_t NameHash(const std::string &name) {
    std::uint32_t hash = 2166136261u;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

std::optional<Shard> ParseShard(const std::string &text) {
    if (text.empty()) return Shard{};
    unsigned long index = 0, count = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%lu/%lu%c", &index, &count, &rest) != 2) return std::nullopt;
    if (count == 0 || count > 65536 || index == 0 || index > count) return std::nullopt;
    return Shard{static_cast<std::uint32_t>(index - 1), static_cast<std::uint32_t>(count)};
}

// "ADDR:PORT", "[IPv6]:PORT" or ":PORT" (every address).
bool ParseListen(const std::string &text, std::string &host, int &port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty()) host = "0.0.0.0";
    const std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    port = std::stoi(digits);
    return port > 0 && port < 65536;
}

double UnixSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

using Readings = std::vector<FleetReading>;

// The last readings, replaced whole after each pass, so that a scrape
// copies a pointer under the lock and renders without it.
class Fleet {
public:
    std::shared_ptr<const Readings> Last() const {
        std::lock_guard lock(mutex_);
        return readings_;
    }
    void Replace(std::shared_ptr<const Readings> readings, std::string problem) {
        std::lock_guard lock(mutex_);
        readings_ = std::move(readings);
        problem_ = std::move(problem);
        ++passes_;
    }
    std::size_t Passes() const {
        std::lock_guard lock(mutex_);
        return passes_;
    }
    std::string Problem() const {
        std::lock_guard lock(mutex_);
        return problem_;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const Readings> readings_ = std::make_shared<Readings>();
    std::string problem_;
    std::size_t passes_ = 0;
};

// The printers this exporter reads: those named, else the store's (read
// again every pass, so that added and removed printers follow), within its shard.
std::vector<std::string> SelectPrinters(const ExporterOptions &options, const Shard &shard, std::string &problem) {
    std::vector<std::string> all = options.printers;
    if (all.empty()) {
        const auto registered = RegisteredPrinters(problem);
        if (!registered) return {};
        all = *registered;
    }
    std::vector<std::string> mine;
    for (const std::string &name : all) {
        if (NameHash(name) % shard.count == shard.index) mine.push_back(name);
    }
    return mine;
}

Readings ReadPrinters(const std::vector<std::string> &printers, unsigned threads, std::size_t window) {
    PollRun run = PollAll(printers, threads, window, false);
    const double now = UnixSeconds();
    Readings readings(run.views.size());
    for (std::size_t i = 0; i < run.views.size(); ++i) {
        readings[i].view = std::move(run.views[i]);
        readings[i].seconds = run.seconds[i];
        readings[i].readAt = now;
    }
    return readings;
}

Json FleetJson(const Readings &readings, const ExporterOptions &options) {
    const double now = UnixSeconds();
    Json printers = Json::array();
    for (const FleetReading &reading : readings) {
        printers.push_back({{"status", StatusJson(reading.view)},
                            {"summary", SummaryJson(reading.view)},
                            {"readAt", reading.readAt},
                            {"ageSeconds", now - reading.readAt},
                            {"seconds", reading.seconds}});
    }
    return Json{{"shard", options.shard.empty() ? "1/1" : options.shard},
                {"intervalSeconds", options.interval},
                {"now", now},
                {"printers", printers}};
}

// SIGTERM and SIGINT are taken by one thread of their own, which stops the
// server and the polling; every other thread blocks them, the library's too,
// so they are blocked before anything starts a thread.
sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    return signals;
}

class Exporter {
public:
    Exporter(const ExporterOptions &options, const Shard &shard) : options_(options), shard_(shard) {}

    int Run() {
        std::string host;
        int port = 0;
        if (!ParseListen(options_.listen, host, port)) {
            std::fprintf(stderr, "exporter: --listen takes ADDR:PORT, not '%s'\n", options_.listen.c_str());
            return kExitUsage;
        }
        Routes();
        if (!server_.bind_to_port(host, port)) {
            std::fprintf(stderr, "exporter: cannot listen on %s\n", options_.listen.c_str());
            return kExitFailure;
        }
        const sigset_t stopSignals = StopSignals();
        std::thread poller([this] { Poll(); });
        std::thread signals([this, stopSignals] {
            int signal = 0;
            sigwait(&stopSignals, &signal);
            stopping_signalled_ = true;
            Stop();
        });
        std::printf("exporter: serving http://%s/ (metrics at /metrics)\n", options_.listen.c_str());
        std::fflush(stdout);
        const bool served = server_.listen_after_bind();
        Stop();
        poller.join();
        // The signal thread waits for a signal; when the server ended by
        // itself, one is sent to it.
        if (!stopping_signalled_.exchange(true)) pthread_kill(signals.native_handle(), SIGTERM);
        signals.join();
        std::printf("exporter: stopped\n");
        return served ? kExitOk : kExitFailure;
    }

private:
    void Stop() {
        {
            std::lock_guard lock(stopMutex_);
            stopping_ = true;
        }
        stopChanged_.notify_all();
        server_.stop();
    }

    void Poll() {
        while (true) {
            std::string problem;
            const std::vector<std::string> printers = SelectPrinters(options_, shard_, problem);
            auto readings = std::make_shared<Readings>(ReadPrinters(printers, options_.threads, options_.window));
            const bool first = fleet_.Passes() == 0;
            fleet_.Replace(std::move(readings), problem);
            if (first) {
                std::printf("exporter: first reading of %zu printers done\n", printers.size());
                std::fflush(stdout);
            }
            std::unique_lock lock(stopMutex_);
            if (stopChanged_.wait_for(lock, std::chrono::seconds(options_.interval),
                                      [this] { return stopping_; })) {
                return;
            }
        }
    }

    void Routes() {
        server_.Get("/metrics", [this](const httplib::Request &request, httplib::Response &response) {
            const ExpositionFormat format = FormatForAccept(request.get_header_value("Accept"));
            response.set_content(MetricsText(*fleet_.Last(), format), ContentType(format));
        });
        server_.Get("/probe", [](const httplib::Request &request, httplib::Response &response) {
            const std::string target = request.get_param_value("target");
            if (target.empty()) {
                response.status = 400;
                response.set_content("probe: target=NAME names a registered printer\n", "text/plain");
                return;
            }
            if (LookUpPrinter(target).state != PrinterState::Usable) {
                response.status = 404;
                response.set_content("probe: no printer '" + target + "' in the store\n", "text/plain");
                return;
            }
            const ExpositionFormat format = FormatForAccept(request.get_header_value("Accept"));
            response.set_content(MetricsText(ReadPrinters({target}, 1, 1), format), ContentType(format));
        });
        server_.Get("/healthz", [this](const httplib::Request &, httplib::Response &response) {
            const std::string problem = fleet_.Problem();
            Json health{{"status", problem.empty() ? "ok" : "degraded"},
                        {"passes", fleet_.Passes()},
                        {"printers", fleet_.Last()->size()}};
            if (!problem.empty()) health["problem"] = JsonText(problem);
            response.set_content(JsonLine(health) + "\n", "application/json");
        });
        server_.Get("/api/fleet", [this](const httplib::Request &, httplib::Response &response) {
            response.set_content(JsonLine(FleetJson(*fleet_.Last(), options_)) + "\n", "application/json");
        });
        server_.Get("/", [this](const httplib::Request &, httplib::Response &response) {
            response.set_content(DashboardPage(JsonLine(FleetJson(*fleet_.Last(), options_))),
                                 "text/html; charset=utf-8");
        });
    }

    const ExporterOptions &options_;
    Shard shard_;
    Fleet fleet_;
    httplib::Server server_;
    std::mutex stopMutex_;
    std::condition_variable stopChanged_;
    bool stopping_ = false;
    std::atomic<bool> stopping_signalled_{false};
};

int RunExporter(const ExporterOptions &options) {
    const sigset_t stopSignals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    const std::optional<Shard> shard = ParseShard(options.shard);
    if (!shard) {
        std::fprintf(stderr, "exporter: --shard takes I/N, 1 <= I <= N, not '%s'\n", options.shard.c_str());
        return kExitUsage;
    }
    EnsureLibraryLoaded();
    CommandSettings().progress = false;
    Exporter exporter(options, *shard);
    return exporter.Run();
}

}  // namespace

void AddExporterCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<ExporterOptions>();
    Command *command = app.add_subcommand(
        "exporter", "Serve the fleet's status to Prometheus (/metrics, /probe) and as a dashboard page (/)");
    command->add_option("printers", options->printers, "Printer names (default: every registered printer)");
    command->add_option("--listen", options->listen, "ADDR:PORT to serve on")->capture_default_str();
    command->add_option("--interval", options->interval, "Seconds between readings of the fleet")
        ->capture_default_str()
        ->check_range(1, 86400);
    command->add_option("--shard", options->shard,
                        "I/N: only the printers whose name hashes to I of N (FNV-1a of the name, modulo N, plus 1)");
    command->add_option("--threads", options->threads, "Threads that read, each driving its own engine")
        ->capture_default_str()
        ->check_range(1, 256);
    command->add_option("--window", options->window, "Printers read at once (default: as poll)")
        ->check_range(1u, 1u << 24);
    AddWaitOptions(*command);
    AddCommunityOption(*command);
    command->callback([options, &exitCode] { exitCode = RunExporter(*options); });
}

}  // namespace snmphelper::cli
