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

// Runs answer on the message as soon as it is on screen (from inside its exec()). The tests do
// not wait for the window to become active: GUI tests share one display, and another test may
// hold the focus. Keys go to the window's focus widget directly, as the active window would
// send them.
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
}

} // namespace

class TestMessageWidget : public QObject
{
    Q_OBJECT

private slots:
    void kinds_data();
    void kinds();
    void execReturnsTheAnswer_data();
    void execReturnsTheAnswer();
    void keyboardAnswers_data();
    void keyboardAnswers();
    void deletedAboutASecondAfterTheAnswer();
    void closingWithoutAnswerIsARefusal();
    void resultIsSetWhenTheSignalArrives();
    void headingAndTextAreReplaceable();
    void textIsNeverMarkup();
    void outOfRangeKindIsInformation();
};

void TestMessageWidget::kinds_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QString>("accept");
    QTest::addColumn<QString>("reject");
    QTest::newRow("information") << 0 << QString() << QStringLiteral("Сообщение от системы")
                                 << QStringLiteral("Принять") << QString();
    QTest::newRow("question") << 1 << QStringLiteral(":/dialog.png")
                              << QStringLiteral("Сообщение от системы") << QStringLiteral("Да")
                              << QStringLiteral("Нет");
    QTest::newRow("warning") << 2 << QStringLiteral(":/warning.png") << QStringLiteral("Внимание!")
                             << QStringLiteral("Принять") << QString();
    QTest::newRow("error") << 3 << QStringLiteral(":/critical.png") << QStringLiteral("Ошибка!")
                           << QStringLiteral("Принять") << QString();
    QTest::newRow("success") << 4 << QStringLiteral(":/success.png")
                             << QStringLiteral("Успех операции!") << QStringLiteral("Принять")
                             << QString();
}

void TestMessageWidget::kinds()
{
    QFETCH(int, kind);
    QFETCH(QString, icon);
    QFETCH(QString, heading);
    QFETCH(QString, accept);
    QFETCH(QString, reject);

    KMessageWidget message(kind, QStringLiteral("Текст"));
    message.show();
    QVERIFY(QTest::qWaitForWindowExposed(&message));
    QCOMPARE(message.kind(), kind);
    QCOMPARE(message.heading(), heading);
    QCOMPARE(message.text(), QStringLiteral("Текст"));
    QCOMPARE(message.acceptButton()->text(), accept);
    QCOMPARE(message.rejectButton() != nullptr, !reject.isEmpty());
    if (message.rejectButton())
        QCOMPARE(message.rejectButton()->text(), reject);
    QCOMPARE(message.findChildren<QPushButton *>().size(), reject.isEmpty() ? 2 : 3);

    QCOMPARE(message.iconLabel()->size(), QSize(40, 40));
    QCOMPARE(message.iconLabel()->isVisible(), !icon.isEmpty());
    QCOMPARE(KMessageWidget::iconPath(kind), icon);
    if (!icon.isEmpty()) {
        const QPixmap shown = message.iconLabel()->pixmap(Qt::ReturnByValue);
        QCOMPARE(shown.size(), QSize(40, 40));
        QCOMPARE(shown.toImage().convertToFormat(QImage::Format_ARGB32),
                 QImage(icon).convertToFormat(QImage::Format_ARGB32));
    }
}

void TestMessageWidget::execReturnsTheAnswer_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("reject");
    QTest::addColumn<bool>("expected");
    QTest::newRow("information accepted") << 0 << false << true;
    QTest::newRow("question yes") << 1 << false << true;
    QTest::newRow("question no") << 1 << true << false;
    QTest::newRow("warning accepted") << 2 << false << true;
    QTest::newRow("error accepted") << 3 << false << true;
    QTest::newRow("success accepted") << 4 << false << true;
}

void TestMessageWidget::execReturnsTheAnswer()
{
    QFETCH(int, kind);
    QFETCH(bool, reject);
    QFETCH(bool, expected);

    QPointer<KMessageWidget> message = new KMessageWidget(kind, QStringLiteral("Вы уверены?"));
    QSignalSpy confirmed(message.data(), &KMessageWidget::confirmed);
    QSignalSpy discarded(message.data(), &KMessageWidget::discarded);
    answerWhenShown(message, [reject](KMessageWidget *m) {
        QTest::mouseClick(reject ? m->rejectButton() : m->acceptButton(), Qt::LeftButton);
    });
    QTimer failsafe;
    failsafe.setSingleShot(true);
    connect(&failsafe, &QTimer::timeout, message.data(), &KMessageWidget::discard);
    failsafe.start(10000);

    const bool result = message->exec();
    QVERIFY(failsafe.isActive());
    QCOMPARE(result, expected);
    QCOMPARE(confirmed.count(), expected ? 1 : 0);
    QCOMPARE(discarded.count(), expected ? 0 : 1);
    QVERIFY(!message.isNull());
    QVERIFY(!message->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(message.isNull(), 10000);
}

void TestMessageWidget::keyboardAnswers_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("tabFirst");
    QTest::addColumn<bool>("expected");
    QTest::newRow("enter answers accept") << 2 << int(Qt::Key_Return) << false << true;
    QTest::newRow("keypad enter") << 0 << int(Qt::Key_Enter) << false << true;
    QTest::newRow("space answers accept") << 4 << int(Qt::Key_Space) << false << true;
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
        QWidget *target = m->focusWidget() ? m->focusWidget() : m;
        QTest::keyClick(target, Qt::Key(key));
    });
    QTimer::singleShot(10000, message.data(), &KMessageWidget::discard);
    QCOMPARE(message->exec(), expected);
    QVERIFY(focusWasOnAccept);
    QTRY_VERIFY_WITH_TIMEOUT(message.isNull(), 10000);
}

void TestMessageWidget::deletedAboutASecondAfterTheAnswer()
{
    QPointer<KMessageWidget> message = new KMessageWidget(0, QStringLiteral("Готово"));
    QTimer::singleShot(0, message.data(), &KMessageWidget::confirm);
    QElapsedTimer clock;
    QVERIFY(message->exec());
    clock.start();
    // Not before the second is up (a late timer only makes it later), but soon after.
    QTest::qWait(300);
    QVERIFY(!message.isNull());
    QTRY_VERIFY_WITH_TIMEOUT(message.isNull(), 10000);
    QVERIFY(clock.elapsed() >= 950);
}

void TestMessageWidget::closingWithoutAnswerIsARefusal()
{
    // The close button.
    QPointer<KMessageWidget> message = new KMessageWidget(2, QStringLiteral("Внимание"));
    QSignalSpy discarded(message.data(), &KMessageWidget::discarded);
    answerWhenShown(message,
                    [](KMessageWidget *m) { QTest::mouseClick(m->closeButton(), Qt::LeftButton); });
    QTimer::singleShot(10000, message.data(), &KMessageWidget::confirm);
    QCOMPARE(message->exec(), false);
    QCOMPARE(discarded.count(), 1);

    // A close request of the window system.
    QPointer<KMessageWidget> second = new KMessageWidget(1, QStringLiteral("Вопрос"));
    answerWhenShown(second, [](KMessageWidget *m) {
        QCloseEvent event;
        QApplication::sendEvent(m, &event);
    });
    QTimer::singleShot(10000, second.data(), &KMessageWidget::confirm);
    QCOMPARE(second->exec(), false);
    QTRY_VERIFY_WITH_TIMEOUT(message.isNull() && second.isNull(), 10000);

    // Its owner going away ends the wait as well.
    auto *owner = new QWidget;
    QPointer<KMessageWidget> third = new KMessageWidget(1, QStringLiteral("Вопрос"), owner);
    QTimer::singleShot(50, owner, [owner]() { delete owner; });
    QCOMPARE(third->exec(), false);
    QVERIFY(third.isNull());
}

void TestMessageWidget::resultIsSetWhenTheSignalArrives()
{
    KMessageWidget message(1, QStringLiteral("?"));
    bool seen = false;
    connect(&message, &KMessageWidget::confirmed, this, [&]() { seen = message.result(); });
    message.show();
    message.confirm();
    QVERIFY(seen);
    QVERIFY(message.result());
    QVERIFY(!message.isVisible());
    // A second answer changes nothing.
    QSignalSpy discarded(&message, &KMessageWidget::discarded);
    message.discard();
    QCOMPARE(discarded.count(), 0);
    QVERIFY(message.result());
}

void TestMessageWidget::headingAndTextAreReplaceable()
{
    QPointer<KMessageWidget> message = new KMessageWidget(1, QStringLiteral("Вы уверены?"));
    message->setHeading(QStringLiteral("Выход из программы"));
    QCOMPARE(message->heading(), QStringLiteral("Выход из программы"));
    QCOMPARE(message->title(), QStringLiteral("Выход из программы"));
    message->setText(QStringLiteral("Другой текст"));
    QCOMPARE(message->text(), QStringLiteral("Другой текст"));
    delete message;

    // The one-liner takes a heading of its own.
    QString shownHeading;
    QPointer<KMessageWidget> shown;
    QTimer::singleShot(100, this, [&shownHeading, &shown]() {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *open = qobject_cast<KMessageWidget *>(widget);
            if (open && open->isVisible()) {
                shown = open;
                shownHeading = open->heading();
                open->discard();
            }
        }
    });
    QCOMPARE(KMessageWidget::execMessage(1, QStringLiteral("Вы уверены?"), nullptr,
                                         QStringLiteral("Выход из программы")),
             false);
    QCOMPARE(shownHeading, QStringLiteral("Выход из программы"));
    QTRY_VERIFY_WITH_TIMEOUT(shown.isNull(), 10000);
}

void TestMessageWidget::textIsNeverMarkup()
{
    KMessageWidget message(3, QStringLiteral("<b>файл</b> & <i>x</i>"));
    const QLabel *label = nullptr;
    for (const QLabel *candidate : message.findChildren<QLabel *>()) {
        if (candidate->text() == message.text())
            label = candidate;
    }
    QVERIFY(label);
    QCOMPARE(label->textFormat(), Qt::PlainText);
}

void TestMessageWidget::outOfRangeKindIsInformation()
{
    KMessageWidget message(9, QStringLiteral("?"));
    QCOMPARE(message.kind(), 0);
    QVERIFY(!message.rejectButton());
    QCOMPARE(message.heading(), QStringLiteral("Сообщение от системы"));
}

QTEST_MAIN(TestMessageWidget)
#include "tst_messagewidget.moc"
