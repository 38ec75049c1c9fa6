#pragma once
// Conversion streams between the formats the player and the encoder need:
//   G.711 a-law / mu-law (mono, any rate) -> 16-bit PCM at the same rate (decode)
//   16-bit PCM mono -> G.711 at the same rate (encode)
//   PCM -> the identical PCM format (copy)
//   16-bit PCM -> 16-bit PCM at another rate and/or channel count (libsoxr),
//   optionally followed by G.711 encoding (so 22050 Hz PCM -> 8 kHz G.711 works)
//
//   std::unique_ptr<TAcmStream> s;
//   if (TAcmStream::Open(s, src, dst, 0) != 0) ...;                 // AcmOpen::Query only tests
//   s->Size(inBytes, outBytes, AcmSize::OutputForInput);
//   tAcmStreamHeader h{...pbSrc, cbSrcLength, pbDst, cbDstLength...};
//   s->PrepareHeader(h); s->Convert(h, AcmConvert::Start | AcmConvert::BlockAlign);
//   ... h.cbSrcLengthUsed, h.cbDstLengthUsed ...; s->UnprepareHeader(h); s.reset();
// Start resets the stream's state; End flushes what a resampler still holds.
// A header must be prepared before Convert (else ACMERR::Unprepared). Formats
// with zero channels, rate, block align or bytes per second are refused.

#include "WaveFormat.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <memory>

namespace AcmOpen {
inline constexpr std::uint32_t Query = 0x1;
inline constexpr std::uint32_t NonRealtime = 0x4;
} // namespace AcmOpen
namespace AcmSize {
inline constexpr std::uint32_t OutputForInput = 0x0; // output bytes produced by an input
inline constexpr std::uint32_t InputForOutput = 0x1; // input bytes needed for an output
} // namespace AcmSize
namespace AcmConvert {
inline constexpr std::uint32_t BlockAlign = 0x4;
inline constexpr std::uint32_t Start = 0x10;
inline constexpr std::uint32_t End = 0x20;
} // namespace AcmConvert
namespace AcmStatus {
inline constexpr std::uint32_t Done = 0x10000;
inline constexpr std::uint32_t Prepared = 0x20000;
} // namespace AcmStatus

struct tAcmStreamHeader
{
    std::uint32_t fdwStatus = 0;
    std::uint8_t* pbSrc = nullptr;
    std::uint32_t cbSrcLength = 0;
    std::uint32_t cbSrcLengthUsed = 0;
    std::uint8_t* pbDst = nullptr;
    std::uint32_t cbDstLength = 0;
    std::uint32_t cbDstLengthUsed = 0;
};

class TAcmStream
{
public:
    ~TAcmStream();
    TAcmStream(const TAcmStream&) = delete;
    TAcmStream& operator=(const TAcmStream&) = delete;

    // Opens a stream from src to dst; with AcmOpen::Query only answers whether it can.
    // Returns 0, ACMERR::NotPossible for an unsupported pair, MMSYSERR::InvalParam for
    // an inconsistent format.
    static MMRESULT Open(std::unique_ptr<TAcmStream>& stream, const tWAVEFORMATEX& src, const tWAVEFORMATEX& dst,
                         std::uint32_t flags);

    // Whole source / destination blocks; a result of 0 bytes is refused (InvalParam).
    MMRESULT Size(std::uint32_t bytes, std::uint32_t& result, std::uint32_t flag) const;
    MMRESULT PrepareHeader(tAcmStreamHeader& h);
    MMRESULT UnprepareHeader(tAcmStreamHeader& h);
    MMRESULT Convert(tAcmStreamHeader& h, std::uint32_t flags);

    // Test seam: asked before every conversion of every stream (from whichever thread
    // converts); a result other than 0 fails that conversion with it, the output
    // untouched. An empty function removes it.
    using ConvertFault = std::function<MMRESULT(const TAcmStream& stream, const tAcmStreamHeader& h)>;
    static void SetConvertFault(ConvertFault fault);

    const tWAVEFORMATEX& Source() const { return m_src; }
    const tWAVEFORMATEX& Target() const { return m_dst; }

private:
    enum class Kind { Copy, Encode, Decode, Resample };
    struct Resampler;

    TAcmStream(Kind kind, const tWAVEFORMATEX& src, const tWAVEFORMATEX& dst);
    std::uint32_t ResampleConvert(const std::uint8_t* in, std::uint32_t inBytes, std::uint8_t* out,
                                  std::uint32_t outCap, bool start, bool end);

    Kind m_kind;
    tWAVEFORMATEX m_src;
    tWAVEFORMATEX m_dst;
    std::uint16_t m_encodeTag = 0; // Resample: G.711 tag applied after resampling, or 0
    std::unique_ptr<Resampler> m_rs;
};
