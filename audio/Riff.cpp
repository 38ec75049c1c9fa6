#include "Riff.h"

#include <cerrno>
#include <cstring>

namespace {
const std::uint32_t kRiff = TRiffFile::FourCC("RIFF");
const std::uint32_t kList = TRiffFile::FourCC("LIST");
} // namespace

TRiffFile::~TRiffFile()
{
    Close();
}

std::uint32_t TRiffFile::FourCC(const char* text)
{
    std::uint32_t v = 0;
    bool ended = false;
    for (int i = 0; i < 4; ++i) {
        unsigned char c = ' ';
        if (!ended && text[i] != '\0')
            c = static_cast<unsigned char>(text[i]);
        else
            ended = true;
        v |= static_cast<std::uint32_t>(c) << (8 * i);
    }
    return v;
}

MMRESULT TRiffFile::Open(const QString& path, Mode mode)
{
    Close();
    m_mode = mode;
    m_file.setFileName(path);
    const QIODevice::OpenMode how =
        mode == Mode::Read ? QIODevice::ReadOnly : (QIODevice::ReadWrite | QIODevice::Truncate);
    if (!m_file.open(how)) {
        m_openError = m_file.errorString();
        return m_file.error() == QFileDevice::OpenError && !QFile::exists(path) ? MMIOERR::FileNotFound
                                                                                : MMIOERR::CannotOpen;
    }
    m_openError.clear();
    m_writeError.clear();
    return MMSYSERR::NoError;
}

MMRESULT TRiffFile::Close()
{
    if (!m_file.isOpen())
        return MMSYSERR::NoError;
    errno = 0;
    const bool ok = m_mode == Mode::Read || m_file.flush();
    if (!ok)
        NoteWriteError(errno);
    m_file.close();
    return ok ? MMSYSERR::NoError : MMIOERR::CannotClose;
}

bool TRiffFile::ReadU32(std::uint32_t& v)
{
    unsigned char b[4];
    if (m_file.read(reinterpret_cast<char*>(b), 4) != 4)
        return false;
    v = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return true;
}

bool TRiffFile::WriteU32(std::uint32_t v)
{
    const char b[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
    errno = 0;
    if (m_file.write(b, 4) == 4)
        return true;
    NoteWriteError(errno);
    return false;
}

void TRiffFile::NoteWriteError(int systemError)
{
    m_writeError = systemError != 0 ? QString::fromLocal8Bit(std::strerror(systemError)) : m_file.errorString();
}

MMRESULT TRiffFile::Descend(tRiffChunk& ck, const tRiffChunk* parent, Find how)
{
    if (!m_file.isOpen())
        return MMSYSERR::InvalHandle;
    const qint64 fileEnd = m_file.size();
    qint64 end = fileEnd;
    if (parent) {
        const qint64 parentEnd = static_cast<qint64>(parent->dwDataOffset) + parent->cksize;
        if (parentEnd < end)
            end = parentEnd;
    }
    for (;;) {
        const qint64 at = m_file.pos();
        if (at + 8 > end)
            return MMIOERR::ChunkNotFound;
        tRiffChunk found;
        if (!ReadU32(found.ckid) || !ReadU32(found.cksize))
            return MMIOERR::ChunkNotFound;
        found.dwDataOffset = static_cast<std::uint32_t>(at + 8);
        const bool isForm = found.ckid == kRiff || found.ckid == kList;
        if (isForm) {
            if (at + 12 > end || !ReadU32(found.fccType))
                return MMIOERR::ChunkNotFound;
        }
        bool match = false;
        switch (how) {
        case Find::Next:
            match = true;
            break;
        case Find::Riff:
            match = found.ckid == kRiff && (ck.fccType == 0 || ck.fccType == found.fccType);
            break;
        case Find::List:
            match = found.ckid == kList && (ck.fccType == 0 || ck.fccType == found.fccType);
            break;
        case Find::Chunk:
            match = found.ckid == ck.ckid;
            break;
        }
        if (match) {
            ck = found;
            return MMSYSERR::NoError;
        }
        // Skip the contents and the pad byte after an odd size.
        const qint64 next = at + 8 + static_cast<qint64>(found.cksize) + (found.cksize & 1);
        if (next >= end || !m_file.seek(next))
            return MMIOERR::ChunkNotFound;
    }
}

MMRESULT TRiffFile::Ascend(tRiffChunk& ck)
{
    if (!m_file.isOpen())
        return MMSYSERR::InvalHandle;
    if (ck.dirty) {
        const qint64 end = m_file.pos();
        const qint64 size = end - ck.dwDataOffset;
        if (size < 0 || size > 0xFFFFFFFFLL)
            return MMIOERR::CannotWrite;
        ck.cksize = static_cast<std::uint32_t>(size);
        // A seek writes out what is buffered, so its failure is a failed write too.
        errno = 0;
        if (!m_file.seek(static_cast<qint64>(ck.dwDataOffset) - 4)) {
            NoteWriteError(errno);
            return MMIOERR::CannotWrite;
        }
        if (!WriteU32(ck.cksize))
            return MMIOERR::CannotWrite;
        if (!m_file.seek(end))
            return MMIOERR::CannotSeek;
        if ((ck.cksize & 1) && Write("\0", 1) != 1)
            return MMIOERR::CannotWrite;
        ck.dirty = false;
        return MMSYSERR::NoError;
    }
    const qint64 next = static_cast<qint64>(ck.dwDataOffset) + ck.cksize + (ck.cksize & 1);
    // Seeking past the end of a damaged file is allowed; the next search then fails.
    if (!m_file.seek(next))
        return MMIOERR::CannotSeek;
    return MMSYSERR::NoError;
}

MMRESULT TRiffFile::CreateChunk(tRiffChunk& ck, Create how)
{
    if (!m_file.isOpen() || m_mode != Mode::Create)
        return MMSYSERR::InvalHandle;
    const qint64 at = m_file.pos();
    if (how == Create::Riff)
        ck.ckid = kRiff;
    else if (how == Create::List)
        ck.ckid = kList;
    if (!WriteU32(ck.ckid) || !WriteU32(0))
        return MMIOERR::CannotWrite;
    ck.cksize = 0;
    ck.dwDataOffset = static_cast<std::uint32_t>(at + 8);
    if (how != Create::Chunk && !WriteU32(ck.fccType))
        return MMIOERR::CannotWrite;
    ck.dirty = true;
    return MMSYSERR::NoError;
}

qint64 TRiffFile::Read(void* data, qint64 size)
{
    if (!m_file.isOpen() || size < 0)
        return -1;
    return m_file.read(static_cast<char*>(data), size);
}

qint64 TRiffFile::Write(const void* data, qint64 size)
{
    if (!m_file.isOpen() || m_mode != Mode::Create || size < 0)
        return -1;
    errno = 0;
    const qint64 written = m_file.write(static_cast<const char*>(data), size);
    if (written != size)
        NoteWriteError(errno);
    return written;
}

qint64 TRiffFile::Seek(qint64 offset, Origin origin)
{
    if (!m_file.isOpen())
        return -1;
    qint64 target = offset;
    if (origin == Origin::Cur)
        target += m_file.pos();
    else if (origin == Origin::End)
        target += m_file.size();
    if (target < 0 || !m_file.seek(target))
        return -1;
    return target;
}
