#pragma once
// Wave output and wave input devices behind one small interface, with two back-ends:
// the real devices through Qt Multimedia (QtSoundSystem) and a clock-driven virtual
// device for tests and headless runs (VirtualSoundSystem).
//
// Choose the back-end with CreateSoundSystem(): PELLARO_AUDIO=virtual selects the
// virtual one (PELLARO_AUDIO_SPEED=<factor> runs its clock faster; PELLARO_AUDIO_INPUT
// = a WAV file or "tone:<Hz>" is what it captures), anything else the Qt one.
//
// Output, in the order a player uses it:
//   std::unique_ptr<IWaveOut> out;
//   sound.WaveOutOpen(out, -1, PcmFormat(8000));   // -1 = the default device; starts playing
//   out->Pause();                                   // nothing plays until Restart
//   tWaveHdr h{buffer, size}; out->PrepareHeader(h); out->Write(h);
//   out->Restart();
//   tWaveHdr* done; while (out->TakeDone(done)) ...  // one notice per finished buffer, in queue order
//   out->Reset(); out->Close();
// Every IWaveOut call is thread-safe: a worker thread may Write and TakeDone while
// the owner's thread pauses, restarts and asks for the position.
//
// Input:
//   std::unique_ptr<IWaveIn> in;
//   sound.WaveInOpen(in, -1, PcmFormat(8000), nullptr);     // query only: is the format accepted?
//   sound.WaveInOpen(in, -1, PcmFormat(8000), notify);      // notify(WaveInMsg, header)
//   in->PrepareHeader(h); in->AddBuffer(h); ... in->Start();
// The notices (Open, Data once per filled buffer in queue order, Close) are delivered
// through the event loop of the thread that opened the device, never from inside a call.
// Stop returns the partly filled buffer as a Data notice; Reset returns every buffer.

#include "WaveFormat.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

// A buffer handed to a device (the layout of the platform's wave header).
struct tWaveHdr
{
    char* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesRecorded = 0;
    std::uintptr_t dwUser = 0;
    std::uint32_t dwFlags = 0;
    std::uint32_t dwLoops = 0;
};

namespace WHDR {
inline constexpr std::uint32_t Done = 0x1;
inline constexpr std::uint32_t Prepared = 0x2;
inline constexpr std::uint32_t InQueue = 0x10;
} // namespace WHDR

// Notice numbers, as the platform numbers them.
inline constexpr std::uint32_t MM_WOM_DONE = 0x3BD;
enum class WaveInMsg : std::uint32_t { Open = 0x3BE, Close = 0x3BF, Data = 0x3C0 };

inline constexpr int WAVE_MAPPER = -1; // the system's default device
inline constexpr int kMaxPnameLen = 32; // product names hold at most 31 characters

enum class PositionUnit { Bytes, Samples };

class IWaveOut
{
public:
    virtual ~IWaveOut() = default; // closes the device (after a reset) if still open

    virtual MMRESULT PrepareHeader(tWaveHdr& h) = 0;
    virtual MMRESULT UnprepareHeader(tWaveHdr& h) = 0; // WAVERR::StillPlaying while queued
    virtual MMRESULT Write(tWaveHdr& h) = 0;           // WAVERR::Unprepared if not prepared
    virtual MMRESULT Pause() = 0;
    virtual MMRESULT Restart() = 0;
    virtual MMRESULT Reset() = 0; // every queued buffer comes back done at once; position 0
    virtual MMRESULT Close() = 0; // WAVERR::StillPlaying while buffers are queued
    // Played amount since the open (or the last reset).
    virtual MMRESULT GetPosition(PositionUnit unit, std::uint32_t& value) = 0;
    // Takes the oldest done notice without waiting; false when there is none.
    virtual bool TakeDone(tWaveHdr*& header) = 0;
};

using WaveInNotify = std::function<void(WaveInMsg msg, tWaveHdr* header)>;

class IWaveIn
{
public:
    virtual ~IWaveIn() = default; // closes the device (after a reset) if still open

    virtual MMRESULT PrepareHeader(tWaveHdr& h) = 0;
    virtual MMRESULT UnprepareHeader(tWaveHdr& h) = 0;
    virtual MMRESULT AddBuffer(tWaveHdr& h) = 0;
    virtual MMRESULT Start() = 0;
    virtual MMRESULT Stop() = 0;
    virtual MMRESULT Reset() = 0;
    virtual MMRESULT Close() = 0;
    virtual MMRESULT GetPosition(PositionUnit unit, std::uint32_t& value) = 0;
};

class ISoundSystem
{
public:
    virtual ~ISoundSystem() = default;

    virtual QString BackendName() const = 0;

    virtual std::uint32_t WaveOutNumDevs() = 0;
    // Device numbers: 0 .. count - 1, or -1 for the default; a number out of range gives
    // MMSYSERR::BadDeviceId, -1 without any device MMSYSERR::NoDriver.
    // Product name of a device (at most 31 characters); -1 names the default device.
    virtual MMRESULT WaveOutGetDevCaps(int device, QString& productName) = 0;
    // Opens device (or -1) for a PCM format. The device starts in the playing state,
    // as the platform's does; callers that want silence until later Pause() at once.
    virtual MMRESULT WaveOutOpen(std::unique_ptr<IWaveOut>& out, int device, const tWAVEFORMATEX& format) = 0;

    virtual std::uint32_t WaveInNumDevs() = 0;
    virtual MMRESULT WaveInGetDevCaps(int device, QString& productName) = 0;
    // With notify empty: only asks whether the format is accepted; nothing is opened.
    virtual MMRESULT WaveInOpen(std::unique_ptr<IWaveIn>& in, int device, const tWAVEFORMATEX& format,
                                WaveInNotify notify) = 0;
};

// The system's text for a result code (the same for output and input), at most
// maxLength - 1 characters. Returns MMSYSERR::BadErrNum for an unknown code.
MMRESULT WaveGetErrorText(MMRESULT code, QString& text, int maxLength = 128);

// The back-end chosen by the environment (see the head of this file).
std::unique_ptr<ISoundSystem> CreateSoundSystem();
