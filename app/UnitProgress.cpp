#include "UnitProgress.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TFormProgress::TFormProgress(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("FormProgress"));
    setWindowTitle(QStringLiteral("Progress"));

    SimpleLabelProgress = new QLabel(this);
    SimpleLabelProgress->setObjectName(QStringLiteral("SimpleLabelProgress"));
    SimpleLabelProgress->setTextFormat(Qt::PlainText);
    SimpleLabelProgress->setMinimumWidth(1); // long texts are cut, not widening the window
    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setRange(0, 100);
    Progress->setValue(0);
    Progress->setTextVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 14);
    layout->setSpacing(8);
    layout->addWidget(SimpleLabelProgress);
    layout->addWidget(Progress);
    resize(340, 78);
    setMinimumSize(200, 70);
}

void TFormProgress::ShowProgress()
{
    // Centred over the owner each time it appears.
    if (QWidget* owner = parentWidget()) {
        const QRect frame = owner->frameGeometry();
        move(frame.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
}

void TFormProgress::SetPosition(int position)
{
    Progress->setValue(qBound(0, position, 100));
}

void TFormProgress::SetText(const QString& text)
{
    SimpleLabelProgress->setText(text);
}

void TFormProgress::HideProgress()
{
    hide();
}
