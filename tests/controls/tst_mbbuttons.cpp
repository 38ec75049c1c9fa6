// Mouse input goes through the window system layer, so Qt's own grab, enter/leave and
// double-click handling take part, as with a real pointer.
#define QTEST_QPA_MOUSE_HANDLING

#include "Mbbuttonsf.h"
#include "TestFolders.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QStringList RecNames{"btnclickrec.png", "btnnormalrec.png", "btnoverrec.png"};
const QStringList PlainNames{"btnclick.png", "btnnormal.png", "btnover.png"};

// One solid colour per picture, so a grab tells which picture each band shows.
const QColor PlainClickColor(0, 0, 255);
const QColor PlainNormalColor(255, 0, 0);
const QColor PlainOverColor(0, 255, 0);
const QColor RecClickColor(0, 0, 128);
const QColor RecNormalColor(128, 0, 0);
const QColor RecOverColor(0, 128, 0);
const QColor Background(255, 255, 0);

const int PictureWidth = 320;
const int PictureHeight = 112;

bool WritePicture(const QString& path, const QColor& color, int scale = 1)
{
    QImage image(PictureWidth * scale, PictureHeight * scale, QImage::Format_ARGB32);
    image.fill(color);
    return image.save(path, "png");
}

// A folder with the six solid pictures.
struct PictureFolder
{
    QTemporaryDir dir;
    QString path() const { return dir.path() + QLatin1Char('/'); }
    bool writeAll()
    {
        return WritePicture(path() + "btnclickrec.png", RecClickColor) &&
               WritePicture(path() + "btnnormalrec.png", RecNormalColor) &&
               WritePicture(path() + "btnoverrec.png", RecOverColor) &&
               WritePicture(path() + "btnclick.png", PlainClickColor) &&
               WritePicture(path() + "btnnormal.png", PlainNormalColor) &&
               WritePicture(path() + "btnover.png", PlainOverColor);
    }
};

QPoint Centre(const TMbButtons& strip, int i)
{
    const tMbButton& b = strip.Button(i);
    return QPoint(b.CenterX + strip.DrawOffsetX(), b.CenterY + strip.DrawOffsetY());
}

// Sends one event straight to the strip (no window system), for setting up states to paint.
void Send(TMbButtons& strip, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(pos), QPointF(strip.mapToGlobal(pos)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&strip, &event);
}

QColor PixelAt(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

// Counts the events of one type that reach the watched object.
class EventCounter : public QObject
{
public:
    explicit EventCounter(QEvent::Type type) : m_type(type) {}
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == m_type)
            ++count;
        return false;
    }

private:
    QEvent::Type m_type;
};

} // namespace

class TestMbButtons : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void constructionDefaults();
    void hitTestIsStrictlyInside_data();
    void hitTestIsStrictlyInside();
    void fourButtonModeIgnoresRecordButton();
    void eventSequences_data();
    void eventSequences();
    void doubleClickRaisesTwoClicks();
    void moveFromButtonToButtonInOneRepaint();
    void pointerLeavingClearsHover();
    void pressTakesFocus();
    void handlerMayDestroyStripOrReplaceItself();

    void paintsEachBandFromItsStatePicture();
    void fourButtonBandReachesPictureEnd();
    void backgroundFollowsParentUntilSet();
    void highDensityUsesDoubleSizePictures();

    void loadImagesStopsAtFirstBadFile_data();
    void loadImagesStopsAtFirstBadFile();
    void loadImagesWithoutRecordLeavesRecordSet();
    void reloadShowsNewPicturesInPlace();

    void generatedPicturesFollowContract_data();
    void generatedPicturesFollowContract();

private:
    // Press, move, release helpers through the window, positions in strip coordinates.
    void press(QPoint at, Qt::MouseButton button = Qt::LeftButton) { QTest::mousePress(m_strip, button, {}, at); }
    void release(QPoint at, Qt::MouseButton button = Qt::LeftButton) { QTest::mouseRelease(m_strip, button, {}, at); }
    void move(QPoint at) { QTest::mouseMove(m_strip, at); }

    std::unique_ptr<QWidget> m_host;
    TMbButtons* m_strip = nullptr;
    QStringList m_log;
};

void TestMbButtons::init()
{
    m_host = std::make_unique<QWidget>();
    m_host->resize(420, 220);
    m_strip = new TMbButtons(m_host.get());
    m_strip->setGeometry(40, 40, 289, 81);
    m_strip->SetRecordButton(true);
    m_log.clear();
    auto logger = [this](const char* what) {
        return [this, what](TMbButtons* sender, std::int32_t seconds) {
            m_log << QStringLiteral("%1 %2%3").arg(QLatin1String(what)).arg(seconds).arg(sender == m_strip ? "" : "?");
        };
    };
    m_strip->OnButtonPress = logger("press");
    m_strip->OnButtonRelease = logger("release");
    m_strip->OnButtonClick = logger("click");
    m_host->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    move(QPoint(-20, -20)); // start with the pointer on the host, off the strip
}

void TestMbButtons::cleanup()
{
    m_host.reset();
    m_strip = nullptr;
}

void TestMbButtons::constructionDefaults()
{
    TMbButtons strip;
    QCOMPARE(strip.size(), QSize(225, 75));
    QCOMPARE(strip.RecordButton(), false);
    QCOMPARE(strip.ButtonCount(), 4);
    QCOMPARE(strip.DrawOffsetX(), -15);
    QCOMPARE(strip.DrawOffsetY(), -20);
    QVERIFY(&strip.CurrentNormal() == &strip.PlainNormal());
    QVERIFY(strip.PlainNormal().IsEmpty() && strip.RecNormal().IsEmpty());
    for (int i = 0; i < 5; ++i)
        QCOMPARE(strip.ButtonState(i), tMbButtonState::Normal);

    strip.SetRecordButton(true);
    QCOMPARE(strip.ButtonCount(), 5);
    QVERIFY(&strip.CurrentClick() == &strip.RecClick());
    QVERIFY(&strip.CurrentOver() == &strip.RecOver());
    strip.SetRecordButton(false);
    QCOMPARE(strip.ButtonCount(), 4);
    QVERIFY(&strip.CurrentOver() == &strip.PlainOver());
}

void TestMbButtons::hitTestIsStrictlyInside_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QPoint>("offset"); // from the centre
    QTest::addColumn<bool>("hit");
    QTest::newRow("play centre") << 1 << QPoint(0, 0) << true;
    QTest::newRow("play 23 right") << 1 << QPoint(23, 0) << true;
    QTest::newRow("play exactly 24 right") << 1 << QPoint(24, 0) << false;
    QTest::newRow("play exactly 24 above") << 1 << QPoint(0, -24) << false;
    QTest::newRow("play 23 left") << 1 << QPoint(-23, 0) << true;
    QTest::newRow("play diagonal 16,17 (545 < 576)") << 1 << QPoint(16, 17) << true;
    QTest::newRow("play diagonal 17,17 (578 > 576)") << 1 << QPoint(17, 17) << false;
    QTest::newRow("back 15 left") << 0 << QPoint(-15, 0) << true;
    QTest::newRow("back exactly 16 left") << 0 << QPoint(-16, 0) << false;
    QTest::newRow("stop exactly 16 below") << 2 << QPoint(0, 16) << false;
    QTest::newRow("stop 15 below") << 2 << QPoint(0, 15) << true;
    QTest::newRow("forward diagonal 11,11 (242 < 256)") << 3 << QPoint(11, 11) << true;
    QTest::newRow("forward diagonal 12,11 (265 > 256)") << 3 << QPoint(12, 11) << false;
    QTest::newRow("record exactly 16 right") << 4 << QPoint(16, 0) << false;
    QTest::newRow("record 15 right") << 4 << QPoint(15, 0) << true;
}

void TestMbButtons::hitTestIsStrictlyInside()
{
    QFETCH(int, button);
    QFETCH(QPoint, offset);
    QFETCH(bool, hit);
    const QPoint at = Centre(*m_strip, button) + offset;
    QCOMPARE(m_strip->IsHit(button, at.x(), at.y()), hit);

    press(at);
    release(at);
    const QStringList expected =
        hit ? QStringList{QStringLiteral("press %1").arg(button), QStringLiteral("click %1").arg(button),
                          QStringLiteral("release %1").arg(button)}
            : QStringList{};
    QCOMPARE(m_log, expected);
}

void TestMbButtons::fourButtonModeIgnoresRecordButton()
{
    m_strip->SetRecordButton(false);
    const QPoint record = Centre(*m_strip, 4);
    QVERIFY(!m_strip->IsHit(4, record.x(), record.y()));
    move(record);
    press(record);
    release(record);
    QCOMPARE(m_log, QStringList{});
    QCOMPARE(m_strip->ButtonState(4), tMbButtonState::Normal);

    m_strip->SetRecordButton(true);
    press(record);
    release(record);
    QCOMPARE(m_log, (QStringList{"press 4", "click 4", "release 4"}));
}

void TestMbButtons::eventSequences_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("mouseButton");
    QTest::addColumn<QList<QPoint>>("path"); // offsets from the centre: press, moves..., release
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("endState");

    const QPoint off(40, 0);      // on the strip, but off the button
    const QPoint outside(0, 120); // below the strip, on the host
    QTest::newRow("plain click") << 1 << int(Qt::LeftButton) << QList<QPoint>{{0, 0}, {0, 0}}
                                 << QStringList{"press 1", "click 1", "release 1"} << int(tMbButtonState::Hover);
    QTest::newRow("press 1, off, back, release")
        << 1 << int(Qt::LeftButton) << QList<QPoint>{{0, 0}, off, {2, 2}, {2, 2}}
        << QStringList{"press 1", "release 1", "press 1", "click 1", "release 1"} << int(tMbButtonState::Hover);
    QTest::newRow("press 2, off the strip, release outside")
        << 2 << int(Qt::LeftButton) << QList<QPoint>{{0, 0}, outside, outside} << QStringList{"press 2", "release 2"}
        << int(tMbButtonState::Normal);
    QTest::newRow("press 2, off onto button 3, release there")
        << 2 << int(Qt::LeftButton) << QList<QPoint>{{0, 0}, {38, 0}, {38, 0}} << QStringList{"press 2", "release 2"}
        << int(tMbButtonState::Normal);
    QTest::newRow("right button, off, back, release")
        << 1 << int(Qt::RightButton) << QList<QPoint>{{0, 0}, off, {0, 0}, {0, 0}}
        << QStringList{"press 1", "release 1", "press 1", "click 1", "release 1"} << int(tMbButtonState::Hover);
    QTest::newRow("middle button click") << 0 << int(Qt::MiddleButton) << QList<QPoint>{{0, 0}, {0, 0}}
                                         << QStringList{"press 0", "click 0", "release 0"}
                                         << int(tMbButtonState::Hover);
}

void TestMbButtons::eventSequences()
{
    QFETCH(int, button);
    QFETCH(int, mouseButton);
    QFETCH(QList<QPoint>, path);
    QFETCH(QStringList, events);
    QFETCH(int, endState);
    const QPoint centre = Centre(*m_strip, button);
    const auto mb = Qt::MouseButton(mouseButton);

    press(centre + path.first(), mb);
    QCOMPARE(m_strip->ButtonState(button), tMbButtonState::Pressed);
    for (qsizetype i = 1; i + 1 < path.size(); ++i)
        move(centre + path.at(i));
    if (path.size() > 2 &&
        !m_strip->IsHit(button, (centre + path.at(path.size() - 2)).x(), (centre + path.at(path.size() - 2)).y()))
        QCOMPARE(m_strip->ButtonState(button), tMbButtonState::PressedAway);
    release(centre + path.last(), mb);
    QCOMPARE(m_log, events);
    QCOMPARE(int(m_strip->ButtonState(button)), endState);
}

void TestMbButtons::doubleClickRaisesTwoClicks()
{
    EventCounter doubleClicks(QEvent::MouseButtonDblClick);
    m_strip->installEventFilter(&doubleClicks);
    const QPoint at = Centre(*m_strip, 2);
    QTest::mouseDClick(m_strip, Qt::LeftButton, {}, at);
    QCOMPARE(doubleClicks.count, 1); // the second press arrives as a double click
    QCOMPARE(m_log, (QStringList{"press 2", "click 2", "release 2", "press 2", "click 2", "release 2"}));
}

void TestMbButtons::moveFromButtonToButtonInOneRepaint()
{
    PictureFolder pictures;
    QVERIFY(pictures.writeAll());
    QVERIFY(m_strip->LoadImages(pictures.path(), true));
    move(Centre(*m_strip, 0));
    QCOMPARE(m_strip->ButtonState(0), tMbButtonState::Hover);
    QApplication::processEvents();

    EventCounter counter(QEvent::Paint);
    m_strip->installEventFilter(&counter);
    // Button 0's right edge is 3 pixels from button 1's band, so one move can cross both.
    move(Centre(*m_strip, 1) - QPoint(20, 0));
    QCOMPARE(m_strip->ButtonState(0), tMbButtonState::Normal);
    QCOMPARE(m_strip->ButtonState(1), tMbButtonState::Hover);
    QTRY_COMPARE(counter.count, 1);
    QApplication::processEvents();
    QCOMPARE(counter.count, 1);
    m_strip->removeEventFilter(&counter);

    const QImage image = m_strip->grab().toImage();
    QCOMPARE(PixelAt(image, Centre(*m_strip, 0).x(), 30), RecNormalColor);
    QCOMPARE(PixelAt(image, Centre(*m_strip, 1).x(), 30), RecOverColor);
    QCOMPARE(m_log, QStringList{});
}

void TestMbButtons::pointerLeavingClearsHover()
{
    move(Centre(*m_strip, 3));
    QCOMPARE(m_strip->ButtonState(3), tMbButtonState::Hover);
    move(QPoint(-30, -30)); // straight onto the host: the strip only sees the pointer leave
    QTRY_COMPARE(m_strip->ButtonState(3), tMbButtonState::Normal);

    // A held button is not touched by leaving; its own moves decide.
    press(Centre(*m_strip, 1));
    move(QPoint(-30, -30));
    QCOMPARE(m_strip->ButtonState(1), tMbButtonState::PressedAway);
    release(QPoint(-30, -30));
    QCOMPARE(m_strip->ButtonState(1), tMbButtonState::Normal);
    QCOMPARE(m_log, (QStringList{"press 1", "release 1"}));
}

void TestMbButtons::pressTakesFocus()
{
    auto* other = new QLineEdit(m_host.get());
    other->move(10, 150);
    other->show();
    other->setFocus();
    QTRY_VERIFY(other->hasFocus());
    press(QPoint(280, 75)); // anywhere on the strip, not necessarily on a button
    QTRY_VERIFY(m_strip->hasFocus());
    release(QPoint(280, 75));
}

void TestMbButtons::handlerMayDestroyStripOrReplaceItself()
{
    // The click handler replaces itself; the call in progress must finish and release must follow.
    int calls = 0;
    m_strip->OnButtonClick = [&](TMbButtons* sender, std::int32_t index) {
        ++calls;
        m_log << QStringLiteral("click %1").arg(index);
        sender->OnButtonClick = nullptr;
    };
    press(Centre(*m_strip, 3));
    release(Centre(*m_strip, 3));
    QCOMPARE(m_log, (QStringList{"press 3", "click 3", "release 3"}));

    // The click handler destroys the strip (as closing its window would): no release, no crash.
    m_log.clear();
    QPointer<TMbButtons> watch(m_strip);
    m_strip->OnButtonClick = [&](TMbButtons* sender, std::int32_t index) {
        m_log << QStringLiteral("click %1").arg(index);
        delete sender;
    };
    press(Centre(*m_strip, 1));
    release(Centre(*m_strip, 1));
    QVERIFY(watch.isNull());
    m_strip = nullptr;
    QCOMPARE(m_log, (QStringList{"press 1", "click 1"}));
    QCOMPARE(calls, 1);
}

void TestMbButtons::paintsEachBandFromItsStatePicture()
{
    PictureFolder pictures;
    QVERIFY(pictures.writeAll());
    m_strip->SetColor(Background);
    m_strip->setGeometry(40, 40, 360, 130); // wider and taller than the pictures reach
    QVERIFY(m_strip->LoadImages(pictures.path(), true));

    // Button 0 hover, button 2 pressed, the rest normal.
    Send(*m_strip, QEvent::MouseMove, Centre(*m_strip, 0), Qt::NoButton, Qt::NoButton);
    Send(*m_strip, QEvent::MouseButtonPress, Centre(*m_strip, 2), Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(m_strip->ButtonState(0), tMbButtonState::Hover);
    QCOMPARE(m_strip->ButtonState(2), tMbButtonState::Pressed);

    const QImage image = m_strip->grab().toImage();
    struct Probe
    {
        int x;
        int y;
        QColor color;
    };
    // Band boundaries on the control: 0-15, 61-15, 123-15, 161-15, 197-15, and the picture's end 320-15;
    // the picture's bottom edge is at 112-20.
    const Probe probes[] = {
        {0, 0, RecOverColor},      {45, 40, RecOverColor},    {46, 40, RecNormalColor},  {107, 40, RecNormalColor},
        {108, 40, RecClickColor},  {145, 40, RecClickColor},  {146, 40, RecNormalColor}, {181, 40, RecNormalColor},
        {182, 40, RecNormalColor}, {304, 91, RecNormalColor}, {305, 40, Background},     {200, 92, Background},
        {359, 129, Background},
    };
    for (const Probe& p : probes)
        QVERIFY2(PixelAt(image, p.x, p.y) == p.color,
                 qPrintable(QStringLiteral("(%1,%2) is %3").arg(p.x).arg(p.y).arg(PixelAt(image, p.x, p.y).name())));

    // Pressed-away shows the hover look.
    Send(*m_strip, QEvent::MouseMove, QPoint(300, 100), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(m_strip->ButtonState(2), tMbButtonState::PressedAway);
    QCOMPARE(PixelAt(m_strip->grab().toImage(), 130, 40), RecOverColor);
}

void TestMbButtons::fourButtonBandReachesPictureEnd()
{
    PictureFolder pictures;
    QVERIFY(pictures.writeAll());
    m_strip->SetColor(Background);
    m_strip->setGeometry(40, 40, 360, 130);
    QVERIFY(m_strip->LoadImages(pictures.path(), true));
    m_strip->SetRecordButton(false);
    QCOMPARE(m_strip->BandRect(3), QRect(161 - 15, 0, 320 - 161, 120));

    Send(*m_strip, QEvent::MouseButtonPress, Centre(*m_strip, 3), Qt::LeftButton, Qt::LeftButton);
    const QImage image = m_strip->grab().toImage();
    QCOMPARE(PixelAt(image, 145, 40), PlainNormalColor);
    QCOMPARE(PixelAt(image, 146, 40), PlainClickColor);
    QCOMPARE(PixelAt(image, Centre(*m_strip, 4).x(), 40), PlainClickColor); // where the record button would be
    QCOMPARE(PixelAt(image, 304, 40), PlainClickColor);
    QCOMPARE(PixelAt(image, 305, 40), Background);
    Send(*m_strip, QEvent::MouseButtonRelease, Centre(*m_strip, 3), Qt::LeftButton, Qt::NoButton);

    // Switching back keeps the states and shows the record set again.
    m_strip->SetRecordButton(true);
    QCOMPARE(m_strip->ButtonState(3), tMbButtonState::Hover);
    QCOMPARE(PixelAt(m_strip->grab().toImage(), 190, 40), RecNormalColor); // button 4's band now
    QCOMPARE(PixelAt(m_strip->grab().toImage(), 150, 40), RecOverColor);
}

void TestMbButtons::backgroundFollowsParentUntilSet()
{
    QPalette pal = m_host->palette();
    pal.setColor(QPalette::Window, QColor(10, 20, 30));
    m_host->setPalette(pal);
    QCOMPARE(m_strip->Color(), QColor(10, 20, 30));
    // No pictures loaded: every band shows the background.
    QImage image = m_strip->grab().toImage();
    QCOMPARE(PixelAt(image, Centre(*m_strip, 1).x(), Centre(*m_strip, 1).y()), QColor(10, 20, 30));

    m_strip->SetColor(Background);
    pal.setColor(QPalette::Window, QColor(40, 50, 60));
    m_host->setPalette(pal);
    QCOMPARE(m_strip->Color(), Background);
    image = m_strip->grab().toImage();
    QCOMPARE(PixelAt(image, 5, 5), Background);
}

void TestMbButtons::highDensityUsesDoubleSizePictures()
{
    PictureFolder pictures;
    QVERIFY(pictures.writeAll());
    const QColor dense(200, 100, 50);
    QVERIFY(WritePicture(pictures.path() + "btnnormalrec@2x.png", dense, 2));
    QVERIFY(m_strip->LoadImages(pictures.path(), true));
    QVERIFY(m_strip->RecNormal().Has2x());
    QVERIFY(!m_strip->RecOver().Has2x());

    auto render = [&](qreal dpr) {
        QImage image(m_strip->size() * dpr, QImage::Format_ARGB32);
        image.setDevicePixelRatio(dpr);
        m_strip->render(&image);
        return image;
    };
    QCOMPARE(PixelAt(render(1.0), 100, 40), RecNormalColor);
    const QImage dense2 = render(2.0);
    QCOMPARE(PixelAt(dense2, 200, 80), dense);
    // The 2x picture covers the same logical area: it ends at picture x 320 (control 305).
    m_strip->setGeometry(40, 40, 360, 130);
    const QImage wide = render(2.0);
    QCOMPARE(PixelAt(wide, 2 * 304 + 1, 80), dense);
    QCOMPARE(PixelAt(wide, 2 * 305, 80), m_strip->Color());

    // A companion whose header reads but whose data is damaged is found when first drawn;
    // the strip then draws the ordinary picture.
    {
        QFile damaged(pictures.path() + "btnoverrec@2x.png");
        QVERIFY(WritePicture(damaged.fileName(), dense, 2));
        QVERIFY(damaged.resize(damaged.size() / 2));
        QVERIFY(m_strip->LoadImages(pictures.path(), true));
        QVERIFY(m_strip->RecOver().Has2x());
        QVERIFY(m_strip->RecOver().Image2x().isNull());
        QVERIFY(QFile::remove(damaged.fileName()));
        QVERIFY(m_strip->LoadImages(pictures.path(), true));
    }

    // A companion of the wrong size is reported, naming it.
    QVERIFY(WritePicture(pictures.path() + "btnover@2x.png", dense, 1));
    QString error;
    QVERIFY(!m_strip->LoadImages(pictures.path(), true, &error));
    QVERIFY2(error.startsWith(QStringLiteral("Cannot load picture \"%1btnover@2x.png\".").arg(pictures.path())),
             qPrintable(error));
}

void TestMbButtons::loadImagesStopsAtFirstBadFile_data()
{
    QTest::addColumn<QString>("badName");
    QTest::addColumn<bool>("missing"); // else the file holds bytes that are not a PNG
    QTest::addColumn<QString>("reason");
    for (const QString& name : RecNames + PlainNames) {
        QTest::newRow(qPrintable(name + " missing")) << name << true << QStringLiteral("No such file or directory");
    }
    QTest::newRow("btnnormalrec.png garbage") << QStringLiteral("btnnormalrec.png") << false << QString();
    QTest::newRow("btnover.png garbage") << QStringLiteral("btnover.png") << false << QString();
}

void TestMbButtons::loadImagesStopsAtFirstBadFile()
{
    QFETCH(QString, badName);
    QFETCH(bool, missing);
    QFETCH(QString, reason);
    PictureFolder pictures;
    QVERIFY(pictures.writeAll());
    const QString badPath = pictures.path() + badName;
    if (missing)
        QVERIFY(QFile::remove(badPath));
    else
        QVERIFY(WriteTestFile(badPath, QByteArray("\x89PNG\r\n\x1a\n not really a picture")));

    QString error;
    QVERIFY(!m_strip->LoadImages(pictures.path(), true, &error));
    const QString head = QStringLiteral("Cannot load picture \"%1\". ").arg(badPath);
    QVERIFY2(error.startsWith(head) && error.size() > head.size(), qPrintable(error));
    if (!reason.isEmpty())
        QCOMPARE(error, head + reason);

    // Loading order: the record set, then the plain set, each click, normal, over.
    const tMbPicture* order[] = {&m_strip->RecClick(),   &m_strip->RecNormal(),   &m_strip->RecOver(),
                                 &m_strip->PlainClick(), &m_strip->PlainNormal(), &m_strip->PlainOver()};
    const qsizetype bad = (RecNames + PlainNames).indexOf(badName);
    for (qsizetype i = 0; i < 6; ++i)
        QVERIFY2(order[i]->IsEmpty() == (i >= bad), qPrintable(QStringLiteral("picture %1").arg(i)));
}

void TestMbButtons::loadImagesWithoutRecordLeavesRecordSet()
{
    PictureFolder pictures;
    QVERIFY(pictures.writeAll());
    QVERIFY(m_strip->LoadImages(pictures.path(), false));
    QVERIFY(m_strip->RecClick().IsEmpty() && m_strip->RecNormal().IsEmpty() && m_strip->RecOver().IsEmpty());
    QVERIFY(!m_strip->PlainClick().IsEmpty() && !m_strip->PlainNormal().IsEmpty() && !m_strip->PlainOver().IsEmpty());

    // Without the record set's files it still succeeds.
    for (const QString& name : RecNames)
        QVERIFY(QFile::remove(pictures.path() + name));
    QVERIFY(m_strip->LoadImages(pictures.path(), false));
}

void TestMbButtons::reloadShowsNewPicturesInPlace()
{
    PictureFolder pictures;
    QVERIFY(pictures.writeAll());
    QVERIFY(m_strip->LoadImages(pictures.path(), true));
    QCOMPARE(PixelAt(m_strip->grab().toImage(), 100, 40), RecNormalColor);

    const QColor replaced(1, 2, 3);
    QVERIFY(WritePicture(pictures.path() + "btnnormalrec.png", replaced));
    QVERIFY(m_strip->LoadImages(pictures.path(), true));
    QCOMPARE(PixelAt(m_strip->grab().toImage(), 100, 40), replaced);
}

void TestMbButtons::generatedPicturesFollowContract_data()
{
    QTest::addColumn<bool>("withRecord");
    QTest::newRow("plain set") << false;
    QTest::newRow("record set") << true;
}

// The pictures the build draws: each button's circle is opaque at its centre and inside its
// radius, clear just outside it (within its band), and each look differs from the others there.
void TestMbButtons::generatedPicturesFollowContract()
{
    QFETCH(bool, withRecord);
    const QString folder = BinDir() + QLatin1Char('/');
    TMbButtons strip;
    QString error;
    QVERIFY2(strip.LoadImages(folder, true, &error), qPrintable(error));
    strip.SetRecordButton(withRecord);

    const QImage normal = strip.CurrentNormal().Image.toImage();
    const QImage over = strip.CurrentOver().Image.toImage();
    const QImage click = strip.CurrentClick().Image.toImage();
    for (const QImage* image : {&normal, &over, &click}) {
        QVERIFY(image->hasAlphaChannel());
        // Covers the message tab's 289 x 81 strip.
        QVERIFY(image->width() >= 289 + 15 && image->height() >= 81 + 20);
    }

    for (int i = 0; i < 5; ++i) {
        const tMbButton& b = strip.Button(i);
        const bool present = i < strip.ButtonCount();
        for (const QImage* image : {&normal, &over, &click}) {
            const int alpha = image->pixelColor(b.CenterX, b.CenterY - b.Radius + 3).alpha();
            QVERIFY2(present ? alpha == 255 : alpha < 255,
                     qPrintable(QStringLiteral("button %1 alpha %2").arg(i).arg(alpha)));
            if (!present)
                continue;
            // The circle's rim: solid 2 pixels inside, nothing of the button 2 pixels outside (left and right).
            QCOMPARE(image->pixelColor(b.CenterX - b.Radius + 2, b.CenterY).alpha(), 255);
            QCOMPARE(image->pixelColor(b.CenterX + b.Radius - 2, b.CenterY).alpha(), 255);
        }
        if (!present)
            continue;
        // Outside the circle (but inside the band) all three looks are the same: only the button changes.
        const QPoint rim(b.CenterX + b.Radius + 1, b.CenterY);
        QCOMPARE(over.pixelColor(rim), normal.pixelColor(rim));
        QCOMPARE(click.pixelColor(rim), normal.pixelColor(rim));
        // Inside, the looks differ from each other.
        auto differs = [&](const QImage& a, const QImage& c) {
            int count = 0;
            for (int y = b.CenterY - b.Radius + 2; y < b.CenterY + b.Radius - 2; ++y)
                for (int x = b.CenterX - b.Radius + 2; x < b.CenterX + b.Radius - 2; ++x)
                    count += a.pixel(x, y) != c.pixel(x, y);
            return count;
        };
        QVERIFY2(differs(normal, over) > 20, qPrintable(QStringLiteral("button %1 hover look").arg(i)));
        QVERIFY2(differs(normal, click) > 20, qPrintable(QStringLiteral("button %1 pressed look").arg(i)));
        QVERIFY2(differs(over, click) > 20, qPrintable(QStringLiteral("button %1 hover vs pressed").arg(i)));
    }

    // The high-density versions are beside them and were taken.
    QVERIFY(strip.CurrentNormal().Has2x());
    QCOMPARE(strip.CurrentNormal().Image2x().size(), normal.size() * 2);
}

QTEST_MAIN(TestMbButtons)
#include "tst_mbbuttons.moc"
