#include "dialogs/terminal/stage_tracker.h"

namespace orb::dialogs::terminal {

namespace {

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
    if (!change.shown || sameTitleKind(change.previous, change.title)) return;
    std::lock_guard lock(mutex_);
    windows_[window].ended.emplace_back(change.number, change.previous);
}

std::vector<std::string> StageTracker::endedStages(WindowHandle window, uint64_t changes) {
    std::lock_guard lock(mutex_);
    const Stages& stages = windows_[window];
    std::vector<std::string> titles;
    for (const auto& [number, title] : stages.ended)
        if (number <= changes) titles.push_back(title);
    return titles;
}

}  // namespace orb::dialogs::terminal
