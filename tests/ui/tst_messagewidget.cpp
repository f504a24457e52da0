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

namespace {

// Runs answer on the message as soon as it is on screen (from inside its exec()); after 10 s
// without it the message is confirmed, which every refusal case notices. Keys go to the window's
// focus widget directly, as the active window would send them, so the test does not depend on which
// window holds the focus.
void answerWhenShown(KMessageWidget *message, std::function<void(KMessageWidget *)> answer)
{
    auto *poll = new QTimer(message);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, message, [message, poll, answer]() {
        if (!message->isVisible() || !message->windowHandle() ||
            !message->windowHandle()->isExposed())
            return;
        poll->stop();
        answer(message);
    });
    poll->start();
    QTimer::singleShot(10000, message, &KMessageWidget::confirm);
}

} // namespace

class TestMessageWidget : public QObject
{
    Q_OBJECT

private slots:
    void answerPerKind_data();
    void answerPerKind();
    void keyboardAnswers_data();
    void keyboardAnswers();
    void closingWithoutAnswerIsARefusal();
};

void TestMessageWidget::answerPerKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("buttons");
    QTest::addColumn<bool>("reject");
    const QString system = QStringLiteral("Сообщение от системы");
    const QString accept = QStringLiteral("Принять");
    QTest::newRow("information") << 0 << system << QString() << accept << false;
    QTest::newRow("question yes") << 1 << system << QStringLiteral(":/dialog.png")
                                  << QStringLiteral("Да/Нет") << false;
    QTest::newRow("question no") << 1 << system << QStringLiteral(":/dialog.png")
                                 << QStringLiteral("Да/Нет") << true;
    QTest::newRow("warning") << 2 << QStringLiteral("Внимание!") << QStringLiteral(":/warning.png")
                             << accept << false;
    QTest::newRow("error") << 3 << QStringLiteral("Ошибка!") << QStringLiteral(":/critical.png")
                           << accept << false;
    QTest::newRow("success") << 4 << QStringLiteral("Успех операции!")
                             << QStringLiteral(":/success.png") << accept << false;
}

void TestMessageWidget::answerPerKind()
{
    QFETCH(int, kind);
    QFETCH(QString, heading);
    QFETCH(QString, icon);
    QFETCH(QString, buttons);
    QFETCH(bool, reject);

    QPointer<KMessageWidget> message = new KMessageWidget(kind, QStringLiteral("Вы уверены?"));
    QCOMPARE(message->heading(), heading);
    QString shownButtons;
    bool iconShown = false;
    answerWhenShown(message, [&](KMessageWidget *m) {
        shownButtons = m->acceptButton()->text();
        if (m->rejectButton())
            shownButtons += QLatin1Char('/') + m->rejectButton()->text();
        iconShown = m->iconLabel()->isVisible();
        QTest::mouseClick(reject ? m->rejectButton() : m->acceptButton(), Qt::LeftButton);
    });
    QSignalSpy confirmed(message.data(), &KMessageWidget::confirmed);
    QCOMPARE(message->exec(), !reject);
    QCOMPARE(confirmed.count(), reject ? 0 : 1);
    QCOMPARE(shownButtons, buttons);
    QCOMPARE(iconShown, !icon.isEmpty());
    QCOMPARE(KMessageWidget::iconPath(kind), icon);
    QVERIFY(!message->isVisible());
    // Deleted by itself about a second after the answer, not before.
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(message.isNull(), 10000);
    QVERIFY(clock.elapsed() >= 900);
}

void TestMessageWidget::keyboardAnswers_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("tabFirst");
    QTest::addColumn<bool>("expected");
    QTest::newRow("enter") << 2 << int(Qt::Key_Return) << false << true;
    QTest::newRow("keypad enter") << 0 << int(Qt::Key_Enter) << false << true;
    QTest::newRow("space") << 4 << int(Qt::Key_Space) << false << true;
    QTest::newRow("question enter is yes") << 1 << int(Qt::Key_Return) << false << true;
    QTest::newRow("tab to no, enter") << 1 << int(Qt::Key_Return) << true << false;
    QTest::newRow("escape refuses") << 1 << int(Qt::Key_Escape) << false << false;
}

void TestMessageWidget::keyboardAnswers()
{
    QFETCH(int, kind);
    QFETCH(int, key);
    QFETCH(bool, tabFirst);
    QFETCH(bool, expected);
    QPointer<KMessageWidget> message = new KMessageWidget(kind, QStringLiteral("Текст"));
    bool focusWasOnAccept = false;
    answerWhenShown(message, [&](KMessageWidget *m) {
        focusWasOnAccept = m->focusWidget() == m->acceptButton();
        if (tabFirst)
            QTest::keyClick(m->focusWidget(), Qt::Key_Tab);
        QTest::keyClick(m->focusWidget() ? m->focusWidget() : m, Qt::Key(key));
    });
    QCOMPARE(message->exec(), expected);
    QVERIFY(focusWasOnAccept);
    QTRY_VERIFY_WITH_TIMEOUT(message.isNull(), 10000);
}

void TestMessageWidget::closingWithoutAnswerIsARefusal()
{
    // The close button, and a close request of the window system.
    QPointer<KMessageWidget> first = new KMessageWidget(2, QStringLiteral("Внимание"));
    answerWhenShown(first,
                    [](KMessageWidget *m) { QTest::mouseClick(m->closeButton(), Qt::LeftButton); });
    QCOMPARE(first->exec(), false);
    QPointer<KMessageWidget> second = new KMessageWidget(1, QStringLiteral("Вопрос"));
    answerWhenShown(second, [](KMessageWidget *m) {
        QCloseEvent event;
        QApplication::sendEvent(m, &event);
    });
    QCOMPARE(second->exec(), false);
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull() && second.isNull(), 10000);

    // Its owner going away ends the wait as well.
    auto *owner = new QWidget;
    QPointer<KMessageWidget> third = new KMessageWidget(1, QStringLiteral("Вопрос"), owner);
    QTimer::singleShot(50, owner, [owner]() { delete owner; });
    QCOMPARE(third->exec(), false);
    QVERIFY(third.isNull());
}

QTEST_MAIN(TestMessageWidget)
#include "tst_messagewidget.moc"
