// showMessageBox (platform/windowing.h) and the open boxes as views read them
// (dialogs/dialog_view.h).
#include "dialogs/message_boxes.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

#include "base/dialog_log.h"
#include "dialogs/window_model.h"
#include "platform/windowing.h"

namespace orb::dialogs {

namespace {

std::atomic<bool> autoAnswer{false};

}  // namespace

bool isValidAnswer(unsigned flags, int button) {
    switch (flags & 0xF) {
        case 0: return button == 1;                                 // MB_OK
        case 1: return button == 1 || button == 2;                  // MB_OKCANCEL
        case 2: return button == 3 || button == 4 || button == 5;   // MB_ABORTRETRYIGNORE
        case 3: return button == 6 || button == 7 || button == 2;   // MB_YESNOCANCEL
        case 4: return button == 6 || button == 7;                  // MB_YESNO
        case 5: return button == 4 || button == 2;                  // MB_RETRYCANCEL
        default: return button >= 1 && button <= 11;
    }
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

int showMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned flags) {
    std::string body = text != nullptr ? text : "";
    std::string title = caption != nullptr ? caption : "Error";
    logMessageBoxShown(title, body);
    if (autoAnswer.load()) {
        std::string line = "[message box] caption=\"" + escapeForLog(title) + "\" text=\"" + escapeForLog(body) + "\"\n";
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
            for (const auto& w : m.windows)  // every top-level window of the calling thread
                if (w->alive && w->thread == box->thread) box->disabled.push_back(w.get());
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
