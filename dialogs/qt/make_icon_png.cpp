// Build step: writes the program's icon (resources/orb.ico, as embedded in the
// program) as a PNG for the desktop, at its own 32 x 32 or drawn larger:
//   orb_icon_png OUTPUT.png [SIZE]
// Multiples of 32 keep the pixels square and sharp (each one becomes a block);
// other sizes are smoothed.
#include <QCoreApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>

#include "dialogs/qt/qt_look.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [SIZE]\n", argv[0]);
        return 2;
    }
    const int size = argc == 3 ? std::atoi(argv[2]) : 32;
    if (size < 16 || size > 512) {
        std::fprintf(stderr, "orb_icon_png: SIZE must be 16 to 512, not %s\n", argv[2]);
        return 2;
    }
    QCoreApplication application(argc, argv);  // image plugins (ICO) without a platform
    QImage icon = orb::dialogs::qt::programIconImage();
    if (icon.isNull() || icon.width() != 32 || icon.height() != 32) {
        std::fprintf(stderr, "orb_icon_png: the embedded icon cannot be decoded as a 32 x 32 image\n");
        return 1;
    }
    if (size != 32) {
        const Qt::TransformationMode mode = size % 32 == 0 ? Qt::FastTransformation : Qt::SmoothTransformation;
        icon = icon.convertToFormat(QImage::Format_ARGB32).scaled(size, size, Qt::IgnoreAspectRatio, mode);
    }
    if (!icon.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "orb_icon_png: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
