#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs action on the next modal window that opens (the dialog a command runs with exec()),
// polling from the event loop; gives up after timeoutMs.
inline void WhenModal(std::function<void(QWidget*)> action, int timeoutMs = 5000)
{
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, action = std::move(action), timeoutMs] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && clock->elapsed() < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (modal)
            action(modal);
    });
    timer->start(10);
}
