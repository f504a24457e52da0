#include "KMessageWidget.h"

#include <QApplication>
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
    // Each kind's heading; every way of answering; the window deletes itself about a second
    // after the answer, not before.
    void answers_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("action"); // keys after "key", else what is clicked or sent
        QTest::addColumn<bool>("expected");
        QTest::addColumn<QString>("heading");
        const QString system = QStringLiteral("Сообщение от системы");
        QTest::newRow("information, accept") << 0 << "accept" << true << system;
        QTest::newRow("question, no") << 1 << "reject" << false << system;
        QTest::newRow("warning, keypad enter") << 2 << "key Enter" << true << "Внимание!";
        QTest::newRow("error, close button") << 3 << "close" << false << "Ошибка!";
        QTest::newRow("success, space") << 4 << "key Space" << true << "Успех операции!";
        QTest::newRow("question enter is yes") << 1 << "key Return" << true << system;
        QTest::newRow("tab to no, enter") << 1 << "key Tab Return" << false << system;
        QTest::newRow("escape refuses") << 1 << "key Esc" << false << system;
        QTest::newRow("window system close") << 1 << "event" << false << system;
    }

    void answers()
    {
        QFETCH(int, kind);
        QFETCH(QString, action);
        QFETCH(bool, expected);
        QFETCH(QString, heading);
        QPointer<KMessageWidget> message = new KMessageWidget(kind, QStringLiteral("Текст"));
        QCOMPARE(message->heading(), heading);
        bool focusWasOnAccept = false;
        answerWhenShown(message, [&](KMessageWidget *m) {
            focusWasOnAccept = m->focusWidget() == m->acceptButton();
            QCloseEvent event;
            if (action == "accept" || action == "reject" || action == "close")
                QTest::mouseClick(action == "accept"   ? m->acceptButton()
                                  : action == "reject" ? m->rejectButton()
                                                       : m->closeButton(),
                                  Qt::LeftButton);
            else if (action == QLatin1String("event"))
                QApplication::sendEvent(m, &event);
            for (const QString &key : action.split(' ').mid(1))
                QTest::keyClick(m->focusWidget() ? m->focusWidget() : m,
                                Qt::Key(QKeySequence::fromString(key)[0]));
        });
        QSignalSpy confirmed(message.data(), &KMessageWidget::confirmed);
        QElapsedTimer clock;
        QCOMPARE(message->exec(), expected);
        clock.start();
        QCOMPARE(confirmed.count(), int(expected));
        QVERIFY(focusWasOnAccept);
        QTRY_VERIFY_WITH_TIMEOUT(message.isNull(), 10000);
        QVERIFY(clock.elapsed() >= 900);
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
