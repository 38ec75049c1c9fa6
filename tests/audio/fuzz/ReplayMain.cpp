// Replays a fuzz corpus through the fuzz target: every file named on the command line,
// or every file in the folders named there. Used by ctest with the normal build.
#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int count = 0;
    for (const QString& arg : QCoreApplication::arguments().mid(1)) {
        QStringList files;
        if (QFileInfo(arg).isDir()) {
            QDirIterator it(arg, QDir::Files);
            while (it.hasNext())
                files << it.next();
        } else {
            files << arg;
        }
        files.sort();
        for (const QString& f : files) {
            QFile in(f);
            if (!in.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(f));
                return 1;
            }
            const QByteArray bytes = in.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                   static_cast<std::size_t>(bytes.size()));
            ++count;
        }
    }
    std::printf("replayed %d inputs\n", count);
    return count > 0 ? 0 : 1;
}
