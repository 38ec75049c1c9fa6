#pragma once

#include <QString>

// The progress window as the load and save procedures drive it.
class IProgressSink
{
public:
    virtual ~IProgressSink() = default;
    virtual void ShowProgress() = 0;            // shown without modality
    virtual void SetPosition(int position) = 0; // 0 to 100
    virtual void SetText(const QString& text) = 0;
    virtual void HideProgress() = 0;
};

// A sink that shows nothing (headless callers that want no progress).
class NullProgressSink final : public IProgressSink
{
public:
    void ShowProgress() override {}
    void SetPosition(int) override {}
    void SetText(const QString&) override {}
    void HideProgress() override {}
};
