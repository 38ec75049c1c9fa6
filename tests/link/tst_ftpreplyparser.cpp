// The control-connection parser: lines, multi-line replies, any split of the byte stream, the cap.
#include "FtpReplyParser.h"

#include <QtTest>

namespace {

struct Parsed
{
    QList<QByteArray> lines;
    QList<QPair<int, int>> replies; // code, number of lines
    bool error = false;
};

// Feeds the stream in the given chunks and collects everything the parser gives.
Parsed Run(const QList<QByteArray>& chunks, qint64 cap = 64 * 1024)
{
    FtpReplyParser parser(cap);
    Parsed out;
    for (const QByteArray& chunk : chunks) {
        parser.Append(chunk);
        for (;;) {
            QByteArray line;
            bool done = false;
            FtpReplyParser::Reply reply;
            const auto status = parser.Next(line, done, reply);
            if (status == FtpReplyParser::Status::NeedMore)
                break;
            if (status == FtpReplyParser::Status::Error) {
                out.error = true;
                return out;
            }
            out.lines << line;
            if (done)
                out.replies << qMakePair(reply.code, int(reply.lines.size()));
        }
    }
    return out;
}

} // namespace

class TestFtpReplyParser : public QObject
{
    Q_OBJECT

private slots:
    void anySplit_data();
    void anySplit();
    void errors_data();
    void errors();
    void capBoundary();
    void resetAfterError();
};

void TestFtpReplyParser::anySplit_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QList<int>>("lineCounts");
    QTest::newRow("one line CR LF") << QByteArray("220 Ready\r\n") << QList<QByteArray>{"220 Ready"} << QList<int>{220}
                                    << QList<int>{1};
    QTest::newRow("bare LF") << QByteArray("220 Ready\n331 Password\n")
                             << QList<QByteArray>{"220 Ready", "331 Password"} << QList<int>{220, 331}
                             << QList<int>{1, 1};
    QTest::newRow("two replies in one packet")
        << QByteArray("150 Opening\r\n226 Done\r\n") << QList<QByteArray>{"150 Opening", "226 Done"}
        << QList<int>{150, 226} << QList<int>{1, 1};
    QTest::newRow("multi-line") << QByteArray(
                                       "230-Welcome\r\n no code here\r\n230-more\r\n2301 not the end\r\n230 End\r\n")
                                << QList<QByteArray>{"230-Welcome", " no code here", "230-more", "2301 not the end",
                                                     "230 End"}
                                << QList<int>{230} << QList<int>{5};
    QTest::newRow("other code inside multi-line")
        << QByteArray("211-Status\r\n200 inner\r\n211 End\r\n")
        << QList<QByteArray>{"211-Status", "200 inner", "211 End"} << QList<int>{211} << QList<int>{3};
    QTest::newRow("empty inner line") << QByteArray("211-a\r\n\r\n211 b\r\n") << QList<QByteArray>{"211-a", "", "211 b"}
                                      << QList<int>{211} << QList<int>{3};
    QTest::newRow("code alone") << QByteArray("200\r\n") << QList<QByteArray>{"200"} << QList<int>{200}
                                << QList<int>{1};
    QTest::newRow("multi-line ended by code alone")
        << QByteArray("211-a\r\n211\r\n") << QList<QByteArray>{"211-a", "211"} << QList<int>{211} << QList<int>{2};
    QTest::newRow("lone CR kept inside a line")
        << QByteArray("200 a\rb\r\n") << QList<QByteArray>{"200 a\rb"} << QList<int>{200} << QList<int>{1};
    QTest::newRow("8-bit text") << QByteArray("200 M\xFC\x80ller\r\n") << QList<QByteArray>{"200 M\xFC\x80ller"}
                                << QList<int>{200} << QList<int>{1};
    QTest::newRow("open line waits") << QByteArray("220 Ready\r\n331 Pass") << QList<QByteArray>{"220 Ready"}
                                     << QList<int>{220} << QList<int>{1};
}

void TestFtpReplyParser::anySplit()
{
    QFETCH(QByteArray, stream);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QList<int>, codes);
    QFETCH(QList<int>, lineCounts);
    QList<QPair<int, int>> replies;
    for (qsizetype i = 0; i < codes.size(); ++i)
        replies << qMakePair(codes[i], lineCounts[i]);

    // Whole, byte by byte, and cut once at every position.
    QList<QList<QByteArray>> splits{{stream}};
    QList<QByteArray> bytes;
    for (const char c : stream)
        bytes << QByteArray(1, c);
    splits << bytes;
    for (qsizetype cut = 1; cut < stream.size(); ++cut)
        splits << QList<QByteArray>{stream.left(cut), stream.mid(cut)};
    for (const auto& chunks : splits) {
        const Parsed p = Run(chunks);
        QVERIFY(!p.error);
        QCOMPARE(p.lines, lines);
        QCOMPARE(p.replies, replies);
    }
}

void TestFtpReplyParser::errors_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("linesBefore");
    QTest::newRow("not a reply") << QByteArray("hello\r\n") << 0;
    QTest::newRow("two digits") << QByteArray("22 Ready\r\n") << 0;
    QTest::newRow("good then bad") << QByteArray("220 Ready\r\nxyz\r\n") << 1;
    QTest::newRow("endless line") << QByteArray(70000, 'x') << 0;
    QByteArray flood("200-start\r\n");
    for (int i = 0; i < 1000; ++i)
        flood += "200-" + QByteArray(100, 'y') + "\r\n";
    QTest::newRow("endless multi-line reply") << flood << 600; // about 64 KiB passed on
}

void TestFtpReplyParser::errors()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, linesBefore);
    const Parsed p = Run({stream});
    QVERIFY(p.error);
    if (linesBefore <= 1)
        QCOMPARE(p.lines.size(), linesBefore);
    else
        QVERIFY(p.lines.size() >= linesBefore);
}

void TestFtpReplyParser::capBoundary()
{
    const QByteArray reply("211-" + QByteArray(40, 'a') + "\r\n211 " + QByteArray(40, 'b') + "\r\n");
    QVERIFY(!Run({reply}, reply.size()).error);
    QVERIFY(Run({reply}, reply.size() - 1).error);
    // The cap is per reply: many replies of the allowed size pass.
    QVERIFY(!Run({reply + reply + reply + reply}, reply.size()).error);
    // An open line is held to the cap too, before its line end arrives.
    QVERIFY(Run({QByteArray(100, '2')}, 99).error);
}

void TestFtpReplyParser::resetAfterError()
{
    FtpReplyParser parser;
    parser.Append("bad\r\n");
    QByteArray line;
    bool done = false;
    FtpReplyParser::Reply reply;
    QCOMPARE(parser.Next(line, done, reply), FtpReplyParser::Status::Error);
    parser.Append("220 ok\r\n");
    QCOMPARE(parser.Next(line, done, reply), FtpReplyParser::Status::Error);
    parser.Reset();
    parser.Append("220 ok\r\n");
    QCOMPARE(parser.Next(line, done, reply), FtpReplyParser::Status::Line);
    QVERIFY(done);
    QCOMPARE(reply.code, 220);
}

QTEST_APPLESS_MAIN(TestFtpReplyParser)
#include "tst_ftpreplyparser.moc"
