#include "dialogs/qt/qt_text.h"

#include <QByteArray>

namespace orb::dialogs::qt {

QString fromAnsi(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toAnsi(const QString& text) {
    QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString multilineText(const std::string& text) {
    QString shown = fromAnsi(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

}  // namespace orb::dialogs::qt
