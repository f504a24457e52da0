#include "DbTestSupport.h"
#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KLoginWidget.h"
#include "KMessageWidget.h"
#include "KPasswordCipher.h"
#include "KProgressWidget.h"
#include "KSettings.h"
#include "KShellTestSupport.h"
#include "KStandInMainWidget.h"
#include "KTestPostgres.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSqlDriver>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

using namespace DbTestSupport;
using namespace KShellTest;

namespace {

// Runs the application's event loop, as main() does, until quit() or at most timeoutMs; true
// when quit() ended it. (A local loop would not do: quit() leaves a flag that only the
// application loop clears again.)
bool loopUntilQuit(int timeoutMs)
{
    bool timedOut = false;
    QTimer::singleShot(timeoutMs, [&timedOut]() {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    return QCoreApplication::exec() == 0 && !timedOut;
}

void storeEntries(const QString &host, const QString &login, const QString &cipherText)
{
    KSettings *settings = KSettings::instance();
    settings->setRecorderHost(host);
    settings->setRecorderPort(8000);
    settings->setRecorderLogin(login);
    settings->setRecorderPassword(cipherText);
}

} // namespace

// The login window under Xvfb: the form, its keyboard behaviour, failures, and the whole trip
// from login through the main window to the end of the event loop.
class tst_loginwidget : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
        KDBHandler::instance()->setDirectory(m_dir->path());
        KDBHandler::instance()->setSharedTaskDbOverride(false);
        KLoginWidget::setDefaultHooks(KLoginHooks());
    }

    void cleanup()
    {
        KDBHandler::instance()->close();
        KDBHandler::instance()->setConnectionOverride(std::nullopt);
    }

    // The stored entries fill the form; the focus goes to the first empty field, else to the
    // button; Tab runs through the form in order.
    void prefilledFocusAndTabOrder_data()
    {
        // Stored host, login and cipher text; the form's host, login and password.
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("focused");
        const QString cipher = KPasswordCipher::encipher("s3;cret");
        QTest::newRow("fresh") << QStringList{"", "", ""} << QStringList{"", "", ""}
                               << QString("addressEdit");
        QTest::newRow("bad cipher text")
            << QStringList{"1.2.3.4", "u", "zz"} << QStringList{"1.2.3.4", "u", ""}
            << QString("passwordEdit");
        QTest::newRow("all filled")
            << QStringList{"1.2.3.4", "op'er", cipher} << QStringList{"1.2.3.4", "op'er", "s3;cret"}
            << QString("loginButton");
    }

    void prefilledFocusAndTabOrder()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, shown);
        QFETCH(QString, focused);
        storeEntries(stored[0], stored[1], stored[2]);
        KLoginWidget widget;
        QCOMPARE(QStringList({widget.addressEdit()->text(), widget.loginEdit()->text(),
                              widget.passwordEdit()->text()}),
                 shown);
        showAndWait(&widget);
        QTRY_COMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                 : QString(),
                     focused);
        widget.addressEdit()->setFocus();
        QTRY_VERIFY(widget.addressEdit()->hasFocus());
        for (const char *name : {"portEdit", "loginEdit", "passwordEdit", "loginButton"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(name));
        }
    }

    // Without a database the form stays and says so; once the file is there, Enter logs in.
    void missingDatabaseKeepsTheForm()
    {
        storeEntries("127.0.0.2", "admin", KPasswordCipher::encipher("demo12345"));
        KLoginWidget widget;
        bool started = false;
        KLoginHooks hooks;
        hooks.startHandlers = [&started]() { started = true; };
        widget.setHooks(hooks);
        showAndWait(&widget);
        auto seen = answerNextMessage(true);
        QTest::mouseClick(widget.loginButton(), Qt::LeftButton);
        QCOMPARE(seen->text, QStringLiteral("Подключение к БД не удалось!"));
        QVERIFY(!started && !widget.mainWidget() && widget.isVisible());
        // The missing file is never created; the task database opens all the same.
        QVERIFY(!QFileInfo::exists(m_dir->filePath("demo.db")));
        QVERIFY(KDBHandler::instance()->taskDatabase().isOpen());

        QVERIFY(makeObjectDb(m_dir->path(), "demo.db", true));
        widget.addressEdit()->setFocus();
        QTest::keyClick(widget.addressEdit(), Qt::Key_Return);
        QVERIFY(started && widget.mainWidget() && !widget.isVisible());
    }

    void cancelOpensNothing()
    {
        QVERIFY(makeObjectDb(m_dir->path(), "demo.db", true));
        KLoginWidget widget;
        showAndWait(&widget);
        QTimer::singleShot(50, widget.cancelButton(), &QPushButton::click);
        QVERIFY(loopUntilQuit(10000));
        QVERIFY(!KDBHandler::instance()->isOpen());
        QVERIFY(!QFileInfo::exists(m_dir->filePath("tasks.db")));
    }

    void loginToExitRoundTrip()
    {
        QVERIFY(makeObjectDb(m_dir->path(), "demo.db", true));
        storeEntries("", "", "");
        QStringList calls;
        QString shutdownText;
        bool mouseBlockedAtStop = false;
        QPointer<KToolWindow> main;
        auto *widget = new KLoginWidget();
        KLoginHooks hooks;
        hooks.initSdk = [&calls]() { return (calls << "init", true); };
        hooks.startHandlers = [&calls]() { calls << "start"; };
        hooks.createMainWidget = [&]() -> KToolWindow * {
            calls << "main";
            return main = new KStandInMainWidget();
        };
        hooks.stopHandlers = [&]() {
            calls << "stop";
            shutdownText = widget->progressWidget()->text();
            mouseBlockedAtStop = widget->testAttribute(Qt::WA_TransparentForMouseEvents);
        };
        hooks.cleanupSdk = [&calls]() { calls << "cleanup"; };
        widget->setHooks(hooks);
        showAndWait(widget);

        QTest::keyClicks(widget->addressEdit(), "127.0.0.9");
        widget->portEdit()->clear();
        // The port field refuses what is not a port: letters, values over 65535.
        QTest::keyClicks(widget->portEdit(), "80100a");
        QTest::keyClicks(widget->loginEdit(), "o'neil; --");
        QTest::keyClicks(widget->passwordEdit(), "pa'ss;--");
        QTest::keyClick(widget->passwordEdit(), Qt::Key_Enter);
        QVERIFY(main && !widget->isVisible());

        // The demonstration user, the entries for the next start, and the object of the
        // address typed ("127.0.0.9" sorts before the Cyrillic names; the others untouched).
        QCOMPARE(KSettings::instance()->currentUser().login, QStringLiteral("Demo"));
        QCOMPARE(KPasswordCipher::decipher(KSettings::instance()->recorderPassword()),
                 QStringLiteral("pa'ss;--"));
        const QList<KObjectData> objects =
            KDBHandler::instance()->worker(QThread::currentThread())->selectGroupObjects(0, 10);
        QCOMPARE(objects.size(), 4);
        QCOMPARE(
            QStringList({objects[0].name, QString::number(objects[0].recorder.port),
                         objects[0].recorder.login,
                         KPasswordCipher::decipher(objects[0].recorder.password), objects[1].name}),
            QStringList({"127.0.0.9", "8010", "o'neil; --", "pa'ss;--", "Автобус 102"}));

        // The operator closes the main window: shutdown page, handlers stop, the loop ends.
        QTimer::singleShot(50, main.data(), [&main]() { main->closeButton()->click(); });
        QVERIFY(loopUntilQuit(10000));
        QCOMPARE(calls.join(' '), QStringLiteral("init start main stop cleanup"));
        QCOMPARE(shutdownText, QStringLiteral("Завершение работы..."));
        QVERIFY(mouseBlockedAtStop);

        // Destroying the login window closes the databases.
        delete widget;
        QVERIFY(!KDBHandler::instance()->isOpen() && !KDBHandler::instance()->isStarted());
    }

    // On a fleet database the login's write of object 1 is heard by the other workstations.
    void fleetLoginTellsOtherWorkstations()
    {
        KTestPostgres server;
        QVERIFY2(server.start(), qPrintable(server.log()));
        QVERIFY2(server.createDatabase(
                     "fleet", {sqlFile("postgresql/objects.sql"), sqlFile("demo_fleet.sql")}),
                 qPrintable(server.lastError()));
        QSqlDatabase other = server.connect("fleet");
        QStringList heard;
        QVERIFY(other.driver()->subscribeToNotification("systemupdate"));
        connect(other.driver(),
                QOverload<const QString &, QSqlDriver::NotificationSource, const QVariant &>::of(
                    &QSqlDriver::notification),
                this, [&heard](const QString &name) { heard << name; });
        KDBConnectionData data;
        data.backend = KDBConnectionData::PostgreSQL;
        data.host = server.socketDir();
        data.port = server.port();
        data.databaseName = "fleet";
        data.user = KTestPostgres::superuser();
        data.password = server.superPassword();
        KDBHandler::instance()->setConnectionOverride(data);
        KDBHandler::instance()->setSharedTaskDbOverride(true);
        storeEntries("127.0.0.7", "admin", KPasswordCipher::encipher("demo12345"));

        QPointer<KToolWindow> main;
        auto *widget = new KLoginWidget();
        KLoginHooks hooks;
        hooks.createMainWidget = [&]() -> KToolWindow * { return main = new KStandInMainWidget(); };
        widget->setHooks(hooks);
        showAndWait(widget);
        QTest::mouseClick(widget->loginButton(), Qt::LeftButton);
        QVERIFY(main);
        QTRY_COMPARE_WITH_TIMEOUT(heard, QStringList{"systemupdate"}, 5000);
        QCOMPARE(scalar(other, "SELECT object_name FROM objects WHERE object_id = 1").toString(),
                 QStringLiteral("127.0.0.7"));

        QTimer::singleShot(50, main.data(), [&main]() { main->closeButton()->click(); });
        QVERIFY(loopUntilQuit(10000));
        delete widget;
        other.close();
    }

private:
    static void showAndWait(QWidget *w)
    {
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(tst_loginwidget)
#include "tst_loginwidget.moc"
