#pragma once

#include "MbButtonTable.h"

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class TMbButtons;

// The strip's event: the raising strip, then the button index (0..4) in Seconds.
using TMbButtonEvent = std::function<void(TMbButtons* Sender, std::int32_t Seconds)>;

enum class tMbButtonState {
    Normal = 0,
    Hover = 1,
    Pressed = 2,
    PressedAway = 3, // went down on the button and is still held, but the pointer is now outside it
};

// One button: constant geometry (picture coordinates) and its current state.
struct tMbButton
{
    int CenterX = 0;
    int CenterY = 0;
    int Radius = 0;
    int Gap = 0;
    tMbButtonState State = tMbButtonState::Normal;
};

// One PNG picture of the whole strip. Image is drawn at one picture pixel per logical
// pixel. A high-density companion ("name@2x.png", twice the size) is drawn instead on
// high-density screens; it is checked when the pictures are loaded but decoded only when
// first drawn, so a start on an ordinary screen does not pay for it. Image empty: the
// picture draws nothing.
struct tMbPicture
{
    QPixmap Image;
    QString Path2x; // the companion's file, empty when there is none

    bool IsEmpty() const { return Image.isNull(); }
    int Width() const { return Image.width(); } // in picture coordinates
    bool Has2x() const { return !Path2x.isEmpty(); }
    // The companion, decoded on the first call; null when there is none or it cannot be read.
    const QPixmap& Image2x() const;

private:
    mutable QPixmap m_image2x;
    mutable bool m_decoded2x = false;
};

// A row of round media-transport buttons painted from three whole-strip pictures (normal,
// hover, pressed). Each button owns a vertical band of the control and shows, inside it,
// the picture that matches its own state. Reports presses, releases and clicks by index;
// the buttons' meaning is the owner's business.
class TMbButtons final : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool RecordButton READ RecordButton WRITE SetRecordButton)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)

public:
    explicit TMbButtons(QWidget* parent = nullptr);
    ~TMbButtons() override;
    Q_DISABLE_COPY_MOVE(TMbButtons)

    // A button was pressed and released over itself.
    TMbButtonEvent OnButtonClick;
    // A button went down, or the held pointer came back over it.
    TMbButtonEvent OnButtonPress;
    // A pressed button came up, or the held pointer left it.
    TMbButtonEvent OnButtonRelease;

    // True: five buttons and the record picture set; false: buttons 0..3 and the plain set.
    bool RecordButton() const { return m_RecordButton; }
    void SetRecordButton(bool value);
    std::int32_t ButtonCount() const { return m_ButtonCount; }

    std::int32_t DrawOffsetX() const { return m_DrawOffsetX; }
    std::int32_t DrawOffsetY() const { return m_DrawOffsetY; }

    // Background colour. Until set it follows the parent's background, like any widget's palette.
    QColor Color() const;
    void SetColor(const QColor& color);

    // Loads the pictures from Folder, which must end with a path separator (names are appended
    // unchanged). With WithRecord first "btnclickrec.png", "btnnormalrec.png", "btnoverrec.png",
    // then always "btnclick.png", "btnnormal.png", "btnover.png". Each picture is replaced in
    // place; an optional "<name>@2x.png" beside a file is taken as its high-density version.
    // On the first file that is missing or unreadable it stops and returns false with *error
    // naming the file; the pictures after it keep what they held.
    bool LoadImages(const QString& Folder, bool WithRecord, QString* error = nullptr);

    // State and geometry of button index (0..4).
    tMbButtonState ButtonState(int index) const { return m_Buttons.at(index).State; }
    const tMbButton& Button(int index) const { return m_Buttons.at(index); }
    // Button index's band on the control (x from L - 15 to R - 15, y 0 to 120).
    QRect BandRect(int index) const;
    // True when control point (x, y) lies strictly inside button index's circle.
    bool IsHit(int index, int x, int y) const;

    // The six pictures and the set in use.
    const tMbPicture& PlainClick() const { return m_PlainClick; }
    const tMbPicture& PlainNormal() const { return m_PlainNormal; }
    const tMbPicture& PlainOver() const { return m_PlainOver; }
    const tMbPicture& RecClick() const { return m_RecClick; }
    const tMbPicture& RecNormal() const { return m_RecNormal; }
    const tMbPicture& RecOver() const { return m_RecOver; }
    const tMbPicture& CurrentClick() const { return *m_CurrentClick; }
    const tMbPicture& CurrentNormal() const { return *m_CurrentNormal; }
    const tMbPicture& CurrentOver() const { return *m_CurrentOver; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    int BandRight(int index) const;
    bool Raise(const TMbButtonEvent& handler, int index);

    bool m_RecordButton = false;
    std::int32_t m_ButtonCount = 4;
    std::int32_t m_DrawOffsetX = MbDrawOffsetX;
    std::int32_t m_DrawOffsetY = MbDrawOffsetY;
    tMbPicture m_PlainClick;
    tMbPicture m_PlainNormal;
    tMbPicture m_PlainOver;
    tMbPicture m_RecClick;
    tMbPicture m_RecNormal;
    tMbPicture m_RecOver;
    const tMbPicture* m_CurrentClick = &m_PlainClick;
    const tMbPicture* m_CurrentNormal = &m_PlainNormal;
    const tMbPicture* m_CurrentOver = &m_PlainOver;
    std::array<tMbButton, 5> m_Buttons;
};
