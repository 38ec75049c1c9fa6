#include "NativeFs.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace NativeFs {

QByteArray Join(const QString& folder, const QByteArray& name)
{
    return QFile::encodeName(folder) + name;
}

QString Display(const QString& folder, const QByteArray& name)
{
    return folder + QString::fromLatin1(name);
}

QList<QByteArray> PlainFiles(const QString& folder, bool withHidden)
{
    QList<QByteArray> names;
    const QByteArray native = QFile::encodeName(folder);
    DIR* dir = ::opendir(native.isEmpty() ? "." : native.constData());
    if (!dir)
        return names;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        if (!withHidden && name.startsWith('.'))
            continue;
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st {};
            const QByteArray full = native + name;
            regular = ::stat(full.constData(), &st) == 0 && S_ISREG(st.st_mode);
        }
        if (regular)
            names.append(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const QByteArray& path)
{
    struct stat st {};
    return ::stat(path.constData(), &st) == 0;
}

bool Remove(const QByteArray& path)
{
    return ::unlink(path.constData()) == 0;
}

bool Read(const QByteArray& path, QByteArray& data, int& errnum)
{
    data.clear();
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        errnum = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        data.reserve(static_cast<qsizetype>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            data.append(buf, n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            errnum = errno; // e.g. a directory: it opens but cannot be read
            ::close(fd);
            data.clear();
            return false;
        }
    }
    ::close(fd);
    return true;
}

bool Write(const QByteArray& path, const QByteArray& data, int& errnum, bool& opened)
{
    opened = false;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        errnum = errno;
        return false;
    }
    opened = true;
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            errnum = errno;
            ::close(fd);
            return false;
        }
        p += n;
        left -= n;
    }
    if (::close(fd) != 0) {
        errnum = errno;
        return false;
    }
    return true;
}

} // namespace NativeFs
