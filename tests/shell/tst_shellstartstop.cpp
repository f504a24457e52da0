// The program's start and end through the login window with the shell's hooks: after the login
// the SDK, the four handlers and the main window run; closing the main window shows
// "Завершение работы..." while everything stops again.
#include "KArchiveInfoHandler.h"
#include "KConnectionHandler.h"
#include "KDBHandler.h"
#include "KDownloadHandler.h"
#include "KLoginWidget.h"
#include "KMainWidget.h"
#include "KObjectHandler.h"
#include "KObjectMaster.h"
#include "KProgressWidget.h"
#include "KRecorderSDK.h"
#include "KSettings.h"
#include "KShell.h"
#include "KShellTestSupport.h"
#include "KSqlScript.h"
#include "KStyleSheet.h"
#include "KViewHandler.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

using namespace KShellTest;

class tst_ShellStartStop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loginStartsAndCloseStops();

private:
    QTemporaryDir m_dir;
};

void tst_ShellStartStop::initTestCase()
{
    KStyleSheet::install();
    QVERIFY(KSettings::instance());
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(
        KSqlScript::createIfMissing(m_dir.filePath(QStringLiteral("demo.db")),
                                    {QStringLiteral(VELMORA_SOURCE_DIR "/db/sql/objects.sql"),
                                     QStringLiteral(VELMORA_SOURCE_DIR "/db/sql/demo_fleet.sql")},
                                    nullptr, &error),
        qPrintable(error));
    KDBHandler::instance()->setDirectory(m_dir.path());
}

void tst_ShellStartStop::loginStartsAndCloseStops()
{
    KShell::install();
    const KLoginHooks installed = KLoginWidget::defaultHooks();
    QVERIFY(installed.initSdk && installed.startHandlers && installed.createMainWidget &&
            installed.stopHandlers && installed.cleanupSdk);

    KLoginWidget login;
    // What the operator sees while the handlers stop.
    QString shutdownText;
    bool loginShown = false;
    bool mainHidden = false;
    bool sdkUpWhileStopping = false;
    KLoginHooks hooks = login.hooks();
    hooks.stopHandlers = [&, stop = installed.stopHandlers] {
        shutdownText = login.progressWidget()->text();
        loginShown = login.isVisible();
        mainHidden = login.mainWidget() && !login.mainWidget()->isVisible();
        stop();
        sdkUpWhileStopping = KRecorderSDK::instance()->isInitialized();
    };
    login.setHooks(hooks);
    login.show();
    QVERIFY(QTest::qWaitForWindowExposed(&login));

    // A recorder address nobody answers on: the program starts all the same.
    login.addressEdit()->setText(QStringLiteral("127.0.0.1"));
    login.portEdit()->setText(QStringLiteral("1"));
    login.loginEdit()->setText(QStringLiteral("admin"));
    login.passwordEdit()->setText(QStringLiteral("demo12345"));
    QTest::mouseClick(login.loginButton(), Qt::LeftButton);

    QPointer<KMainWidget> main = qobject_cast<KMainWidget *>(login.mainWidget());
    QVERIFY(main);
    QVERIFY(waitFor([&] { return main->isVisible() && !login.isVisible(); }));
    QVERIFY(KRecorderSDK::instance()->isInitialized());
    QVERIFY(KConnectionHandler::instance()->isInitialized());
    QVERIFY(KViewHandler::instance()->isInitialized());
    QVERIFY(KArchiveInfoHandler::instance()->isInitialized());
    QVERIFY(KDownloadHandler::instance()->isInitialized());
    // The object list holds what the database gave for the demonstration user's group.
    QVERIFY(!main->objectMaster()->objects().isEmpty());
    QCOMPARE(main->objectMaster()->object(1)->name(), QStringLiteral("127.0.0.1"));

    auto question = answerNextMessage(true);
    QTest::mouseClick(main->closeButton(), Qt::LeftButton);
    QVERIFY(question->seen);
    // The login window takes the end up from its own event.
    QVERIFY(waitFor([&] { return main.isNull(); }));
    QCOMPARE(shutdownText, QStringLiteral("Завершение работы..."));
    QVERIFY(loginShown);
    QVERIFY(mainHidden);
    // The SDK goes after the handlers, then the main window.
    QVERIFY(sdkUpWhileStopping);
    QVERIFY(!KRecorderSDK::instance()->isInitialized());
    QVERIFY(!KConnectionHandler::instance()->isInitialized());
    QVERIFY(!KViewHandler::instance()->isInitialized());
    QVERIFY(!KArchiveInfoHandler::instance()->isInitialized());
    QVERIFY(!KDownloadHandler::instance()->isInitialized());
}

QTEST_MAIN(tst_ShellStartStop)
#include "tst_shellstartstop.moc"
