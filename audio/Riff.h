#pragma once
// RIFF chunk file access: find the RIFF form, find a chunk by identifier inside a
// parent, create chunks whose sizes are fixed when they are left, read, write, seek.
//
// Reading a wave file:
//   TRiffFile f; f.Open(path, TRiffFile::Mode::Read);
//   tRiffChunk riff; riff.fccType = TRiffFile::FourCC("WAVE");
//   f.Descend(riff, nullptr, TRiffFile::Find::Riff);
//   tRiffChunk fmt; fmt.ckid = TRiffFile::FourCC("fmt");
//   f.Descend(fmt, &riff, TRiffFile::Find::Chunk);   // now positioned at fmt's contents
//   f.Read(buf, fmt.cksize); f.Ascend(fmt);           // past fmt and its pad byte
// Writing: CreateChunk(riff, Create::Riff), CreateChunk(chunk), Write(...), Ascend(chunk)
// (stores the true size and a pad byte after odd sizes), Ascend(riff), Close().
// Every chunk header and size is checked against the end of the file and of its
// parent, so damaged files end a search with ChunkNotFound instead of wandering.

#include "WaveFormat.h"

#include <QFile>
#include <QString>

#include <cstdint>

// Result codes of the file service.
namespace MMIOERR {
inline constexpr MMRESULT FileNotFound = 257;
inline constexpr MMRESULT OutOfMemory = 258;
inline constexpr MMRESULT CannotOpen = 259;
inline constexpr MMRESULT CannotClose = 260;
inline constexpr MMRESULT CannotRead = 261;
inline constexpr MMRESULT CannotWrite = 262;
inline constexpr MMRESULT CannotSeek = 263;
inline constexpr MMRESULT CannotExpand = 264;
inline constexpr MMRESULT ChunkNotFound = 265;
} // namespace MMIOERR

struct tRiffChunk
{
    std::uint32_t ckid = 0;         // chunk identifier
    std::uint32_t cksize = 0;       // size of the contents (for RIFF/LIST: including the form type)
    std::uint32_t fccType = 0;      // form type of RIFF and LIST chunks
    std::uint32_t dwDataOffset = 0; // file offset of the contents (for RIFF/LIST: of the form type)
    bool dirty = false;             // created by CreateChunk; Ascend writes its size
};

class TRiffFile
{
public:
    enum class Mode { Read, Create };
    enum class Find { Next, Riff, List, Chunk };
    enum class Create { Chunk, Riff, List };

    TRiffFile() = default;
    ~TRiffFile();
    TRiffFile(const TRiffFile&) = delete;
    TRiffFile& operator=(const TRiffFile&) = delete;

    // Read: an existing file. Create: a new, empty file opened read-write.
    MMRESULT Open(const QString& path, Mode mode);
    bool IsOpen() const { return m_file.isOpen(); }
    // The error text of the last failed open, as the file system reports it.
    QString OpenErrorText() const { return m_openError; }
    // The file system's text for the last failed read, write or seek.
    QString ErrorText() const { return m_writeError.isEmpty() ? m_file.errorString() : m_writeError; }

    // Find::Riff: the RIFF form (ck.fccType, 0 = any); Find::List: a LIST of ck.fccType;
    // Find::Chunk: the chunk ck.ckid; Find::Next: whatever chunk comes next.
    // Searches from the current position up to the end of parent (or the file).
    // On success the file is positioned at the contents (after the form type).
    MMRESULT Descend(tRiffChunk& ck, const tRiffChunk* parent, Find how);
    // Leaves the chunk: past its contents and pad byte; for a created chunk the
    // size is written first and a pad byte added after an odd size.
    MMRESULT Ascend(tRiffChunk& ck);
    // Writes a chunk header (size 0 for now) at the current position.
    MMRESULT CreateChunk(tRiffChunk& ck, Create how);

    qint64 Read(void* data, qint64 size); // bytes read, 0 at the end, -1 on error
    qint64 Write(const void* data, qint64 size);
    enum class Origin { Set, Cur, End };
    qint64 Seek(qint64 offset, Origin origin = Origin::Set); // new position or -1
    qint64 Pos() const { return m_file.pos(); }
    qint64 Size() const { return m_file.isOpen() ? m_file.size() : -1; }
    MMRESULT Close();

    // "fmt" -> 'f','m','t',' ' (padded with spaces to four characters).
    static std::uint32_t FourCC(const char* text);

private:
    bool ReadU32(std::uint32_t& v);
    bool WriteU32(std::uint32_t v);

    QFile m_file;
    QString m_openError;
    QString m_writeError; // the system's reason for the last failed write or flush

    // Keeps the reason of a write that just failed (QFile may only say "Unknown error").
    void NoteWriteError(int systemError);
    Mode m_mode = Mode::Read;
};
