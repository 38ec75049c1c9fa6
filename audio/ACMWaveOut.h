#pragma once
// TACMWaveOut plays a RIFF/WAVE file (the G.711 message files, or PCM) through a
// TWaveOut it creates and owns: it reads one second of the file per block, converts
// it to 16-bit PCM and keeps the engine's ring filled from the engine's worker thread.
// The end of playback reaches the thread that owns the player through a 10 ms
// one-shot timer, which closes the player and then raises OnEnd.
//
//   TACMWaveOut player(owner, sound, messages);
//   player.OnEnd = [](QObject*) { ... };
//   if (player.Open(path, -1)) player.Play();
//   ... player.GetTimePosition() (s) / player.GetTimeTotal() (ms); Pause(); SetTimePosition(s) ...
//   player.Close();
// The owner's thread must run an event loop for OnEnd to arrive. Buffered mode
// (OpenBuffered + Queue + OnBufferEmpty) plays blocks pushed in by the owner;
// ChannelMode 1..n turns the output into 44100 Hz stereo with the message on one side.

#include "AcmStream.h"
#include "MessageService.h"
#include "Riff.h"
#include "SoundSystem.h"
#include "WaveOut.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TACMWaveOut final : public QObject
{
    Q_OBJECT
public:
    enum State : std::int8_t { Closed = 0, Opened = 1, PlayingState = 2, PausedState = 3, Finished = 4 };
    using TOutputEvent = std::function<void(QObject* Sender, const void* pcm, int length)>;

    // Waits of the seek retry rule.
    static constexpr int kEndTimerMs = 10;
    static constexpr int kSeekRetries = 5;
    static constexpr int kSeekRetryWaitMs = 250;

    TACMWaveOut(QObject* owner, ISoundSystem& sound, IMessageService& messages);
    ~TACMWaveOut() override;

    // Properties.
    bool Playing() const { return GetPlaying(); }
    QString Filename() const { return m_filename; }
    std::int32_t BufferFree();
    std::uint32_t Position();
    std::uint32_t SrcPosition();
    std::int32_t Format() const { return m_source.wFormatTag; }
    std::int32_t BufferSizeIn() const { return static_cast<std::int32_t>(m_inBlock); }
    void SetChannels(std::uint16_t value);
    std::uint16_t SamplesPerSec() const { return static_cast<std::uint16_t>(m_output.nSamplesPerSec); }
    void SetSamplesPerSec(std::uint16_t value);
    void SetBitsPerSample(std::uint16_t value);
    std::int32_t ChannelMode() const { return m_channelMode; }
    void SetChannelMode(std::int32_t value) { m_channelMode = value; }
    State GetState() const { return m_state.load(); }
    TWaveOut* Engine() const { return m_engine; }
    tWAVEFORMATEX OutputFormat() const { return m_output; }

    TNotifyEvent OnEnd;
    TNotifyEvent OnBufferEmpty;
    TOutputEvent OnOutput;

    // Operations.
    bool Open(const QString& fileName, int device);
    bool Play();
    bool Pause();
    bool Close();
    bool SetTimePosition(std::uint32_t seconds);
    std::uint32_t GetTimePosition();
    std::uint32_t GetTimeTotal() const { return m_totalTime; }
    bool GetPlaying() const { return m_state == PlayingState || m_state == PausedState; }
    bool GetPaused() const { return m_state == PausedState; }
    std::uint32_t GetAvgBytesPerSec() const { return m_source.nAvgBytesPerSec; }
    bool Reset();
    bool ResetForMove();
    bool OpenBuffered(int device, const tWaveFormatOut& format, std::int32_t inBlockSize);
    bool Queue(const void* block);
    bool DoFillQueue();
    bool OpenACM(int, int);
    const std::uint8_t* GetChannelModeBuf(const std::uint8_t* block);
    static std::int16_t DynCompress(std::int16_t x);

    // Event handlers wired to the engine and the timer.
    void WaveOutBufferTrigger(QObject* Sender);
    void WaveOutBufferedTrigger(QObject* Sender);
    void WaveOutFinish(QObject* Sender);
    void TimerEventTimer();

    QTimer* prTimerEvent;

private:
    enum class ReadResult { Block, End, Failed };
    void CreateEngine();
    bool ConfigureAndOpenEngine();
    bool Release();                      // step 4 and 5 of Close, without the state checks
    ReadResult ReadBlock(std::uint32_t& bytes);
    bool ConvertMain(std::uint32_t bytes, bool allowStart);
    void HandOn(bool& engineFull);
    bool FailOpen(const QString& message); // shows, releases, returns false
    const tWAVEFORMATEX& FileFormat() const { return m_twoStage ? m_savedSourceFmt : m_source; }
    void EndIfIdle();

    ISoundSystem& m_sound;
    IMessageService& m_messages;
    std::atomic<State> m_state{Closed};
    QString m_filename;
    std::uint32_t m_startPosition = 0;
    TWaveOut* m_engine = nullptr;
    std::unique_ptr<TAcmStream> m_main;
    tAcmStreamHeader m_mainHdr;
    std::vector<std::uint8_t> m_outBuf;
    std::vector<std::uint8_t> m_srcBuf;
    std::uint32_t m_inBlock = 0;
    TRiffFile m_file;
    std::uint32_t m_outBlock = 0;
    tWAVEFORMATEX m_output = PcmFormat(8000, 1, 16);
    tWAVEFORMATEX m_source;              // first 18 bytes of the source format
    unsigned char m_sourceBytes[kWaveFormatOutBytes] = {};
    bool m_twoStage = false;
    tWAVEFORMATEX m_savedSourceFmt;
    std::uint32_t m_preInSize = 0;
    std::unique_ptr<TAcmStream> m_pre;
    tAcmStreamHeader m_preHdr;
    std::vector<std::uint8_t> m_preBuf;
    tRiffChunk m_riff;
    tRiffChunk m_data;
    int m_device = WAVE_MAPPER;
    std::uint32_t m_totalTime = 0;
    std::vector<std::uint8_t> m_stereoBuf;
    bool m_firstConversion = false;
    bool m_preFirst = false;
    std::int32_t m_channelMode = 0;
    std::int32_t m_toneCounter = 0;
    std::uint16_t m_rateSetting = 8000;
    bool m_fillEnded = false; // the last fill stopped at the end of the data
};
