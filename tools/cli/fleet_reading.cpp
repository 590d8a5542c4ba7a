// SPDX-License-Identifier: Apache-2.0
// Many printers read at once: every printer's walk in flight (within a
// window) on the library's multiplexed engine, a few threads each driving an
// engine of its own; what poll prints and what the exporter serves.
#include "tools/cli/fleet_reading.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fleet/fleet_engine.h"
#include "platform/registry.h"
#include "snmphelper.h"
#include "tools/cli/printer_records.h"
#include "tools/cli/transaction_text.h"
#include "transact/printer_config.h"

namespace snmphelper::cli {
namespace {

using Clock = std::chrono::steady_clock;

// How often the progress line is redrawn; the threads only count.
constexpr std::chrono::milliseconds kProgressEvery{200};
// How long one call drives an engine before its thread looks around.
constexpr std::uint32_t kDriveMilliseconds = 1000;
// Without a window of the caller's: printers walking at once at most, once
// they have answered. Each printer's first request goes out at once, so that
// silent printers, however many, cost their timeouts together from the
// start; the walks of those that answer go on a few hundred at a time, whose
// state stays in the processor's cache and whose replies do not queue up
// behind thousands of others.
constexpr std::size_t kDefaultWindow = 256;

// Where the poll stands, for the progress line.
struct PollCounters {
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> unreached{0};
};

// When one unreached printer's polling began and ended.
struct Wait {
    Clock::time_point from, to;
};

// The longest row of waits that followed one another without overlapping:
// what they cost the thread, in timeouts, where overlapping ones cost one.
std::size_t WaitsInARow(std::vector<Wait> waits) {
    std::sort(waits.begin(), waits.end(), [](const Wait &a, const Wait &b) { return a.to < b.to; });
    std::size_t row = 0;
    std::optional<Clock::time_point> free;
    for (const Wait &wait : waits) {
        if (free && wait.from < *free) continue;
        ++row;
        free = wait.to;
    }
    return row;
}

// One thread's share: an engine of its own, fed printers from the shared
// list while its window has room, each printer's requests sent one after
// another as its fetch names them. With a `share` (not 0), a printer takes
// its place in the window at its first reply: the first request of each of
// the thread's share of printers is sent at once, and one that answers while
// the window is full waits for a place with its next request.
class PollThread {
public:
    PollThread(const std::vector<std::string> &printers, std::atomic<std::size_t> &next, std::size_t window,
               std::size_t share, PollRun &run, const ViewDone &done, PollCounters &counters)
        : printers_(printers), next_(next), window_(window), share_(share), views_(run.views), done_(done),
          seconds_(run.seconds), counters_(counters), polled_(printers.size()) {}

    // Polls until the list is used up; the unreached printers' waits in a row.
    std::size_t Run() {
        {
            // The first printers start together: one reading of the store
            // serves them, as the engine's deliveries share one.
            platform::RegistryReading together;
            Fill();
        }
        while (inFlight_ != 0) engine_.Run(kDriveMilliseconds, Delivered, this);
        return WaitsInARow(waits_);
    }

private:
    struct Polled {
        std::unique_ptr<StatusFetch> fetch;
        Clock::time_point started;
        bool holdsWindow = false;
    };

    void Fill() {
        // Printers that answered and wait for a place first.
        while (holding_ < window_ && !waiting_.empty()) {
            const std::size_t index = waiting_.front();
            waiting_.pop_front();
            Hold(polled_[index]);
            try {
                Advance(index);
            } catch (const std::exception &) {
                Failed(index);
            }
        }
        while (share_ != 0 ? started_ < share_ : holding_ < window_) {
            const std::size_t index = next_++;
            if (index >= printers_.size()) return;
            ++started_;
            Start(index);
        }
    }

    void Hold(Polled &polled) {
        polled.holdsWindow = true;
        ++holding_;
    }

    void Start(std::size_t index) {
        Polled &polled = polled_[index];
        ++inFlight_;
        polled.started = Clock::now();
        if (share_ == 0) Hold(polled);
        // An exception may not leave a thread (that would end the tool);
        // the printer is reported as not read instead.
        try {
            if (LookUpPrinter(printers_[index]).state != PrinterState::Usable) {  // nothing to send to
                View(index).printer = printers_[index];
                View(index).result = kPrinterRecordUnreadable;
                Finish(index);
                return;
            }
            polled.fetch = std::make_unique<StatusFetch>(printers_[index], NameForm::Encoded);
            Advance(index);
        } catch (const std::exception &) {
            Failed(index);
        }
    }

    // Sends the printer's next request, or ends its polling.
    void Advance(std::size_t index) {
        StatusFetch &fetch = *polled_[index].fetch;
        while (fetch.Next(request_)) {
            const std::int32_t submitted =
                engine_.Submit(printers_[index].c_str(), request_.requestType, request_.identifiers.Bindings(),
                               ObjectOptions(request_.requestType), reinterpret_cast<void *>(index));
            if (submitted == 0) return;
            fetch.Take(submitted, nullptr);
        }
        View(index) = std::move(fetch.View());
        Finish(index);
    }

    void Failed(std::size_t index) {
        View(index) = {};
        View(index).printer = printers_[index];
        View(index).result = SNMP_RESULT_OUT_OF_MEMORY;
        Finish(index);
    }

    void Finish(std::size_t index) {
        Polled &polled = polled_[index];
        polled.fetch.reset();
        seconds_[index] = std::chrono::duration<double>(Clock::now() - polled.started).count();
        if (View(index).result != 0) {
            waits_.push_back({polled.started, Clock::now()});
            ++counters_.unreached;
        }
        if (polled.holdsWindow) --holding_;
        polled = {};
        --inFlight_;
        if (done_) {
            // Nothing may leave the thread; a view the receiver could not
            // take (no memory) is lost rather than the poll.
            try {
                done_(index, made_);
            } catch (const std::exception &) {
            }
            made_ = {};
        }
        ++counters_.done;
    }

    PrinterStatusView &View(std::size_t index) { return done_ ? made_ : views_[index]; }

    static void Delivered(void *context, FleetCompletion &completion) {
        auto &self = *static_cast<PollThread *>(context);
        const auto index = reinterpret_cast<std::size_t>(completion.tag);
        try {
            // The reply is the engine's (lent): read here, released by it.
            Polled &polled = self.polled_[index];
            polled.fetch->Take(completion.result, completion.reply);
            if (polled.holdsWindow || completion.reply == nullptr) {
                // A printer that did not answer is done with (or asked again
                // at once), holding no place.
                self.Advance(index);
            } else if (self.holding_ < self.window_) {
                self.Hold(polled);
                self.Advance(index);
            } else {
                self.waiting_.push_back(index);
            }
        } catch (const std::exception &) {
            self.Failed(index);
        }
        self.Fill();
    }

    const std::vector<std::string> &printers_;
    std::atomic<std::size_t> &next_;
    std::size_t window_;
    std::size_t share_;
    std::size_t started_ = 0;
    std::vector<PrinterStatusView> &views_;
    // With a receiver of each view as it is done, the one view being made.
    const ViewDone &done_;
    PrinterStatusView made_;
    std::vector<double> &seconds_;
    PollCounters &counters_;
    // Names kept as numbers both ways: the walks read arcs and write them.
    FleetEngine engine_{kDefaultFleetWorkers, FleetReplies::Lent, NameForm::Encoded};
    // By the printers' places in the list: those in flight hold a fetch.
    std::vector<Polled> polled_;
    std::size_t inFlight_ = 0;
    // The request being handed to the engine, which copies it; its room is
    // kept for the next.
    StatusFetch::Request request_;
    std::size_t holding_ = 0;  // printers that hold a place in the window
    std::deque<std::size_t> waiting_;  // answered, waiting for a place
    std::vector<Wait> waits_;
};

// Shows "polled N of M" on standard error until every printer is done, when
// a person is watching it; the threads are not woken for it.
void FollowProgress(const PollCounters &counters, std::size_t total, bool shown) {
    if (!shown) return;
    while (counters.done.load() < total) {
        std::fprintf(stderr, "\rpolled %zu of %zu, %zu not reached", counters.done.load(), total,
                     counters.unreached.load());
        std::this_thread::sleep_for(kProgressEvery);
    }
    std::fprintf(stderr, "\r%60s\r", "");
}

}  // namespace

PollRun PollAll(const std::vector<std::string> &printers, unsigned threadCount, std::size_t window, bool progress,
                const ViewDone &done) {
    PollRun run;
    if (!done) run.views.resize(printers.size());
    run.seconds.assign(printers.size(), 0.0);
    const std::size_t threads = std::max<std::size_t>(1, std::min<std::size_t>(threadCount, printers.size()));
    const std::size_t inFlight = window == 0 ? std::min(printers.size(), kDefaultWindow) : window;
    const std::size_t perThread = std::max<std::size_t>(1, (inFlight + threads - 1) / threads);
    const std::size_t shareEach = (printers.size() + threads - 1) / threads;
    run.unreachedByThread.assign(threads, 0);
    std::atomic<std::size_t> next{0};
    PollCounters counters;
    std::vector<std::thread> workers;
    for (std::size_t t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            PollThread share(printers, next, perThread, window == 0 ? shareEach : 0, run, done, counters);
            run.unreachedByThread[t] = share.Run();
        });
    }
    FollowProgress(counters, printers.size(), progress);
    for (std::thread &worker : workers) worker.join();
    return run;
}

}  // namespace snmphelper::cli
