#include "dialogs/qt/message_box_view.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWindow>

#include <set>
#include <vector>

#include "dialogs/message_boxes.h"
#include "dialogs/qt/qt_placement.h"
#include "dialogs/qt/qt_text.h"
#include "dialogs/qt/qt_view.h"
#include "dialogs/qt/qt_view_testing.h"

namespace orb::dialogs::qt {

namespace {

// The Windows buttons (messageBoxButtons) as Qt's standard buttons.
struct BoxButton {
    int windowsId;
    QMessageBox::StandardButton qt;
};
constexpr BoxButton kBoxButtons[] = {
    {kIdOk, QMessageBox::Ok},       {kIdCancel, QMessageBox::Cancel}, {kIdAbort, QMessageBox::Abort},
    {kIdRetry, QMessageBox::Retry}, {kIdIgnore, QMessageBox::Ignore}, {kIdYes, QMessageBox::Yes},
    {kIdNo, QMessageBox::No},
};

int windowsButtonOf(QMessageBox::StandardButton standardButton) {
    for (const BoxButton& button : kBoxButtons)
        if (button.qt == standardButton) return button.windowsId;
    return 0;
}

QMessageBox::StandardButton standardButtonOf(int windowsId) {
    for (const BoxButton& button : kBoxButtons)
        if (button.windowsId == windowsId) return button.qt;
    return QMessageBox::NoButton;
}

QMessageBox::StandardButtons buttonsFor(unsigned flags) {
    QMessageBox::StandardButtons buttons;
    for (int id : messageBoxButtons(flags)) buttons |= standardButtonOf(id);
    return buttons;
}

QMessageBox* makeBox(const MessageBoxState& state, QWidget* owner) {
    requireGuiThread("a message box");
    auto* box = new QMessageBox();
    box->setWindowTitle(fromModelText(state.caption));
    box->setTextFormat(Qt::PlainText);
    box->setText(fromModelText(state.text));
    box->setIcon(QMessageBox::NoIcon);
    box->setStandardButtons(buttonsFor(state.flags));
    box->setDefaultButton(standardButtonOf(messageBoxEnterButton(state.flags)));
    if (int escape = messageBoxEscapeButton(state.flags); escape != 0) box->setEscapeButton(standardButtonOf(escape));
    box->setWindowModality(Qt::NonModal);  // the model disables what the box disables
    box->setProperty(kMessageBoxIdProperty, static_cast<qulonglong>(state.id));
    const MessageBoxId id = state.id;
    // A button, Enter, Escape or the close box: the button that was
    // "clicked" (Escape and the close box click the escape button).
    QObject::connect(box, &QDialog::finished, box, [id, box](int) {
        QAbstractButton* clicked = box->clickedButton();
        int button = clicked != nullptr ? windowsButtonOf(box->standardButton(clicked)) : 0;
        if (button == 0) button = kIdOk;
        if (!qtViewShuttingDown()) input::answerMessageBox(id, button);
    });
    if (owner != nullptr) {
        // Owned by that dialog: kept above it.
        box->createWinId();
        if (box->windowHandle() != nullptr && owner->windowHandle() != nullptr)
            box->windowHandle()->setTransientParent(owner->windowHandle());
    }
    // Shown first, as QMessageBox settles its size when shown; centred on
    // its owner, or on the screen, before the event loop maps it.
    box->show();
    if (owner != nullptr)
        centreOn(box, owner->geometry());
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        centreOn(box, screen->geometry());
    raiseWindow(box);
    box->activateWindow();
    return box;
}

}  // namespace

void MessageBoxViews::sync(const OwnerOf& ownerOf) {
    std::vector<MessageBoxState> open = listMessageBoxes();
    std::set<MessageBoxId> openIds;
    for (const MessageBoxState& box : open) {
        openIds.insert(box.id);
        if (boxes_.count(box.id) == 0) boxes_[box.id] = makeBox(box, ownerOf(box.owner));
    }
    for (auto it = boxes_.begin(); it != boxes_.end();) {
        if (openIds.count(it->first) != 0) {
            ++it;
            continue;
        }
        it->second->hide();
        it->second->deleteLater();
        it = boxes_.erase(it);
    }
}

}  // namespace orb::dialogs::qt
