#include "tests/dialogs/terminal/terminal_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "dialogs/dialog_view.h"
#include "dialogs/terminal/terminal_view_testing.h"
#include "upgrade/run_state.h"
#include "tests/support/dialog_robot.h"

namespace orb::test {

// Width before height, as every size in the dialogs.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
ViewHarness::ViewHarness(dialogs::terminal::TerminalMode mode, int width, int height, ViewClock clock) {
    int input[2];
    int output[2];
    if (pipe(input) != 0 || pipe(output) != 0) return;
    inputRead_ = input[0];
    inputWrite_ = input[1];
    outputRead_ = output[0];
    outputWrite_ = output[1];
    dialogs::terminal::TerminalOptions options;
    options.inputFd = inputRead_;
    options.outputFd = outputWrite_;
    options.mode = mode;
    options.width = width;
    options.height = height;
    options.lineProgressIntervalMs = 200;
    options.clock = [this, clock] {
        noteEvent();
        return clock == ViewClock::Manual ? manualMs_.load() : dialogs::terminal::steadyMs();
    };
    view_ = new dialogs::terminal::TerminalView(options);
    dialogs::installDialogView(view_);
    readerThread_ = std::thread([this] {
        char buffer[4096];
        for (;;) {
            ssize_t n = ::read(outputRead_, buffer, sizeof buffer);
            if (n <= 0) break;
            {
                std::lock_guard lock(mutex_);
                output_.append(buffer, static_cast<size_t>(n));
            }
            noteEvent();
        }
    });
    viewThread_ = std::thread([this] { view_->run(); });
}

ViewHarness::~ViewHarness() {
    if (view_ != nullptr) view_->stop();
    if (viewThread_.joinable()) viewThread_.join();
    dialogs::installDialogView(nullptr);
    if (outputWrite_ >= 0) close(outputWrite_);
    if (readerThread_.joinable()) readerThread_.join();
    for (int fd : {inputRead_, inputWrite_, outputRead_})
        if (fd >= 0) close(fd);
}

void ViewHarness::type(const std::string& bytes) {
    ssize_t ignored = ::write(inputWrite_, bytes.data(), bytes.size());
    (void)ignored;
}

std::string ViewHarness::output() {
    std::lock_guard lock(mutex_);
    return output_;
}

std::string ViewHarness::text() { return withoutEscapes(output()); }

void ViewHarness::noteEvent() {
    {
        std::lock_guard lock(eventMutex_);
        ++events_;
    }
    event_.notify_all();
}

bool ViewHarness::waitFor(const std::function<bool()>& condition, int timeoutMs) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(eventMutex_);
    for (;;) {
        uint64_t seen = events_;
        lock.unlock();
        if (condition()) return true;
        lock.lock();
        if (!event_.wait_until(lock, until, [&] { return events_ != seen; })) break;
    }
    lock.unlock();
    return condition();
}

bool ViewHarness::waitForText(const std::string& needle, int timeoutMs) {
    return waitFor([&] { return text().find(needle) != std::string::npos; }, timeoutMs);
}

bool ViewHarness::waitForInputs(uint64_t count, int timeoutMs) {
    return waitFor([&] { return readTerminalStats(*view_).inputs >= count; }, timeoutMs);
}

bool ViewHarness::waitForFrameOf(uint64_t revision, int timeoutMs) {
    return waitFor([&] { return readTerminalStats(*view_).shownRevision >= revision; }, timeoutMs);
}

void prepareRunState() {
    std::memset(&runState, 0, sizeof runState);
    std::strcpy(runState.productDisplayName, "ORB-4100");
    std::strcpy(reinterpret_cast<char*>(runState.firmwareImage.header + kVersionTextOffset), "2.0.10(a)");
    runState.pcAddressList[0] = 0x0a010005;  // 10.1.0.5
    runState.pcAddressList[1] = 0xc0a80003;  // 192.168.0.3
    runState.pcAddress = runState.pcAddressList[0];
    std::strcpy(runState.deviceInfo.productName, "ORB4100");
    std::strcpy(runState.deviceInfo.macAddress, "00:1A:2B:3C:4D:5E");
    std::strcpy(runState.deviceInfo.softwareVersion, "2.0.10(a)");
    std::strcpy(runState.deviceInfo.hardwareVersion, "4100-A1");
    std::strcpy(runState.deviceInfo.serialNumber, "ORB41000001");
    std::strcpy(runState.deviceAddressText, "10*1*0*123");
}

ModalRun::ModalRun(int templateId, DialogProc procedure) {
    std::vector<WindowHandle> before = robot::openWindows();
    thread_ = std::thread([this, templateId, procedure] {
        result_ = runModalDialog(nullptr, templateId, procedure);
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        ended_.notify_all();
    });
    window_ = robot::waitForNewDialog(templateId, before);
}

ModalRun::~ModalRun() {
    if (!done_ && window_ != nullptr) robot::pressEscape(window_);
    if (!done_ && window_ != nullptr) robot::pressCloseBox(window_);
    if (thread_.joinable()) thread_.join();
}

intptr_t ModalRun::result(int timeoutMs) {
    std::unique_lock lock(mutex_);
    bool ended = ended_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return done_.load(); });
    return ended ? result_.load() : -2;
}

std::string withoutEscapes(const std::string& output) {
    std::string out;
    for (size_t i = 0; i < output.size(); ++i) {
        if (output[i] != '\x1b') {
            if (output[i] != '\r') out += output[i];
            continue;
        }
        if (i + 1 < output.size() && output[i + 1] == '[') {
            size_t j = i + 2;
            while (j < output.size() && !(output[j] >= 0x40 && output[j] <= 0x7e)) ++j;
            // A line rewritten in place reads as a line of its own.
            if (j < output.size() && (output[j] == 'A' || output[j] == 'B')) out += '\n';
            i = j;
        }
    }
    return out;
}

}  // namespace orb::test
