#pragma once

#include "KMessageWidget.h"

#include <QApplication>
#include <QDeadlineTimer>
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

struct SeenMessage
{
    bool seen = false;
    int kind = -1;
    QString text;
};

// Answers the next message window (accept or reject) once it is shown; gives up after
// timeoutMs, so that a missing window fails the test instead of hanging it.
inline std::shared_ptr<SeenMessage> answerNextMessage(bool accept, int timeoutMs = 5000)
{
    auto seen = std::make_shared<SeenMessage>();
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [=, deadline = QDeadlineTimer(timeoutMs)] {
        KMessageWidget *message = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *m = qobject_cast<KMessageWidget *>(widget); m && m->isVisible())
                message = m;
        }
        if (!message && !deadline.hasExpired())
            return;
        timer->stop();
        timer->deleteLater();
        if (!message)
            return;
        *seen = {true, message->kind(), message->text()};
        QTest::mouseClick(accept || !message->rejectButton() ? message->acceptButton()
                                                             : message->rejectButton(),
                          Qt::LeftButton);
    });
    timer->start(20);
    return seen;
}

} // namespace KShellTest
