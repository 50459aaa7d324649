#include "app/unattended/batch_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orb::unattended {

namespace {

// Before any run has ended, a run is expected to last its restart wait (49,984
// ms) and a little: a better guess than none for a batch that ends in one round.
constexpr double kExpectedRunSeconds = 52.0;

}  // namespace

BatchProgress::BatchProgress(size_t adapters, int parallel) : runs_(adapters), parallel_(std::max(1, parallel)) {}

void BatchProgress::started(size_t run, double now) {
    runs_.at(run).state = AdapterState::Starting;
    runs_.at(run).start = now;
}

void BatchProgress::eventSeen(size_t run, const std::string& event, bool failure, double now) {
    Run& r = runs_.at(run);
    if (r.state == AdapterState::Done || r.state == AdapterState::Failed) return;
    if (event == "upload-started") r.state = AdapterState::Uploading;
    if (event == "restart-wait") r.state = AdapterState::Restarting;
    if (event == "result") finished(run, failure, now);
}

void BatchProgress::finished(size_t run, bool failure, double now) {
    Run& r = runs_.at(run);
    if (r.state == AdapterState::Done || r.state == AdapterState::Failed) return;
    r.state = failure ? AdapterState::Failed : AdapterState::Done;
    finishedSeconds_ += std::max(0.0, now - r.start);
    ++finishedRuns_;
}

size_t BatchProgress::count(AdapterState state) const {
    return static_cast<size_t>(
        std::count_if(runs_.begin(), runs_.end(), [state](const Run& r) { return r.state == state; }));
}

double BatchProgress::secondsLeft(double now) const {
    double expected = finishedRuns_ > 0 ? finishedSeconds_ / static_cast<double>(finishedRuns_) : kExpectedRunSeconds;
    double left = 0;
    size_t queued = 0;
    for (const Run& r : runs_) {
        if (r.state == AdapterState::Queued) ++queued;
        if (r.state == AdapterState::Starting || r.state == AdapterState::Uploading ||
            r.state == AdapterState::Restarting)
            left = std::max(left, r.start + expected - now);
    }
    // The queued ones start as runs end, `parallel` a round.
    double rounds = std::ceil(static_cast<double>(queued) / parallel_);
    return std::max(0.0, left) + rounds * expected;
}

std::string formatDuration(double seconds) {
    long total = std::lround(std::max(0.0, seconds));
    char text[48];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld h %02ld min", total / 3600, (total / 60) % 60);
    else if (total >= 60)
        std::snprintf(text, sizeof text, "%ld min %ld s", total / 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld s", total);
    return text;
}

std::string BatchProgress::line(double now, size_t columns) const {
    size_t done = count(AdapterState::Done), failed = count(AdapterState::Failed);
    char text[256];
    std::snprintf(text, sizeof text,
                  "%zu/%zu done, %zu failed | %zu uploading, %zu restarting, %zu starting, %zu queued", done,
                  runs_.size(), failed, count(AdapterState::Uploading), count(AdapterState::Restarting),
                  count(AdapterState::Starting), count(AdapterState::Queued));
    std::string result = text;
    double perMinute = now > 0 ? static_cast<double>(done + failed) * 60.0 / now : 0.0;
    std::snprintf(text, sizeof text, " | %.1f/min | %s left", perMinute, formatDuration(secondsLeft(now)).c_str());
    result += text;
    if (result.size() > columns) result.resize(columns);
    return result;
}

}  // namespace orb::unattended
