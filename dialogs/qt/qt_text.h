// The model's texts as Qt's strings and back. All text is single-byte (ANSI);
// Latin-1 is its reading here.
#pragma once

#include <QString>

#include <string>

namespace orb::dialogs::qt {

QString fromAnsi(const std::string& text);
std::string toAnsi(const QString& text);
// Edit controls break lines at \r\n.
QString multilineText(const std::string& text);

}  // namespace orb::dialogs::qt
