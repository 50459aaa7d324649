// showMessageBox (platform/windowing.h) and the open boxes as views read them
// (dialogs/dialog_view.h).
#include "dialogs/message_boxes.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

#include "platform/windowing.h"
#include "base/dialog_log.h"
#include "dialogs/window_model.h"

namespace orb::dialogs {

namespace {

std::atomic<bool> autoAnswer{false};

}  // namespace

namespace {

constexpr unsigned kMbTypeMask = 0xF;
constexpr unsigned kMbLastKnownType = 5;  // MB_RETRYCANCEL

}  // namespace

std::vector<int> messageBoxButtons(unsigned flags) {
    switch (flags & kMbTypeMask) {
        case 1: return {kIdOk, kIdCancel};               // MB_OKCANCEL
        case 2: return {kIdAbort, kIdRetry, kIdIgnore};  // MB_ABORTRETRYIGNORE
        case 3: return {kIdYes, kIdNo, kIdCancel};       // MB_YESNOCANCEL
        case 4: return {kIdYes, kIdNo};                  // MB_YESNO
        case 5: return {kIdRetry, kIdCancel};            // MB_RETRYCANCEL
        default: return {kIdOk};                         // MB_OK, and what no view knows how to draw
    }
}

std::string messageBoxButtonCaption(int button) {
    switch (button) {
        case kIdOk: return "OK";
        case kIdCancel: return "Cancel";
        case kIdAbort: return "Abort";
        case kIdRetry: return "Retry";
        case kIdIgnore: return "Ignore";
        case kIdYes: return "Yes";
        case kIdNo: return "No";
        default: return "Button " + std::to_string(button);
    }
}

int messageBoxEnterButton(unsigned flags) {
    std::vector<int> buttons = messageBoxButtons(flags);
    size_t index = (flags >> 8) & 0xF;  // MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200
    return buttons[index < buttons.size() ? index : 0];
}

int messageBoxEscapeButton(unsigned flags) {
    std::vector<int> buttons = messageBoxButtons(flags);
    if (std::find(buttons.begin(), buttons.end(), kIdCancel) != buttons.end()) return kIdCancel;
    if ((flags & kMbTypeMask) == 0) return kIdOk;  // an MB_OK box: Escape gives IDOK, as on Windows
    return 0;
}

bool isValidAnswer(unsigned flags, int button) {
    // A box of a type no view draws takes any of the standard answers.
    if ((flags & kMbTypeMask) > kMbLastKnownType) return button >= 1 && button <= 11;
    std::vector<int> buttons = messageBoxButtons(flags);
    return std::find(buttons.begin(), buttons.end(), button) != buttons.end();
}

void setMessageBoxAutoAnswer(bool on) { autoAnswer.store(on); }
bool messageBoxAutoAnswer() { return autoAnswer.load(); }

std::vector<MessageBoxState> listMessageBoxes() {
    Session s;
    std::vector<MessageBoxState> list;
    for (const auto& b : model().boxes) {
        if (b->answered) continue;
        list.push_back({b->id, b->owner, b->caption, b->text, b->flags, b->thread});
    }
    return list;
}

}  // namespace orb::dialogs

namespace orb {

using namespace dialogs;

// The parameters mirror Win32's MessageBox.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
int showMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned flags) {
    std::string body = text != nullptr ? text : "";
    std::string title = caption != nullptr ? caption : "Error";
    logMessageBoxShown(title, body);
    if (autoAnswer.load()) {
        std::string line =
            "[message box] caption=\"" + escapeForLog(title) + "\" text=\"" + escapeForLog(body) + "\"\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        logMessageBoxAnswered(title, kIdOk, true);
        return kIdOk;
    }
    Model& m = model();
    MessageBoxRecord* box;
    {
        Session s;
        auto record = std::make_unique<MessageBoxRecord>();
        box = record.get();
        box->id = m.nextBox++;
        box->owner = isLive(owner) ? owner : nullptr;
        box->caption = title;
        box->text = body;
        box->flags = flags;
        box->thread = std::this_thread::get_id();
        if (box->owner != nullptr) {
            box->disabled.push_back(box->owner);  // a box with an owner disables its owner
        } else if (flags & kMbTaskModal) {
            // The run's error box. A process holds one run, whose windows live
            // on several threads: every one of them is disabled, not only the
            // calling thread's, so that no Cancel elsewhere can raise a second,
            // contradicting box while this one is up (see createWindow too).
            for (const auto& w : m.windows)
                if (w->alive) box->disabled.push_back(w.get());
        }
        for (Window* w : box->disabled) {
            ++w->disableCount;
            s.changed(w);
        }
        m.boxes.push_back(std::move(record));
        s.boxShown(box->id);
    }
    int result;
    {
        Session s;
        m.changed.wait(s.lock, [box] { return box->answered; });
        result = box->result;
        for (Window* w : box->disabled) {
            --w->disableCount;
            s.changed(w);
        }
        MessageBoxId id = box->id;
        m.boxes.erase(std::find_if(m.boxes.begin(), m.boxes.end(), [box](const auto& b) { return b.get() == box; }));
        s.boxClosed(id);
    }
    logMessageBoxAnswered(title, result, false);
    return result;
}

}  // namespace orb
