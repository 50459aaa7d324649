#include "dialogs/terminal/stage_tracker.h"

#include <algorithm>
#include <chrono>

namespace orb::dialogs::terminal {

namespace {

constexpr auto kTellingWait = std::chrono::milliseconds(200);

bool sameTitleKind(const std::string& a, const std::string& b) {
    auto skeleton = [](const std::string& title) {
        std::string out;
        for (char c : title)
            if (c < '0' || c > '9') out += c;
        return out;
    };
    return skeleton(a) == skeleton(b);
}

}  // namespace

void StageTracker::titleChanged(WindowHandle window, const dialogs::TitleChange& change) {
    {
        std::lock_guard lock(mutex_);
        Stages& stages = windows_[window];
        stages.told = std::max(stages.told, change.number);
        if (change.shown && !sameTitleKind(change.previous, change.title))
            stages.ended.emplace_back(change.number, change.previous);
    }
    toldMore_.notify_all();
}

std::vector<std::string> StageTracker::endedStages(WindowHandle window, uint64_t changes) {
    std::unique_lock lock(mutex_);
    Stages& stages = windows_[window];
    if (!toldMore_.wait_for(lock, kTellingWait, [&] { return stages.told >= changes; }))
        stages.told = changes;  // not to wait for them again
    std::vector<std::string> titles;
    for (const auto& [number, title] : stages.ended)
        if (number <= changes) titles.push_back(title);
    return titles;
}

}  // namespace orb::dialogs::terminal
