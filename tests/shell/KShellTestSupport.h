#pragma once

#include "KMessageWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <functional>

// Helpers shared by the shell tests: the per-user store the program writes, and answering the
// message windows the program opens in its own local event loops.
namespace KShellTest {

inline QSettings userStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                     QStringLiteral("Velmora Viewer"));
}

inline QVariantMap userStoreSnapshot()
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                    QStringLiteral("Velmora Viewer"));
    QVariantMap values;
    for (const QString &key : store.allKeys())
        values.insert(key, store.value(key));
    return values;
}

// A visible top-level widget of type T that satisfies the predicate, or null.
template<class T> T *findTopLevel(const std::function<bool(T *)> &accept = nullptr)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *candidate = qobject_cast<T *>(widget);
        if (candidate && candidate->isVisible() && (!accept || accept(candidate)))
            return candidate;
    }
    return nullptr;
}

// What a message window showed before it was answered.
struct SeenMessage
{
    bool seen = false;
    int kind = -1;
    QString text;
    QString heading;
};

// Arms a poll that answers the next message window (accept: the accept button, otherwise the
// reject button) once it is shown. Returns the record filled in when it was answered. The poll
// gives up after timeoutMs so that a missing window fails the test instead of hanging it.
inline std::shared_ptr<SeenMessage> answerNextMessage(bool accept, int timeoutMs = 5000)
{
    auto seen = std::make_shared<SeenMessage>();
    auto *timer = new QTimer;
    auto *clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, seen, accept, timeoutMs] {
        KMessageWidget *message = findTopLevel<KMessageWidget>();
        if (!message && clock->elapsed() < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (!message)
            return;
        seen->seen = true;
        seen->kind = message->kind();
        seen->text = message->text();
        seen->heading = message->heading();
        QPushButton *button =
            accept || !message->rejectButton() ? message->acceptButton() : message->rejectButton();
        QTest::mouseClick(button, Qt::LeftButton);
    });
    timer->start();
    return seen;
}

// Runs events until the condition holds or the time is up; returns the condition.
inline bool waitFor(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return condition();
        QTest::qWait(20);
    }
    return true;
}

} // namespace KShellTest
