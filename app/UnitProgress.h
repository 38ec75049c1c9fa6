#pragma once

#include "ProgressSink.h"

#include <QWidget>

class QLabel;
class QProgressBar;

// The progress window of loads and saves: a tool window over its owner with one line
// of text above a bar from 0 to 100, shown without modality.
class TFormProgress final : public QWidget, public IProgressSink
{
    Q_OBJECT

public:
    explicit TFormProgress(QWidget* owner = nullptr);

    void ShowProgress() override;
    void SetPosition(int position) override;
    void SetText(const QString& text) override;
    void HideProgress() override;

    QLabel* SimpleLabelProgress = nullptr;
    QProgressBar* Progress = nullptr;
};
