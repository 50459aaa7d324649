#include "dialogs/qt/qt_look.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPalette>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleFactory>

#include <cstddef>

namespace orb::dialogs::qt {

extern const unsigned char kProgramIconBytes[];
extern const std::size_t kProgramIconSize;

namespace {

// Where Debian's fonts-wine puts the font (dpkg -L fonts-wine), and where
// other packagings have been seen to.
const char* const kMsSansSerifFiles[] = {
    "/usr/share/wine/fonts/ms_sans_serif.ttf",
    "/usr/share/fonts/truetype/wine/ms_sans_serif.ttf",
    "/usr/lib/wine/fonts/ms_sans_serif.ttf",
    "/usr/local/share/wine/fonts/ms_sans_serif.ttf",
};

constexpr int kPointSize = 8;

}  // namespace

void computeBaseUnits(const QFont& font, int* baseX, int* baseY) {
    QFontMetrics metrics(font);
    int width = metrics.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    *baseX = (width / 26 + 1) / 2;
    *baseY = metrics.height();
}

DialogFont loadDialogFont() {
    QStringList files;
    for (const char* path : kMsSansSerifFiles) files << QString::fromLatin1(path);
    return loadDialogFont(files);
}

DialogFont loadDialogFont(const QStringList& msSansSerifFiles) {
    DialogFont result;
    for (const QString& path : msSansSerifFiles) {
        if (!QFile::exists(path)) continue;
        int id = QFontDatabase::addApplicationFont(path);
        if (id < 0) continue;
        QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (families.isEmpty()) continue;
        result.font = QFont(families.first(), kPointSize);
        result.msSansSerif = true;
        result.fileLoaded = path;
        break;
    }
    if (!result.msSansSerif) {
        // A sans font of the system (DejaVu Sans from fonts-dejavu-core on Debian).
        QFont sans(QStringLiteral("Sans Serif"), kPointSize);
        sans.setStyleHint(QFont::SansSerif);
        result.font = QFont(QFontInfo(sans).family(), kPointSize);
    }
    computeBaseUnits(result.font, &result.baseX, &result.baseY);
    return result;
}

QImage programIconImage() {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(kProgramIconBytes),
                                               static_cast<qsizetype>(kProgramIconSize));
    QImage image = QImage::fromData(bytes, "ICO");
    if (!image.isNull()) image = image.convertToFormat(QImage::Format_ARGB32);
    return image;
}

QIcon programIcon() {
    QImage image = programIconImage();
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

namespace {

// The classic edit control masks a password with '*': so do the program's edit
// controls on Windows (it carries no visual-styles manifest) and under Wine.
class ClassicStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

}  // namespace

void applyDialogLook(QApplication& application) {
    QStyle* base = QStyleFactory::create(QStringLiteral("Windows"));
    if (base == nullptr) base = QStyleFactory::create(QStringLiteral("Fusion"));
    if (base != nullptr) {
        QStyle* style = new ClassicStyle(base);  // the proxy owns its base
        QApplication::setStyle(style);
        QPalette palette = style->standardPalette();
        // Windows' classic highlight: the progress blocks and selections.
        palette.setColor(QPalette::Highlight, QColor(0x00, 0x00, 0x80));
        palette.setColor(QPalette::HighlightedText, QColor(0xFF, 0xFF, 0xFF));
        application.setPalette(palette);
    }
}

}  // namespace orb::dialogs::qt
