#include "dialogs/terminal/transcript.h"

#include <iterator>

#include "dialogs/terminal/screen_builder.h"

namespace orb::dialogs::terminal {

namespace {

void append(std::vector<StyledLine>* lines, const std::vector<StyledLine>& more) {
    lines->insert(lines->end(), more.begin(), more.end());
}

}  // namespace

Transcript::Lines Transcript::update(const Snapshot& now, int width) {
    Lines out;
    std::set<WindowHandle> visible;
    for (const dialogs::WindowState& w : now.visible) visible.insert(w.handle);
    for (auto it = introduced_.begin(); it != introduced_.end();) {
        if (visible.count(*it) != 0) {
            ++it;
            continue;
        }
        dialogs::WindowState closed;
        if (dialogs::readWindowState(*it, &closed)) {
            if (closed.modal) {
                append(&out.lines, fieldRecord(closed, width));
            } else {
                logStageEnds(closed, true, width, &out.lines);
            }
        }
        logged_.erase(*it);
        out.closed.push_back(*it);
        it = introduced_.erase(it);
    }
    for (const dialogs::WindowState& w : now.visible) {
        if (introduced_.count(w.handle) != 0) {
            if (!w.modal) logStageEnds(w, false, width, &out.lines);
            continue;
        }
        introduced_.insert(w.handle);
        // Stages that ended before the first frame that showed the window.
        if (!w.modal) logStageEnds(w, false, width, &out.lines);
        logged_[w.handle].title = w.title;
        append(&out.lines, windowIntroduction(w, width));
    }
    std::set<dialogs::MessageBoxId> open;
    for (const dialogs::MessageBoxState& box : now.boxes) {
        open.insert(box.id);
        if (introducedBoxes_.count(box.id) != 0) continue;
        introducedBoxes_.insert(box.id);
        append(&out.lines, messageBoxIntroduction(box, width));
    }
    for (auto it = introducedBoxes_.begin(); it != introducedBoxes_.end();)
        it = open.count(*it) == 0 ? introducedBoxes_.erase(it) : std::next(it);
    return out;
}

void Transcript::forget() {
    introduced_.clear();
    logged_.clear();
    introducedBoxes_.clear();
}

// A progress window's title can change many times between two frames: the
// log gets the last title of each stage it leaves, and the title it closes
// with, so that it never ends on a state the window has long left.
void Transcript::logStageEnds(const dialogs::WindowState& w, bool closing, int width, std::vector<StyledLine>* lines) {
    LoggedStages& logged = logged_[w.handle];
    auto log = [&](const std::string& title) {
        if (title == logged.title) return;
        logged.title = title;
        append(lines, stageRecord(title, width));
    };
    std::vector<std::string> ended = stages_.endedStages(w.handle, w.titleChanges);
    for (size_t i = logged.stages; i < ended.size(); ++i) log(ended[i]);
    logged.stages = ended.size();
    if (closing) log(w.title);
}

}  // namespace orb::dialogs::terminal
