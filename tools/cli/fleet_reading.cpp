// Each thread takes the next printer not yet taken, so a silent printer
// holds up only its own thread, for one timeout.
#include "tools/cli/fleet_reading.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>

#include "snmphelper.h"
#include "tools/cli/printer_records.h"
#include "transact/printer_config.h"

namespace snmphelper::cli {
namespace {

// Shows "polled N of M" on standard error while the threads work, when a
// person is watching it.
class Progress {
public:
    Progress(std::size_t total, bool shown) : total_(total), shown_(shown) {}

    void Done(bool reached) {
        std::lock_guard lock(mutex_);
        ++done_;
        if (!reached) ++unreached_;
        changed_.notify_one();
    }

    // Returns once every printer is done.
    void Follow() {
        std::unique_lock lock(mutex_);
        while (done_ < total_) {
            if (shown_) std::fprintf(stderr, "\rpolled %zu of %zu, %zu not reached", done_, total_, unreached_);
            changed_.wait(lock);
        }
        if (shown_) std::fprintf(stderr, "\r%60s\r", "");
    }

private:
    std::size_t total_;
    bool shown_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t done_ = 0;
    std::size_t unreached_ = 0;
};

}  // namespace

PollRun PollAll(const std::vector<std::string> &printers, unsigned threadCount, bool progressShown) {
    PollRun run;
    run.views.resize(printers.size());
    run.seconds.assign(printers.size(), 0.0);
    const std::size_t threads = std::max<std::size_t>(1, std::min<std::size_t>(threadCount, printers.size()));
    run.unreachedByThread.assign(threads, 0);
    std::atomic<std::size_t> next{0};
    Progress progress(printers.size(), progressShown);
    std::vector<std::thread> workers;
    for (std::size_t t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (std::size_t i = next++; i < printers.size(); i = next++) {
                const auto started = std::chrono::steady_clock::now();
                // An exception may not leave a thread (that would end the
                // tool); the printer is reported as not read instead.
                try {
                    if (LookUpPrinter(printers[i]).state == PrinterState::Usable) {
                        run.views[i] = FetchStatus(printers[i]);
                    } else {  // named but unknown: nothing to send to
                        run.views[i].printer = printers[i];
                        run.views[i].result = kPrinterRecordUnreadable;
                    }
                } catch (const std::exception &) {
                    run.views[i].printer = printers[i];
                    run.views[i].result = SNMP_RESULT_OUT_OF_MEMORY;
                }
                run.seconds[i] = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                if (run.views[i].result != 0) ++run.unreachedByThread[t];
                progress.Done(run.views[i].result == 0);
            }
        });
    }
    progress.Follow();
    for (std::thread &worker : workers) worker.join();
    return run;
}

}  // namespace snmphelper::cli
