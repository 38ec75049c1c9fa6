#pragma once
// ITU-T G.711 codec: 16-bit linear PCM <-> 8-bit a-law (format tag 6) and mu-law (tag 7).
//
//   std::uint8_t code = G711::LinearToALaw(sample);
//   std::int16_t back = G711::ALawToLinear(code);
// The encoders first round the 16-bit input to the nearest 13-bit (a-law) or 14-bit
// (mu-law) value, clipping at the top, then apply the recommendation's segment
// tables; the results agree bit for bit with sox. Decoding returns the
// reconstruction values scaled to 16 bits. Block helpers convert whole buffers.

#include <cstddef>
#include <cstdint>

namespace G711 {

std::uint8_t LinearToALaw(std::int16_t sample);
std::int16_t ALawToLinear(std::uint8_t code);
std::uint8_t LinearToMuLaw(std::int16_t sample);
std::int16_t MuLawToLinear(std::uint8_t code);

// n samples from pcm into n codes; n codes into n samples.
void EncodeALaw(const std::int16_t* pcm, std::uint8_t* out, std::size_t n);
void DecodeALaw(const std::uint8_t* codes, std::int16_t* out, std::size_t n);
void EncodeMuLaw(const std::int16_t* pcm, std::uint8_t* out, std::size_t n);
void DecodeMuLaw(const std::uint8_t* codes, std::int16_t* out, std::size_t n);

} // namespace G711
