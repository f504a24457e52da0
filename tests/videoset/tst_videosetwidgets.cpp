#include "KCommentEditorWidget.h"
#include "KFormat.h"
#include "KMessageAnswerer.h"
#include "KMessageWidget.h"
#include "KSelectChannelsWidget.h"
#include "KSettings.h"
#include "KVideoCutWidget.h"
#include "KVideoSetCutWidget.h"
#include "KVideoSetDeleteWidget.h"
#include "KVideoSetTestSupport.h"
#include "KVideoTableProxyModel.h"
#include "KVideoTableView.h"
#include "KVideoTableWidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimeEdit>
#include <QtTest>

using namespace KVideoSetTest;

static const QString kFolder = QStringLiteral("2019.03.14_08.00.00-08.00.04");

class tst_VideoSetWidgets : public QObject, public Fixture
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(makeClipOnce()); }

    void init()
    {
        QVERIFY(makeStore());
        KSettings::instance()->setLocalVideoPath(m_local);
        KSettings::instance()->setRemoteVideoPath(m_remote);
    }

    void filterRules_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QDateTime>("min");
        QTest::addColumn<QDateTime>("max");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QStringList>("shown");
        const QDate day(2019, 3, 14);
        QTest::newRow("name bus") << "bus" << QDateTime() << QDateTime() << QString()
                                  << QStringList{"Bus 12", "minibus"};
        QTest::newRow("name expression") << "^bus|трам" << QDateTime() << QDateTime() << QString()
                                         << QStringList{"Bus 12", "Трамвай"};
        QTest::newRow("begin 10:00") << QString() << QDateTime(day, QTime(10, 0)) << QDateTime()
                                     << QString() << QStringList{"minibus", "Трамвай"};
        QTest::newRow("10:00 to 11:00")
            << QString() << QDateTime(day, QTime(10, 0)) << QDateTime(day, QTime(11, 0))
            << QString() << QStringList{"minibus"};
        QTest::newRow("comment") << QString() << QDateTime() << QDateTime() << "ДТП"
                                 << QStringList{"Трамвай"};
    }

    // A set is shown when its begin or its end lies in the span.
    void filterRules()
    {
        QFETCH(QString, name);
        QFETCH(QDateTime, min);
        QFETCH(QDateTime, max);
        QFETCH(QString, comment);
        QFETCH(QStringList, shown);
        QStandardItemModel model(0, 7);
        const auto row = [&](const QString &object, const QString &begin, const QString &end,
                             const QString &text) {
            model.appendRow({new QStandardItem(object), new QStandardItem("14.03.2019"),
                             new QStandardItem(begin), new QStandardItem(end),
                             new QStandardItem("1"), new QStandardItem("1 Мб"),
                             new QStandardItem(text)});
        };
        row("Bus 12", "08:00:00", "09:30:00", "");
        row("minibus", "09:00:00", "10:30:00", "обычный");
        row("Трамвай", "09:00:00", "12:00:00", "мелкое дтп");
        KVideoTableProxyModel proxy;
        proxy.setSourceModel(&model);
        proxy.setNameFilter(name);
        proxy.setMinDateTime(min);
        proxy.setMaxDateTime(max);
        proxy.setCommentFilter(comment);
        proxy.applyFilter();
        QStringList names;
        for (int i = 0; i < proxy.rowCount(); ++i)
            names << proxy.index(i, 0).data().toString();
        QCOMPARE(names, shown);
    }

    // Folders without channel files are no sets and add nothing to the store size.
    void storeSize()
    {
        makeSet(kFolder, {"ACAM01", "DCAM01"});
        const QString empty = m_local + "/Автобус/2019.03.14_09.00.00-09.00.04";
        QVERIFY(QDir().mkpath(empty));
        QVERIFY(QFile::copy(m_clip, empty + "/notes.txt"));
        KVideoTableView view;
        view.populate(m_local);
        QCOMPARE(view.model()->rowCount(), 1);
        QCOMPARE(view.storeSize(), 2 * QFileInfo(m_clip).size());
        QCOMPARE(view.sizeLabel()->text(), KFormat::byteSizeText(view.storeSize()));
    }

    // Without a selection every operation warns and does nothing else.
    void emptySelection_data()
    {
        QTest::addColumn<QString>("button");
        for (const char *button :
             {"Воспроизвести", "Удалить", "Комментарий...", "Обрезать...", "Экспортировать"})
            QTest::newRow(button) << QString::fromUtf8(button);
    }

    void emptySelection()
    {
        QFETCH(QString, button);
        makeSet(kFolder, {"ACAM01"});
        KVideoTableWidget window;
        window.refreshFiles();
        window.show();
        window.localView()->table()->clearSelection();
        QSignalSpy selected(&window, &KVideoTableWidget::videoSelected);
        MessageAnswerer answerer;
        QVERIFY(window.button(button));
        window.button(button)->click();
        QCOMPARE(answerer.texts,
                 QStringList{KMessageWidget::defaultHeading(KMessageWidget::Warning) +
                             ": Не выбран ни один видеонабор!"});
        QVERIFY(window.isVisible() && selected.isEmpty() &&
                QDir(m_local + "/Автобус/" + kFolder).exists());
    }

    // The copy button and menu entry follow the tab; a new window has the first row selected
    // and the table focused, and the keys are in the tool tips.
    void tabsAndKeys()
    {
        makeSet(kFolder, {"ACAM01"});
        makeSet("2019.03.14_09.00.00-09.00.04", {"ACAM01"});
        KVideoTableWidget window;
        window.refreshFiles();
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(window.copyButton()->text(), QStringLiteral("Экспортировать"));
        QCOMPARE(window.localView()->selectedRows(), QList<int>{0});
        QTRY_VERIFY(window.localView()->table()->hasFocus());

        for (const auto &tip :
             {std::make_pair("Воспроизвести", "Enter"), std::make_pair("Удалить", "Delete"),
              std::make_pair("Открыть папку", "Ctrl+O"), std::make_pair("Комментарий...", "F2"),
              std::make_pair("Обрезать...", "Ctrl+T")})
            QVERIFY2(window.button(tip.first)->toolTip().contains(tip.second), tip.first);

        QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(window.nameFilterBox()->isChecked());
        QTRY_VERIFY(window.nameFilterEdit()->hasFocus());
        QTest::keyClicks(window.nameFilterEdit(), "zzz");
        QTest::keyClick(window.nameFilterEdit(), Qt::Key_Return);
        QCOMPARE(window.localView()->proxy()->rowCount(), 0);

        window.button("Сбросить")->click();
        QCOMPARE(window.localView()->proxy()->rowCount(), 2);
        window.localView()->selectRow(0);
        window.localView()->table()->setFocus();
        QTRY_VERIFY(window.localView()->table()->hasFocus());
        QSignalSpy selected(&window, &KVideoTableWidget::videoSelected);
        QTest::keyClick(window.localView()->table(), Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(window.localView()->table(), Qt::Key_Return);
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().first().value<KVideoSetData>().beginDateTime.time(), QTime(8, 0));
        QVERIFY(!window.isVisible());
        window.show();

        window.tabWidget()->setCurrentIndex(1);
        QCOMPARE(window.copyButton()->text(), QStringLiteral("Импортировать"));
    }

    // Export from the local tab after a comment edit: the copy runs in its window, the tables
    // refresh when it is gone; deleting the remote copy then removes its object folder.
    void exportAndDelete()
    {
        makeSet(kFolder, {"ACAM01"}, "старый");
        KVideoTableWidget window;
        window.refreshFiles();
        window.show();
        // The comment editor writes the data file, which goes along with the copy.
        window.button("Комментарий...")->click();
        KCommentEditorWidget *editor = window.findChild<KCommentEditorWidget *>();
        QVERIFY(editor);
        QCOMPARE(editor->textField()->text(), QStringLiteral("старый"));
        editor->textField()->setText("новый");
        editor->acceptButton()->click();
        QCOMPARE(window.localView()->model()->item(0, KVideoTableView::CommentColumn)->text(),
                 QStringLiteral("новый"));
        MessageAnswerer answerer;
        window.copyButton()->click();
        QTRY_VERIFY2_WITH_TIMEOUT(window.remoteView()->model()->rowCount() == 1,
                                  qPrintable(answerer.texts.join('|')), 30000);
        QCOMPARE(answerer.texts, QStringList({"Загрузка видеонаборов: Вы уверены?",
                                              "Загрузка видеонаборов: Загрузка завершена!"}));
        QCOMPARE(window.remoteView()->set(0).comment, QStringLiteral("новый"));

        window.tabWidget()->setCurrentIndex(1);
        window.remoteView()->selectRow(0);
        answerer.texts.clear();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.remoteView()->table()->setFocus();
        QTRY_VERIFY(window.remoteView()->table()->hasFocus());
        QTest::keyClick(window.remoteView()->table(), Qt::Key_Delete);
        QTRY_COMPARE_WITH_TIMEOUT(answerer.texts.size(), 2, 30000);
        QTRY_COMPARE(window.remoteView()->model()->rowCount(), 0);
        QCOMPARE(answerer.texts.last(),
                 QStringLiteral("Удаление видеонаборов: Удаление завершено!"));
        QVERIFY(!QDir(m_remote + "/Автобус").exists());
        QCOMPARE(window.localView()->model()->rowCount(), 1);
    }

    // The window shows counts above 2 GiB whole.
    void progressPastTwoGiB()
    {
        const KVideoSetData set = makeSet("2019.03.14_08.00.00-09.00.00", {"ACAM01"});
        QVERIFY(QFile::resize(set.path + "/ACAM01.mp4", 3LL << 30)); // sparse
        QPointer<KVideoSetDeleteWidget> window = new KVideoSetDeleteWidget({{set, set}});
        window->show();
        int bar = -1;
        QString label;
        MessageAnswerer answerer([&] {
            bar = window->progressBar()->value();
            label = window->progressLabel()->text();
        });
        QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 30000);
        QCOMPARE(bar, int(KVideoSetFileOperationWidget::barSteps));
        QCOMPARE(label, QStringLiteral("Выполнено: 3.0 Гб из 3.0 Гб"));
    }

    void cutChecks_data()
    {
        QTest::addColumn<QTime>("from");
        QTest::addColumn<QTime>("to");
        QTest::addColumn<bool>("noChannels");
        QTest::addColumn<QString>("warning");
        QTest::newRow("whole set")
            << QTime(8, 0) << QTime(8, 0, 4) << false << "Недопустимый интервал!";
        QTest::newRow("after end")
            << QTime(8, 0, 1) << QTime(8, 0, 5) << false << "Недопустимый интервал!";
        QTest::newRow("no channel")
            << QTime(8, 0, 1) << QTime(8, 0, 3) << true << "Не выбран ни один канал!";
    }

    void cutChecks()
    {
        QFETCH(QTime, from);
        QFETCH(QTime, to);
        QFETCH(bool, noChannels);
        QFETCH(QString, warning);
        const KVideoSetData set = makeSet(kFolder, {"ACAM01"});
        KVideoCutWidget cut(set);
        cut.show();
        cut.fromEdit()->setTime(from);
        cut.toEdit()->setTime(to);
        if (noChannels)
            cut.channelsWidget()->selectNone();
        MessageAnswerer answerer;
        cut.cutButton()->click();
        QCOMPARE(answerer.texts.size(), 1);
        QVERIFY(answerer.texts.first().endsWith(warning));
        QCOMPARE(QDir(m_local + "/Автобус").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    }

    // The cut of chosen channels becomes a new set beside the source with a data file of its
    // own (the comment stays behind); the table refreshes.
    void cutFromTable()
    {
        KVideoSetData set = makeSet(kFolder, {"ACAM01", "DCAM01"}, "К");
        set.channels["DCAM01"].title = "Салон";
        QVERIFY(set.writeDataFile());
        KVideoTableWidget window;
        window.refreshFiles();
        window.show();
        window.button("Обрезать...")->click();
        KVideoCutWidget *cut = window.findChild<KVideoCutWidget *>();
        QVERIFY(cut);
        cut->channelsWidget()->checkBox("ACAM01")->setChecked(false);
        cut->fromEdit()->setTime(QTime(8, 0, 1));
        cut->toEdit()->setTime(QTime(8, 0, 3));
        QSignalSpy completed(cut, &KVideoCutWidget::completed);
        MessageAnswerer answerer;
        cut->cutButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(completed.size(), 1, 60000);
        QTRY_COMPARE(window.localView()->model()->rowCount(), 2);
        const KVideoSetData made = completed.first().first().value<KVideoSetData>();
        QCOMPARE(made.path, m_local + "/Автобус/2019.03.14_08.00.01-08.00.03");
        QCOMPARE(made.channels.keys(), QStringList{"DCAM01"});
        QCOMPARE(made.channels["DCAM01"].title, QStringLiteral("Салон"));
        QVERIFY(made.comment.isEmpty());
        QTRY_COMPARE(answerer.texts, QStringList{"Обрезка видеонаборов: Обрезка завершена!"});
        // A shorter file; the source stays as it was.
        QVERIFY(QFileInfo(made.path + "/DCAM01.mp4").size() < QFileInfo(m_clip).size());
        QCOMPARE(readAll(set.path + "/DCAM01.mp4"), readAll(m_clip));
    }
};

QTEST_MAIN(tst_VideoSetWidgets)
#include "tst_videosetwidgets.moc"
