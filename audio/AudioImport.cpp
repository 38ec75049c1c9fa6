#include "AudioImport.h"

#include "Converter.h"

#include <QFile>

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kReadFrames = 4096;
constexpr double kTargetRate = 8000.0;

struct SndFileCloser
{
    void operator()(SNDFILE* f) const { sf_close(f); }
};
struct SoxrDeleter
{
    void operator()(soxr* s) const { soxr_delete(s); }
};

// Collects 16-bit samples into blocks and hands each full block to the converter.
class BlockFeeder
{
public:
    explicit BlockFeeder(TConverter& conv) : m_conv(conv), m_block(kImportBlockSamples, 0) {}

    bool Push(const double* samples, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) {
            const double v = std::round(samples[i] * 32768.0);
            m_block[m_fill++] = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
            if (m_fill == m_block.size() && !Flush())
                return false;
        }
        return true;
    }
    // The last block, completed with silence.
    bool Finish()
    {
        if (m_fill == 0)
            return true;
        std::fill(m_block.begin() + static_cast<std::ptrdiff_t>(m_fill), m_block.end(), 0);
        return Flush();
    }
    std::uint32_t Blocks() const { return m_blocks; }

private:
    bool Flush()
    {
        m_fill = 0;
        ++m_blocks;
        return m_conv.Convert2Wave(m_block.data());
    }

    TConverter& m_conv;
    std::vector<std::int16_t> m_block;
    std::size_t m_fill = 0;
    std::uint32_t m_blocks = 0;
};

// libsndfile's error text without its closing full stop.
QString SndError(SNDFILE* f)
{
    QString text = QString::fromLocal8Bit(sf_strerror(f)).trimmed();
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

bool ReplaceFile(const QString& from, const QString& to)
{
    // rename() replaces the target in one step where the system allows it.
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    return QFile::remove(to) && QFile::rename(from, to);
}

} // namespace

AudioImportResult ImportAudioFile(const QString& source, const QString& target, std::uint16_t formatTag,
                                  IMessageService& messages)
{
    AudioImportResult result;
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> sf(sf_open(QFile::encodeName(source).constData(), SFM_READ, &info));
    if (!sf) {
        result.errorText = QStringLiteral("Cannot read the audio file %1: %2").arg(source, SndError(nullptr));
        return result;
    }
    result.sourceRate = info.samplerate;
    result.sourceChannels = info.channels;
    if (info.channels < 1 || info.samplerate < 1) {
        result.errorText = QStringLiteral("Unsupported audio file %1: no channels or no sample rate").arg(source);
        return result;
    }

    std::unique_ptr<soxr, SoxrDeleter> resampler;
    if (info.samplerate != static_cast<int>(kTargetRate)) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
        const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t err = nullptr;
        resampler.reset(soxr_create(info.samplerate, kTargetRate, 1, &err, &io, &q, nullptr));
        if (err || !resampler) {
            result.errorText = QStringLiteral("Cannot resample %1 from %2 Hz: %3")
                                   .arg(source)
                                   .arg(info.samplerate)
                                   .arg(QString::fromLatin1(err ? err : "no resampler"));
            return result;
        }
    }

    const QString partName = target + QStringLiteral(".part");
    TConverter conv(nullptr, messages);
    if (!conv.InitRecord(FormatOut(G711Format(formatTag)), kImportBlockSamples * 2, partName)) {
        result.errorText = QStringLiteral("Cannot write %1").arg(partName);
        QFile::remove(partName);
        return result;
    }
    BlockFeeder feeder(conv);
    const auto fail = [&](const QString& text) {
        conv.Close();
        QFile::remove(partName);
        // A write that failed (a full disk, say) is the reason, not the encoding.
        result.errorText =
            conv.WriteFailed() ? QStringLiteral("Cannot write %1: %2").arg(partName, conv.WriteErrorText()) : text;
        return result;
    };

    const std::size_t channels = static_cast<std::size_t>(info.channels);
    std::vector<double> frames(kReadFrames * channels);
    std::vector<double> mono(kReadFrames);
    std::vector<double> resampled;
    const double ratio = kTargetRate / info.samplerate;
    auto resample = [&](const double* in, std::size_t n) -> bool {
        // Feeds n mono samples (none: flush) through soxr and on to the blocks.
        std::size_t offset = 0;
        for (int guard = 0; guard < 100000; ++guard) {
            resampled.resize(static_cast<std::size_t>(std::ceil(static_cast<double>(n - offset) * ratio)) + 256);
            std::size_t idone = 0, odone = 0;
            soxr_error_t err = soxr_process(resampler.get(), in ? in + offset : nullptr, in ? n - offset : 0, &idone,
                                            resampled.data(), resampled.size(), &odone);
            if (err)
                return false;
            offset += idone;
            if (!feeder.Push(resampled.data(), odone))
                return false;
            if (in ? (offset >= n && odone < resampled.size()) : odone == 0)
                return true;
        }
        return false;
    };

    for (;;) {
        const sf_count_t got = sf_readf_double(sf.get(), frames.data(), kReadFrames);
        if (got <= 0)
            break;
        result.sourceFrames += got;
        for (sf_count_t f = 0; f < got; ++f) {
            double sum = 0.0;
            for (std::size_t c = 0; c < channels; ++c)
                sum += frames[static_cast<std::size_t>(f) * channels + c];
            mono[static_cast<std::size_t>(f)] = sum / static_cast<double>(channels);
        }
        const bool ok = resampler ? resample(mono.data(), static_cast<std::size_t>(got))
                                  : feeder.Push(mono.data(), static_cast<std::size_t>(got));
        if (!ok)
            return fail(QStringLiteral("Cannot encode %1 into %2").arg(source, partName));
    }
    if (sf_error(sf.get()) != SF_ERR_NO_ERROR)
        return fail(QStringLiteral("Cannot read the audio file %1: %2").arg(source, SndError(sf.get())));
    if (result.sourceFrames == 0)
        return fail(QStringLiteral("The audio file %1 holds no sound").arg(source));
    if ((resampler && !resample(nullptr, 0)) || !feeder.Finish())
        return fail(QStringLiteral("Cannot encode %1 into %2").arg(source, partName));

    result.blocks = feeder.Blocks();
    result.seconds = conv.Close();
    if (conv.WriteFailed()) {
        // The last blocks and the sizes are written only now.
        QFile::remove(partName);
        result.errorText = QStringLiteral("Cannot write %1: %2").arg(partName, conv.WriteErrorText());
        return result;
    }
    if (!ReplaceFile(partName, target)) {
        QFile::remove(partName);
        result.errorText = QStringLiteral("Cannot replace %1").arg(target);
        return result;
    }
    result.ok = true;
    return result;
}
