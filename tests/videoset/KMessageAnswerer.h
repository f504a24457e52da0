#pragma once

#include "KMessageWidget.h"

#include <QApplication>
#include <QTimer>
#include <functional>

// Answers every message window that opens (accepting it) and remembers its heading and text.
struct MessageAnswerer
{
    explicit MessageAnswerer(std::function<void()> beforeAnswer = nullptr)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, beforeAnswer] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *message = qobject_cast<KMessageWidget *>(widget);
                if (message && message->isVisible()) {
                    texts << message->heading() + ": " + message->text();
                    if (beforeAnswer)
                        beforeAnswer();
                    message->confirm();
                }
            }
        });
        timer.start(20);
    }

    QStringList texts;
    QTimer timer;
};
