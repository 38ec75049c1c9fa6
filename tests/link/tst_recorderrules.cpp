// The recorder rules (report classification, fax models, audio law, key commands)
// and the capture of the report line.
#include "RecorderRules.h"
#include "ReplyCapture.h"
#include "TestFolders.h"

#include <QtTest>

class TestRecorderRules : public QObject
{
    Q_OBJECT

private slots:
    void classify_data();
    void classify();
    void substituteClassifiesBack();
    void law_data();
    void law();
    void keyCommand_data();
    void keyCommand();
    void decodeRejects_data();
    void decodeRejects();
    void captureWritesReport();
    void captureClassifyOnly();
    void captureReportsWriteFailure();
};

void TestRecorderRules::classify_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("fax");
    QTest::newRow("IXTA model") << QByteArray("200 Sonvault IXTA 8 V3.1") << 0 << false;
    QTest::newRow("UMBA without IXTA") << QByteArray("200 UMBA-4 recorder") << 0 << false;
    QTest::newRow("empty") << QByteArray() << 1 << false;
    QTest::newRow("lower-case ixta") << QByteArray("200 ixta umba") << 1 << false;
    QTest::newRow("other device") << QByteArray("200 Sonvault S2 ISE1") << 1 << false;
    QTest::newRow("TAVRO only") << QByteArray("TAVRO") << 1 << true;
    QTest::newRow("KORAL") << QByteArray("200 KORAL fax") << 1 << true;
    QTest::newRow("MESSIN") << QByteArray("xMESSINx") << 1 << true;
    QTest::newRow("DUNSEL") << QByteArray("DUNSEL 2") << 1 << true;
    QTest::newRow("PIRRA with IXTA") << QByteArray("PIRRA IXTA") << 0 << true;
    QTest::newRow("lower-case tavro") << QByteArray("tavro") << 1 << false;
}

void TestRecorderRules::classify()
{
    QFETCH(QByteArray, report);
    QFETCH(int, type);
    QFETCH(bool, fax);
    QCOMPARE(int(ClassifyReport(report)), type);
    QCOMPARE(IsFaxServer(report), fax);
}

void TestRecorderRules::substituteClassifiesBack()
{
    QCOMPARE(SubstituteReport(RecorderType::Ixta), QByteArray("IXTA"));
    QCOMPARE(SubstituteReport(RecorderType::OtherDevices), QByteArray("Unknown"));
    for (const std::uint8_t t : {RecorderType::Ixta, RecorderType::OtherDevices})
        QCOMPARE(ClassifyReport(SubstituteReport(t)), t);
}

void TestRecorderRules::law_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<int>("law");
    QTest::newRow("IST1 mu-law") << QByteArray("IXTA IST1") << int(ReportLaw::MuLaw);
    QTest::newRow("ISE1 a-law") << QByteArray("IXTA ISE1") << int(ReportLaw::ALaw);
    QTest::newRow("both: a-law") << QByteArray("ISE1 IST1") << int(ReportLaw::ALaw);
    QTest::newRow("both reversed: a-law") << QByteArray("IST1 ISE1") << int(ReportLaw::ALaw);
    QTest::newRow("neither") << QByteArray("IXTA") << int(ReportLaw::Unchanged);
}

void TestRecorderRules::law()
{
    QFETCH(QByteArray, report);
    QFETCH(int, law);
    QCOMPARE(int(LawFromReport(report)), law);
}

void TestRecorderRules::keyCommand_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("argument");
    QTest::newRow("number list") << QByteArray("\x82\x43\x44", 3) << QByteArray("[K]824344");
    QTest::newRow("fax number list") << QByteArray("\x80\x41\x44", 3) << QByteArray("[K]804144");
    QTest::newRow("reload step 1") << QByteArray("\x87\x41\x41\x0D\x43\x44", 6) << QByteArray("[K]8741410D4344");
    QTest::newRow("reload step 2") << QByteArray("B") << QByteArray("[K]42");
    QTest::newRow("zero and FF") << QByteArray("\x00\xFF", 2) << QByteArray("[K]00FF");
}

void TestRecorderRules::keyCommand()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, argument);
    QCOMPARE(KeyCommand(bytes), argument);
    QByteArray decoded;
    QVERIFY(DecodeKeyCommand(argument, decoded));
    QCOMPARE(decoded, bytes);
}

void TestRecorderRules::decodeRejects_data()
{
    QTest::addColumn<QByteArray>("argument");
    QTest::newRow("no prefix") << QByteArray("824344");
    QTest::newRow("odd digits") << QByteArray("[K]824");
    QTest::newRow("not hex") << QByteArray("[K]8G");
    QTest::newRow("glob") << QByteArray("USR.*");
}

void TestRecorderRules::decodeRejects()
{
    QFETCH(QByteArray, argument);
    QByteArray decoded("untouched");
    QVERIFY(!DecodeKeyCommand(argument, decoded));
    QCOMPARE(decoded, QByteArray("untouched"));
}

void TestRecorderRules::captureWritesReport()
{
    TempWorkFolder work;
    ReplyCapture capture(work.path());
    QVERIFY(capture.FtpClientResponse("220 greeting before arming"));
    QVERIFY(!QFile::exists(work.get() + "osreply.txt"));

    capture.Arm(false);
    QVERIFY(capture.FtpClientResponse("200-Sonvault IXTA ISE1"));
    QVERIFY(capture.FtpClientResponse("200 second line"));
    capture.Disarm();
    QCOMPARE(capture.DeviceReport, QByteArray("200-Sonvault IXTA ISE1"));
    QCOMPARE(ReadTestFile(work.get() + "osreply.txt"), QByteArray("200-Sonvault IXTA ISE1\r\n"));
    QVERIFY(!capture.CaptureReply);
    QVERIFY(!capture.ClassifyOnly);
}

void TestRecorderRules::captureClassifyOnly()
{
    TempWorkFolder work;
    ReplyCapture capture(work.path());
    capture.ConnectedKind = RecorderType::Ixta;
    capture.Arm(true);
    QVERIFY(capture.FtpClientResponse("200 Sonvault S2"));
    QCOMPARE(capture.ConnectedKind, RecorderType::OtherDevices);
    QCOMPARE(capture.DeviceReport, QByteArray("200 Sonvault S2"));
    QVERIFY(FilesIn(work.get()).isEmpty());
    // No line while armed: both keep their values.
    capture.Disarm();
    capture.Arm(true);
    capture.Disarm();
    QCOMPARE(capture.ConnectedKind, RecorderType::OtherDevices);
    QCOMPARE(capture.DeviceReport, QByteArray("200 Sonvault S2"));
}

void TestRecorderRules::captureReportsWriteFailure()
{
    TempWorkFolder work;
    QVERIFY(QDir(work.get()).removeRecursively());
    ReplyCapture capture(work.path());
    capture.Arm(false);
    QString error;
    QVERIFY(!capture.FtpClientResponse("200 IXTA", &error));
    QVERIFY2(error.startsWith("Cannot create file \""), qPrintable(error));
    QCOMPARE(capture.DeviceReport, QByteArray("200 IXTA"));
}

QTEST_APPLESS_MAIN(TestRecorderRules)
#include "tst_recorderrules.moc"
