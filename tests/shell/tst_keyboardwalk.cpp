// The operator's day with the keyboard alone: real key presses, sent through the X server by
// xdotool to whichever window has the keyboard, from the login to the exit question. Each step
// is checked by what it did, and before each key the window that should take it must have the
// keyboard (X input focus), as it must for an operator: a step that leaves no window with the
// keyboard fails here.
#include "KAbstractRecorderVideoView.h"
#include "KArchiveVideoPlayerWidget.h"
#include "KArchiveVideoWidget.h"
#include "KCentralWidget.h"
#include "KConnectionHandler.h"
#include "KDBHandler.h"
#include "KDownloadWidget.h"
#include "KFullSizeVideoPlayerWidget.h"
#include "KLoginWidget.h"
#include "KMainWidget.h"
#include "KMarkerEditorWidget.h"
#include "KMediaProbe.h"
#include "KMessageWidget.h"
#include "KObjectDownloadWidget.h"
#include "KOnlineVideoPlayerWidget.h"
#include "KOnlineVideoWidget.h"
#include "KSettings.h"
#include "KShell.h"
#include "KSqlScript.h"
#include "KStyleSheet.h"
#include "KTestEmulator.h"
#include "KVideoMarkerTableWidget.h"
#include "KVideoPlayerWidget.h"
#include "KVideoSetData.h"
#include "KVideoTableWidget.h"
#include "KVideoView.h"
#include "KVideoWidget.h"
#include "KViewHandler.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QtTest>

#include <memory>

namespace {

constexpr int kWait = 30000;

// The X window that has the keyboard; 0 when none or xdotool failed.
quint64 keyboardWindow()
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")});
    if (!xdotool.waitForFinished(5000) || xdotool.exitCode() != 0)
        return 0;
    return xdotool.readAllStandardOutput().trimmed().toULongLong();
}

// True once window has the keyboard: the X server sends keys to it and the program takes it
// as its active window.
bool hasKeyboard(QWidget *window)
{
    return window && window->isVisible() && QApplication::activeWindow() == window &&
           keyboardWindow() == window->winId();
}

QString describe(QWidget *expected)
{
    QWidget *active = QApplication::activeWindow();
    QWidget *focus = QApplication::focusWidget();
    return QStringLiteral("expected %1 (x %2); active %3; focus %4 %5; x focus %6")
        .arg(expected ? expected->metaObject()->className() : "none")
        .arg(expected ? expected->winId() : 0)
        .arg(active ? active->metaObject()->className() : "none")
        .arg(focus ? focus->metaObject()->className() : "none")
        .arg(focus ? focus->objectName() : QString())
        .arg(keyboardWindow());
}

// Real key presses (xdotool's names: "ctrl+1", "space", "Return") to the window with the
// keyboard; blocking, the keys wait in the X server for the event loop.
bool sendKeys(const QStringList &arguments)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), arguments);
    return xdotool.waitForFinished(10000) && xdotool.exitStatus() == QProcess::NormalExit &&
           xdotool.exitCode() == 0;
}

// The picture the recorder SDK painted over a tile; null before it paints.
QImage picture(KAbstractVideoView *view)
{
    auto *surface = view->videoSurface()->findChild<QWidget *>(QStringLiteral("sdkVideoSurface"));
    return surface ? surface->grab().toImage() : QImage();
}

bool painted(const QImage &image)
{
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            if (image.pixel(x, y) != image.pixel(0, 0))
                return true;
    return false;
}

QDateTime workerTime(KAbstractVideoView *view)
{
    auto *tile = static_cast<KAbstractRecorderVideoView *>(view);
    KAbstractViewWorker *worker = KViewHandler::instance()->worker(tile->jobID());
    return worker ? worker->currentDateTime() : QDateTime();
}

template<class T> T *visibleWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<T *>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

} // namespace

#define PRESS(window, keys)                                                                        \
    do {                                                                                           \
        QWidget *target_ = (window);                                                               \
        QVERIFY2(QTest::qWaitFor([&] { return hasKeyboard(target_); }, 10000),                     \
                 qPrintable(QStringLiteral("before ") + (keys) + QStringLiteral(": ") +            \
                            describe(target_)));                                                   \
        QVERIFY(sendKeys({QStringLiteral("key"), keys}));                                          \
    } while (false)

#define TYPE(window, text)                                                                         \
    do {                                                                                           \
        QWidget *target_ = (window);                                                               \
        QVERIFY2(QTest::qWaitFor([&] { return hasKeyboard(target_); }, 10000),                     \
                 qPrintable(describe(target_)));                                                   \
        QVERIFY(sendKeys({QStringLiteral("type"), (text)}));                                       \
    } while (false)

// Answers the next message window of kind with a key once the window has the keyboard. The
// message runs its own event loop, so the answer comes from a timer inside it.
struct KeyAnswer
{
    bool answered = false;
    QString text;
};

std::shared_ptr<KeyAnswer> answerWithKey(int kind, const QString &key)
{
    auto answer = std::make_shared<KeyAnswer>();
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [=, deadline = QDeadlineTimer(120000)] {
        auto *message = visibleWindow<KMessageWidget>();
        if (deadline.hasExpired()) {
            timer->deleteLater();
            timer->stop();
            return;
        }
        if (!message || message->kind() != kind || !hasKeyboard(message))
            return;
        timer->stop();
        timer->deleteLater();
        answer->text = message->text();
        answer->answered = sendKeys({QStringLiteral("key"), key});
    });
    timer->start(50);
    return answer;
}

class tst_KeyboardWalk : public QObject
{
    Q_OBJECT

private slots:
    void operatorsDay()
    {
        // The recorder and what it recorded.
        KTestEmulator emulator;
        QVERIFY2(emulator.start({"--analog", "2", "--size", "160x120", "--fps", "5"}),
                 qPrintable(emulator.log()));
        // Ten minutes on one date inside one recording: what Ctrl+D asks for.
        QList<KTestEmulator::File> files;
        for (const KTestEmulator::File &f : emulator.pastFiles(1)) {
            if (f.begin.addSecs(30 + 660).date() == f.begin.date())
                files << f;
        }
        const QDateTime moment = KTestEmulator::momentIn(files, 660);
        QVERIFY(moment.isValid());

        // The program as main() builds it, on a real demo database and an empty store.
        KStyleSheet::install();
        KSettings *settings = KSettings::instance();
        QTemporaryDir dir;
        QString error;
        QVERIFY2(KSqlScript::createIfMissing(dir.filePath(QStringLiteral("demo.db")),
                                             {VELMORA_SOURCE_DIR "/db/sql/objects.sql",
                                              VELMORA_SOURCE_DIR "/db/sql/demo_fleet.sql"},
                                             nullptr, &error),
                 qPrintable(error));
        KDBHandler::instance()->setDirectory(dir.path());
        const QString store = dir.filePath(QStringLiteral("store"));
        QVERIFY(QDir().mkpath(store));
        settings->setLocalVideoPath(store);
        settings->setRecorderHost(emulator.host());
        settings->setRecorderPort(emulator.port());
        settings->setRecorderLogin(QStringLiteral("admin"));
        settings->setRecorderPassword(QString());
        KShell::install();
        auto login = std::make_unique<KLoginWidget>();
        login->show();

        // Log in: the password typed, Enter.
        TYPE(login.get(), QStringLiteral("demo12345"));
        PRESS(login.get(), QStringLiteral("Return"));
        QPointer<KMainWidget> main;
        QVERIFY(QTest::qWaitFor(
            [&] {
                main = qobject_cast<KMainWidget *>(login->mainWidget());
                return main && main->isVisible() && !login->isVisible();
            },
            kWait));
        KCentralWidget *central = main->centralWidget();

        // Ctrl+1, Space plays every channel live, Space stops.
        PRESS(main, QStringLiteral("ctrl+1"));
        QTRY_VERIFY_WITH_TIMEOUT(
            central->onlineVideoTab() && central->onlineVideoTab()->isPopulated(), kWait);
        KAbstractVideoPlayerWidget *online = central->onlineVideoTab()->player();
        QCOMPARE(online->viewCount(), 2);
        PRESS(main, QStringLiteral("space"));
        QTRY_VERIFY_WITH_TIMEOUT(online->playbackState() == 0 &&
                                     painted(picture(online->views().at(0))) &&
                                     painted(picture(online->views().at(1))),
                                 kWait);
        PRESS(main, QStringLiteral("F11"));
        QTRY_VERIFY(online->isFullScreenMode());
        PRESS(online->fullSizeWindow(), QStringLiteral("Escape"));
        QTRY_VERIFY(!online->isFullScreenMode() && main->isVisible());
        PRESS(main, QStringLiteral("space"));
        QTRY_COMPARE(online->playbackState(), 2);

        // Ctrl+2, Tab to the date and time, typed; Space plays from there, "+" and "-" change
        // the speed, Space pauses.
        PRESS(main, QStringLiteral("ctrl+2"));
        QTRY_VERIFY_WITH_TIMEOUT(
            central->archiveVideoTab() && central->archiveVideoTab()->isPopulated(), kWait);
        KArchiveVideoPlayerWidget *archive = central->archiveVideoTab()->player();
        PRESS(main, QStringLiteral("Tab"));
        QTRY_COMPARE(QApplication::focusWidget(), archive->dateEdit());
        // Year, month by arrows, day: a valid date at every step on any day of the year. A
        // full section moves on by itself; Tab leaves the last one for the time.
        const QDate date = moment.date();
        QStringList keys{QStringLiteral("key"), QStringLiteral("Tab"), QStringLiteral("Tab")};
        for (QChar c : QString::number(date.year()))
            keys << QString(c);
        keys << QStringLiteral("shift+Tab");
        const int months = date.month() - archive->dateEdit()->date().month();
        for (int i = 0; i < qAbs(months); ++i)
            keys << (months < 0 ? QStringLiteral("Down") : QStringLiteral("Up"));
        keys << QStringLiteral("shift+Tab");
        for (QChar c : date.toString(QStringLiteral("dd")))
            keys << QString(c);
        keys << QStringLiteral("Tab") << QStringLiteral("Tab");
        for (QChar c : moment.time().toString(QStringLiteral("HHmmss")))
            keys << QString(c);
        QVERIFY2(QTest::qWaitFor([&] { return hasKeyboard(main); }, 10000),
                 qPrintable(describe(main)));
        QVERIFY(sendKeys(keys));
        QTRY_COMPARE(archive->beginDateTime(), moment);
        PRESS(main, QStringLiteral("space"));
        KAbstractVideoView *first = archive->views().at(0);
        QTRY_VERIFY_WITH_TIMEOUT(archive->playbackState() == 0 && painted(picture(first)) &&
                                     workerTime(first).isValid(),
                                 kWait);
        const QDateTime started = workerTime(first);
        QVERIFY2(qAbs(started.secsTo(moment)) < 60, qPrintable(started.toString(Qt::ISODate)));
        PRESS(main, QStringLiteral("plus"));
        QTRY_COMPARE(archive->speedLabel()->text(), QStringLiteral("2x"));
        PRESS(main, QStringLiteral("minus"));
        PRESS(main, QStringLiteral("minus"));
        QTRY_COMPARE(archive->speedLabel()->text(), QStringLiteral("1/2x"));
        QTRY_VERIFY_WITH_TIMEOUT(workerTime(first) > started, kWait);
        PRESS(main, QStringLiteral("space"));
        QTRY_COMPARE(archive->playbackState(), 1);

        // Ctrl+D: the download tab at the archive's moment; Space leaves the second channel
        // out; Ctrl+Enter starts, Escape stops, Ctrl+Enter again runs to the end.
        PRESS(main, QStringLiteral("ctrl+d"));
        QTRY_VERIFY_WITH_TIMEOUT(
            central->downloadVideoTab() && !central->downloadVideoTab()->isProgressShown(), kWait);
        KObjectDownloadWidget *download = central->downloadVideoTab()->objectDownloadWidget();
        QCOMPARE(QDateTime(download->dateEdit()->date(), download->fromTimeEdit()->time()), moment);
        QVERIFY(download->checkBox("ACAM02")->isChecked());
        QTRY_VERIFY2(QApplication::focusWidget() == download->checkBox("ACAM01"),
                     qPrintable(describe(main)));
        PRESS(main, QStringLiteral("Down"));
        QTRY_VERIFY2(QApplication::focusWidget() == download->checkBox("ACAM02"),
                     qPrintable(describe(main)));
        PRESS(main, QStringLiteral("space"));
        QTRY_VERIFY(!download->checkBox("ACAM02")->isChecked());
        QVERIFY(download->checkBox("ACAM01")->isChecked());
        PRESS(main, QStringLiteral("Tab"));
        QTRY_COMPARE(QApplication::focusWidget(), download->dateEdit());
        PRESS(main, QStringLiteral("ctrl+Return"));
        QTRY_VERIFY(download->isDownloading());
        PRESS(main, QStringLiteral("Escape"));
        QTRY_VERIFY_WITH_TIMEOUT(!download->isDownloading(), kWait);
        QCOMPARE(download->progressBar("ACAM01")->format(), QStringLiteral("Загрузка остановлена"));
        auto done = answerWithKey(KMessageWidget::Success, QStringLiteral("Return"));
        PRESS(main, QStringLiteral("ctrl+Return"));
        QTRY_VERIFY_WITH_TIMEOUT(done->answered, 120000);
        QVERIFY2(done->text.endsWith(QStringLiteral("загрузка завершена!")),
                 qPrintable(done->text));
        const QList<KVideoSetData> sets = KVideoSetData::scanStore(store);
        QCOMPARE(sets.size(), 1);
        const QString file = sets.first().channels.value("ACAM01").file.absoluteFilePath();
        QString why;
        QVERIFY2(KMediaProbe::covers(file, 600, &why), qPrintable(file + ": " + why));

        // Ctrl+4, Ctrl+O: the set table, Enter plays the set; Right and Left move it; Ctrl+M,
        // Insert, a text and Enter write a marker; Escape closes the markers; Ctrl+W the tab.
        PRESS(main, QStringLiteral("ctrl+4"));
        QTRY_VERIFY(central->videoTab());
        KVideoPlayerWidget *player = central->videoTab()->player();
        PRESS(main, QStringLiteral("ctrl+o"));
        QTRY_VERIFY(player->videoTable() && player->videoTable()->isVisible());
        PRESS(player->videoTable(), QStringLiteral("Return"));
        QTRY_VERIFY_WITH_TIMEOUT(player->playbackState() == 0 && player->viewsInUse() == 1 &&
                                     player->view(0)->position() > 500,
                                 kWait);
        QCOMPARE(player->videoSet().path, sets.first().path);
        PRESS(main, QStringLiteral("Right"));
        QTRY_VERIFY_WITH_TIMEOUT(player->view(0)->position() > 5500, kWait);
        const qint64 ahead = player->view(0)->position();
        PRESS(main, QStringLiteral("Left"));
        QTRY_VERIFY_WITH_TIMEOUT(player->view(0)->position() < ahead - 3000, kWait);

        PRESS(main, QStringLiteral("ctrl+m"));
        QTRY_VERIFY(player->markerTable()->isVisible());
        PRESS(player->markerTable(), QStringLiteral("Insert"));
        KMarkerEditorWidget *editor = nullptr;
        QTRY_VERIFY((editor = visibleWindow<KMarkerEditorWidget>()));
        TYPE(editor, QStringLiteral("walk"));
        PRESS(editor, QStringLiteral("Return"));
        QTRY_COMPARE(KVideoSetData(sets.first().path).markers.size(), 1);
        QCOMPARE(KVideoSetData(sets.first().path).markers.first().text, QStringLiteral("walk"));
        PRESS(player->markerTable(), QStringLiteral("Escape"));
        QTRY_VERIFY(!player->markerTable()->isVisible());
        PRESS(main, QStringLiteral("ctrl+w"));
        QTRY_VERIFY(!central->videoTab());

        // Closing the main window asks; Enter answers "Да" and the program ends.
        auto exit = answerWithKey(KMessageWidget::Question, QStringLiteral("Return"));
        QVERIFY2(QTest::qWaitFor([&] { return hasKeyboard(main); }, 10000),
                 qPrintable(describe(main)));
        QEventLoop program;
        QTimer::singleShot(kWait, &program, [&] { program.exit(1); });
        QVERIFY(sendKeys({QStringLiteral("key"), QStringLiteral("alt+F4")}));
        QCOMPARE(program.exec(), 0);
        QVERIFY(exit->answered);
        QVERIFY(main.isNull());
        QVERIFY(!KConnectionHandler::instance()->isInitialized());
    }
};

QTEST_MAIN(tst_KeyboardWalk)
#include "tst_keyboardwalk.moc"
