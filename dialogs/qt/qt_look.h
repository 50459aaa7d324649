// The look of the Qt front-end: the dialog font and its base units, the
// program's icon, the style. GUI thread only, after QApplication exists.
#pragma once

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QString>
#include <QStringList>

class QApplication;

namespace orb::dialogs::qt {

struct DialogFont {
    QFont font;
    int baseX = 6;
    int baseY = 13;
    bool msSansSerif = false;  // fonts-wine's "MS Sans Serif" was loaded
    QString fileLoaded;        // the .ttf, when one was loaded
};

// "MS Sans Serif" 8 pt from Debian's fonts-wine when it is installed (6 x 13 at
// 96 dpi, as on Windows); otherwise the application's sans font at 8 pt. The
// base units are computed from the chosen font's metrics either way.
DialogFont loadDialogFont();
// The same, trying these font files for "MS Sans Serif" (tests use it).
DialogFont loadDialogFont(const QStringList& msSansSerifFiles);

// Windows' dialog base units for a font: baseX = (width of "a..zA..Z" / 26 + 1) / 2,
// baseY = the font's height, integer arithmetic.
void computeBaseUnits(const QFont& font, int* baseX, int* baseY);

// Group icon 106 (resources/orb.ico, embedded): 32 x 32, null if undecodable.
QImage programIconImage();
QIcon programIcon();

// The classic Windows look that the templates were drawn for: Qt's "Windows"
// style and its palette (Fusion when that style is missing).
void applyDialogLook(QApplication& application);

}  // namespace orb::dialogs::qt
