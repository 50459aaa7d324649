// The model's texts as Qt's strings and back. The model holds UTF-8, as the
// terminal view and unattended mode do, so a password's bytes are the same
// whichever front-end took it.
#pragma once

#include <QString>

#include <string>

namespace orb::dialogs::qt {

QString fromModelText(const std::string& text);
std::string toModelText(const QString& text);
// Edit controls break lines at \r\n.
QString multilineText(const std::string& text);

}  // namespace orb::dialogs::qt
