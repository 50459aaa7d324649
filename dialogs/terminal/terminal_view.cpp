#include "dialogs/terminal/terminal_view.h"
#include "dialogs/terminal/terminal_view_testing.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "dialogs/message_boxes.h"
#include "dialogs/terminal/line_mode.h"
#include "dialogs/terminal/screen_builder.h"
#include "dialogs/terminal/terminal_text.h"
#include "platform/windowing.h"

namespace orb::dialogs::terminal {

namespace {

namespace input = dialogs::input;

constexpr char kWakeNote = 'n';
constexpr char kWakeInterrupt = 'i';
constexpr char kWakeResize = 'w';
constexpr char kWakeContinue = 'c';
constexpr char kWakeStop = 's';
constexpr size_t kAddressTextMax = 15;  // 255.255.255.255
constexpr size_t kEditTextMax = 1000;

bool isAddressCharacter(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '*'; }

const dialogs::ControlState* focusedControl(const dialogs::WindowState& w) {
    for (const dialogs::ControlState& c : w.controls)
        if (c.focused) return &c;
    return nullptr;
}

void setNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

std::vector<std::string> renderAll(const std::vector<StyledLine>& lines, bool styled) {
    std::vector<std::string> out;
    for (const StyledLine& line : lines) out.push_back(styled ? line.render() : line.plain());
    return out;
}

}  // namespace

int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TerminalView::TerminalView(const TerminalOptions& options)
    : options_(options),
      throttle_(options.redrawIntervalMs),
      decoder_(options.escapeTimeoutMs),
      width_(options.width),
      height_(options.height) {
    int fds[2];
    if (pipe(fds) == 0) {
        wakeRead_ = fds[0];
        wakeWrite_ = fds[1];
        setNonBlocking(wakeRead_);
        setNonBlocking(wakeWrite_);
    }
    readSize();
}

TerminalView::~TerminalView() {
    if (wakeRead_ >= 0) close(wakeRead_);
    if (wakeWrite_ >= 0) close(wakeWrite_);
}

// --- Notifications: any thread, quick, never blocking ------------------------

void TerminalView::wake(char reason) {
    if (wakeWrite_ < 0) return;
    ssize_t ignored = ::write(wakeWrite_, &reason, 1);  // a full pipe already wakes the view
    (void)ignored;
}

void TerminalView::windowCreated(WindowHandle) {
    ++notifications_;
    if (!notePending_.exchange(true)) wake(kWakeNote);
}
void TerminalView::windowChanged(WindowHandle) {
    ++notifications_;
    if (!notePending_.exchange(true)) wake(kWakeNote);
}
void TerminalView::windowDestroyed(WindowHandle) {
    ++notifications_;
    if (!notePending_.exchange(true)) wake(kWakeNote);
}
void TerminalView::messageBoxShown(dialogs::MessageBoxId) {
    ++notifications_;
    if (!notePending_.exchange(true)) wake(kWakeNote);
}
void TerminalView::messageBoxClosed(dialogs::MessageBoxId) {
    ++notifications_;
    if (!notePending_.exchange(true)) wake(kWakeNote);
}

void TerminalView::signalInterrupt() { wake(kWakeInterrupt); }
void TerminalView::signalResize() { wake(kWakeResize); }
void TerminalView::signalContinue() { wake(kWakeContinue); }

void TerminalView::stop() {
    stopRequested_ = true;
    wake(kWakeStop);
}

TerminalStats readTerminalStats(const TerminalView& view) {
    return TerminalStats{view.notifications_.load(), view.frames_.load(), view.writes_.load(),
                         view.bytes_.load(), view.inputs_.load(), view.shownRevision_.load()};
}

// --- The view's thread --------------------------------------------------------

void TerminalView::readSize() {
    winsize size{};
    if (ioctl(options_.outputFd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
        width_ = size.ws_col;
        height_ = size.ws_row;
    }
    width_ = std::max(width_, 20);
    height_ = std::max(height_, 4);
}

TerminalView::Snapshot TerminalView::snapshot() {
    Snapshot s;
    for (WindowHandle handle : dialogs::listWindows()) {
        dialogs::WindowState state;
        if (dialogs::readWindowState(handle, &state) && state.visible && state.alive) s.visible.push_back(std::move(state));
    }
    s.boxes = dialogs::listMessageBoxes();
    return s;
}

bool TerminalView::run() {
    throttle_.markDirty();
    char buffer[512];
    bool inputOpen = options_.inputFd >= 0;
    while (!stopRequested_) {
        int64_t now = clockMs();
        int timeout = throttle_.waitMs(now);
        int keyWait = decoder_.pendingMs(now);
        if (keyWait >= 0 && (timeout < 0 || keyWait < timeout)) timeout = keyWait;
        if (options_.mode == TerminalMode::Lines && !lastProgressLine_.empty()) {
            // Line mode prints progress now and then even when nothing else changes.
            if (timeout < 0 || timeout > options_.lineProgressIntervalMs) timeout = options_.lineProgressIntervalMs;
        }
        pollfd fds[2];
        int count = 0;
        fds[count++] = {wakeRead_, POLLIN, 0};
        if (inputOpen) fds[count++] = {options_.inputFd, POLLIN, 0};
        int ready = ::poll(fds, static_cast<nfds_t>(count), timeout);
        if (ready < 0 && errno != EINTR) return false;
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            ssize_t n = ::read(wakeRead_, buffer, sizeof buffer);
            if (n > 0) handleWakeBytes(buffer, n);
        }
        if (stopRequested_) break;
        if (ready > 0 && inputOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            ssize_t n = ::read(options_.inputFd, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return false;  // the input has ended
            if (n > 0) {
                if (options_.mode == TerminalMode::Lines) {
                    lineBuffer_.append(buffer, static_cast<size_t>(n));
                    size_t end;
                    while ((end = lineBuffer_.find('\n')) != std::string::npos) {
                        std::string line = lineBuffer_.substr(0, end);
                        lineBuffer_.erase(0, end + 1);
                        handleLine(line);
                        ++inputs_;
                    }
                } else {
                    std::vector<Key> keys;
                    decoder_.feed(buffer, static_cast<size_t>(n), clockMs(), &keys);
                    for (const Key& key : keys) {
                        handleKey(key);
                        ++inputs_;
                    }
                }
            }
        }
        std::vector<Key> late;
        decoder_.flush(clockMs(), &late);
        for (const Key& key : late) {
            handleKey(key);
            ++inputs_;
        }
        now = clockMs();
        if (options_.mode == TerminalMode::Lines && !lastProgressLine_.empty()) throttle_.markDirty();
        if (throttle_.due(now)) draw(now);
    }
    return true;
}

void TerminalView::handleWakeBytes(const char* data, long size) {
    for (long i = 0; i < size; ++i) {
        switch (data[i]) {
            case kWakeNote:
                notePending_ = false;  // before reading the model: a later change wakes again
                throttle_.markDirty();
                break;
            case kWakeInterrupt:
                handleKey(Key{KeyCode::CtrlC, 0});
                ++inputs_;
                break;
            case kWakeResize:
                readSize();
                redrawAll();
                break;
            case kWakeContinue:
                if (options_.onContinue) options_.onContinue();
                readSize();
                redrawAll();
                break;
            default: break;
        }
    }
}

void TerminalView::redrawAll() {
    // Screen mode: clear the screen and show the open windows from their
    // start again. Line mode: print the prompt again.
    if (options_.mode == TerminalMode::Screen) {
        std::lock_guard lock(outputMutex_);
        if (!finished_) {
            region_.forget();
            writeLocked("\x1b[0m\x1b[H\x1b[2J");
        }
    }
    introduced_.clear();
    logged_.clear();
    introducedBoxes_.clear();
    lastPrompt_.clear();
    throttle_.markDirty();
}

void TerminalView::handleKey(const Key& key) {
    throttle_.markDirty();
    if (key.code == KeyCode::CtrlL) {
        redrawAll();
        return;
    }
    Snapshot now = snapshot();
    KeyTarget target = findKeyTarget(now.visible, now.boxes, selectedProgress_);
    switch (target.kind) {
        case KeyTarget::Kind::None: return;
        case KeyTarget::Kind::MessageBox: {
            unsigned flags = now.boxes.front().flags;
            if (key.code == KeyCode::Enter || (key.code == KeyCode::Char && key.ch == ' ')) {
                input::answerMessageBox(target.box, dialogs::messageBoxEnterButton(flags));
            } else if (key.code == KeyCode::Escape || key.code == KeyCode::CtrlC) {
                int button = dialogs::messageBoxEscapeButton(flags);
                if (button != 0) input::answerMessageBox(target.box, button);
            }
            return;
        }
        case KeyTarget::Kind::Dialog:
            for (const dialogs::WindowState& w : now.visible)
                if (w.handle == target.window) handleDialogKey(w, key);
            return;
        case KeyTarget::Kind::Progress: handleProgressKey(now, target.window, key); return;
    }
}

void TerminalView::handleProgressKey(const Snapshot& now, WindowHandle target, const Key& key) {
    switch (key.code) {
        case KeyCode::Escape:
        case KeyCode::CtrlC:
            // The Cancel button: the only control of a progress window.
            input::pressButton(target, kIdCancel);
            return;
        case KeyCode::Tab:
        case KeyCode::BackTab:
        case KeyCode::Up:
        case KeyCode::Down:
        case KeyCode::Left:
        case KeyCode::Right: {
            std::vector<WindowHandle> list;
            for (const dialogs::WindowState& w : now.visible)
                if (isProgressWindow(w) && w.enabled) list.push_back(w.handle);
            if (list.empty()) return;
            auto at = std::find(list.begin(), list.end(), target);
            size_t index = at == list.end() ? 0 : static_cast<size_t>(at - list.begin());
            bool back = key.code == KeyCode::BackTab || key.code == KeyCode::Up || key.code == KeyCode::Left;
            index = back ? (index + list.size() - 1) % list.size() : (index + 1) % list.size();
            selectedProgress_ = list[index];
            return;
        }
        default: return;  // Enter: a progress window has no default button
    }
}

void TerminalView::handleDialogKey(const dialogs::WindowState& w, const Key& key) {
    const dialogs::ControlState* focus = focusedControl(w);
    auto move = [&](int delta) {
        // The terminal's own order (fields, then buttons); the model says where Tab stops in it.
        std::vector<int> order = focusOrder(w);
        if (order.empty()) return;
        int next = dialogs::nextFocus(w, focus != nullptr ? focus->id : 0, delta < 0, order);
        if (next != 0) input::focusControl(w.handle, next);
    };
    bool inText = focus != nullptr && isTextField(*focus) && focus->enabled;
    bool inList = focus != nullptr && isComboBox(*focus) && focus->enabled;
    auto choose = [&](int index) {
        if (inList && index >= 0 && index < static_cast<int>(focus->items.size()))
            input::selectComboEntry(w.handle, focus->id, index);
    };
    switch (key.code) {
        case KeyCode::Enter: input::pressEnter(w.handle); return;
        case KeyCode::Escape:
        case KeyCode::CtrlC: input::pressEscape(w.handle); return;
        case KeyCode::Tab:
        case KeyCode::Down: move(1); return;
        case KeyCode::BackTab:
        case KeyCode::Up: move(-1); return;
        case KeyCode::Right:
            if (inList) {
                choose(focus->selection + 1);
            } else {
                move(1);
            }
            return;
        case KeyCode::Left:
            if (inList) {
                choose(focus->selection <= 0 ? 0 : focus->selection - 1);
            } else {
                move(-1);
            }
            return;
        case KeyCode::Home:
            if (inList) choose(0);
            return;
        case KeyCode::End:
            if (inList) choose(static_cast<int>(focus->items.size()) - 1);
            return;
        case KeyCode::Backspace:
            if (inText && !focus->text.empty())
                input::typeText(w.handle, focus->id, focus->text.substr(0, focus->text.size() - 1));
            return;
        case KeyCode::CtrlU:
            if (inText) input::typeText(w.handle, focus->id, std::string());
            return;
        case KeyCode::Char:
            if (inText) {
                // The field's text as the model holds it now, plus the key.
                std::string text = focus->text;
                if (isAddressField(*focus)) {
                    if (!isAddressCharacter(key.ch) || text.size() >= kAddressTextMax) return;
                } else if (text.size() >= kEditTextMax) {
                    return;
                }
                input::typeText(w.handle, focus->id, text + key.ch);
            } else if (inList) {
                if (key.ch >= '1' && key.ch <= '9') choose(key.ch - '1');
                if (key.ch == ' ' && !focus->items.empty())
                    choose((focus->selection + 1) % static_cast<int>(focus->items.size()));
            } else if (focus != nullptr && isPushButton(*focus) && key.ch == ' ') {
                input::pressButton(w.handle, focus->id);
            }
            return;
        default: return;
    }
}

void TerminalView::handleLine(const std::string& line) {
    // The next frame after one interval, when the dialog has taken the
    // command (a pressed button would otherwise show its focus first).
    throttle_.drew(clockMs());
    throttle_.markDirty();
    LineCommand command = parseLineCommand(line);
    Snapshot now = snapshot();
    KeyTarget target = findKeyTarget(now.visible, now.boxes, selectedProgress_);
    auto key = [this](KeyCode code) { handleKey(Key{code, 0}); };
    switch (command.kind) {
        case LineCommand::Kind::Enter: key(KeyCode::Enter); return;
        case LineCommand::Kind::Escape: key(KeyCode::Escape); return;
        case LineCommand::Kind::Tab: key(KeyCode::Tab); return;
        case LineCommand::Kind::Unknown:
            if (target.kind == KeyTarget::Kind::MessageBox) {
                key(KeyCode::Enter);
            } else {
                lastPrompt_.clear();  // not understood: the prompt again
            }
            return;
        case LineCommand::Kind::Button:
        case LineCommand::Kind::Field: break;
    }
    if (target.kind == KeyTarget::Kind::MessageBox) {
        key(KeyCode::Enter);
        return;
    }
    if (target.kind != KeyTarget::Kind::Dialog) return;
    const dialogs::WindowState* dialog = nullptr;
    for (const dialogs::WindowState& w : now.visible)
        if (w.handle == target.window) dialog = &w;
    if (dialog == nullptr) return;
    std::vector<const dialogs::ControlState*> fields;
    std::vector<const dialogs::ControlState*> buttons;
    for (int id : focusOrder(*dialog)) {
        const dialogs::ControlState* c = dialog->control(id);
        if (c == nullptr) continue;
        (isField(*c) ? fields : buttons).push_back(c);
    }
    if (command.kind == LineCommand::Kind::Button) {
        if (command.number >= 1 && command.number <= static_cast<int>(buttons.size()))
            input::pressButton(dialog->handle, buttons[command.number - 1]->id);
        return;
    }
    if (command.field < 0 || command.field >= static_cast<int>(fields.size())) return;
    const dialogs::ControlState& field = *fields[command.field];
    if (isComboBox(field)) {
        int index = -1;
        bool digits = !command.value.empty() && command.value.size() <= 2;
        for (char c : command.value) digits = digits && c >= '0' && c <= '9';
        if (digits) index = std::stoi(command.value) - 1;
        for (size_t i = 0; i < field.items.size() && index < 0; ++i)
            if (field.items[i] == command.value) index = static_cast<int>(i);
        if (index >= 0) input::selectComboEntry(dialog->handle, field.id, index);
        return;
    }
    std::string text = command.value;
    if (isAddressField(field)) {
        text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return !isAddressCharacter(c); }),
                   text.end());
        if (text.size() > kAddressTextMax) text.resize(kAddressTextMax);
    } else if (text.size() > kEditTextMax) {
        text.resize(kEditTextMax);
    }
    input::typeText(dialog->handle, field.id, text);
}

void TerminalView::draw(int64_t nowMs) {
    throttle_.drew(nowMs);
    ++frames_;
    // Read before the model: this frame shows at least this revision.
    uint64_t revision = dialogs::modelRevision();
    Snapshot now = snapshot();
    bool styled = options_.mode == TerminalMode::Screen;

    // What is printed for good, in this order: the values of the dialogs that
    // have closed, then the windows and boxes that have appeared.
    std::vector<std::string> transcript;
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
                for (const std::string& line : renderAll(fieldRecord(closed, width_), styled))
                    transcript.push_back(line);
            } else {
                logStageEnds(closed, true, &transcript, styled);
            }
        }
        logged_.erase(*it);
        lastProgressLine_.erase(*it);
        lastProgressMs_.erase(*it);
        printedHint_.erase(*it);
        it = introduced_.erase(it);
    }
    for (const dialogs::WindowState& w : now.visible) {
        if (introduced_.count(w.handle) != 0) {
            if (!w.modal) logStageEnds(w, false, &transcript, styled);
            continue;
        }
        introduced_.insert(w.handle);
        // Stages that ended before the first frame that showed the window.
        if (!w.modal) logStageEnds(w, false, &transcript, styled);
        logged_[w.handle].title = w.title;
        for (const std::string& line : renderAll(windowIntroduction(w, width_), styled)) transcript.push_back(line);
    }
    std::set<dialogs::MessageBoxId> open;
    for (const dialogs::MessageBoxState& box : now.boxes) {
        open.insert(box.id);
        if (introducedBoxes_.count(box.id) != 0) continue;
        introducedBoxes_.insert(box.id);
        for (const std::string& line : renderAll(messageBoxIntroduction(box, width_), styled))
            transcript.push_back(line);
    }
    for (auto it = introducedBoxes_.begin(); it != introducedBoxes_.end();)
        it = open.count(*it) == 0 ? introducedBoxes_.erase(it) : std::next(it);

    if (options_.mode == TerminalMode::Screen) {
        drawScreen(transcript, now);
    } else {
        drawLines(transcript, now, nowMs);
    }
    shownRevision_ = revision;
}

// A progress window's title can change many times between two frames: the
// log gets the last title of each stage it leaves, and the title it closes
// with, so that it never ends on a state the window has long left.
void TerminalView::logStageEnds(const dialogs::WindowState& w, bool closing, std::vector<std::string>* transcript,
                                bool styled) {
    LoggedStages& logged = logged_[w.handle];
    auto log = [&](const std::string& title) {
        if (title == logged.title) return;
        logged.title = title;
        for (const std::string& line : renderAll(stageRecord(title, width_), styled)) transcript->push_back(line);
    };
    for (size_t i = logged.stages; i < w.endedStageTitles.size(); ++i) log(w.endedStageTitles[i]);
    logged.stages = w.endedStageTitles.size();
    if (closing) log(w.title);
}

void TerminalView::drawScreen(const std::vector<std::string>& transcript, const Snapshot& now) {
    LiveScreen screen = buildLiveScreen(now.visible, now.boxes, selectedProgress_, width_, height_);
    std::lock_guard lock(outputMutex_);
    if (finished_) return;
    std::string bytes = region_.update(transcript, screen.lines, screen.cursor);
    if (!bytes.empty()) writeLocked(bytes);
}

void TerminalView::drawLines(const std::vector<std::string>& transcript, const Snapshot& now, int64_t nowMs) {
    std::string out;
    for (const std::string& line : transcript) out += line + "\n";
    // Progress: a line now and then, when it changed.
    KeyTarget target = findKeyTarget(now.visible, now.boxes, selectedProgress_);
    for (const dialogs::WindowState& w : now.visible) {
        if (w.modal) continue;
        std::string line = progressLine(w, false, false, false, width_).plain();
        auto last = lastProgressLine_.find(w.handle);
        bool due = last == lastProgressLine_.end() || nowMs - lastProgressMs_[w.handle] >= options_.lineProgressIntervalMs;
        if (last != lastProgressLine_.end() && last->second == line) due = false;
        if (due) {
            lastProgressLine_[w.handle] = line;
            lastProgressMs_[w.handle] = nowMs;
            out += "  " + line + "\n";
        }
        if (!w.hint.empty() && printedHint_[w.handle] != w.hint) {  // a hint is printed once
            printedHint_[w.handle] = w.hint;
            for (const StyledLine& hint : hintLines(w, false, width_)) out += hint.plain() + "\n";
        }
    }
    std::vector<std::string> prompt = linePrompt(now.visible, now.boxes, selectedProgress_, width_);
    if (prompt != lastPrompt_ || !transcript.empty()) {
        lastPrompt_ = prompt;
        for (const std::string& line : prompt) out += line + "\n";
        if (target.kind == KeyTarget::Kind::Dialog || target.kind == KeyTarget::Kind::MessageBox) out += "> ";
    }
    if (out.empty()) return;
    std::lock_guard lock(outputMutex_);
    if (!finished_) writeLocked(out);
}

bool TerminalView::writeLocked(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(options_.outputFd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd out{options_.outputFd, POLLOUT, 0};
            ::poll(&out, 1, 100);
            continue;
        }
        break;
    }
    ++writes_;
    bytes_ += done;
    return done == bytes.size();
}

void TerminalView::finish() {
    // A frame being written gets a moment to end; after that the lock stays
    // taken so that nothing more is written while the process ends.
    bool locked = outputMutex_.try_lock_for(std::chrono::milliseconds(200));
    if (finished_.exchange(true)) {
        if (locked) outputMutex_.unlock();
        return;
    }
    if (options_.mode == TerminalMode::Screen && locked) {
        std::string bytes = region_.erase();
        ssize_t ignored = ::write(options_.outputFd, bytes.data(), bytes.size());
        (void)ignored;
    } else if (options_.mode == TerminalMode::Lines && locked) {
        if (::write(options_.outputFd, "\n", 1) < 0) {
        }
    }
    if (locked) outputMutex_.unlock();
}

}  // namespace orb::dialogs::terminal
