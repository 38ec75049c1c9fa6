#include "Mbbuttonsf.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QPointer>

namespace {

QString CannotLoadText(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot load picture \"%1\". %2").arg(path, reason);
}

bool ReadPng(const QString& path, QImage& image, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = CannotLoadText(path, file.errorString());
        return false;
    }
    QImageReader reader(&file, "png");
    image = reader.read();
    if (image.isNull()) {
        if (error)
            *error = CannotLoadText(path, reader.errorString());
        return false;
    }
    return true;
}

// Fills picture from path and checks its "@2x" companion when there is one (readable as a
// PNG, exactly twice the size); the companion is decoded when first drawn.
// The picture is only changed when everything that exists could be read.
bool LoadPicture(tMbPicture& picture, const QString& path, QString* error)
{
    QImage image;
    if (!ReadPng(path, image, error))
        return false;

    QString path2x = path;
    path2x.insert(path2x.size() - 4, QStringLiteral("@2x")); // every name here ends with ".png"
    const bool has2x = QFileInfo::exists(path2x);
    if (has2x) {
        QImageReader reader(path2x, "png");
        const QSize size = reader.size();
        if (!reader.canRead() || !size.isValid()) {
            if (error)
                *error = CannotLoadText(path2x, reader.errorString());
            return false;
        }
        if (size != image.size() * 2) {
            if (error)
                *error = CannotLoadText(
                    path2x, QStringLiteral("It is not twice the size of %1.").arg(QFileInfo(path).fileName()));
            return false;
        }
    }

    picture = tMbPicture();
    picture.Image = QPixmap::fromImage(image);
    picture.Path2x = has2x ? path2x : QString();
    return true;
}

} // namespace

const QPixmap& tMbPicture::Image2x() const
{
    if (!m_decoded2x && Has2x()) {
        m_decoded2x = true;
        QImage image;
        QImageReader reader(Path2x, "png");
        if (reader.read(&image) && image.size() == Image.size() * 2) {
            image.setDevicePixelRatio(2.0);
            m_image2x = QPixmap::fromImage(image);
        }
    }
    return m_image2x;
}

TMbButtons::TMbButtons(QWidget* parent) : QWidget(parent)
{
    for (std::size_t i = 0; i < m_Buttons.size(); ++i) {
        const tMbButtonGeometry& g = MbButtonTable[i];
        m_Buttons[i] = tMbButton{g.CenterX, g.CenterY, g.Radius, g.Gap, tMbButtonState::Normal};
    }
    resize(225, 75);
    // Hover looks need moves without a held button.
    setMouseTracking(true);
    // Every paint fills the whole area; Qt's backing store already double-buffers it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

TMbButtons::~TMbButtons() = default;

void TMbButtons::SetRecordButton(bool value)
{
    m_RecordButton = value;
    if (value) {
        m_CurrentClick = &m_RecClick;
        m_CurrentNormal = &m_RecNormal;
        m_CurrentOver = &m_RecOver;
        m_ButtonCount = 5;
    } else {
        m_CurrentClick = &m_PlainClick;
        m_CurrentNormal = &m_PlainNormal;
        m_CurrentOver = &m_PlainOver;
        m_ButtonCount = 4;
    }
    update();
}

QColor TMbButtons::Color() const
{
    return palette().color(backgroundRole());
}

void TMbButtons::SetColor(const QColor& color)
{
    QPalette pal = palette();
    pal.setColor(backgroundRole(), color);
    setPalette(pal);
    update();
}

bool TMbButtons::LoadImages(const QString& Folder, bool WithRecord, QString* error)
{
    struct Step
    {
        tMbPicture* picture;
        const char* name;
    };
    const Step withRecord[] = {
        {&m_RecClick, "btnclickrec.png"},
        {&m_RecNormal, "btnnormalrec.png"},
        {&m_RecOver, "btnoverrec.png"},
    };
    const Step plain[] = {
        {&m_PlainClick, "btnclick.png"},
        {&m_PlainNormal, "btnnormal.png"},
        {&m_PlainOver, "btnover.png"},
    };

    bool ok = true;
    auto load = [&](const Step& step) {
        if (ok)
            ok = LoadPicture(*step.picture, Folder + QLatin1String(step.name), error);
    };
    if (WithRecord)
        for (const Step& step : withRecord)
            load(step);
    for (const Step& step : plain)
        load(step);
    // Pictures loaded before a failure are already in place; show them either way.
    update();
    return ok;
}

int TMbButtons::BandRight(int index) const
{
    if (index < m_ButtonCount - 1)
        return MbBandLeft(index + 1);
    return m_CurrentNormal->Width();
}

QRect TMbButtons::BandRect(int index) const
{
    const int left = MbBandLeft(index);
    const int right = BandRight(index);
    return QRect(left + m_DrawOffsetX, 0, std::max(0, right - left), MbBandHeight);
}

bool TMbButtons::IsHit(int index, int x, int y) const
{
    if (index < 0 || index >= m_ButtonCount)
        return false;
    const tMbButton& b = m_Buttons[static_cast<std::size_t>(index)];
    const qint64 dx = qint64(b.CenterX) + m_DrawOffsetX - x;
    const qint64 dy = qint64(b.CenterY) + m_DrawOffsetY - y;
    return dx * dx + dy * dy < qint64(b.Radius) * b.Radius; // a point on the circle is outside
}

QSize TMbButtons::sizeHint() const
{
    return QSize(225, 75);
}

void TMbButtons::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_DrawOffsetX = MbDrawOffsetX;
    m_DrawOffsetY = MbDrawOffsetY;
    painter.fillRect(rect(), Color());
    painter.setBrush(Qt::NoBrush);
    // At ratios between 1 and 2 the 2x pictures are scaled down; keep that smooth.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    // The target decides the resolution (the window's backing store, or the image of a grab or
    // render), so a 2x grab uses the 2x pictures too.
    const QPaintDevice* target = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    const bool highDensity = (target ? target->devicePixelRatioF() : devicePixelRatioF()) > 1.0;
    for (int i = 0; i < m_ButtonCount; ++i) {
        const tMbPicture* picture = m_CurrentNormal;
        switch (m_Buttons[static_cast<std::size_t>(i)].State) {
        case tMbButtonState::Normal:
            picture = m_CurrentNormal;
            break;
        case tMbButtonState::Hover:
        case tMbButtonState::PressedAway:
            picture = m_CurrentOver;
            break;
        case tMbButtonState::Pressed:
            picture = m_CurrentClick;
            break;
        }
        if (picture->IsEmpty())
            continue;
        const QPixmap& dense = highDensity ? picture->Image2x() : picture->Image;
        const QPixmap& image = dense.isNull() ? picture->Image : dense;
        painter.setClipRect(BandRect(i));
        painter.drawPixmap(QPoint(m_DrawOffsetX, m_DrawOffsetY), image);
        painter.setClipping(false);
    }
}

// Calls a copy of handler, so a handler may reassign itself; false when the strip
// did not survive the call (a handler may close the window that owns it).
bool TMbButtons::Raise(const TMbButtonEvent& handler, int index)
{
    if (!handler)
        return true;
    QPointer<TMbButtons> alive(this);
    TMbButtonEvent call = handler;
    call(this, index);
    return !alive.isNull();
}

void TMbButtons::mousePressEvent(QMouseEvent* event)
{
    event->accept(); // keep the press, so that moves and the release come here while it is held
    if (!hasFocus())
        setFocus(Qt::MouseFocusReason);
    const QPoint pos = event->position().toPoint();
    for (int i = 0; i < m_ButtonCount; ++i) {
        if (!IsHit(i, pos.x(), pos.y()))
            continue;
        m_Buttons[static_cast<std::size_t>(i)].State = tMbButtonState::Pressed;
        update();
        if (!Raise(OnButtonPress, i))
            return;
    }
}

void TMbButtons::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    bool changed = false;
    for (int i = 0; i < m_ButtonCount; ++i) {
        tMbButtonState& state = m_Buttons[static_cast<std::size_t>(i)].State;
        if (IsHit(i, pos.x(), pos.y())) {
            if (state == tMbButtonState::Normal) {
                state = tMbButtonState::Hover;
                changed = true;
            } else if (state == tMbButtonState::PressedAway) {
                state = tMbButtonState::Pressed;
                changed = true;
                if (!Raise(OnButtonPress, i))
                    return;
            }
        } else {
            if (state == tMbButtonState::Hover) {
                state = tMbButtonState::Normal;
                changed = true;
            } else if (state == tMbButtonState::Pressed) {
                state = tMbButtonState::PressedAway;
                changed = true;
                if (!Raise(OnButtonRelease, i))
                    return;
            }
        }
    }
    if (changed)
        update();
}

void TMbButtons::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    for (int i = 0; i < m_ButtonCount; ++i) {
        tMbButtonState& state = m_Buttons[static_cast<std::size_t>(i)].State;
        if (state == tMbButtonState::Pressed) {
            state = tMbButtonState::Hover;
            update();
            if (!Raise(OnButtonClick, i) || !Raise(OnButtonRelease, i))
                return;
        } else if (state == tMbButtonState::PressedAway) {
            state = tMbButtonState::Normal;
            update();
        }
    }
}

// The pointer left the control without a move over it: no button stays in the hover look.
// Held buttons are left alone; their moves and release still arrive here.
void TMbButtons::leaveEvent(QEvent* event)
{
    bool changed = false;
    for (tMbButton& button : m_Buttons) {
        if (button.State == tMbButtonState::Hover) {
            button.State = tMbButtonState::Normal;
            changed = true;
        }
    }
    if (changed)
        update();
    QWidget::leaveEvent(event);
}
