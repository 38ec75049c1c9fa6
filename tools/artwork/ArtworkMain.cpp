// pellaro-artwork <folder/>: writes the transport strip's six pictures and their @2x versions.
#include "StripArtwork.h"

#include <QCoreApplication>
#include <QDir>
#include <QImageWriter>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // raster drawing only: no window system needed
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: pellaro-artwork <output folder>\n");
        return 2;
    }
    QString folder = args.at(1);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "pellaro-artwork: cannot create folder %s\n", qPrintable(folder));
        return 1;
    }

    for (bool withRecord : {false, true}) {
        for (StripLook look : {StripLook::Normal, StripLook::Over, StripLook::Click}) {
            for (int scale : {1, 2}) {
                const QString path = folder + StripPictureName(look, withRecord, scale);
                QImageWriter writer(path, "png");
                if (!writer.write(DrawStripPicture(look, withRecord, scale))) {
                    std::fprintf(stderr, "pellaro-artwork: cannot write %s: %s\n", qPrintable(path),
                                 qPrintable(writer.errorString()));
                    return 1;
                }
            }
        }
    }
    return 0;
}
