#include "KArchiveInfoAdvancedWidget.h"
#include "KCentralTabWidget.h"
#include "KCentralWidget.h"
#include "KCheckBoxHeaderView.h"
#include "KDeviceTestSupport.h"
#include "KDownloadTestSupport.h"
#include "KDownloadWidget.h"
#include "KDownloadWorker_HIKVISION.h"
#include "KFormat.h"
#include "KObjectDownloadWidget.h"
#include "KObjectHandler_HIKVISION.h"
#include "KProgressWidget.h"
#include "KRecorderSDK.h"
#include "KSettings.h"
#include "KShellTestSupport.h"
#include "KStyleSheet.h"
#include "KVideoSetData.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimeEdit>
#include <QtTest>

using namespace KDeviceTest;
using namespace KDownloadTest;
using namespace KShellTest;

class tst_DownloadWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        KStyleSheet::install();
        QVERIFY(KRecorderSDK::instance()->initialize());
        KConnectionHandler::instance()->initialize(2);
        KDownloadHandler::instance()->initialize(1);
        KSettings::instance()->setDownloadReliabilityMode(0);
        // A slow link and files of a recorder's bit rate: a fragment takes seconds to come.
        QVERIFY2(m_emulator.start({"--analog", "2", "--size", "160x120", "--fps", "2",
                                   "--clip-kbps", "64", "--download-rate", "96"}),
                 qPrintable(m_emulator.log()));
        m_object = std::make_unique<KObjectHandler_HIKVISION>(
            objectRecord(m_emulator.host(), m_emulator.port(), m_emulator.statusPort()));
        // A short interval on one date, inside one recording.
        m_begin = recordedStart(m_emulator, 1, 900);
        QVERIFY(m_begin.isValid());
        KDownloadHandler::instance()->setWorkerFactory([this](const KDownloadJobData &job) {
            auto *worker = new KDownloadWorker_HIKVISION(
                qobject_cast<KObjectHandler_HIKVISION *>(job.objectHandler));
            worker->setRetryInterval(100);
            worker->setFreeSpaceQuery(Gate::query(m_gate));
            return worker;
        });
    }

    void cleanupTestCase()
    {
        KDownloadHandler::instance()->setWorkerFactory({});
        KDownloadHandler::instance()->shutdown();
        KConnectionHandler::instance()->shutdown();
        KRecorderSDK::instance()->cleanup();
    }

    void init()
    {
        m_store.reset(new QTemporaryDir);
        KSettings::instance()->setLocalVideoPath(m_store->path());
        m_gate = std::make_shared<Gate>();
        m_tab.reset(new KDownloadWidget);
        m_tab->resize(1000, 600);
        m_tab->show();
        m_tab->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_tab.get()));
    }

    void cleanup()
    {
        m_gate->release();
        m_tab.reset();
        QVERIFY(endAllJobs());
        KDownloadHandler::instance()->updateTimer()->start();
    }

    // The message page until the object's channels are there, then the table; the window
    // asks for a login while it shows the object.
    void pagesAndTable()
    {
        KObjectData unsupported = objectRecord("127.0.0.1", 1, 1);
        unsupported.recorder.type = 0;
        KObjectHandler none(unsupported);
        m_tab->setObject(&none);
        QCOMPARE(m_tab->progressWidget()->text(),
                 QStringLiteral("Автобус 101 - ВР не поддерживается"));

        KObjectHandler_HIKVISION fresh(
            objectRecord(m_emulator.host(), m_emulator.port(), m_emulator.statusPort()));
        m_tab->setObject(&fresh);
        QCOMPARE(fresh.demand(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!m_tab->isProgressShown(), 30000);
        KObjectDownloadWidget *w = window();
        QCOMPARE(w->table()->rowCount(), 2);
        QVERIFY(w->checkBox("ACAM01")->isChecked() && w->checkBox("ACAM02")->isChecked());
        QCOMPARE(w->startButton()->toolTip() + w->stopButton()->toolTip(),
                 QStringLiteral("Начать закачку (Ctrl+Enter)Остановить закачку (Esc)"));
        m_tab->setObject(nullptr);
        QCOMPARE(fresh.demand(), 0);
    }

    // The editors, the time-line and the checks made before a job is asked for.
    void intervalAndChecks()
    {
        KObjectDownloadWidget *w = showObject();
        QVERIFY(w);
        const QDate day(2024, 5, 17);
        w->setDateTime(QDateTime(day, QTime(10, 0, 30)));
        QCOMPARE(w->toTimeEdit()->time(), QTime(10, 10, 30));
        w->timeLine()->setLowerValue(480);
        QCOMPARE(w->fromTimeEdit()->time(), QTime(8, 0));
        w->toTimeEdit()->setTime(QTime(9, 15, 20));
        QCOMPARE(w->timeLine()->upperValue(), 555);

        // Ten minutes from 23:55 end before they begin.
        w->setDateTime(QDateTime(day, QTime(23, 55)));
        QCOMPARE(w->toTimeEdit()->time(), QTime(0, 5));
        auto seen = answerNextMessage(true);
        w->download();
        QCOMPARE(seen->text, QStringLiteral("Неверный интервал!"));
        QCOMPARE(w->jobID(), -1);

        // The header's box unchecks every row.
        w->setDateTime(QDateTime(day, QTime(10, 0)));
        QTest::mouseClick(w->header()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          w->header()->checkboxRect(0).center());
        QVERIFY(!w->checkBox("ACAM01")->isChecked() && !w->checkBox("ACAM02")->isChecked());
        seen = answerNextMessage(true);
        w->download();
        QCOMPARE(seen->text, QStringLiteral("Не выбран ни один канал!"));
        QVERIFY(!w->isDownloading() && w->checkBox("ACAM01")->isEnabled());
    }

    // Progress-bar format, speed and colour of a running, a failed and an ignored state; time
    // (at most an hour), size, interval and stages; other jobs and channels change nothing.
    void channelLooks_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("speedCleared");
        QTest::addColumn<int>("colour");
        QTest::newRow("2") << 2 << "Загрузка [%p%]" << false << 19;
        QTest::newRow("11") << 11 << "Ошибка перекодирования" << true << 20;
        QTest::newRow("15 ignored") << 15 << "Ожидание загрузки" << false << 0;
    }

    void channelLooks()
    {
        QFETCH(int, state);
        QFETCH(QString, format);
        QFETCH(bool, speedCleared);
        QFETCH(int, colour);
        KObjectDownloadWidget *w = showObject();
        QVERIFY(w);
        const int job = w->jobID();
        w->setDownloadSpeedLabel(job, "ACAM01", 1048576);
        QCOMPARE(w->speedLabel("ACAM01")->text(), QStringLiteral("8.0 Мбит/c"));
        w->setChannelDownloadState(job + 1, "ACAM01", state);
        w->setChannelDownloadState(job, "ACAM09", state);
        QCOMPARE(w->progressBar("ACAM01")->format(), QStringLiteral("Ожидание загрузки"));
        w->setChannelDownloadState(job, "ACAM01", state);
        QCOMPARE(w->progressBar("ACAM01")->format(), format);
        QCOMPARE(w->speedLabel("ACAM01")->text(),
                 speedCleared ? QStringLiteral("-") : QStringLiteral("8.0 Мбит/c"));
        QCOMPARE(w->progressBar("ACAM01")->styleSheet(),
                 colour ? "QProgressBar::chunk{background-color: " +
                              KSettings::instance()->themeColor(colour) + ";}"
                        : QString());
        w->setDownloadTimeLabel(job, "ACAM02", 90000);
        w->setDownloadSizeLabel(job, "ACAM02", 1536 * 1024);
        w->setDownloadSizeLabel(job + 1, "ACAM02", 1);
        const QDate day(2019, 3, 14);
        w->setDownloadIntervalLabel(job, "ACAM02", QDateTime(day, QTime(8, 0)),
                                    QDateTime(day, QTime(9, 30, 5)));
        w->setProgressStagesCount(job, "ACAM02", 3);
        w->setProgressStage(job, "ACAM02", 1);
        // Half of the second fragment is in.
        w->setFragmentProgress(job, "ACAM02", 50);
        QCOMPARE(QStringList({w->timeLabel("ACAM02")->text(), w->sizeLabel("ACAM02")->text(),
                              w->intervalLabel("ACAM02")->text(),
                              QString::number(w->progressBar("ACAM02")->value()) + "/" +
                                  QString::number(w->progressBar("ACAM02")->maximum())}),
                 QStringList({"01:00:00", "1.5 Мб", "14.03.2019, 08.00.00-09.30.05", "150/300"}));
    }

    // Ctrl+Enter starts the checked channels; on a slow link the bar moves with the bytes that
    // arrive, not only when the fragment is complete; the window is usable again when the
    // success message comes.
    void downloadWithKey()
    {
        KObjectDownloadWidget *w = showObject();
        QVERIFY(w);
        w->setDateTime(m_begin);
        w->toTimeEdit()->setTime(m_begin.time().addSecs(60));
        w->checkBox("ACAM02")->setChecked(false);
        auto seen = answerNextMessage(true, 30000);
        QTest::keyClick(w->fromTimeEdit(), Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(w->isDownloading() && !w->startButton()->isEnabled() &&
                w->fromTimeEdit()->isReadOnly() && !w->checkBox("ACAM01")->isEnabled());
        QCOMPARE(w->progressBar("ACAM02")->format(), QStringLiteral("Загрузка отменена"));
        QProgressBar *bar = w->progressBar("ACAM01");
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0 && bar->value() < bar->maximum() / 2, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > bar->maximum() / 2 && bar->value() < bar->maximum(),
                                 20000);
        QTRY_VERIFY_WITH_TIMEOUT(seen->seen, 30000);
        QCOMPARE(seen->kind, int(KMessageWidget::Success));
        QCOMPARE(seen->text, QStringLiteral("Автобус 101: загрузка завершена!"));
        QVERIFY(!w->isDownloading() && w->startButton()->isEnabled() &&
                !w->fromTimeEdit()->isReadOnly() && w->checkBox("ACAM01")->isEnabled());
        QCOMPARE(bar->format(), QStringLiteral("Загрузка завершена"));
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(QDir(m_store->path() + "/Автобус 101/" +
                      KVideoSetData::folderName(m_begin, m_begin.addSecs(60)))
                     .entryList({"*.mp4"}),
                 QStringList{"ACAM01.mp4"});
    }

    // With no tick of the handler's clock at all, a finished channel still shows what it
    // fetched and how long it took; a job with a failed channel ends with an error that names
    // it (the disk, not the recorder, is the cause here).
    void finishedChannelsTellTheTruth()
    {
        KObjectDownloadWidget *w = showObject();
        QVERIFY(w);
        KDownloadHandler *handler = KDownloadHandler::instance();
        handler->updateTimer()->stop();
        // A minute both channels recorded, without a lock.
        QDateTime begin;
        for (const KTestEmulator::File &f : m_emulator.pastFiles(1)) {
            for (const KTestEmulator::File &g : m_emulator.pastFiles(2)) {
                const QDateTime from = std::max(f.begin, g.begin).addSecs(60);
                if (!f.locked && !g.locked && !begin.isValid() &&
                    from.addSecs(120) < std::min(f.end, g.end) &&
                    from.date() == from.addSecs(60).date())
                    begin = from;
            }
        }
        QVERIFY(begin.isValid());
        const QDateTime end = begin.addSecs(60);
        const QString folder =
            m_store->path() + "/Автобус 101/" + KVideoSetData::folderName(begin, end);
        const QString blocked =
            QFileInfo(KAbstractDownloadWorker::fragmentFileName("ACAM02", 1, begin, end))
                .completeBaseName() +
            "_TEMP.mp4";
        QVERIFY(QDir().mkpath(folder + "/" + blocked));
        w->setDateTime(begin);
        w->toTimeEdit()->setTime(end.time());
        QSignalSpy totals(handler, &KDownloadHandler::totalDownloadSizeChanged);
        auto seen = answerNextMessage(true, 30000);
        w->download();
        QTRY_VERIFY_WITH_TIMEOUT(seen->seen, 30000);
        QCOMPARE(seen->kind, int(KMessageWidget::Error));
        QCOMPARE(seen->text, QStringLiteral("Автобус 101: ошибка загрузки!\nОшибки каналов: "
                                            "ACAM02 (Ошибка записи на диск)"));
        QCOMPARE(w->progressBar("ACAM02")->format(), QStringLiteral("Ошибка записи на диск"));
        const qlonglong fetched = totals.last().at(1).toLongLong();
        QVERIFY(fetched > 100000);
        QCOMPARE(w->sizeLabel("ACAM01")->text(), KFormat::byteSizeText(fetched));
        // The fragment took seconds to come over the slow link; the failed channel, next, its
        // own moment.
        const QString first = w->timeLabel("ACAM01")->text();
        const QString second = w->timeLabel("ACAM02")->text();
        QVERIFY2(first > QStringLiteral("00:00:01") && second < first,
                 qPrintable(first + " " + second));
    }

    // Escape stops a running job: no message, the stopped channel says so.
    void stopWithKey()
    {
        KObjectDownloadWidget *w = showObject();
        QVERIFY(w);
        w->setDateTime(m_begin);
        w->toTimeEdit()->setTime(m_begin.addSecs(750).time());
        m_gate->at = 1;
        w->download();
        QVERIFY(m_gate->reachedBy(w->jobID()));
        QTest::keyClick(w->table(), Qt::Key_Escape);
        QVERIFY(!w->stopButton()->isEnabled());
        m_gate->release();
        QTRY_VERIFY_WITH_TIMEOUT(!w->isDownloading(), 30000);
        QCOMPARE(w->progressBar("ACAM01")->format(), QStringLiteral("Загрузка остановлена"));
        QCOMPARE(w->progressBar("ACAM02")->format(), QStringLiteral("Ожидание загрузки"));
        for (QWidget *widget : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<KMessageWidget *>(widget) || !widget->isVisible());
    }

    // Jobs whose channels find nothing, and a job the handler refuses.
    void endMessages()
    {
        KObjectDownloadWidget *w = showObject();
        QVERIFY(w);
        const QDateTime old = m_emulator.now().addDays(-30);
        w->setDateTime(QDateTime(old.date(), QTime(10, 0)));
        auto seen = answerNextMessage(true, 30000);
        w->download();
        QTRY_VERIFY_WITH_TIMEOUT(seen->seen, 30000);
        QCOMPARE(seen->text, QStringLiteral("Автобус 101: видеозаписи не обнаружены!"));
        QCOMPARE(w->progressBar("ACAM01")->format(), QStringLiteral("Файл не найден"));

        // Only recordings the recorder keeps locked: not downloaded, but said so. The minute is
        // one that channel 2 holds unlocked, for the mixed case below.
        const auto lockedOn2 = [&](const QDateTime &from, const QDateTime &to) {
            for (const KTestEmulator::File &f : m_emulator.pastFiles(2))
                if (f.locked && f.begin < to && from < f.end)
                    return true;
            return false;
        };
        QDateTime locked;
        for (const KTestEmulator::File &f : m_emulator.pastFiles(1)) {
            const QDateTime from = f.begin.addSecs(60);
            if (f.locked && f.begin.addSecs(300) < f.end && !locked.isValid() &&
                f.begin.date() == f.begin.addSecs(300).date() && !lockedOn2(from, from.addSecs(60)))
                locked = from;
        }
        QVERIFY(locked.isValid());
        w->setDateTime(locked);
        w->toTimeEdit()->setTime(locked.time().addSecs(60));
        w->checkBox("ACAM02")->setChecked(false);
        seen = answerNextMessage(true, 30000);
        w->download();
        QTRY_VERIFY_WITH_TIMEOUT(seen->seen, 30000);
        QCOMPARE(seen->text, QStringLiteral("Автобус 101: видеозаписи не обнаружены!\n"
                                            "Записи заблокированы на ВР: ACAM01"));
        QCOMPARE(w->progressBar("ACAM01")->format(), QStringLiteral("Записи заблокированы"));

        // With another channel downloaded: done, with the locked one named as a warning.
        w->checkBox("ACAM02")->setChecked(true);
        seen = answerNextMessage(true, 60000);
        w->download();
        QTRY_VERIFY_WITH_TIMEOUT(seen->seen, 60000);
        QCOMPARE(seen->text, QStringLiteral("Автобус 101: загрузка завершена!\n"
                                            "Записи заблокированы на ВР: ACAM01"));
        QCOMPARE(seen->kind, int(KMessageWidget::Warning));

        KDownloadHandler::instance()->shutdown();
        seen = answerNextMessage(true);
        w->download();
        KDownloadHandler::instance()->initialize(1);
        QCOMPARE(seen->text, QStringLiteral("Автобус 101: ошибка загрузки!"));
        QVERIFY(!w->isDownloading() && w->startButton()->isEnabled());
    }

    // The download tab keeps its object while it downloads and asks before it is closed.
    void tabRules()
    {
        m_tab.reset();
        KObjectHandler_HIKVISION second(
            objectRecord(m_emulator.host(), m_emulator.port(), m_emulator.statusPort()));
        KCentralWidget central({{1, m_object.get()}, {2, &second}});
        central.resize(1000, 600);
        central.show();
        central.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&central));
        central.addDownloadVideoTab();
        KDownloadWidget *tab = central.downloadVideoTab();
        QVERIFY(tab);
        QCOMPARE(tab->object(), m_object.get());
        QTRY_VERIFY(tab->objectDownloadWidget()->isPopulated());
        KObjectDownloadWidget *w = tab->objectDownloadWidget();
        // The archive player's "Перейти к загрузке": the same tab, the player's moment.
        central.addDownloadVideoTab(m_object.get(), m_begin);
        QCOMPARE(central.downloadVideoTab(), tab);
        QCOMPARE(QDateTime(w->dateEdit()->date(), w->fromTimeEdit()->time()), m_begin);
        QCOMPARE(w->toTimeEdit()->time(), m_begin.time().addSecs(600));
        w->toTimeEdit()->setTime(m_begin.addSecs(750).time());
        m_gate->at = 1;
        w->download();
        QVERIFY(tab->isDownloading());

        auto seen = answerNextMessage(true);
        central.addDownloadVideoTab(&second, m_begin);
        QCOMPARE(seen->text, QStringLiteral("Загрузка в процессе!"));
        central.setCurrentObject(&second);
        QCOMPARE(tab->object(), m_object.get());

        const int jobID = w->jobID();
        seen = answerNextMessage(false);
        central.closeTab(central.tabWidget()->indexOf(tab));
        QCOMPARE(seen->text,
                 QStringLiteral("Текущие загрузки будут прерваны.\nЗакрыть загрузчик?"));
        QCOMPARE(central.downloadVideoTab(), tab);
        seen = answerNextMessage(true);
        central.closeTab(central.tabWidget()->indexOf(tab));
        QTRY_VERIFY(!central.downloadVideoTab());
        m_gate->release();
        QTRY_VERIFY_WITH_TIMEOUT(!KDownloadHandler::instance()->hasJob(jobID), 30000);
    }

private:
    KObjectDownloadWidget *window() const { return m_tab->objectDownloadWidget(); }

    // The tab showing the object's table (the tab logs the object in when it has to).
    KObjectDownloadWidget *showObject()
    {
        m_tab->setObject(m_object.get());
        KTestEmulator::waitFor([this] { return window()->isPopulated(); }, 30000);
        return window()->isPopulated() ? window() : nullptr;
    }

    KTestEmulator m_emulator;
    std::unique_ptr<QTemporaryDir> m_store;
    std::unique_ptr<KObjectHandler_HIKVISION> m_object;
    std::unique_ptr<KDownloadWidget> m_tab;
    std::shared_ptr<Gate> m_gate = std::make_shared<Gate>();
    QDateTime m_begin;
};

QTEST_MAIN(tst_DownloadWidget)
#include "tst_downloadwidget.moc"
