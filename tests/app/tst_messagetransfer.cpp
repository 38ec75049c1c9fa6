// End to end: a message recorded on the virtual device and saved to the test recorder
// through the main window.
#include "MessageTabRig.h"

#include "ModalHelper.h"
#include "RecorderSim.h"
#include "UnitConnect.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

class TestMessageTransfer : public QObject
{
    Q_OBJECT

private slots:
    void recordThenSave();
};

void TestMessageTransfer::recordThenSave()
{
    RecorderSim sim;
    sim.AddAccount("ADMIN", "pw", "1");
    sim.PutFile("CFG.USR", "a\rb\rc\r0\re\r0\r0\rh\r");
    // The recorder holds a long message of an earlier save: the new short one replaces it.
    sim.PutFile("MESS340.WAV", QByteArray("RIFF old long message"));
    QVERIFY2(sim.Start({"--report", "SV-300"}), qPrintable(sim.Error));
    TempWorkFolder work;
    QVERIFY(WriteTestFile(work.current() + "USR.ADMIN", "pw\r\n1\r\n"));
    QVERIFY(WriteTestFile(work.current() + "osreply.txt", "SV-300\r\n"));
    MessageTabRig rig;
    VirtualSoundConfig cfg;
    cfg.generator = [](std::uint64_t frame, std::uint32_t) {
        return static_cast<std::int16_t>((frame / 20) % 2 ? 6000 : -6000);
    };
    rig.Start(work.path(), cfg);
    TFormServerSetup* w = rig.w();

    rig.Click(4);
    QVERIFY(w->Recording());
    QVERIFY(rig.Capture(20)); // 5.1 s
    rig.Click(2);
    QCOMPARE(w->Snapshot().MessageFile, QStringLiteral("MESS340.6"));
    QCOMPARE(w->DurationL->text(), QStringLiteral("5"));
    QVERIFY(w->Snapshot().Modified);
    const QByteArray message = ReadTestFile(work.current() + "MESS340.6");
    QCOMPARE(message.size(), qsizetype(58 + 20 * 2048));

    WhenModal([&sim](QWidget* modal) {
        auto* dlg = qobject_cast<TFormConnect*>(modal);
        QVERIFY(dlg);
        dlg->IPAddressEditBox->setText(sim.Host());
        dlg->PortEdit->setValue(sim.Port());
        dlg->UsernameEditBox->setText(QStringLiteral("ADMIN"));
        dlg->PasswordEditBox->setText(QStringLiteral("pw"));
        QTest::mouseClick(dlg->OkButton, Qt::LeftButton);
    });
    QTest::mouseClick(w->ButtonUpdateFaxServer2, Qt::LeftButton);

    QVERIFY2(rig.messages.scripted.Texts().isEmpty(), qPrintable(rig.messages.scripted.Texts().join("|")));
    QVERIFY(!w->Snapshot().Modified);
    QVERIFY(sim.HasFile("MESS340.6"));
    QCOMPARE(sim.FileData("MESS340.6"), message);
    QVERIFY(!sim.HasFile("MESS340.WAV"));
    QCOMPARE(rig.messages.offThread.load(), 0);
}

QTEST_MAIN(TestMessageTransfer)
#include "tst_messagetransfer.moc"
