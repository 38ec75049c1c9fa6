#include "SoundSystem.h"

#include "QtSound.h"
#include "VirtualSound.h"

#include <QtGlobal>

MMRESULT WaveGetErrorText(MMRESULT code, QString& text, int maxLength)
{
    const char* t = nullptr;
    switch (code) {
    case MMSYSERR::NoError: t = "The command was carried out."; break;
    case MMSYSERR::Error: t = "Undefined external error."; break;
    case MMSYSERR::BadDeviceId: t = "The device number is out of range: no such sound device."; break;
    case MMSYSERR::NotEnabled: t = "The driver failed to enable."; break;
    case MMSYSERR::Allocated: t = "The sound device is already in use by another program."; break;
    case MMSYSERR::InvalHandle: t = "The device handle is invalid."; break;
    case MMSYSERR::NoDriver: t = "No sound driver is present."; break;
    case MMSYSERR::NoMem: t = "Out of memory."; break;
    case MMSYSERR::NotSupported: t = "The function is not supported."; break;
    case MMSYSERR::BadErrNum: t = "The error number is out of range."; break;
    case MMSYSERR::InvalFlag: t = "An invalid flag was passed."; break;
    case MMSYSERR::InvalParam: t = "An invalid parameter was passed."; break;
    case WAVERR::BadFormat: t = "The audio format is not supported by the device."; break;
    case WAVERR::StillPlaying: t = "Buffers are still queued on the device."; break;
    case WAVERR::Unprepared: t = "The buffer was not prepared."; break;
    default: return MMSYSERR::BadErrNum;
    }
    text = QString::fromLatin1(t).left(qMax(0, maxLength - 1));
    return MMSYSERR::NoError;
}

std::unique_ptr<ISoundSystem> CreateSoundSystem()
{
    if (qgetenv("PELLARO_AUDIO") == "virtual") {
        VirtualSoundConfig cfg;
        bool ok = false;
        const double speed = qEnvironmentVariable("PELLARO_AUDIO_SPEED").toDouble(&ok);
        cfg.clock = std::make_shared<SteadyAudioClock>(ok && speed > 0 ? speed : 1.0);
        const QString input = qEnvironmentVariable("PELLARO_AUDIO_INPUT");
        if (input.startsWith(QLatin1String("tone:"))) {
            const double hz = input.mid(5).toDouble();
            cfg.generator = [hz](std::uint64_t frame, std::uint32_t rate) {
                return static_cast<std::int16_t>(16383.0 * std::sin(6.283185307179586 * hz * frame / rate));
            };
        } else if (!input.isEmpty()) {
            cfg.inputWav = input;
        }
        return std::make_unique<VirtualSoundSystem>(std::move(cfg));
    }
    return std::make_unique<QtSoundSystem>();
}
