#include "DbTestSupport.h"
#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KLoginWidget.h"
#include "KMessageWidget.h"
#include "KPasswordCipher.h"
#include "KPortValidator.h"
#include "KProgressWidget.h"
#include "KSettings.h"
#include "KStandInMainWidget.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

using namespace DbTestSupport;

namespace {

// Answers the next message window that appears; remembers its kind and text.
struct MessageAnswer
{
    QString text;
    int kind = -1;
    bool seen = false;

    void arm()
    {
        auto *timer = new QTimer();
        timer->setInterval(20);
        QObject::connect(timer, &QTimer::timeout, [this, timer]() {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *message = qobject_cast<KMessageWidget *>(w);
                if (message && message->isVisible() && !message->result()) {
                    text = message->text();
                    kind = message->kind();
                    seen = true;
                    timer->stop();
                    timer->deleteLater();
                    message->confirm();
                    return;
                }
            }
        });
        timer->start();
    }
};

// Runs the application's event loop, as main() does, until quit() or at most timeoutMs.
// True when it ended by quit(). (The application loop, not a local one: quit() leaves a flag
// that only the application loop clears again.)
bool loopUntilQuit(int timeoutMs)
{
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&timedOut]() {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    guard.start(timeoutMs);
    const int code = QCoreApplication::exec();
    return !timedOut && code == 0;
}

} // namespace

// The login window under Xvfb: the form, its keyboard behaviour, failures, and the whole trip
// from login through the main window to the end of the event loop.
class tst_loginwidget : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *m_dir = nullptr;

    void storeEntries(const QString &host, int port, const QString &login,
                      const QString &cipherText)
    {
        KSettings *settings = KSettings::instance();
        settings->setRecorderHost(host);
        settings->setRecorderPort(port);
        settings->setRecorderLogin(login);
        settings->setRecorderPassword(cipherText);
    }

    static void showAndWait(QWidget *w)
    {
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w, 2000));
    }

private slots:
    void init()
    {
        m_dir = new QTemporaryDir();
        QVERIFY(m_dir->isValid());
        KDBHandler::instance()->setDirectory(m_dir->path());
        KDBHandler::instance()->setSharedTaskDbOverride(false);
        KLoginWidget::setDefaultHooks(KLoginHooks());
    }

    void cleanup()
    {
        KDBHandler::instance()->close();
        delete m_dir;
        m_dir = nullptr;
    }

    void prefilledFocusAndTabOrder_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("cipherText");
        QTest::addColumn<QString>("password"); // shown in the field
        QTest::addColumn<QString>("focused");  // first empty field, else the button
        const QString ip = QStringLiteral("1.2.3.4");
        const QString cipher = KPasswordCipher::encipher(QStringLiteral("s3;cret"));
        QTest::newRow("fresh") << QString() << QString() << QString() << QString()
                               << QStringLiteral("addressEdit");
        QTest::newRow("user missing") << ip << QString() << cipher << QStringLiteral("s3;cret")
                                      << QStringLiteral("loginEdit");
        QTest::newRow("bad cipher text") << ip << QStringLiteral("u") << QStringLiteral("zz")
                                         << QString() << QStringLiteral("passwordEdit");
        QTest::newRow("all filled") << ip << QStringLiteral("op'er") << cipher
                                    << QStringLiteral("s3;cret") << QStringLiteral("loginButton");
    }

    void prefilledFocusAndTabOrder()
    {
        QFETCH(QString, host);
        QFETCH(QString, login);
        QFETCH(QString, cipherText);
        QFETCH(QString, password);
        QFETCH(QString, focused);
        storeEntries(host, 8000, login, cipherText);
        KLoginWidget widget;
        QCOMPARE(widget.addressEdit()->text(), host);
        QCOMPARE(widget.loginEdit()->text(), login);
        QCOMPARE(widget.passwordEdit()->text(), password);
        showAndWait(&widget);
        QTRY_COMPARE_WITH_TIMEOUT(
            QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(),
            focused, 2000);

        widget.addressEdit()->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(widget.addressEdit()->hasFocus(), 2000);
        for (const char *name : {"portEdit", "loginEdit", "passwordEdit", "loginButton"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(name));
        }
    }

    void portValidator_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("state");
        QTest::newRow("empty") << QString() << int(QValidator::Intermediate);
        QTest::newRow("max") << QStringLiteral("65535") << int(QValidator::Acceptable);
        QTest::newRow("above") << QStringLiteral("65536") << int(QValidator::Invalid);
        QTest::newRow("letters") << QStringLiteral("80a") << int(QValidator::Invalid);
    }

    void portValidator()
    {
        QFETCH(QString, input);
        QFETCH(int, state);
        KPortValidator validator;
        int pos = input.size();
        QCOMPARE(int(validator.validate(input, pos)), state);
    }

    void missingDatabaseKeepsTheForm()
    {
        storeEntries(QStringLiteral("127.0.0.2"), 8000, QStringLiteral("admin"),
                     KPasswordCipher::encipher(QStringLiteral("demo12345")));
        KLoginWidget widget;
        bool started = false;
        KLoginHooks hooks;
        hooks.startHandlers = [&started]() { started = true; };
        widget.setHooks(hooks);
        showAndWait(&widget);

        MessageAnswer answer;
        answer.arm();
        QTest::mouseClick(widget.loginButton(), Qt::LeftButton);
        QVERIFY(answer.seen);
        QCOMPARE(answer.text, QStringLiteral("Подключение к БД не удалось!"));
        QCOMPARE(answer.kind, int(KMessageWidget::Error));
        QVERIFY(!started && !widget.mainWidget() && widget.isVisible());
        QVERIFY(!KDBHandler::instance()->isOpen());

        // Usable again: the database appears and Enter in a field logs in.
        QVERIFY(makeObjectDb(m_dir->path(), QStringLiteral("demo.db"), true));
        widget.addressEdit()->setFocus();
        QTest::keyClick(widget.addressEdit(), Qt::Key_Return);
        QVERIFY(started && widget.mainWidget() && !widget.isVisible());
    }

    void cancelOpensNothing()
    {
        QVERIFY(makeObjectDb(m_dir->path(), QStringLiteral("demo.db"), true));
        KLoginWidget widget;
        showAndWait(&widget);
        QTimer::singleShot(50, widget.cancelButton(), &QPushButton::click);
        QVERIFY(loopUntilQuit(10000));
        QVERIFY(!KDBHandler::instance()->isOpen());
        QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("tasks.db"))));
    }

    void loginToExitRoundTrip()
    {
        QVERIFY(makeObjectDb(m_dir->path(), QStringLiteral("demo.db"), true));
        storeEntries(QString(), 0, QString(), QString());

        QStringList calls;
        QString shutdownText;
        bool mouseBlockedAtStop = false;
        QPointer<KToolWindow> main;
        auto *widget = new KLoginWidget();
        KLoginHooks hooks;
        hooks.initSdk = [&calls]() {
            calls << QStringLiteral("init");
            return true;
        };
        hooks.startHandlers = [&calls]() { calls << QStringLiteral("start"); };
        hooks.createMainWidget = [&]() -> KToolWindow * {
            calls << QStringLiteral("main");
            return main = new KStandInMainWidget();
        };
        hooks.stopHandlers = [&]() {
            calls << QStringLiteral("stop");
            shutdownText = widget->progressWidget()->text();
            mouseBlockedAtStop = widget->testAttribute(Qt::WA_TransparentForMouseEvents);
        };
        hooks.cleanupSdk = [&calls]() { calls << QStringLiteral("cleanup"); };
        widget->setHooks(hooks);
        showAndWait(widget);

        QTest::keyClicks(widget->addressEdit(), QStringLiteral("127.0.0.9"));
        widget->portEdit()->clear();
        QTest::keyClicks(widget->portEdit(), QStringLiteral("8010"));
        QTest::keyClicks(widget->loginEdit(), QStringLiteral("o'neil; --"));
        QTest::keyClicks(widget->passwordEdit(), QStringLiteral("pa'ss;--"));
        QTest::keyClick(widget->passwordEdit(), Qt::Key_Enter);

        QVERIFY(main);
        QVERIFY(!widget->isVisible());

        // The demonstration user and object, and the entries for the next start.
        KSettings *settings = KSettings::instance();
        QCOMPARE(settings->currentUser().login, QStringLiteral("Demo"));
        QCOMPARE(KPasswordCipher::decipher(settings->recorderPassword()),
                 QStringLiteral("pa'ss;--"));

        const QList<KObjectData> objects =
            KDBHandler::instance()->worker(QThread::currentThread())->selectGroupObjects(0, 10);
        QCOMPARE(objects.size(), 4);
        const KObjectData first = objects.at(0); // "127.0.0.9" sorts before the Cyrillic names
        QCOMPARE(first.name, QStringLiteral("127.0.0.9"));
        QCOMPARE(first.recorder.port, 8010);
        QCOMPARE(first.recorder.login, QStringLiteral("o'neil; --"));
        QCOMPARE(KPasswordCipher::decipher(first.recorder.password), QStringLiteral("pa'ss;--"));
        QCOMPARE(objects.at(1).name, QStringLiteral("Автобус 102")); // others untouched

        // The operator closes the main window: shutdown page, handlers stop, the loop ends.
        QTimer::singleShot(50, main.data(), [&main]() { main->closeButton()->click(); });
        QVERIFY(loopUntilQuit(10000));
        QCOMPARE(calls.join(QLatin1Char(' ')), QStringLiteral("init start main stop cleanup"));
        QCOMPARE(shutdownText, QStringLiteral("Завершение работы..."));
        QVERIFY(mouseBlockedAtStop);

        // Destroying the login window closes the databases.
        QVERIFY(KDBHandler::instance()->isOpen());
        delete widget;
        QVERIFY(!KDBHandler::instance()->isOpen());
        QVERIFY(!KDBHandler::instance()->isStarted());
    }
};

QTEST_MAIN(tst_loginwidget)
#include "tst_loginwidget.moc"
