// The live view of a batch on a terminal: one status line at the bottom with
// the count of adapters in each state, the adapters finished a minute and the
// time left, below the lines of the runs. The runner tells it what each run
// said; it says what the line reads.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orb::unattended {

enum class AdapterState { Queued, Starting, Uploading, Restarting, Done, Failed };

// What the line is drawn from (times in seconds since the batch started).
class BatchProgress {
public:
    BatchProgress(size_t adapters, int parallel);

    void started(size_t run, double now);
    // The run's event (its "event" field) and, for a result, whether it failed.
    void eventSeen(size_t run, const std::string& event, bool failure, double now);
    void finished(size_t run, bool failure, double now);

    size_t count(AdapterState state) const;
    // The line, at most `columns` characters:
    // "312/1000 done, 2 failed | 80 uploading, 300 restarting, 306 starting, 0 queued | 41.5/min | 1 min 12 s left"
    std::string line(double now, size_t columns) const;
    // Seconds until the last adapter is expected to finish; negative when unknown.
    double secondsLeft(double now) const;

private:
    struct Run {
        AdapterState state = AdapterState::Queued;
        double start = 0;
    };
    std::vector<Run> runs_;
    int parallel_;
    double finishedSeconds_ = 0;  // the runs' durations, summed over those finished
    size_t finishedRuns_ = 0;
};

// "1 min 12 s", "45 s", "2 h 03 min".
std::string formatDuration(double seconds);

}  // namespace orb::unattended
