// Build step: writes the program's icon (resources/orb.ico, as embedded in the
// program) as a PNG for the desktop: orb_icon_png OUTPUT.png
#include <QCoreApplication>
#include <QImage>

#include <cstdio>

#include "platform/dialogs/qt/qt_look.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    QCoreApplication application(argc, argv);  // image plugins (ICO) without a platform
    QImage icon = orb::dialogs::qt::programIconImage();
    if (icon.isNull() || icon.width() != 32 || icon.height() != 32) {
        std::fprintf(stderr, "orb_icon_png: the embedded icon cannot be decoded as a 32 x 32 image\n");
        return 1;
    }
    if (!icon.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "orb_icon_png: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
