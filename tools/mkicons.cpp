// Draws the application icon into PNG files for the desktop's icon theme at build time,
// from the same drawing as the window icon.
// Usage: mkicons <folder> <size>...   writes <folder>/<size>x<size>/apps/brimwick.png
#include <QDir>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

#include "app/CommandIcons.h"

int main(int argc, char** argv) {
    // No display is needed to paint into an image.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: mkicons <folder> <size>...\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString folder =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (size <= 0 || size > 1024 || !QDir().mkpath(folder) ||
            !applicationIconImage(size).save(folder + QStringLiteral("/brimwick.png"))) {
            std::fprintf(stderr, "mkicons: cannot write the %s-pixel icon\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
