#include "KMessageWidget.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <functional>

// Runs answer once the message is on screen (inside its exec()); after 10 s it is confirmed, which
// every refusal case notices. Keys go to the focus widget directly, whichever window is active.
static void answerWhenShown(KMessageWidget *message, std::function<void(KMessageWidget *)> answer)
{
    auto *poll = new QTimer(message);
    QObject::connect(poll, &QTimer::timeout, message, [message, poll, answer]() {
        if (message->isVisible() && message->windowHandle() &&
            message->windowHandle()->isExposed()) {
            poll->stop();
            answer(message);
        }
    });
    poll->start(20);
    QTimer::singleShot(10000, message, &KMessageWidget::confirm);
}

class TestMessageWidget : public QObject
{
    Q_OBJECT

private slots:
    void answerPerKind_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<bool>("reject");
        const QString system = QStringLiteral("Сообщение от системы");
        QTest::newRow("information") << 0 << system << QString() << "Принять" << false;
        QTest::newRow("question yes") << 1 << system << ":/dialog.png"
                                      << "Да/Нет" << false;
        QTest::newRow("question no") << 1 << system << ":/dialog.png"
                                     << "Да/Нет" << true;
        QTest::newRow("warning") << 2 << "Внимание!"
                                 << ":/warning.png"
                                 << "Принять" << false;
        QTest::newRow("error") << 3 << "Ошибка!"
                               << ":/critical.png"
                               << "Принять" << false;
        QTest::newRow("success") << 4 << "Успех операции!"
                                 << ":/success.png"
                                 << "Принять" << false;
    }

    void answerPerKind()
    {
        QFETCH(int, kind);
        QFETCH(QString, heading);
        QFETCH(QString, icon);
        QFETCH(QString, buttons);
        QFETCH(bool, reject);
        QPointer<KMessageWidget> message = new KMessageWidget(kind, QStringLiteral("Вы уверены?"));
        QCOMPARE(message->heading(), heading);
        QString shown;
        answerWhenShown(message, [&](KMessageWidget *m) {
            shown = m->acceptButton()->text();
            if (m->rejectButton())
                shown += QLatin1Char('/') + m->rejectButton()->text();
            if (m->iconLabel()->isVisible())
                shown += QLatin1Char(' ') + KMessageWidget::iconPath(kind);
            QTest::mouseClick(reject ? m->rejectButton() : m->acceptButton(), Qt::LeftButton);
        });
        QSignalSpy confirmed(message.data(), &KMessageWidget::confirmed);
        QCOMPARE(message->exec(), !reject);
        QCOMPARE(confirmed.count(), reject ? 0 : 1);
        QCOMPARE(shown, icon.isEmpty() ? buttons : buttons + QLatin1Char(' ') + icon);
        // Deleted by itself about a second after the answer, not before.
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(message.isNull(), 10000);
        QVERIFY(clock.elapsed() >= 900);
    }

    void otherAnswers_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("action"); // keys after "key", else how the window is closed
        QTest::addColumn<bool>("expected");
        QTest::newRow("keypad enter") << 0 << "key Enter" << true;
        QTest::newRow("space") << 4 << "key Space" << true;
        QTest::newRow("question enter is yes") << 1 << "key Return" << true;
        QTest::newRow("tab to no, enter") << 1 << "key Tab Return" << false;
        QTest::newRow("escape refuses") << 1 << "key Esc" << false;
        QTest::newRow("close button") << 2 << "button" << false;
        QTest::newRow("window system close") << 1 << "event" << false;
    }

    void otherAnswers()
    {
        QFETCH(int, kind);
        QFETCH(QString, action);
        QFETCH(bool, expected);
        QPointer<KMessageWidget> message = new KMessageWidget(kind, QStringLiteral("Текст"));
        bool focusWasOnAccept = false;
        answerWhenShown(message, [&](KMessageWidget *m) {
            focusWasOnAccept = m->focusWidget() == m->acceptButton();
            QCloseEvent event;
            if (action == QLatin1String("button"))
                QTest::mouseClick(m->closeButton(), Qt::LeftButton);
            else if (action == QLatin1String("event"))
                QApplication::sendEvent(m, &event);
            for (const QString &key : action.split(' ').mid(1))
                QTest::keyClick(m->focusWidget() ? m->focusWidget() : m,
                                Qt::Key(QKeySequence::fromString(key)[0]));
        });
        QCOMPARE(message->exec(), expected);
        QVERIFY(focusWasOnAccept);
        QTRY_VERIFY_WITH_TIMEOUT(message.isNull(), 10000);
    }

    void ownerGoingAwayIsARefusal()
    {
        auto *owner = new QWidget;
        QPointer<KMessageWidget> message = new KMessageWidget(1, QStringLiteral("Вопрос"), owner);
        QTimer::singleShot(50, owner, [owner]() { delete owner; });
        QCOMPARE(message->exec(), false);
        QVERIFY(message.isNull());
    }
};

QTEST_MAIN(TestMessageWidget)
#include "tst_messagewidget.moc"
