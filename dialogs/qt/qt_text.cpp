#include "dialogs/qt/qt_text.h"

#include <QByteArray>

namespace orb::dialogs::qt {

QString fromModelText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toModelText(const QString& text) {
    QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString multilineText(const std::string& text) {
    QString shown = fromModelText(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

}  // namespace orb::dialogs::qt
