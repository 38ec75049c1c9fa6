#pragma once
// TACMRecord joins a TRecorder to a TConverter: it sets the capture up for the target
// format, applies a gain with clipping to every captured buffer, keeps its peak for a
// level meter and, while a file is open, passes the buffer on to the converter.
//
//   TACMRecord rec(owner, sound, messages);
//   rec.SetTargetFormat(FormatOut(G711Format(WaveTag::ALaw)));
//   if (rec.StartRecorder(-1)) {                 // capture runs; buffers only measured
//       rec.BeginFile(workFolder + "announce.wav");
//       ... rec.PeakLevel() every 200 ms ...
//       rec.EndFile(); rec.StopRecorder();
//       int seconds = rec.Duration();
//   }
// Everything runs on the thread of the event loop that delivers the capture notices.

#include "AudioIn.h"
#include "Converter.h"

#include <QObject>

#include <cstdint>
#include <vector>

class TACMRecord final : public QObject
{
    Q_OBJECT
public:
    TACMRecord(QObject* owner, ISoundSystem& sound, IMessageService& messages);
    ~TACMRecord() override;

    void SetTargetFormat(const tWaveFormatOut& format) { m_targetFormat = format; }
    const tWaveFormatOut& TargetFormat() const { return m_targetFormat; }
    // Prepares and starts capture for the target format; true when capture runs.
    bool StartRecorder(std::int32_t device);
    bool BeginFile(const QString& fileName);
    // Ends the file; Duration() is then its length and FileFailed() whether it is complete.
    void EndFile();
    void StopRecorder();
    // The peak of the last buffer while capture is active, else 0.
    std::uint32_t PeakLevel() const;
    void SampleReady(QObject* Sender);

    std::int32_t Gain() const { return m_gain; }
    void SetGain(std::int32_t value) { m_gain = value; }
    std::int32_t Duration() const { return m_duration; }
    // True when a buffer of the current (or last) file could not be encoded or written:
    // capture was stopped there and the file is incomplete. Cleared by BeginFile.
    bool FileFailed() const { return m_fileFailed || m_converter->WriteFailed(); }
    // Why, in words for the user.
    QString FileErrorText() const;
    // Raised once per file, from within the capture notice, right after such a failure
    // stopped the capture; the owner ends the file from its own event loop.
    TNotifyEvent OnFileFailed;
    bool Converting() const { return m_converting; }
    const std::vector<std::int16_t>& Buffer() const { return m_buffer; }
    TRecorder* Recorder() const { return m_recorder; }
    TConverter* Converter() const { return m_converter; }

private:
    tWaveFormatOut m_targetFormat = FormatOut(PcmFormat(8000, 1, 16));
    TConverter* m_converter; // owned (child)
    TRecorder* m_recorder;   // owned (child)
    std::vector<std::int16_t> m_buffer;
    std::int32_t m_gain = 1;
    std::uint32_t m_peak = 0;
    bool m_converting = false;
    bool m_firstBuffer = false;
    bool m_fileFailed = false;
    std::int32_t m_duration = 0;
};
