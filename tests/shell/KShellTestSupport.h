#pragma once

#include "KMessageWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <memory>

// Helpers shared by the shell tests: the per-user store the program writes, and answering the
// message windows the program opens in its own local event loops.
namespace KShellTest {

inline QVariantMap userStore()
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                    QStringLiteral("Velmora Viewer"));
    QVariantMap values;
    for (const QString &key : store.allKeys())
        values.insert(key, store.value(key));
    return values;
}

// What a message window showed before it was answered.
struct SeenMessage
{
    bool seen = false;
    int kind = -1;
    QString text;
};

// Answers the next message window (accept: the accept button, otherwise the reject button)
// once it is shown; gives up after timeoutMs, so that a missing window fails the test instead
// of hanging it.
inline std::shared_ptr<SeenMessage> answerNextMessage(bool accept, int timeoutMs = 5000)
{
    auto seen = std::make_shared<SeenMessage>();
    auto *timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, seen, accept, timeoutMs] {
        KMessageWidget *message = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *candidate = qobject_cast<KMessageWidget *>(widget);
                candidate && candidate->isVisible())
                message = candidate;
        }
        if (!message && clock->elapsed() < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        if (!message)
            return;
        *seen = {true, message->kind(), message->text()};
        QPushButton *button =
            accept || !message->rejectButton() ? message->acceptButton() : message->rejectButton();
        QTest::mouseClick(button, Qt::LeftButton);
    });
    timer->start();
    return seen;
}

} // namespace KShellTest
