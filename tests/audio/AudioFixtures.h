#pragma once
// Wave files for the audio tests, built byte by byte.

#include "G711.h"
#include "WaveFormat.h"

#include <QByteArray>
#include <QtEndian>

#include <cmath>
#include <cstdint>

namespace Fixture {

inline QByteArray U32(std::uint32_t v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

inline QByteArray Chunk(const char* id, const QByteArray& body, std::int64_t declared = -1)
{
    QByteArray c = QByteArray(id, 4) + U32(static_cast<std::uint32_t>(declared < 0 ? body.size() : declared)) + body;
    if (body.size() & 1)
        c.append('\0');
    return c;
}

inline QByteArray Riff(const QByteArray& chunks)
{
    return QByteArray("RIFF") + U32(static_cast<std::uint32_t>(chunks.size() + 4)) + "WAVE" + chunks;
}

// The message-file layout: RIFF, fmt (18 bytes), fact (0), data.
inline QByteArray MessageFile(std::uint16_t tag, const QByteArray& codes)
{
    return Riff(Chunk("fmt ", WriteFormat(G711Format(tag))) + Chunk("fact", U32(0)) + Chunk("data", codes));
}

inline QByteArray WaveFile(const tWAVEFORMATEX& f, const QByteArray& data)
{
    return Riff(Chunk("fmt ", WriteFormat(f)) + Chunk("data", data));
}

inline std::int16_t ToneSample(double hz, std::uint32_t rate, int i, double level = 12000.0)
{
    return static_cast<std::int16_t>(level * std::sin(2 * M_PI * hz * i / rate));
}

// n G.711 codes of a tone.
inline QByteArray G711Tone(std::uint16_t tag, int n, double hz = 1000.0)
{
    QByteArray codes(n, '\0');
    for (int i = 0; i < n; ++i) {
        const std::int16_t s = ToneSample(hz, 8000, i);
        codes[i] = static_cast<char>(tag == WaveTag::ALaw ? G711::LinearToALaw(s) : G711::LinearToMuLaw(s));
    }
    return codes;
}

inline QByteArray Decode(std::uint16_t tag, const QByteArray& codes)
{
    QByteArray pcm(codes.size() * 2, '\0');
    for (int i = 0; i < codes.size(); ++i) {
        const auto c = static_cast<std::uint8_t>(codes[i]);
        const std::int16_t s = tag == WaveTag::ALaw ? G711::ALawToLinear(c) : G711::MuLawToLinear(c);
        qToLittleEndian(s, pcm.data() + 2 * i);
    }
    return pcm;
}

inline std::int16_t SampleAt(const QByteArray& pcm, int index)
{
    return qFromLittleEndian<std::int16_t>(pcm.constData() + 2 * index);
}

} // namespace Fixture
