#include "dialogs/terminal/terminal_view.h"
#include "dialogs/terminal/terminal_view_testing.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "dialogs/terminal/line_presenter.h"
#include "dialogs/terminal/screen_presenter.h"

namespace orb::dialogs::terminal {

namespace {

constexpr char kWakeNote = 'n';
constexpr char kWakeInterrupt = 'i';
constexpr char kWakeResize = 'w';
constexpr char kWakeContinue = 'c';
constexpr char kWakeStop = 's';

void setNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

std::unique_ptr<Presenter> makePresenter(const TerminalOptions& options, KeyActions& keys) {
    if (options.mode == TerminalMode::Screen) return std::make_unique<ScreenPresenter>(keys, options.escapeTimeoutMs);
    return std::make_unique<LinePresenter>(keys, options.lineProgressIntervalMs);
}

}  // namespace

int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TerminalView::TerminalView(const TerminalOptions& options)
    : options_(options),
      throttle_(options.redrawIntervalMs),
      width_(options.width),
      height_(options.height),
      presenter_(makePresenter(options, keys_)) {
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
void TerminalView::windowTitleChanged(WindowHandle window, const dialogs::TitleChange& change) {
    stages_.titleChanged(window, change);
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
                         view.bytes_.load(),         view.inputs_.load(), view.shownRevision_.load()};
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

bool TerminalView::run() {
    throttle_.markDirty();
    char buffer[512];
    bool inputOpen = options_.inputFd >= 0;
    while (!stopRequested_) {
        int64_t now = clockMs();
        int timeout = throttle_.waitMs(now);
        int inputWait = presenter_->inputWaitMs(now);
        if (inputWait >= 0 && (timeout < 0 || inputWait < timeout)) timeout = inputWait;
        int idleFrame = presenter_->idleFrameMs();
        if (idleFrame >= 0 && (timeout < 0 || timeout > idleFrame)) timeout = idleFrame;
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
            if (n > 0) takeInputDone(presenter_->takeInput(buffer, static_cast<size_t>(n), clockMs()));
        }
        takeInputDone(presenter_->takeLateInput(clockMs()));
        now = clockMs();
        if (presenter_->idleFrameMs() >= 0) throttle_.markDirty();
        if (throttle_.due(now)) draw(now);
    }
    return true;
}

void TerminalView::takeInputDone(const InputDone& done) {
    if (done.handled == 0) return;
    inputs_ += static_cast<uint64_t>(done.handled);
    if (done.postponeFrame) throttle_.drew(clockMs());
    throttle_.markDirty();
    if (done.redrawAll) redrawAll();
}

void TerminalView::handleWakeBytes(const char* data, long size) {
    for (long i = 0; i < size; ++i) {
        switch (data[i]) {
            case kWakeNote:
                notePending_ = false;  // before reading the model: a later change wakes again
                throttle_.markDirty();
                break;
            case kWakeInterrupt:
                throttle_.markDirty();
                keys_.act(Key{KeyCode::CtrlC, 0});
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
    writeOutput([this] { return presenter_->restart(); });
    transcript_.forget();
    throttle_.markDirty();
}

void TerminalView::draw(int64_t nowMs) {
    throttle_.drew(nowMs);
    ++frames_;
    // Read before the model: this frame shows at least this revision.
    uint64_t revision = dialogs::modelRevision();
    Snapshot now = readSnapshot();
    Transcript::Lines printed = transcript_.update(now, width_);
    Frame frame{now, printed.lines, printed.closed, width_, height_, nowMs};
    writeOutput([&] { return presenter_->frame(frame); });
    shownRevision_ = revision;
}

void TerminalView::writeOutput(const std::function<std::string()>& bytes) {
    std::lock_guard lock(outputMutex_);
    std::string out = bytes();
    if (!finished_ && !out.empty()) writeLocked(out);
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
    if (locked) {
        std::string bytes = presenter_->end();
        ssize_t ignored = ::write(options_.outputFd, bytes.data(), bytes.size());
        (void)ignored;
    }
    if (locked) outputMutex_.unlock();
}

}  // namespace orb::dialogs::terminal
