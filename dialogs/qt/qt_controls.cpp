#include "dialogs/qt/qt_controls.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QStringList>
#include <qdrawutil.h>

#include <algorithm>

namespace orb::dialogs::qt {

// ---------------------------------------------------------------------------
// Ipv4AddressControl

Ipv4AddressControl::Ipv4AddressControl(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto* validator = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (int i = 0; i < 4; ++i) {
        auto* field = new QLineEdit(this);
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(3);
        field->setValidator(validator);
        field->setFocusPolicy(Qt::StrongFocus);
        field->setContextMenuPolicy(Qt::NoContextMenu);
        field->setTextMargins(0, 0, 0, 0);
        field->installEventFilter(this);
        QObject::connect(field, &QLineEdit::textEdited, this, [this, i](const QString&) { fieldEdited(i); });
        fields_[static_cast<size_t>(i)] = field;
    }
    for (int i = 0; i < 3; ++i) {
        auto* dot = new QLabel(QStringLiteral("."), this);
        dot->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        dot->setBackgroundRole(QPalette::Base);
        dot->setAutoFillBackground(true);
        dots_[static_cast<size_t>(i)] = dot;
    }
    setFocusProxy(fields_[0]);
    layoutFields();
}

QString Ipv4AddressControl::addressText() const {
    bool anyText = false;
    for (QLineEdit* field : fields_) anyText = anyText || !field->text().isEmpty();
    if (!anyText) return QString();
    QStringList parts;
    for (QLineEdit* field : fields_) parts << QString::number(field->text().isEmpty() ? 0 : field->text().toInt());
    return parts.join(QLatin1Char('.'));
}

void Ipv4AddressControl::showAddressText(const QString& text) {
    if (text == addressText()) return;
    QStringList parts = text.split(QLatin1Char('.'));
    for (int i = 0; i < 4; ++i) {
        QString part = (text.isEmpty() || parts.size() != 4) ? QString() : parts[i].trimmed();
        bool digits = part.size() <= 3 && std::all_of(part.begin(), part.end(), [](QChar c) { return c.isDigit(); });
        if (!digits) part.clear();
        if (!part.isEmpty() && part.toInt() > 255) part = QStringLiteral("255");
        fields_[static_cast<size_t>(i)]->setText(part);
    }
}

void Ipv4AddressControl::focusFirstField(Qt::FocusReason reason) {
    fields_[0]->setFocus(reason);
    fields_[0]->selectAll();
}

int Ipv4AddressControl::indexOf(QObject* field) const {
    for (int i = 0; i < 4; ++i)
        if (fields_[static_cast<size_t>(i)] == field) return i;
    return -1;
}

void Ipv4AddressControl::moveTo(int index, bool cursorAtEnd) {
    if (index < 0 || index > 3) return;
    QLineEdit* field = fields_[static_cast<size_t>(index)];
    field->setFocus(Qt::OtherFocusReason);
    if (cursorAtEnd) {
        field->deselect();
        field->setCursorPosition(static_cast<int>(field->text().size()));
    } else {
        field->selectAll();
    }
}

void Ipv4AddressControl::fieldEdited(int index) {
    QLineEdit* field = fields_[static_cast<size_t>(index)];
    if (!field->text().isEmpty() && field->text().toInt() > 255) field->setText(QStringLiteral("255"));
    // The third digit completes the field: on to the next one, as Windows does.
    if (field->text().size() == 3 && field->cursorPosition() == 3 && index < 3) moveTo(index + 1, false);
    if (edited_) edited_(addressText());
}

bool Ipv4AddressControl::eventFilter(QObject* watched, QEvent* event) {
    int index = indexOf(watched);
    if (index < 0 || event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    QLineEdit* field = fields_[static_cast<size_t>(index)];
    const QString text = key->text();
    if (text == QStringLiteral(".") || text == QStringLiteral(" ")) {
        // A separator ends a field that has a digit; elsewhere it is ignored.
        if (!field->text().isEmpty() && field->cursorPosition() > 0 && index < 3) moveTo(index + 1, false);
        return true;
    }
    bool plain = (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == 0;
    switch (key->key()) {
        case Qt::Key_Backspace:  // at a field's start, as Left: back into the field before
        case Qt::Key_Left:
            if (plain && field->cursorPosition() == 0 && !field->hasSelectedText() && index > 0) {
                moveTo(index - 1, true);
                return true;
            }
            break;
        case Qt::Key_Right:
            if (plain && field->cursorPosition() == field->text().size() && index < 3) {
                QLineEdit* next = fields_[static_cast<size_t>(index) + 1];
                next->setFocus(Qt::OtherFocusReason);
                next->deselect();
                next->setCursorPosition(0);
                return true;
            }
            break;
        default: break;
    }
    return false;
}

void Ipv4AddressControl::layoutFields() {
    QRect inner = contentsRect();
    int dotWidth = std::max(3, fontMetrics().horizontalAdvance(QLatin1Char('.')) + 2);
    int fieldWidth = std::max(1, (inner.width() - 3 * dotWidth) / 4);
    int x = inner.x();
    for (int i = 0; i < 4; ++i) {
        int width = i == 3 ? inner.right() + 1 - x : fieldWidth;
        fields_[static_cast<size_t>(i)]->setGeometry(x, inner.y(), std::max(1, width), inner.height());
        x += width;
        if (i < 3) {
            dots_[static_cast<size_t>(i)]->setGeometry(x, inner.y(), dotWidth, inner.height());
            x += dotWidth;
        }
    }
}

void Ipv4AddressControl::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    layoutFields();
}

void Ipv4AddressControl::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange) layoutFields();
}

// ---------------------------------------------------------------------------
// SegmentedProgressBar

namespace {
constexpr int kBlockGap = 2;  // comctl32's LED_GAP
}

SegmentedProgressBar::SegmentedProgressBar(QWidget* parent, bool smooth, bool border)
    : QWidget(parent), smooth_(smooth), border_(border) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SegmentedProgressBar::setState(int low, int high, int position) {
    if (low == low_ && high == high_ && position == position_) return;
    int before = filledBlocks();
    low_ = low;
    high_ = high;
    position_ = position;
    if (smooth_ || filledBlocks() != before) update();
}

QRect SegmentedProgressBar::innerRect() const {
    int inset = border_ ? 2 : 1;
    return rect().adjusted(inset, inset, -inset, -inset);
}

int SegmentedProgressBar::blockWidth() const { return std::max(1, innerRect().height() * 2 / 3); }

static int barExtent(int width, int low, int high, int position) {
    if (high <= low || width <= 0) return 0;
    long long extent = static_cast<long long>(width) * (std::clamp(position, low, high) - low) / (high - low);
    return static_cast<int>(extent);
}

int SegmentedProgressBar::filledBlocks() const {
    QRect inner = innerRect();
    int extent = barExtent(inner.width(), low_, high_, position_);
    if (smooth_) return extent;
    int step = blockWidth() + kBlockGap;
    return (extent + step - 1) / step;
}

void SegmentedProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (border_) qDrawShadeRect(&painter, rect(), palette(), true, 1);
    QRect inner = innerRect();
    QColor colour = palette().color(QPalette::Highlight);
    int extent = barExtent(inner.width(), low_, high_, position_);
    if (smooth_) {
        painter.fillRect(QRect(inner.x(), inner.y(), extent, inner.height()), colour);
        return;
    }
    int width = blockWidth();
    for (int x = inner.x(); x < inner.x() + extent; x += width + kBlockGap)
        painter.fillRect(QRect(x, inner.y(), std::min(width, inner.right() + 1 - x), inner.height()), colour);
}

}  // namespace orb::dialogs::qt
