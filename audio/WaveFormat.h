#pragma once
// Audio format records and result codes shared by the sound-services layer.
//
// tWAVEFORMATEX is the packed 18-byte little-endian format record stored in the
// "fmt " chunk of a wave file. Use RecomputeFormat() after changing channels, rate
// or bits; ReadFormat()/WriteFormat() convert to and from file bytes, so code never
// depends on the host's struct layout.

#include <QByteArray>

#include <cstdint>
#include <cstring>

using MMRESULT = std::uint32_t;

// Result codes of the device, conversion and file services (values as the
// platform sound API numbers them, so messages show the familiar numbers).
namespace MMSYSERR {
inline constexpr MMRESULT NoError = 0;
inline constexpr MMRESULT Error = 1;
inline constexpr MMRESULT BadDeviceId = 2;
inline constexpr MMRESULT NotEnabled = 3;
inline constexpr MMRESULT Allocated = 4;
inline constexpr MMRESULT InvalHandle = 5;
inline constexpr MMRESULT NoDriver = 6;
inline constexpr MMRESULT NoMem = 7;
inline constexpr MMRESULT NotSupported = 8;
inline constexpr MMRESULT BadErrNum = 9;
inline constexpr MMRESULT InvalFlag = 10;
inline constexpr MMRESULT InvalParam = 11;
} // namespace MMSYSERR
namespace WAVERR {
inline constexpr MMRESULT BadFormat = 32;
inline constexpr MMRESULT StillPlaying = 33;
inline constexpr MMRESULT Unprepared = 34;
} // namespace WAVERR
namespace ACMERR {
inline constexpr MMRESULT NotPossible = 512;
inline constexpr MMRESULT Busy = 513;
inline constexpr MMRESULT Unprepared = 514;
} // namespace ACMERR

namespace WaveTag {
inline constexpr std::uint16_t Pcm = 1;
inline constexpr std::uint16_t ALaw = 6;
inline constexpr std::uint16_t MuLaw = 7;
} // namespace WaveTag

// Size of the format record in a file and of the format copy a player keeps.
inline constexpr int kWaveFormatExBytes = 18;
inline constexpr int kWaveFormatOutBytes = 128;

#pragma pack(push, 1)
struct tWAVEFORMATEX
{
    std::uint16_t wFormatTag = WaveTag::Pcm;
    std::uint16_t nChannels = 1;
    std::uint32_t nSamplesPerSec = 8000;
    std::uint32_t nAvgBytesPerSec = 16000;
    std::uint16_t nBlockAlign = 2;
    std::uint16_t wBitsPerSample = 16;
    std::uint16_t cbSize = 0;

    bool operator==(const tWAVEFORMATEX& o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
};
#pragma pack(pop)
static_assert(sizeof(tWAVEFORMATEX) == kWaveFormatExBytes);

// A format record followed by its extra bytes and zeros, 128 bytes in all.
struct tWaveFormatOut
{
    unsigned char bytes[kWaveFormatOutBytes] = {};
};

// block align := channels × bits ÷ 8; bytes per second := block align × rate.
inline void RecomputeFormat(tWAVEFORMATEX& f)
{
    f.nBlockAlign = static_cast<std::uint16_t>(static_cast<std::uint32_t>(f.nChannels) * f.wBitsPerSample / 8);
    f.nAvgBytesPerSec = static_cast<std::uint32_t>(f.nBlockAlign) * f.nSamplesPerSec;
}

inline tWAVEFORMATEX PcmFormat(std::uint32_t rate, std::uint16_t channels = 1, std::uint16_t bits = 16)
{
    tWAVEFORMATEX f;
    f.wFormatTag = WaveTag::Pcm;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.cbSize = 0;
    RecomputeFormat(f);
    return f;
}

inline tWAVEFORMATEX G711Format(std::uint16_t tag, std::uint32_t rate = 8000)
{
    tWAVEFORMATEX f;
    f.wFormatTag = tag;
    f.nChannels = 1;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = 8;
    f.cbSize = 0;
    RecomputeFormat(f);
    return f;
}

// Reads the record from up to 18 little-endian bytes (missing bytes read as zero).
inline tWAVEFORMATEX ReadFormat(const unsigned char* p, int size)
{
    unsigned char b[kWaveFormatExBytes] = {};
    std::memcpy(b, p, static_cast<size_t>(size < kWaveFormatExBytes ? (size > 0 ? size : 0) : kWaveFormatExBytes));
    auto u16 = [&](int o) { return static_cast<std::uint16_t>(b[o] | (b[o + 1] << 8)); };
    auto u32 = [&](int o) {
        return static_cast<std::uint32_t>(b[o]) | (static_cast<std::uint32_t>(b[o + 1]) << 8) |
               (static_cast<std::uint32_t>(b[o + 2]) << 16) | (static_cast<std::uint32_t>(b[o + 3]) << 24);
    };
    tWAVEFORMATEX f;
    f.wFormatTag = u16(0);
    f.nChannels = u16(2);
    f.nSamplesPerSec = u32(4);
    f.nAvgBytesPerSec = u32(8);
    f.nBlockAlign = u16(12);
    f.wBitsPerSample = u16(14);
    f.cbSize = u16(16);
    return f;
}

inline QByteArray WriteFormat(const tWAVEFORMATEX& f)
{
    QByteArray b(kWaveFormatExBytes, '\0');
    auto put16 = [&](int o, std::uint16_t v) {
        b[o] = static_cast<char>(v & 0xFF);
        b[o + 1] = static_cast<char>(v >> 8);
    };
    auto put32 = [&](int o, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[o + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put16(0, f.wFormatTag);
    put16(2, f.nChannels);
    put32(4, f.nSamplesPerSec);
    put32(8, f.nAvgBytesPerSec);
    put16(12, f.nBlockAlign);
    put16(14, f.wBitsPerSample);
    put16(16, f.cbSize);
    return b;
}

inline tWAVEFORMATEX FormatOf(const tWaveFormatOut& f)
{
    return ReadFormat(f.bytes, kWaveFormatExBytes);
}

inline tWaveFormatOut FormatOut(const tWAVEFORMATEX& f)
{
    tWaveFormatOut o;
    const QByteArray b = WriteFormat(f);
    std::memcpy(o.bytes, b.constData(), kWaveFormatExBytes);
    return o;
}
