#include "UnitUpdater.h"

#include "Updater.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>

namespace {

constexpr int PictureWidth = 121;

// The decorative picture on the left: a blue band with a download sign.
QPixmap UpdaterPicture()
{
    const QSize size(PictureWidth, TFormUpdater::DesignHeight);
    QPixmap pm(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, size.height());
    bg.setColorAt(0.0, QColor(0x1d, 0x4e, 0x89));
    bg.setColorAt(1.0, QColor(0x4f, 0x93, 0xce));
    p.fillRect(pm.rect(), bg);

    // Faint rings behind the sign.
    const QPointF centre(size.width() / 2.0, 112);
    p.setPen(QPen(QColor(255, 255, 255, 28), 2));
    for (int r = 30; r <= 150; r += 24)
        p.drawEllipse(centre, r, r);

    // A disc holding a downward arrow onto a tray.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawEllipse(centre, 36, 36);
    const QColor ink(0x1d, 0x4e, 0x89);
    p.setBrush(ink);
    QPainterPath arrow;
    arrow.moveTo(centre.x() - 7, centre.y() - 22);
    arrow.lineTo(centre.x() + 7, centre.y() - 22);
    arrow.lineTo(centre.x() + 7, centre.y() - 2);
    arrow.lineTo(centre.x() + 17, centre.y() - 2);
    arrow.lineTo(centre.x(), centre.y() + 14);
    arrow.lineTo(centre.x() - 17, centre.y() - 2);
    arrow.lineTo(centre.x() - 7, centre.y() - 2);
    arrow.closeSubpath();
    p.drawPath(arrow);
    p.drawRoundedRect(QRectF(centre.x() - 20, centre.y() + 18, 40, 5), 2, 2);

    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(15);
    p.setFont(f);
    p.setPen(QColor(255, 255, 255, 230));
    p.drawText(QRect(0, 168, size.width(), 22), Qt::AlignCenter, QStringLiteral("Pellaro"));
    f.setBold(false);
    f.setPixelSize(11);
    p.setFont(f);
    p.setPen(QColor(255, 255, 255, 190));
    p.drawText(QRect(0, 188, size.width(), 18), Qt::AlignCenter, QStringLiteral("Software update"));
    return pm;
}

QPushButton* FlatButton(const QString& caption, QWidget* parent, const char* name)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setFlat(true);
    b->setAutoDefault(false);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

// Puts a button at its design place; one whose caption would be cut grows to the right.
void PlaceButton(QPushButton* b, const QRect& design)
{
    QRect r = design;
    r.setWidth(std::max(design.width(), b->fontMetrics().horizontalAdvance(b->text().remove(QLatin1Char('&'))) + 12));
    b->setGeometry(r);
}

} // namespace

TFormUpdater::TFormUpdater(QWidget* owner, const QString& workFolder) : QDialog(owner), m_workFolder(workFolder)
{
    setObjectName(QStringLiteral("FormUpdater"));
    // A sizable tool window without caption buttons: no close box.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    // The fixed positions and sizes were drawn for an 8-point dialog font.
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);
    // Flat buttons get a thin frame, so that they read as buttons on every style.
    setStyleSheet(QStringLiteral(
        "QPushButton[flat=\"true\"] { border: 1px solid #8c96a3; border-radius: 3px; background: #fbfbfc;"
        " padding: 0px 4px; }"
        "QPushButton[flat=\"true\"]:hover { border-color: #2f6fc0; background: #e8f0fb; }"
        "QPushButton[flat=\"true\"]:pressed { background: #d3e2f7; }"
        "QPushButton[flat=\"true\"]:focus { border-color: #2f6fc0; }"
        "QPushButton[flat=\"true\"]:disabled { border-color: #c9ced4; color: #9aa0a6; background: #f3f3f4; }"));
    resize(DesignWidth, DesignHeight);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(UpdaterPicture());
    Image1->setScaledContents(true);

    ButtonCheckUpdate = FlatButton(QStringLiteral("Check Update"), this, "ButtonCheckUpdate");

    SimplePanelUpdate = new QFrame(this);
    SimplePanelUpdate->setObjectName(QStringLiteral("SimplePanelUpdate"));
    SimplePanelUpdate->setFrameShape(QFrame::NoFrame);
    SimplePanelUpdate->setAutoFillBackground(true);
    SimplePanelUpdate->hide();

    LabelUpdate = new QLabel(SimplePanelUpdate);
    LabelUpdate->setObjectName(QStringLiteral("LabelUpdate"));

    MemoUpdate = new QPlainTextEdit(SimplePanelUpdate);
    MemoUpdate->setObjectName(QStringLiteral("MemoUpdate"));
    MemoUpdate->setEnabled(false);
    // Greyed, but dark enough to be read.
    QPalette memoPalette = MemoUpdate->palette();
    memoPalette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x5f, 0x63, 0x68));
    MemoUpdate->setPalette(memoPalette);
    MemoUpdate->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    ProgressBar1 = new QProgressBar(SimplePanelUpdate);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->hide();
    SetProgressTag(0);

    ButtonCancel = FlatButton(QStringLiteral("&Cancel"), SimplePanelUpdate, "ButtonCancel");
    ButtonUpdate = FlatButton(QStringLiteral("&Download"), SimplePanelUpdate, "ButtonUpdate");

    m_ApplUpdater = new TUpdater(this);
    m_ApplUpdater->setObjectName(QStringLiteral("ApplUpdater"));
    m_ApplUpdater->OnProgress = [this](TUpdater* sender, quint32 pos) { ApplUpdaterProgress(sender, pos); };

    connect(ButtonCheckUpdate, &QPushButton::clicked, this, [this] { ButtonCheckUpdateClick(); });
    connect(ButtonUpdate, &QPushButton::clicked, this, [this] { ButtonUpdateClick(); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancelClick(); });

    LayOut();
}

TFormUpdater::~TFormUpdater() = default;

void TFormUpdater::LayOut()
{
    const int w = width();
    const int h = height();
    Image1->setGeometry(0, 0, PictureWidth, h);
    PlaceButton(ButtonCheckUpdate, QRect(264, 104, 81, 22));
    SimplePanelUpdate->setGeometry(PictureWidth, 0, std::max(0, w - PictureWidth), h);
    const int panelWidth = SimplePanelUpdate->width();
    // The result text stands at 40, 32; a text too long for the rest of the panel moves left
    // rather than being cut off at the window's edge.
    LabelUpdate->adjustSize();
    const int textWidth = std::min(LabelUpdate->width(), std::max(0, panelWidth - 8));
    LabelUpdate->setGeometry(std::clamp(panelWidth - 6 - textWidth, 4, 40), 32, textWidth, LabelUpdate->height());
    // The text box keeps its place and height; it is never wider than the panel, so that
    // its right border stays in sight.
    MemoUpdate->setGeometry(0, 48, std::min(425, panelWidth), 145);
    ProgressBar1->setGeometry(40, 56, 241, 20);
    PlaceButton(ButtonCancel, QRect(48, 232, 65, 25));
    PlaceButton(ButtonUpdate, QRect(192, 232, 65, 25));
}

void TFormUpdater::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    LayOut();
}

bool TFormUpdater::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(e);
}

void TFormUpdater::showEvent(QShowEvent* e)
{
    // Also on showing: a window system that never activates the dialog still gets the caption.
    FormActivate();
    QDialog::showEvent(e);
}

void TFormUpdater::reject()
{
    if (m_busy)
        return;
    QDialog::reject();
}

int TFormUpdater::ProgressTag() const
{
    return ProgressBar1->property("Tag").toInt();
}

void TFormUpdater::SetProgressTag(int tag)
{
    ProgressBar1->setProperty("Tag", tag);
}

void TFormUpdater::FormActivate()
{
    m_ApplUpdater->SetUpdateFile(m_workFolder + QStringLiteral("uPellaro.ini"));
    m_ApplUpdater->SetCurrentVersion(CompiledVersion());
    setWindowTitle(QStringLiteral("Current version ") + m_ApplUpdater->GetCurrentVersion());
}

void TFormUpdater::ButtonCheckUpdateClick()
{
    if (m_busy)
        return;
    ButtonCheckUpdate->setEnabled(false);
    m_ApplUpdater->SetURL(UpdateDescriptorURL());
    SetProgressTag(0);
    m_busy = true;
    const bool found = m_ApplUpdater->CheckUpdate();
    m_busy = false;
    if (!found) {
        ButtonUpdate->hide();
        SimplePanelUpdate->show();
        SimplePanelUpdate->raise();
        LabelUpdate->setText(QStringLiteral("There is no update available"));
    } else {
        SimplePanelUpdate->show();
        SimplePanelUpdate->raise();
        LabelUpdate->setText(QStringLiteral("There is an Update available from v") +
                             m_ApplUpdater->GetCurrentVersion() + QStringLiteral(" to v") +
                             m_ApplUpdater->LatestVersion());
        for (int i = 0; i < m_ApplUpdater->GetDescriptionCount(); ++i)
            MemoUpdate->appendPlainText(m_ApplUpdater->GetDescription(i));
    }
    LabelUpdate->setToolTip(LabelUpdate->text());
    LayOut();
}

void TFormUpdater::ButtonUpdateClick()
{
    if (m_busy)
        return;
    ButtonCancel->setEnabled(false);
    ButtonUpdate->setEnabled(false);
    SetProgressTag(1);
    m_busy = true;
    const bool done = m_ApplUpdater->DoUpdate();
    m_busy = false;
    if (done && m_ApplUpdater->RestartNeeded() && m_ApplUpdater->CopierStarted())
        accept();
}

void TFormUpdater::ButtonCancelClick()
{
    reject();
}

void TFormUpdater::ApplUpdaterProgress(TUpdater* Sender, quint32 dwPosition)
{
    Q_UNUSED(Sender);
    if (ProgressTag() == 1) {
        MemoUpdate->hide();
        ProgressBar1->show();
        // A maximum of 0 (no size known) shows the bar's busy indication.
        ProgressBar1->setRange(0, std::max(0, m_ApplUpdater->iFileSize()));
        SetProgressTag(0);
    }
    // The bar ignores values outside its range; a file larger than its stated Size fills it.
    const qint64 max = ProgressBar1->maximum();
    ProgressBar1->setValue(static_cast<int>(std::min<qint64>(dwPosition, max)));
}

bool RunUpdateDialog(QWidget* owner, const QString& workFolder)
{
    TFormUpdater dialog(owner, workFolder);
    return dialog.exec() == QDialog::Accepted;
}
