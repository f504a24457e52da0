#pragma once

#include "KMessageWidget.h"

#include <QApplication>
#include <QTimer>
#include <functional>

// Answers every message window that opens (accepting it) and remembers its heading and text.
class MessageAnswerer : public QObject
{
public:
    explicit MessageAnswerer(std::function<void()> beforeAnswer = nullptr)
        : m_beforeAnswer(std::move(beforeAnswer))
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, &MessageAnswerer::answer);
        m_timer.start();
    }

    QStringList texts;

private:
    void answer()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *message = qobject_cast<KMessageWidget *>(widget);
            if (!message || !message->isVisible())
                continue;
            texts << message->heading() + QStringLiteral(": ") + message->text();
            if (m_beforeAnswer)
                m_beforeAnswer();
            message->confirm();
        }
    }

    QTimer m_timer;
    std::function<void()> m_beforeAnswer;
};
