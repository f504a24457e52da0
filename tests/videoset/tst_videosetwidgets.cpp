#include "KCommentEditorWidget.h"
#include "KFormat.h"
#include "KMediaProbe.h"
#include "KMessageAnswerer.h"
#include "KMessageWidget.h"
#include "KSelectChannelsWidget.h"
#include "KSettings.h"
#include "KVideoCutWidget.h"
#include "KVideoMarkerAreaWidget.h"
#include "KVideoMarkerTableWidget.h"
#include "KVideoPlayerWidget.h"
#include "KVideoSetCutWidget.h"
#include "KVideoSetDeleteWidget.h"
#include "KVideoSetTestSupport.h"
#include "KVideoTableProxyModel.h"
#include "KVideoTableView.h"
#include "KVideoTableWidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimeEdit>
#include <QtTest>

using namespace KVideoSetTest;

static const QString kFolder = QStringLiteral("2019.03.14_08.00.00-08.00.04");

// Shows the table window once both stores are read and it is active (windows opened later
// would lose the keyboard to it otherwise: there is no window manager).
static bool showRead(KVideoTableWidget &window)
{
    window.refreshFiles();
    window.show();
    return QTest::qWaitForWindowActive(&window) && QTest::qWaitFor([&] {
               return !window.localView()->isReading() && !window.remoteView()->isReading();
           });
}

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

    // A set folder whose channel files are missing or empty is listed, marked; other folders
    // without channel files and the work folders of copies and cuts are not. Only channel
    // files count in the store size.
    void storeListing()
    {
        makeSet(kFolder, {"ACAM01", "DCAM01"});
        const KVideoSetData emptied = makeSet("2019.03.14_09.00.00-09.00.04", {"ACAM01"});
        QVERIFY(QFile::resize(emptied.path + "/ACAM01.mp4", 0));
        const QString gone = m_local + "/Автобус/2019.03.14_10.00.00-10.00.04";
        for (const QString &folder : {gone, m_local + "/Автобус/Копия",
                                      m_local + "/Автобус/2019.03.14_11.00.00-11.00.04.partial"})
            QVERIFY(QDir().mkpath(folder) && QFile::copy(m_clip, folder + "/notes.txt"));
        QVERIFY(QFile::copy(m_clip, m_local + "/Автобус/2019.03.14_11.00.00-11.00.04.partial/"
                                              "ACAM01.mp4"));
        KVideoTableView view;
        QSignalSpy populated(&view, &KVideoTableView::populated);
        view.populate(m_local);
        QVERIFY(populated.wait(10000));
        QStringList files;
        for (int row = 0; row < view.model()->rowCount(); ++row)
            files << view.model()->item(row, KVideoTableView::BeginColumn)->text() + ' ' +
                         view.model()->item(row, KVideoTableView::FilesColumn)->text();
        QCOMPARE(files, QStringList({"08:00:00 2", "09:00:00 " + KVideoTableView::noVideoText(),
                                     "10:00:00 " + KVideoTableView::noVideoText()}));
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
        QVERIFY(showRead(window));
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

    // Keys alone, from the player: Ctrl+O opens the table with the first row selected and the
    // table focused; Down chooses the next set, which stays chosen across F5 (with a set read
    // before it) and filter changes; Enter plays it. The keys are in the tool tips and the
    // copy button follows the tab.
    void keysFromThePlayer()
    {
        makeSet(kFolder, {"ACAM01"});
        const KVideoSetData chosen = makeSet("2019.03.14_09.00.00-09.00.04", {"ACAM01"});
        KVideoPlayerWidget player;
        player.show();
        player.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&player));
        QVERIFY(player.openSetButton()->toolTip().contains("Ctrl+O"));
        QTest::keyClick(player.windowHandle(), Qt::Key_O, Qt::ControlModifier);
        KVideoTableWidget *window = player.videoTable();
        QVERIFY(window);
        QTRY_COMPARE(QApplication::activeWindow(), window);
        KVideoTableView *view = window->localView();
        QTRY_COMPARE(view->selectedRows(), QList<int>{0});
        QVERIFY(view->table()->hasFocus());
        QTest::keyClick(window->windowHandle(), Qt::Key_Down);
        QCOMPARE(view->selectedRows(), QList<int>{1});

        makeSet("2019.03.14_07.00.00-07.00.04", {"ACAM01"});
        QSignalSpy populated(view, &KVideoTableView::populated);
        QTest::keyClick(window->windowHandle(), Qt::Key_F5);
        QTRY_COMPARE(populated.size(), 1);
        QCOMPARE(view->selectedRows(), QList<int>{2});
        QTest::keyClick(window->windowHandle(), Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(window->nameFilterEdit()->hasFocus());
        QTest::keyClicks(QApplication::focusWidget(), "zzz");
        QTest::keyClick(window->windowHandle(), Qt::Key_Return);
        QCOMPARE(view->proxy()->rowCount(), 0);
        QTest::keyClick(window->windowHandle(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        // A button's key clicks it a moment later.
        QTRY_COMPARE(view->proxy()->rowCount(), 3);
        QCOMPARE(view->selectedRows(), QList<int>{2});
        view->table()->setFocus();
        QTRY_VERIFY(view->table()->hasFocus());
        QTest::keyClick(window->windowHandle(), Qt::Key_Return);
        QTRY_VERIFY(!window->isVisible());
        QCOMPARE(player.videoSet().path, chosen.path);

        for (const auto &tip :
             {std::make_pair("Воспроизвести", "Enter"), std::make_pair("Удалить", "Delete"),
              std::make_pair("Открыть папку", "Ctrl+O"), std::make_pair("Комментарий...", "F2"),
              std::make_pair("Обрезать...", "Ctrl+T")})
            QVERIFY2(window->button(tip.first)->toolTip().contains(tip.second), tip.first);
        QCOMPARE(window->copyButton()->text(), QStringLiteral("Экспортировать"));
        window->tabWidget()->setCurrentIndex(1);
        QCOMPARE(window->copyButton()->text(), QStringLiteral("Импортировать"));
    }

    // With no remote store set, the remote tab says so (it never lists the working folder) and
    // export asks for the folder to copy to.
    void exportWithoutRemoteStore()
    {
        makeSet(kFolder, {"ACAM01"});
        KSettings::instance()->setRemoteVideoPath(QString());
        const QString working = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_local));
        KVideoTableWidget window;
        const bool read = showRead(window);
        QDir::setCurrent(working);
        QVERIFY(read);
        QCOMPARE(window.remoteView()->model()->rowCount(), 0);
        QVERIFY(!window.remoteView()->noStoreLabel()->isHidden());
        QCOMPARE(window.remoteView()->noStoreLabel()->text(),
                 QStringLiteral("Удаленный видеоархив не задан"));

        QStringList dialogs;
        QTimer chooser;
        connect(&chooser, &QTimer::timeout, [&] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *dialog = qobject_cast<QFileDialog *>(widget);
                if (dialog && dialog->isVisible()) {
                    dialogs << dialog->windowTitle();
                    dialog->setDirectory(m_remote);
                    static_cast<QDialog *>(dialog)->accept();
                }
            }
        });
        chooser.start(20);
        MessageAnswerer answerer;
        window.copyButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(window.remoteView()->model()->rowCount(), 1, 30000);
        QCOMPARE(dialogs, QStringList{"Удаленный каталог видеофайлов"});
        QCOMPARE(KSettings::instance()->remoteVideoPath(), m_remote);
        QVERIFY(QFileInfo(m_remote + "/Автобус/" + kFolder + "/ACAM01.mp4").isFile());
        QVERIFY(window.remoteView()->noStoreLabel()->isHidden());
    }

    // A comment is stored as the window shows it, or the window says it was not and shows the
    // stored one: a pasted control character becomes a space; a data file that cannot be
    // written (a folder in its place) or that is too large to read is left alone.
    void commentStoredOrRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("messages");
        const QString refused = "Ошибка!: Не удалось сохранить комментарий!";
        QTest::newRow("control character") << "plain"
                                           << "ДТП\vна перекрёстке"
                                           << "ДТП на перекрёстке" << QStringList();
        QTest::newRow("data file cannot be written") << "blocked"
                                                     << "новый"
                                                     << "" << QStringList{refused};
        QTest::newRow("data file too large")
            << "oversized"
            << "новый"
            << ""
            << QStringList{"Внимание!: Файл данных видеонабора больше 1 Мб и не прочитан, метки "
                           "и комментарий набора не показаны:\n%1",
                           refused};
    }

    void commentStoredOrRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QStringList, messages);
        const KVideoSetData set = makeSet(kFolder, {"ACAM01"});
        const QString dataFile = set.path + "/user_data.xml";
        messages.replaceInStrings("%1", dataFile);
        QByteArray before;
        if (kind == "blocked") {
            QVERIFY(QFile::remove(dataFile) && QDir().mkpath(dataFile));
        } else if (kind == "oversized") {
            QFile file(dataFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            before = "<user_data><comment>" + QByteArray(int(KVideoSetData::maxDataFileSize), 'x') +
                     "</comment></user_data>";
            file.write(before);
        }
        KVideoTableWidget window;
        MessageAnswerer answerer;
        QVERIFY(showRead(window));
        QTRY_COMPARE(answerer.texts.size(), kind == "oversized" ? 1 : 0);
        window.button("Комментарий...")->click();
        auto *editor = window.findChild<KCommentEditorWidget *>();
        // A window over another counts as active with it: wait for the editor itself.
        QVERIFY(editor);
        QTRY_COMPARE(QApplication::activeWindow(), editor);
        editor->textField()->clear();
        QApplication::clipboard()->setText(typed);
        // The editor goes with Enter: keys to its field, not to its window.
        QTest::keyClick(editor->textField(), Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(editor->textField(), Qt::Key_Return);
        QTRY_COMPARE(answerer.texts, messages);
        QCOMPARE(window.localView()->model()->item(0, KVideoTableView::CommentColumn)->text(),
                 shown);
        QSignalSpy populated(window.localView(), &KVideoTableView::populated);
        window.refreshFiles();
        QTRY_COMPARE(populated.size(), 1);
        QCOMPARE(window.localView()->set(0).comment, shown);
        if (kind == "oversized")
            QCOMPARE(readAll(dataFile), before);
    }

    // Export from the local tab after a comment edit: the copy runs in its window, the tables
    // refresh when it is gone; deleting the remote copy then removes its object folder.
    void exportAndDelete()
    {
        makeSet(kFolder, {"ACAM01"}, "старый");
        KVideoTableWidget window;
        QVERIFY(showRead(window));
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
        QTest::newRow("a set of that interval exists")
            << QTime(8, 0, 1) << QTime(8, 0, 2) << false
            << "Видеонабор с таким интервалом уже существует!";
    }

    void cutChecks()
    {
        QFETCH(QTime, from);
        QFETCH(QTime, to);
        QFETCH(bool, noChannels);
        QFETCH(QString, warning);
        const KVideoSetData set = makeSet(kFolder, {"ACAM01"});
        makeSet("2019.03.14_08.00.01-08.00.02", {"ACAM01"});
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
        QCOMPARE(QDir(m_local + "/Автобус").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);
        QCOMPARE(readAll(m_local + "/Автобус/2019.03.14_08.00.01-08.00.02/ACAM01.mp4"),
                 readAll(m_clip));
    }

    // The cut of chosen channels becomes a new set beside the source with a data file of its
    // own (the comment stays behind) holding the chosen interval from its first picture on;
    // the table refreshes. A cut that fails its check (ffmpeg on a full disk) says so and
    // leaves no set.
    void cutFromTable_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("cut") << false;
        QTest::newRow("full disk") << true;
    }

    void cutFromTable()
    {
        QFETCH(bool, fullDisk);
        QTemporaryDir bin;
        const QByteArray path = qgetenv("PATH");
        if (fullDisk)
            QVERIFY(!writeFullDiskFfmpeg(bin.path()).isEmpty() &&
                    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path));
        const QString folder = "2019.03.14_08.00.00-08.00.16";
        KVideoSetData set = makeSet(folder, {"ACAM01", "DCAM01"}, "К");
        set.channels["DCAM01"].title = "Салон";
        QVERIFY(set.writeDataFile());
        KVideoTableWidget window;
        QVERIFY(showRead(window));
        window.button("Обрезать...")->click();
        KVideoCutWidget *cut = window.findChild<KVideoCutWidget *>();
        QVERIFY(cut);
        cut->channelsWidget()->checkBox("ACAM01")->setChecked(false);
        cut->fromEdit()->setTime(QTime(8, 0, 2));
        cut->toEdit()->setTime(QTime(8, 0, 6));
        QSignalSpy completed(cut, &KVideoCutWidget::completed);
        MessageAnswerer answerer;
        cut->cutButton()->click();
        qputenv("PATH", path);
        if (fullDisk) {
            QTRY_COMPARE_WITH_TIMEOUT(
                answerer.texts,
                QStringList{"Обрезка видеонаборов: Не удалось обрезать видеофайлы!\nФайл обрезки "
                            "не читается или короче заданного интервала: DCAM01.mp4"},
                60000);
            QVERIFY(completed.isEmpty());
            QCOMPARE(QDir(m_local + "/Автобус").entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                     QStringList{folder});
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(completed.size(), 1, 60000);
        QTRY_COMPARE(window.localView()->model()->rowCount(), 2);
        const KVideoSetData made = completed.first().first().value<KVideoSetData>();
        QCOMPARE(made.path, m_local + "/Автобус/2019.03.14_08.00.02-08.00.06");
        const KMediaProbe::Result probe = KMediaProbe::probe(made.path + "/DCAM01.mp4");
        QVERIFY2(qAbs(probe.seconds - 4.0) < 0.2, qPrintable(QString::number(probe.seconds)));
        QCOMPARE(firstPictureNumber(made.path + "/DCAM01.mp4"), 50);
        QCOMPARE(made.channels.keys(), QStringList{"DCAM01"});
        QCOMPARE(made.channels["DCAM01"].title, QStringLiteral("Салон"));
        QVERIFY(made.comment.isEmpty());
        QTRY_COMPARE(answerer.texts, QStringList{"Обрезка видеонаборов: Обрезка завершена!"});
        QCOMPARE(readAll(set.path + "/DCAM01.mp4"), readAll(m_clip));
    }

    // The marker strip never reads the marker table while the table is destroyed (its model
    // resets then).
    void markerStripOutlivesTable()
    {
        KVideoSetData set = makeSet(kFolder, {"ACAM01"});
        KVideoMarkerData marker;
        marker.time = QTime(8, 0, 2);
        marker.text = "Остановка";
        set.markers << marker;
        auto *table = new KVideoMarkerTableWidget;
        KVideoMarkerAreaWidget area(table);
        table->setVideoSet(set);
        QCOMPARE(area.markers().size(), 1);
        delete table;
        QCOMPARE(area.markers().size(), 1);
        area.updateList();
        QVERIFY(area.markers().isEmpty());
    }
};

QTEST_MAIN(tst_VideoSetWidgets)
#include "tst_videosetwidgets.moc"
