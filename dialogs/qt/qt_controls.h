// The two common controls that Qt has no widget for, drawn the way Windows
// draws them: the IPv4 address control (SysIPAddress32) and the segmented
// progress bar (msctls_progress32 without PBS_SMOOTH).
#pragma once

#include <QFrame>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QLabel;
class QLineEdit;

namespace orb::dialogs::qt {

// Four numeric fields of 0..255 separated by dots. "." (or a space) moves to
// the next field once the current one holds a digit, a third digit moves on by
// itself, Backspace and the arrow keys cross the field boundaries, values above
// 255 become 255. Its text is the dotted address with blank fields read as 0,
// and "" while every field is blank (which the dialog manager reads as
// "0.0.0.0", as Windows does).
class Ipv4AddressControl : public QFrame {
public:
    explicit Ipv4AddressControl(QWidget* parent);

    QString addressText() const;
    // Shows a text from the model ("a.b.c.d", or "" for four blank fields)
    // without reporting it as an edit.
    void showAddressText(const QString& text);
    // Called after every edit by the user, with addressText().
    void setEditedHandler(std::function<void(const QString&)> handler) { edited_ = std::move(handler); }

    QLineEdit* field(int index) const { return fields_[static_cast<size_t>(index)]; }
    // Focus into the control: the first field, its text selected.
    void focusFirstField(Qt::FocusReason reason);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int indexOf(QObject* field) const;
    void fieldEdited(int index);
    void moveTo(int index, bool cursorAtEnd);
    void layoutFields();

    std::array<QLineEdit*, 4> fields_{};
    std::array<QLabel*, 3> dots_{};
    std::function<void(const QString&)> edited_;
};

// A horizontal bar of blocks ("LEDs"), as comctl32 draws a progress bar without
// PBS_SMOOTH: block width 2/3 of the inner height, 2-pixel gaps, no text.
class SegmentedProgressBar : public QWidget {
public:
    SegmentedProgressBar(QWidget* parent, bool smooth, bool border);

    void setState(int low, int high, int position);
    int low() const { return low_; }
    int high() const { return high_; }
    int position() const { return position_; }
    // How many blocks the bar shows now.
    int filledBlocks() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect innerRect() const;
    int blockWidth() const;

    bool smooth_;
    bool border_;
    int low_ = 0;
    int high_ = 100;
    int position_ = 0;
};

}  // namespace orb::dialogs::qt
