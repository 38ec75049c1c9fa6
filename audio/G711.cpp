#include "G711.h"

#include <algorithm>
#include <array>

namespace G711 {
namespace {

// Segment end points of the 13-bit (a-law) and 14-bit (mu-law) magnitudes.
constexpr std::array<int, 8> kALawSegEnd{0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
constexpr std::array<int, 8> kMuLawSegEnd{0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
constexpr int kMuBias = 0x84;
constexpr int kMuClip = 8159;

int Segment(int value, const std::array<int, 8>& ends)
{
    for (int i = 0; i < 8; ++i)
        if (value <= ends[static_cast<std::size_t>(i)])
            return i;
    return 8;
}

struct Tables
{
    std::array<std::int16_t, 256> alaw{};
    std::array<std::int16_t, 256> mulaw{};
    Tables()
    {
        for (int c = 0; c < 256; ++c) {
            int a = c ^ 0x55;
            int t = (a & 0x0F) << 4;
            const int seg = (a & 0x70) >> 4;
            if (seg == 0)
                t += 8;
            else if (seg == 1)
                t += 0x108;
            else
                t = (t + 0x108) << (seg - 1);
            alaw[static_cast<std::size_t>(c)] = static_cast<std::int16_t>((a & 0x80) ? t : -t);

            const int u = ~c & 0xFF;
            int m = ((u & 0x0F) << 3) + kMuBias;
            m <<= (u & 0x70) >> 4;
            mulaw[static_cast<std::size_t>(c)] = static_cast<std::int16_t>((u & 0x80) ? (kMuBias - m) : (m - kMuBias));
        }
    }
};

const Tables& Decode()
{
    static const Tables tables;
    return tables;
}

} // namespace

std::uint8_t LinearToALaw(std::int16_t sample)
{
    // Nearest 13-bit value (rounded, not truncated, like sox), clipped at the top.
    int pcm = std::min((sample + 4) >> 3, 4095);
    int mask;
    if (pcm >= 0) {
        mask = 0xD5;
    } else {
        mask = 0x55;
        pcm = -pcm - 1;
    }
    const int seg = Segment(pcm, kALawSegEnd);
    if (seg >= 8)
        return static_cast<std::uint8_t>(0x7F ^ mask);
    int aval = seg << 4;
    aval |= seg < 2 ? (pcm >> 1) & 0x0F : (pcm >> seg) & 0x0F;
    return static_cast<std::uint8_t>(aval ^ mask);
}

std::uint8_t LinearToMuLaw(std::int16_t sample)
{
    // Nearest 14-bit value (rounded, not truncated, like sox), clipped at the top.
    int pcm = std::min((sample + 2) >> 2, 8191);
    int mask;
    if (pcm < 0) {
        pcm = -pcm;
        mask = 0x7F;
    } else {
        mask = 0xFF;
    }
    if (pcm > kMuClip)
        pcm = kMuClip;
    pcm += kMuBias >> 2;
    const int seg = Segment(pcm, kMuLawSegEnd);
    if (seg >= 8)
        return static_cast<std::uint8_t>(0x7F ^ mask);
    const int uval = (seg << 4) | ((pcm >> (seg + 1)) & 0x0F);
    return static_cast<std::uint8_t>(uval ^ mask);
}

std::int16_t ALawToLinear(std::uint8_t code)
{
    return Decode().alaw[code];
}

std::int16_t MuLawToLinear(std::uint8_t code)
{
    return Decode().mulaw[code];
}

void EncodeALaw(const std::int16_t* pcm, std::uint8_t* out, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        out[i] = LinearToALaw(pcm[i]);
}

void DecodeALaw(const std::uint8_t* codes, std::int16_t* out, std::size_t n)
{
    const auto& t = Decode().alaw;
    for (std::size_t i = 0; i < n; ++i)
        out[i] = t[codes[i]];
}

void EncodeMuLaw(const std::int16_t* pcm, std::uint8_t* out, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        out[i] = LinearToMuLaw(pcm[i]);
}

void DecodeMuLaw(const std::uint8_t* codes, std::int16_t* out, std::size_t n)
{
    const auto& t = Decode().mulaw;
    for (std::size_t i = 0; i < n; ++i)
        out[i] = t[codes[i]];
}

} // namespace G711
