#include "AcmStream.h"

#include "G711.h"

#include <soxr.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

bool IsG711(const tWAVEFORMATEX& f)
{
    return f.wFormatTag == WaveTag::ALaw || f.wFormatTag == WaveTag::MuLaw;
}

// A format we can read or write without dividing by zero or misreading samples.
bool Consistent(const tWAVEFORMATEX& f)
{
    if (f.nChannels == 0 || f.nChannels > 8 || f.nSamplesPerSec == 0 || f.nSamplesPerSec > 384000)
        return false;
    if (f.wFormatTag == WaveTag::Pcm) {
        if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16)
            return false;
    } else if (IsG711(f)) {
        if (f.wBitsPerSample != 8 || f.nChannels != 1)
            return false;
    } else {
        return false;
    }
    return f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 &&
           f.nAvgBytesPerSec == static_cast<std::uint32_t>(f.nBlockAlign) * f.nSamplesPerSec;
}

std::atomic<bool> g_faultSet{false};
std::mutex g_faultMutex;
TAcmStream::ConvertFault g_fault;

bool IsPcm16(const tWAVEFORMATEX& f)
{
    return f.wFormatTag == WaveTag::Pcm && f.wBitsPerSample == 16;
}

} // namespace

// Streaming resampler with a FIFO so that every call hands out exactly the output
// its input corresponds to (the filter's start-up delay is filled with silence).
struct TAcmStream::Resampler
{
    soxr_t soxr = nullptr;
    unsigned inChannels = 1;
    unsigned outChannels = 1;
    double ratio = 1.0;
    std::uint64_t inFrames = 0;
    std::uint64_t outFrames = 0;
    std::vector<std::int16_t> fifo; // interleaved, outChannels
    std::vector<std::int16_t> mixed;
    std::vector<std::int16_t> aligned;
    std::vector<std::int16_t> tmp;

    ~Resampler()
    {
        if (soxr)
            soxr_delete(soxr);
    }
};

TAcmStream::TAcmStream(Kind kind, const tWAVEFORMATEX& src, const tWAVEFORMATEX& dst)
    : m_kind(kind), m_src(src), m_dst(dst)
{
}

TAcmStream::~TAcmStream() = default;

MMRESULT TAcmStream::Open(std::unique_ptr<TAcmStream>& stream, const tWAVEFORMATEX& src, const tWAVEFORMATEX& dst,
                          std::uint32_t flags)
{
    if (!Consistent(src) || !Consistent(dst))
        return ACMERR::NotPossible;
    Kind kind;
    std::uint16_t encodeTag = 0;
    if (std::memcmp(&src, &dst, sizeof src - sizeof src.cbSize) == 0 && src.wFormatTag == WaveTag::Pcm) {
        kind = Kind::Copy;
    } else if (IsG711(src) && IsPcm16(dst) && dst.nChannels == 1 && dst.nSamplesPerSec == src.nSamplesPerSec) {
        kind = Kind::Decode;
    } else if (IsPcm16(src) && src.nChannels == 1 && IsG711(dst) && dst.nSamplesPerSec == src.nSamplesPerSec) {
        kind = Kind::Encode;
    } else if (IsPcm16(src) && IsPcm16(dst)) {
        kind = Kind::Resample;
    } else if (IsPcm16(src) && IsG711(dst)) {
        kind = Kind::Resample;
        encodeTag = dst.wFormatTag;
    } else {
        return ACMERR::NotPossible;
    }
    if (flags & AcmOpen::Query)
        return MMSYSERR::NoError;
    std::unique_ptr<TAcmStream> s(new TAcmStream(kind, src, dst));
    s->m_encodeTag = encodeTag;
    if (kind == Kind::Resample) {
        s->m_rs = std::make_unique<Resampler>();
        s->m_rs->inChannels = src.nChannels;
        s->m_rs->outChannels = dst.nChannels;
        s->m_rs->ratio = static_cast<double>(dst.nSamplesPerSec) / src.nSamplesPerSec;
    }
    stream = std::move(s);
    return MMSYSERR::NoError;
}

MMRESULT TAcmStream::Size(std::uint32_t bytes, std::uint32_t& result, std::uint32_t flag) const
{
    const std::uint64_t sa = m_src.nBlockAlign;
    const std::uint64_t da = m_dst.nBlockAlign;
    std::uint64_t r = 0;
    if (flag == AcmSize::OutputForInput) {
        const std::uint64_t frames = bytes / sa;
        if (m_kind == Kind::Resample)
            r = static_cast<std::uint64_t>(std::ceil(static_cast<double>(frames) * m_rs->ratio)) * da;
        else
            r = frames * da;
    } else if (flag == AcmSize::InputForOutput) {
        const std::uint64_t frames = bytes / da;
        if (m_kind == Kind::Resample)
            r = static_cast<std::uint64_t>(std::floor(static_cast<double>(frames) / m_rs->ratio + 1e-9)) * sa;
        else
            r = frames * sa;
    } else {
        return MMSYSERR::InvalFlag;
    }
    if (r == 0 || r > 0x7FFFFFFF)
        return MMSYSERR::InvalParam;
    result = static_cast<std::uint32_t>(r);
    return MMSYSERR::NoError;
}

MMRESULT TAcmStream::PrepareHeader(tAcmStreamHeader& h)
{
    if (!h.pbSrc || !h.pbDst || h.cbSrcLength == 0 || h.cbDstLength == 0)
        return MMSYSERR::InvalParam;
    h.fdwStatus = AcmStatus::Prepared;
    h.cbSrcLengthUsed = 0;
    h.cbDstLengthUsed = 0;
    return MMSYSERR::NoError;
}

MMRESULT TAcmStream::UnprepareHeader(tAcmStreamHeader& h)
{
    if (!(h.fdwStatus & AcmStatus::Prepared))
        return ACMERR::Unprepared;
    h.fdwStatus &= ~AcmStatus::Prepared;
    return MMSYSERR::NoError;
}

void TAcmStream::SetConvertFault(ConvertFault fault)
{
    const std::lock_guard<std::mutex> lock(g_faultMutex);
    g_fault = std::move(fault);
    g_faultSet = static_cast<bool>(g_fault);
}

MMRESULT TAcmStream::Convert(tAcmStreamHeader& h, std::uint32_t flags)
{
    if (!(h.fdwStatus & AcmStatus::Prepared))
        return ACMERR::Unprepared;
    if (g_faultSet.load()) {
        const std::lock_guard<std::mutex> lock(g_faultMutex);
        if (g_fault) {
            const MMRESULT r = g_fault(*this, h);
            if (r != MMSYSERR::NoError)
                return r;
        }
    }
    h.fdwStatus &= ~AcmStatus::Done;
    const std::uint32_t sa = m_src.nBlockAlign;
    const std::uint32_t da = m_dst.nBlockAlign;
    // Whole source blocks only (a partial sample is never split).
    std::uint32_t in = h.cbSrcLength / sa * sa;
    std::uint32_t used = 0;
    std::uint32_t produced = 0;
    switch (m_kind) {
    case Kind::Copy: {
        used = std::min(in, h.cbDstLength / da * da);
        std::memmove(h.pbDst, h.pbSrc, used);
        produced = used;
        break;
    }
    case Kind::Decode: {
        used = std::min(in, h.cbDstLength / 2);
        std::int16_t pcm[512]; // in pieces, so no allocation and no unaligned 16-bit stores
        for (std::uint32_t done = 0; done < used;) {
            const std::uint32_t n = std::min<std::uint32_t>(used - done, 512);
            if (m_src.wFormatTag == WaveTag::ALaw)
                G711::DecodeALaw(h.pbSrc + done, pcm, n);
            else
                G711::DecodeMuLaw(h.pbSrc + done, pcm, n);
            std::memcpy(h.pbDst + done * 2u, pcm, n * 2u);
            done += n;
        }
        produced = used * 2;
        break;
    }
    case Kind::Encode: {
        const std::uint32_t samples = std::min(in / 2, h.cbDstLength);
        std::int16_t pcm[512];
        for (std::uint32_t done = 0; done < samples;) {
            const std::uint32_t n = std::min<std::uint32_t>(samples - done, 512);
            std::memcpy(pcm, h.pbSrc + done * 2u, n * 2u);
            if (m_dst.wFormatTag == WaveTag::ALaw)
                G711::EncodeALaw(pcm, h.pbDst + done, n);
            else
                G711::EncodeMuLaw(pcm, h.pbDst + done, n);
            done += n;
        }
        used = samples * 2;
        produced = samples;
        break;
    }
    case Kind::Resample: {
        const bool start = (flags & AcmConvert::Start) || !m_rs->soxr;
        used = in;
        produced = ResampleConvert(h.pbSrc, in, h.pbDst, h.cbDstLength, start, (flags & AcmConvert::End) != 0);
        if (produced == 0xFFFFFFFFu)
            return MMSYSERR::NoMem;
        break;
    }
    }
    h.cbSrcLengthUsed = used;
    h.cbDstLengthUsed = produced;
    h.fdwStatus |= AcmStatus::Done;
    return MMSYSERR::NoError;
}

std::uint32_t TAcmStream::ResampleConvert(const std::uint8_t* in, std::uint32_t inBytes, std::uint8_t* out,
                                          std::uint32_t outCap, bool start, bool end)
{
    Resampler& r = *m_rs;
    if (start) {
        if (r.soxr)
            soxr_delete(r.soxr);
        const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        // soxr hands out its output in bursts (its latency varies from call to call).
        // Small transform sizes keep the bursts short; a fixed lead-in of silence at
        // the start (below) absorbs them, so that every block yields exactly its share.
        const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
        soxr_runtime_spec_t rt = soxr_runtime_spec(1);
        rt.log2_min_dft_size = 8;
        rt.log2_large_dft_size = 10;
        soxr_error_t err = nullptr;
        r.soxr = soxr_create(m_src.nSamplesPerSec, m_dst.nSamplesPerSec, r.outChannels, &err, &io, &q, &rt);
        if (err || !r.soxr) {
            r.soxr = nullptr;
            return 0xFFFFFFFFu;
        }
        r.inFrames = r.outFrames = 0;
        r.fifo.clear();
    }
    // Channel adaptation before the resampler: mix down to mono or copy mono to all channels.
    const std::size_t frames = inBytes / m_src.nBlockAlign;
    r.mixed.resize(frames * r.outChannels);
    const std::int16_t* src = reinterpret_cast<const std::int16_t*>(in);
    std::vector<std::int16_t>& aligned = r.aligned; // the caller's bytes need not be 16-bit aligned
    aligned.resize(frames * r.inChannels);
    if (!aligned.empty())
        std::memcpy(aligned.data(), src, aligned.size() * 2);
    for (std::size_t f = 0; f < frames; ++f) {
        if (r.inChannels == r.outChannels) {
            for (unsigned c = 0; c < r.outChannels; ++c)
                r.mixed[f * r.outChannels + c] = aligned[f * r.inChannels + c];
        } else if (r.outChannels == 1) {
            int sum = 0;
            for (unsigned c = 0; c < r.inChannels; ++c)
                sum += aligned[f * r.inChannels + c];
            r.mixed[f] = static_cast<std::int16_t>(sum / static_cast<int>(r.inChannels));
        } else {
            for (unsigned c = 0; c < r.outChannels; ++c)
                r.mixed[f * r.outChannels + c] = aligned[f * r.inChannels + (c < r.inChannels ? c : 0)];
        }
    }
    auto drain = [&](const std::int16_t* data, std::size_t n) {
        std::size_t offset = 0;
        for (int guard = 0; guard < 1000; ++guard) {
            r.tmp.resize(static_cast<std::size_t>(std::ceil(static_cast<double>(n - offset) * r.ratio)) * r.outChannels +
                         4096 * r.outChannels);
            size_t idone = 0, odone = 0;
            const std::size_t cap = r.tmp.size() / r.outChannels;
            soxr_process(r.soxr, data ? data + offset * r.outChannels : nullptr, data ? n - offset : 0, &idone,
                         r.tmp.data(), cap, &odone);
            offset += idone;
            r.fifo.insert(r.fifo.end(), r.tmp.begin(), r.tmp.begin() + static_cast<std::ptrdiff_t>(odone * r.outChannels));
            if (data ? (offset >= n && odone < cap) : odone == 0)
                break;
        }
    };
    drain(r.mixed.data(), frames);
    r.inFrames += frames;
    if (end)
        drain(nullptr, 0);
    const std::uint64_t want = end ? r.fifo.size() / r.outChannels + r.outFrames
                                   : static_cast<std::uint64_t>(std::floor(static_cast<double>(r.inFrames) * r.ratio));
    std::uint64_t emitFrames = want > r.outFrames ? want - r.outFrames : 0;
    const std::uint32_t da = m_dst.nBlockAlign;
    const std::uint32_t capFrames = outCap / da;
    emitFrames = std::min<std::uint64_t>(emitFrames, capFrames);
    // Lead-in: the filter's delay plus 50 ms of headroom for the bursts, as silence in
    // front. Later calls find enough in the FIFO; should one not, it is padded there.
    const std::uint64_t headroom = start ? m_dst.nSamplesPerSec / 20 : 0;
    if (!end && r.fifo.size() / r.outChannels < emitFrames + headroom)
        r.fifo.insert(r.fifo.begin(), (emitFrames + headroom - r.fifo.size() / r.outChannels) * r.outChannels, 0);
    emitFrames = std::min<std::uint64_t>(emitFrames, r.fifo.size() / r.outChannels);
    const std::size_t n = static_cast<std::size_t>(emitFrames) * r.outChannels;
    if (m_encodeTag == 0) {
        std::memcpy(out, r.fifo.data(), n * 2);
    } else if (m_encodeTag == WaveTag::ALaw) {
        G711::EncodeALaw(r.fifo.data(), out, n);
    } else {
        G711::EncodeMuLaw(r.fifo.data(), out, n);
    }
    r.fifo.erase(r.fifo.begin(), r.fifo.begin() + static_cast<std::ptrdiff_t>(n));
    r.outFrames += emitFrames;
    return static_cast<std::uint32_t>(emitFrames * da);
}
