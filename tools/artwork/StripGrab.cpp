// pellaro-stripgrab <folder/>: grabs the transport strip in each look, with the pictures found
// beside this program, as PNG files in folder. Run with QT_SCALE_FACTOR=2 for the 200 % grabs
// (their names end with "@2x").
#include "Mbbuttonsf.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <cstdio>

namespace {

void Send(TMbButtons& strip, QEvent::Type type, QPoint pos, Qt::MouseButtons held)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(pos), QPointF(strip.mapToGlobal(pos)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&strip, &event);
}

QPoint CentreOf(const TMbButtons& strip, int i)
{
    const tMbButton& b = strip.Button(i);
    return QPoint(b.CenterX + strip.DrawOffsetX(), b.CenterY + strip.DrawOffsetY());
}

const QPoint Away(-50, -50);

// Stacks images vertically with a gap, on the strip's background colour.
QImage Stack(const QList<QImage>& images, const QColor& background)
{
    const qreal dpr = images.first().devicePixelRatio();
    const int gap = int(6 * dpr);
    int height = 0;
    int width = 0;
    for (const QImage& image : images) {
        height += image.height() + gap;
        width = std::max(width, image.width());
    }
    QImage sheet(width, height - gap, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(background);
    QPainter p(&sheet);
    int y = 0;
    for (QImage image : images) {
        image.setDevicePixelRatio(1.0);
        p.drawImage(0, y, image);
        y += image.height() + gap;
    }
    p.end();
    sheet.setDevicePixelRatio(dpr);
    return sheet;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: pellaro-stripgrab <output folder>\n");
        return 2;
    }
    QString folder = args.at(1);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    QDir().mkpath(folder);

    // As on the message tab: 289 x 81 with the record button.
    QWidget host;
    host.resize(320, 110);
    TMbButtons strip(&host);
    strip.setGeometry(16, 16, 289, 81);
    strip.SetRecordButton(true);
    QString error;
    if (!strip.LoadImages(QCoreApplication::applicationDirPath() + QLatin1Char('/'), true, &error)) {
        std::fprintf(stderr, "pellaro-stripgrab: %s\n", qPrintable(error));
        return 1;
    }

    const QString suffix = strip.devicePixelRatioF() > 1.0 ? QStringLiteral("@2x.png") : QStringLiteral(".png");
    auto save = [&](const QImage& image, const QString& name) {
        if (!image.save(folder + name + suffix))
            std::fprintf(stderr, "pellaro-stripgrab: cannot write %s\n", qPrintable(folder + name + suffix));
    };
    auto grab = [&] { return strip.grab().toImage(); };

    QList<QImage> hovers;
    QList<QImage> presses;
    const QImage normal = grab();
    for (int i = 0; i < strip.ButtonCount(); ++i) {
        Send(strip, QEvent::MouseMove, CentreOf(strip, i), Qt::NoButton);
        hovers << grab();
        Send(strip, QEvent::MouseButtonPress, CentreOf(strip, i), Qt::LeftButton);
        presses << grab();
        Send(strip, QEvent::MouseMove, Away, Qt::LeftButton); // pressed-away shows the hover look
        Send(strip, QEvent::MouseButtonRelease, Away, Qt::NoButton);
    }
    save(normal, QStringLiteral("strip-normal"));
    save(hovers.at(1), QStringLiteral("strip-hover"));
    save(presses.at(1), QStringLiteral("strip-pressed"));

    strip.SetRecordButton(false);
    const QImage plain = grab();
    save(plain, QStringLiteral("strip-plain"));

    // Every look of every button: the strip at rest, each button hovered, each pressed, the plain set.
    QList<QImage> all;
    all << normal << hovers << presses << plain;
    save(Stack(all, strip.Color()), QStringLiteral("strip-looks"));
    return 0;
}
