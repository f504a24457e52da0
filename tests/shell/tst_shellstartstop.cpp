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
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

using namespace KShellTest;

class tst_ShellStartStop : public QObject
{
    Q_OBJECT

private slots:
    void loginStartsAndCloseStops()
    {
        KStyleSheet::install();
        QVERIFY(KSettings::instance());
        QTemporaryDir dir;
        QString error;
        QVERIFY2(KSqlScript::createIfMissing(dir.filePath(QStringLiteral("demo.db")),
                                             {VELMORA_SOURCE_DIR "/db/sql/objects.sql",
                                              VELMORA_SOURCE_DIR "/db/sql/demo_fleet.sql"},
                                             nullptr, &error),
                 qPrintable(error));
        KDBHandler::instance()->setDirectory(dir.path());

        KShell::install();
        const KLoginHooks installed = KLoginWidget::defaultHooks();
        KLoginWidget login;
        // What the operator sees while the handlers stop (the login window, not the main one),
        // and whether the SDK outlives them.
        QString whileStopping;
        KLoginHooks hooks = login.hooks();
        hooks.stopHandlers = [&, stop = installed.stopHandlers] {
            whileStopping = login.progressWidget()->text() + (login.isVisible() ? " login" : "") +
                            (!login.mainWidget() || login.mainWidget()->isVisible() ? " main" : "");
            stop();
            whileStopping += KRecorderSDK::instance()->isInitialized() ? " sdk" : "";
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
        QVERIFY(QTest::qWaitFor([&] { return main->isVisible() && !login.isVisible(); }, 5000));
        auto running = [] {
            return QVector<bool>{KRecorderSDK::instance()->isInitialized(),
                                 KConnectionHandler::instance()->isInitialized(),
                                 KViewHandler::instance()->isInitialized(),
                                 KArchiveInfoHandler::instance()->isInitialized(),
                                 KDownloadHandler::instance()->isInitialized()};
        };
        QCOMPARE(running(), QVector<bool>(5, true));
        // The object list holds what the database gave for the demonstration user's group.
        QCOMPARE(main->objectMaster()->object(1)->name(), QStringLiteral("127.0.0.1"));

        auto question = answerNextMessage(true);
        QTest::mouseClick(main->closeButton(), Qt::LeftButton);
        QVERIFY(question->seen);
        // The login window takes the end up from its own event.
        QVERIFY(QTest::qWaitFor([&] { return main.isNull(); }, 5000));
        QCOMPARE(whileStopping, QStringLiteral("Завершение работы... login sdk"));
        QCOMPARE(running(), QVector<bool>(5, false));
    }
};

QTEST_MAIN(tst_ShellStartStop)
#include "tst_shellstartstop.moc"
