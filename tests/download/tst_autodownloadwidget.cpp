// The tasks tab under Xvfb on a task table in a real SQLite file: tasks made from the form
// (bad entries refused with their message, nothing added), every state shown as the operator
// reads it, filters, and cancel, retry and delete from their keys.
#include "DbTestSupport.h"
#include "KAutodownloadTaskFilter.h"
#include "KAutodownloadTaskModel.h"
#include "KAutodownloadWidget.h"
#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KObjectHandler.h"
#include "KShellTestSupport.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTimeEdit>
#include <QtTest>

#include <memory>

class tst_AutodownloadWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (int id : {1, 2}) {
            KObjectData record;
            record.id = id;
            record.name = id == 1 ? "Автобус 101" : "Трамвай 7";
            record.recorder.type = 1;
            m_handlers.emplace_back(std::make_unique<KObjectHandler>(record));
            m_objects.insert(id, m_handlers.back().get());
        }
    }

    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(DbTestSupport::makeObjectDb(m_dir->path()));
        QVERIFY(KSqlScript::createIfMissing(m_dir->filePath("tasks.db"),
                                            {DbTestSupport::sqlFile("tasks.sql")}));
        KDBHandler::instance()->setDirectory(m_dir->path());
        KDBHandler::instance()->setSharedTaskDbOverride(false);
        KDBHandler::instance()->start();
        QVERIFY(KDBHandler::instance()->open(m_dir->filePath("demo.db")));
        m_widget.reset(new KAutodownloadWidget);
        m_widget->setObjects(m_objects);
        m_widget->resize(1200, 600);
        m_widget->show();
        m_widget->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_widget.get()));
    }

    void cleanup()
    {
        m_widget.reset();
        KDBHandler::instance()->close();
    }

    // Ctrl+N makes one task per checked object over the interval with the channels named.
    void createsTasks()
    {
        check(1);
        check(2);
        m_widget->dateEdit()->setDate(QDate(2026, 3, 14));
        m_widget->fromEdit()->setTime(QTime(8, 0));
        m_widget->toEdit()->setTime(QTime(8, 30));
        m_widget->channelsEdit()->setText("1, dcam2 1");
        QTest::keyClick(m_widget.get(), Qt::Key_N, Qt::ControlModifier);
        const QList<KAutodownloadTaskData> tasks = m_widget->model()->tasks();
        QCOMPARE(tasks.size(), 2);
        QCOMPARE(QList<int>({tasks[0].objectId, tasks[1].objectId}), QList<int>({1, 2}));
        QCOMPARE(tasks[1].channels, QStringLiteral("ACAM01,DCAM02"));
        QCOMPARE(tasks[1].startTime, QDateTime(QDate(2026, 3, 14), QTime(8, 0)));
        QCOMPARE(tasks[1].stopTime, QDateTime(QDate(2026, 3, 14), QTime(8, 30)));
        QCOMPARE(cell(1, KAutodownloadTaskModel::IntervalColumn),
                 QStringLiteral("14.03.2026 08:00:00 - 08:30:00"));
        QCOMPARE(cell(0, KAutodownloadTaskModel::StateColumn), QStringLiteral("Ожидание ВР"));
        QCOMPARE(m_widget->statusLabel()->text(), QStringLiteral("Создано заданий: 2"));
        // Every channel when none is named.
        m_widget->channelsEdit()->clear();
        QTest::mouseClick(m_widget->buttons().at(0), Qt::LeftButton);
        QCOMPARE(cell(0, KAutodownloadTaskModel::ChannelsColumn), QStringLiteral("A01, D02"));
        QCOMPARE(cell(2, KAutodownloadTaskModel::ChannelsColumn), QStringLiteral("все"));
    }

    void refusesBadEntries_data()
    {
        QTest::addColumn<bool>("object");
        QTest::addColumn<QTime>("to");
        QTest::addColumn<QString>("channels");
        QTest::addColumn<QString>("message");
        QTest::newRow("no object") << false << QTime(9, 0) << ""
                                   << "Не выбран ни один объект!";
        QTest::newRow("empty interval") << true << QTime(8, 0) << ""
                                        << "Неверный интервал!";
        QTest::newRow("bad channel") << true << QTime(9, 0) << "1, CAM3"
                                     << "Неверный канал: CAM3";
        QTest::newRow("channel 33") << true << QTime(9, 0) << "33"
                                    << "Неверный канал: 33";
    }

    void refusesBadEntries()
    {
        QFETCH(bool, object);
        QFETCH(QTime, to);
        QFETCH(QString, channels);
        QFETCH(QString, message);
        if (object)
            check(2);
        m_widget->fromEdit()->setTime(QTime(8, 0));
        m_widget->toEdit()->setTime(to);
        m_widget->channelsEdit()->setText(channels);
        const auto seen = KShellTest::answerNextMessage(true);
        m_widget->createTasks();
        QTRY_VERIFY(seen->seen);
        QCOMPARE(seen->text, message);
        QCOMPARE(m_widget->model()->rowCount(), 0);
    }

    // What each state says, with the holder of a download; filters by state and object.
    void statesAndFilters()
    {
        KDBWorker *db = KDBHandler::instance()->worker(QThread::currentThread());
        QVERIFY(db->insertAutodownloadTasks({task(1), task(1), task(2), task(2), task(1)}).size() ==
                5);
        bool ok = false;
        // 1: downloading, 40 % of two channels; 2 waits behind it.
        KAutodownloadTaskData running = db->claimAutodownloadTask({1}, "depot-1", 60000, &ok);
        running.channelProgress = {{"ACAM01", running.startTime.addSecs(480)},
                                   {"ACAM02", running.startTime}};
        QVERIFY(db->storeAutodownloadProgress(running, "depot-1", 60000));
        // 3 partly done, 4 failed.
        KAutodownloadTaskData partly = db->claimAutodownloadTask({2}, "depot-2", 60000, &ok);
        partly.status = KAutodownloadTaskData::PartlyDone;
        partly.missingSeconds = 61;
        QVERIFY(db->finishAutodownloadTask(partly, "depot-2"));
        KAutodownloadTaskData failed = db->claimAutodownloadTask({2}, "depot-2", 60000, &ok);
        failed.status = KAutodownloadTaskData::Failed;
        failed.reason = "ACAM01: нет свободного места на диске";
        QVERIFY(db->finishAutodownloadTask(failed, "depot-2"));
        QCOMPARE(db->cancelAutodownloadTasks({5}), 1);
        QTest::keyClick(m_widget.get(), Qt::Key_F5);

        QCOMPARE(column(KAutodownloadTaskModel::StateColumn),
                 QStringList({"Загрузка 40%", "Ожидание ВР", "Частично: нет 2 мин",
                              "Ошибка: ACAM01: нет свободного места на диске", "Отменено"}));
        QCOMPARE(column(KAutodownloadTaskModel::HolderColumn),
                 QStringList({"depot-1", "", "depot-2", "depot-2", ""}));
        QCOMPARE(
            column(KAutodownloadTaskModel::ObjectColumn),
            QStringList({"Автобус 101", "Автобус 101", "Трамвай 7", "Трамвай 7", "Автобус 101"}));

        m_widget->stateFilterBox()->setCurrentIndex(
            m_widget->stateFilterBox()->findData(int(KAutodownloadTaskModel::WaitingState)));
        QCOMPARE(ids(), QList<int>({2}));
        m_widget->stateFilterBox()->setCurrentIndex(0);
        m_widget->objectFilterBox()->setCurrentIndex(m_widget->objectFilterBox()->findData(2));
        QCOMPARE(ids(), QList<int>({3, 4}));
        QTest::keyClick(m_widget.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(ids().size(), 5);
    }

    // Escape cancels the selected tasks, Ctrl+R puts them back in the queue, Delete removes
    // them once confirmed.
    void actionsOnSelectedTasks()
    {
        KDBWorker *db = KDBHandler::instance()->worker(QThread::currentThread());
        QVERIFY(db->insertAutodownloadTasks({task(1), task(2), task(2)}).size() == 3);
        QTest::keyClick(m_widget.get(), Qt::Key_F5);
        m_widget->table()->setFocus();
        select({1, 3});
        QTest::keyClick(m_widget->table(), Qt::Key_Escape);
        QCOMPARE(column(KAutodownloadTaskModel::StateColumn),
                 QStringList({"Отменено", "Ожидание ВР", "Отменено"}));
        QCOMPARE(m_widget->statusLabel()->text(), QStringLiteral("Отменено заданий: 2"));
        select({1, 2});
        QTest::keyClick(m_widget->table(), Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(column(KAutodownloadTaskModel::StateColumn),
                 QStringList({"Ожидание ВР", "Ожидание ВР", "Отменено"}));
        select({2, 3});
        const auto seen = KShellTest::answerNextMessage(true);
        QTest::keyClick(m_widget->table(), Qt::Key_Delete);
        QVERIFY(seen->seen && seen->kind == KMessageWidget::Question);
        QCOMPARE(ids(), QList<int>({1}));
    }

private:
    void check(int objectId)
    {
        QListWidget *list = m_widget->objectList();
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->data(Qt::UserRole).toInt() == objectId)
                list->item(i)->setCheckState(Qt::Checked);
        }
    }
    static KAutodownloadTaskData task(int objectId)
    {
        KAutodownloadTaskData t;
        t.objectId = objectId;
        t.startTime = QDateTime(QDate(2026, 3, 14), QTime(8, 0));
        t.stopTime = t.startTime.addSecs(600);
        t.channels = "ACAM01,ACAM02";
        return t;
    }
    QString cell(int row, int column) const
    {
        return m_widget->table()->model()->index(row, column).data().toString();
    }
    QStringList column(int column) const
    {
        QStringList texts;
        for (int row = 0; row < m_widget->table()->model()->rowCount(); ++row)
            texts << cell(row, column);
        return texts;
    }
    QList<int> ids() const
    {
        QList<int> list;
        for (int row = 0; row < m_widget->table()->model()->rowCount(); ++row)
            list << cell(row, KAutodownloadTaskModel::IdColumn).toInt();
        return list;
    }
    void select(const QList<int> &taskIds)
    {
        QTableView *table = m_widget->table();
        table->clearSelection();
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            if (taskIds.contains(cell(row, KAutodownloadTaskModel::IdColumn).toInt()))
                table->selectionModel()->select(table->model()->index(row, 0),
                                                QItemSelectionModel::Select |
                                                    QItemSelectionModel::Rows);
        }
    }

    std::vector<std::unique_ptr<KObjectHandler>> m_handlers;
    QMap<int, KObjectHandler *> m_objects;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<KAutodownloadWidget> m_widget;
};

QTEST_MAIN(tst_AutodownloadWidget)
#include "tst_autodownloadwidget.moc"
