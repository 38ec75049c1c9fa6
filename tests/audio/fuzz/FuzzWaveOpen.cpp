// Fuzz target: the RIFF reader and the player's open path (parse, conversion set-up,
// decoding every block) over arbitrary file contents.
#include "ACMWaveOut.h"
#include "Riff.h"
#include "VirtualSound.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>

namespace {

class SilentMessages final : public IMessageService
{
public:
    void ShowMessage(const QString&) override {}
    MsgResult Ask(const QString&, const QString&, MsgIcon, MsgButtons) override { return MsgResult::Cancel; }
    void ShowError(const QString&) override {}
};

// Walks every chunk, descending into RIFF and LIST forms.
void Walk(TRiffFile& f, const tRiffChunk* parent, int depth)
{
    for (int i = 0; i < 64; ++i) {
        tRiffChunk ck;
        if (f.Descend(ck, parent, TRiffFile::Find::Next) != MMSYSERR::NoError)
            return;
        if (depth < 4 && (ck.ckid == TRiffFile::FourCC("RIFF") || ck.ckid == TRiffFile::FourCC("LIST")))
            Walk(f, &ck, depth + 1);
        char buf[64];
        f.Read(buf, sizeof buf);
        f.Ascend(ck);
    }
}

QString InputPath()
{
    static const QString path =
        QDir::tempPath() + QStringLiteral("/pellaro-fuzz-") + QString::number(QCoreApplication::applicationPid()) +
        QStringLiteral(".wav");
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = InputPath();
    {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        out.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    {
        TRiffFile f;
        if (f.Open(path, TRiffFile::Mode::Read) == MMSYSERR::NoError)
            Walk(f, nullptr, 0);
    }
    static VirtualSoundSystem sound(VirtualSoundConfig{});
    SilentMessages messages;
    for (int mode : {0, 3}) {
        TACMWaveOut player(nullptr, sound, messages);
        player.SetChannelMode(mode);
        std::uint64_t sum = 0;
        // Blocks go to the handler instead of a device: the whole file is decoded here.
        player.OnOutput = [&](QObject*, const void* pcm, int length) {
            const auto* p = static_cast<const std::uint8_t*>(pcm);
            if (length > 0)
                sum += p[0] + p[length - 1];
        };
        if (player.Open(path, -1)) {
            player.GetTimeTotal();
            player.GetTimePosition();
        }
        player.Close();
    }
    QFile::remove(path);
    return 0;
}
