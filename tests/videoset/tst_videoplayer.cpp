#include "KMarkerEditorWidget.h"
#include "KMessageAnswerer.h"
#include "KMpvPlayer.h"
#include "KSettings.h"
#include "KVideoMarkerAreaWidget.h"
#include "KVideoMarkerTableWidget.h"
#include "KVideoPlayerWidget.h"
#include "KVideoSetTestSupport.h"
#include "KVideoView.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QTimeEdit>
#include <QtTest>

#include <cmath>

using namespace KVideoSetTest;

namespace {

const int kWait = 20000; // start-up of the decoders on a loaded machine

double whiteShare(const QImage &image, int row)
{
    int white = 0;
    for (int x = 0; x < image.width(); ++x)
        white += qGray(image.pixel(x, row)) > 128;
    return image.width() ? double(white) / image.width() : 0.0;
}

int pictureNumber(const QImage &image)
{
    return image.isNull() ? -1 : qRound(whiteShare(image, image.height() / 2) * image.width());
}

} // namespace

class tst_VideoPlayer : public QObject, public Fixture
{
    Q_OBJECT

    KVideoSetData makeBarSet(const QStringList &channels,
                             const QString &folder = QStringLiteral("2019.03.14_08.00.00-08.00.16"))
    {
        return makeSet(folder, channels);
    }

    // The picture each tile in use shows, grabbed whole from its decoder.
    static QList<int> pictures(KVideoPlayerWidget &player)
    {
        QList<int> numbers;
        for (int i = 0; i < player.viewsInUse(); ++i) {
            QSignalSpy captured(player.view(i)->player(), &KMpvPlayer::frameCaptured);
            player.view(i)->player()->captureFrame();
            if (!captured.wait(10000))
                return {};
            numbers << pictureNumber(captured.first().first().value<QImage>());
        }
        return numbers;
    }

    static QString toString(const QList<int> &numbers)
    {
        QStringList texts;
        for (int number : numbers)
            texts << QString::number(number);
        return texts.join(' ');
    }

    static bool allAt(const QList<int> &numbers, int expected)
    {
        for (int number : numbers) {
            if (qAbs(number - expected) > 1)
                return false;
        }
        return !numbers.isEmpty();
    }

private slots:
    void initTestCase()
    {
        KMpvPlayer::setAudioOutput(QStringLiteral("null"));
        m_clip = m_clipDir.filePath(QStringLiteral("bar.mp4"));
        QVERIFY(m_clipDir.isValid() && makeBarClip(m_clip));
    }

    void init() { QVERIFY(makeStore()); }

    void populateRangeAndTicks_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("duration");
        QTest::addColumn<int>("tick");
        QTest::addColumn<QString>("title");
        QTest::newRow("45 s") << "2019.03.14_08.00.00-08.00.45" << 45000 << 1000
                              << "Автобус: 2019.03.14, 08:00:00 - 08:00:45";
        QTest::newRow("1.5 h") << "2019.03.14_08.00.00-09.30.00" << 5400000 << 60000
                               << "Автобус: 2019.03.14, 08:00:00 - 09:30:00";
        QTest::newRow("2 h") << "2019.03.14_08.00.00-10.00.01" << 7201000 << 3600000
                             << "Автобус: 2019.03.14, 08:00:00 - 10:00:01";
    }

    void populateRangeAndTicks()
    {
        QFETCH(QString, folder);
        QFETCH(int, duration);
        QFETCH(int, tick);
        QFETCH(QString, title);
        KVideoPlayerWidget player;
        player.show();
        QVERIFY(!player.playButton()->isEnabled() && !player.markersButton()->isEnabled());
        player.populate(makeBarSet({"ACAM01", "ACAM02"}, folder));
        QCOMPARE(player.viewsInUse(), 2);
        QCOMPARE(player.titleLabel()->text(), title);
        QCOMPARE(player.slider()->maximum(), duration);
        QCOMPARE(player.slider()->tickInterval(), tick);
        QCOMPARE(player.playbackState(), 0);
        QVERIFY(player.folderButton()->isEnabled() && player.markersButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(player.slider()->value() > 0, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(player.timeLabel()->text().startsWith(QStringLiteral("08:00:0")),
                                 kWait);

        player.populate(KVideoSetData());
        QCOMPARE(player.viewsInUse(), 0);
        QCOMPARE(player.titleLabel()->text(), QStringLiteral("Нет открытого набора видеофайлов"));
        QVERIFY(!player.playButton()->isEnabled() && !player.folderButton()->isEnabled());
    }

    // "." while playing pauses every tile on the same picture and steps one on; "." and ","
    // then step one picture each way. A marker jump puts every tile on the same picture, also
    // between key frames.
    void frameStepAndMarkerJump()
    {
        KVideoSetData set = makeBarSet({"ACAM01", "ACAM02", "ACAM03"});
        KVideoMarkerData marker;
        marker.time = QTime(8, 0, 5);
        marker.text = QStringLiteral("Остановка");
        set.markers << marker;
        QVERIFY(set.writeDataFile());
        KVideoPlayerWidget player;
        player.show();
        player.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &player);
        player.populate(KVideoSetData::fromFolder(set.path));
        QTRY_VERIFY_WITH_TIMEOUT(player.masterIndex() >= 0 && player.slider()->value() > 200,
                                 kWait);
        QTest::keyClick(&player, Qt::Key_Period);
        QCOMPARE(player.playbackState(), 1);
        QList<int> shown;
        QTRY_VERIFY2_WITH_TIMEOUT((shown = pictures(player)).size() == 3 &&
                                      allAt(shown, shown.first()) && shown.first() > 5,
                                  qPrintable(toString(shown)), kWait);
        const int first = shown.first();
        QTest::keyClick(&player, Qt::Key_Period);
        QTRY_VERIFY_WITH_TIMEOUT(allAt(pictures(player), first + 1), kWait);
        QTest::keyClick(&player, Qt::Key_Comma);
        QTRY_VERIFY_WITH_TIMEOUT(allAt(pictures(player), first), kWait);

        QTableWidget *table = player.markerTable()->table();
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("08:00:05"));
        QSignalSpy jumped(player.markerTable(), &KVideoMarkerTableWidget::play);
        player.markerTable()->playEntry(table->model()->index(0, 0));
        QCOMPARE(jumped.first().first().toInt(), 5000);
        QCOMPARE(player.slider()->value(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(allAt(pictures(player), 125), kWait);
        QCOMPARE(player.playbackState(), 1);
    }

    // A tile pushed off (far and near) is brought back to the master.
    void tilesFollowTheMaster()
    {
        KVideoPlayerWidget player;
        player.show();
        player.populate(makeBarSet({"ACAM01", "ACAM02", "ACAM03"}));
        QTRY_VERIFY_WITH_TIMEOUT(player.masterIndex() == 0 && player.view(0)->position() > 500,
                                 kWait);
        player.fasterButton()->click();
        QCOMPARE(player.view(1)->player()->speed(), 2.0);
        player.view(1)->setPosition(int(player.view(0)->position() + 3000));
        player.view(2)->setPosition(int(player.view(0)->position() + 250));
        // Only while playing: at the end of the files every tile stands still at the same place.
        const auto inStep = [&player]() {
            const qint64 master = player.view(0)->position();
            return player.playbackState() == 0 && master > 4000 && master < 14000 &&
                   qAbs(player.view(1)->position() - master) <= 80 &&
                   qAbs(player.view(2)->position() - master) <= 80;
        };
        QTRY_VERIFY_WITH_TIMEOUT(inStep(), kWait);
    }

    // A tile pushed off during fast playback is back in step at 1x: every tile stands within
    // two frames of the master when the tiles are paused one right after the other (not the
    // player's pause, which would line them up).
    void inStepAfterFastPlayback_data()
    {
        QTest::addColumn<int>("clicks");
        QTest::newRow("4x") << 2;
        QTest::newRow("8x") << 3;
    }

    void inStepAfterFastPlayback()
    {
        QFETCH(int, clicks);
        KVideoPlayerWidget player;
        player.show();
        player.populate(makeBarSet({"ACAM01", "ACAM02", "ACAM03", "ACAM04"}));
        QTRY_VERIFY_WITH_TIMEOUT(player.masterIndex() == 0 && player.view(0)->position() > 500,
                                 kWait);
        player.setPosition(1000);
        for (int i = 0; i < clicks; ++i)
            player.fasterButton()->click();
        QCOMPARE(player.view(3)->player()->speed(), std::ldexp(1.0, clicks));
        QTRY_VERIFY_WITH_TIMEOUT(player.view(0)->position() > 4000, kWait);
        player.view(1)->setPosition(int(player.view(0)->position() + 600));
        QTRY_VERIFY_WITH_TIMEOUT(player.view(0)->position() > 10000, kWait);
        for (int i = 0; i < clicks; ++i)
            player.slowerButton()->click();
        const qint64 slowed = player.view(0)->position();
        QTRY_VERIFY_WITH_TIMEOUT(player.view(0)->position() > slowed + 1000, kWait);
        QCOMPARE(player.playbackState(), 0);
        for (int i = 0; i < player.viewsInUse(); ++i)
            player.view(i)->player()->pause();
        const QList<int> numbers = pictures(player);
        QCOMPARE(numbers.size(), 4);
        for (int number : numbers)
            QVERIFY2(qAbs(number - numbers.first()) <= 2, qPrintable(QString::number(number)));
    }

    void stopNearEndAndLoop()
    {
        KVideoPlayerWidget player;
        player.show();
        // The files run 16 s; the set says 3 s.
        player.populate(makeBarSet({"ACAM01"}, QStringLiteral("2019.03.14_08.00.00-08.00.03")));
        QTRY_VERIFY_WITH_TIMEOUT(player.playbackState() == 2, kWait);
        QCOMPARE(player.slider()->value(), 0);

        player.repeatButton()->click();
        QVERIFY(player.isRepeat() && player.view(0)->isRepeat());
        player.play();
        bool wrapped = false;
        qint64 last = 0;
        connect(player.view(0), &KVideoView::positionChanged, this, [&](qlonglong position) {
            wrapped = wrapped || position + 4000 < last;
            last = position;
        });
        player.setPosition(14500);
        QTRY_VERIFY_WITH_TIMEOUT(wrapped, kWait);
        QCOMPARE(player.playbackState(), 0);
    }

    // Files shorter than the set end before its last second: the player stops all the same.
    void stopWhenEveryFileEnded()
    {
        KVideoPlayerWidget player;
        player.show();
        player.populate(
            makeBarSet({"ACAM01", "ACAM02"}, QStringLiteral("2019.03.14_08.00.00-08.00.30")));
        QTRY_VERIFY_WITH_TIMEOUT(player.masterIndex() == 0, kWait);
        player.setPosition(15000);
        QTRY_VERIFY_WITH_TIMEOUT(player.playbackState() == 2, kWait);
        QCOMPARE(player.slider()->value(), 0);
    }

    void snapshotNameAndPicture()
    {
        KVideoPlayerWidget player;
        player.show();
        const KVideoSetData set = makeBarSet({"ACAM01"});
        player.populate(set);
        QTRY_VERIFY_WITH_TIMEOUT(player.masterIndex() == 0, kWait);
        player.pause();
        player.setPosition(90 * 40); // picture 90, 08:00:03.6
        QTRY_VERIFY_WITH_TIMEOUT(allAt(pictures(player), 90), kWait);
        player.view(0)->takeSnapshot();
        const QString path = set.path + QStringLiteral("/ACAM01_Snapshot_08.00.03.jpg");
        QTRY_VERIFY_WITH_TIMEOUT(player.view(0)->snapshotMessage(), kWait);
        QCOMPARE(player.view(0)->snapshotMessage()->text(), QStringLiteral("Снимок сохранен"));
        const QImage saved(path);
        QCOMPARE(saved.size(), QSize(512, 64));
        QVERIFY(qAbs(pictureNumber(saved) - 90) <= 2);
    }

    // Dragging over the white left part fills the picture with white; a right click shows
    // the whole picture again.
    void zoomAppliedAndReset()
    {
        KVideoPlayerWidget player;
        player.resize(900, 700);
        player.show();
        player.populate(makeBarSet({"ACAM01"}));
        QTRY_VERIFY_WITH_TIMEOUT(player.masterIndex() == 0, kWait);
        player.pause();
        player.setPosition(12000); // bar 300 of 512 pixels
        KVideoView *view = player.view(0);
        KMpvPlayer *mpv = view->player();
        QTRY_VERIFY_WITH_TIMEOUT(allAt(pictures(player), 300), kWait);
        const QRectF shown = mpv->displayedFrameRect();
        QVERIFY(shown.width() > 100);
        const QPoint offset = view->videoSurface()->mapTo(view, QPoint(0, 0));
        const QPoint from = offset + shown.topLeft().toPoint() +
                            QPoint(int(shown.width() * 0.1), int(shown.height() * 0.2));
        const QPoint to = offset + shown.topLeft().toPoint() +
                          QPoint(int(shown.width() * 0.4), int(shown.height() * 0.8));
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        const QRectF region = mpv->regionOfInterest();
        QVERIFY2(qAbs(region.left() - 51.2) < 6 && qAbs(region.right() - 204.8) < 6,
                 qPrintable(QStringLiteral("%1..%2").arg(region.left()).arg(region.right())));
        QTRY_VERIFY_WITH_TIMEOUT(whiteShare(mpv->frame(), mpv->frame().height() / 2) > 0.97, 20000);

        QTest::mousePress(view, Qt::RightButton, {}, from);
        QVERIFY(mpv->regionOfInterest().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(whiteShare(mpv->frame(), mpv->frame().height() / 2) < 0.7, kWait);
    }

    void markersPersistedAndRefusedOutside()
    {
        KVideoPlayerWidget player;
        player.show();
        const KVideoSetData set = makeBarSet({"ACAM01"});
        player.populate(set);
        // The comment is edited in the set table after the set was opened.
        KVideoSetData edited(set.path);
        edited.comment = QStringLiteral("Проверено");
        QVERIFY(edited.writeDataFile());

        KVideoMarkerTableWidget *markers = player.markerTable();
        MessageAnswerer answerer;
        for (const QTime &time : {QTime(7, 59, 59), QTime(8, 0, 17)}) {
            markers->addEntry();
            auto *editor = markers->findChild<KMarkerEditorWidget *>();
            QVERIFY(editor);
            editor->timeEdit()->setTime(time);
            editor->textField()->setText(QStringLiteral("Въезд"));
            editor->confirm();
            QTRY_COMPARE_WITH_TIMEOUT(answerer.texts.size(), 1, kWait);
            QVERIFY(answerer.texts.takeFirst().endsWith(
                QStringLiteral("Заданное время не попадает в интервал видеофрагмента!")));
            delete editor;
        }
        QCOMPARE(markers->table()->rowCount(), 0);

        // A pasted control character is stored as a space and later markers save as well.
        const auto add = [markers](const QTime &time, const QString &text) {
            markers->addEntry();
            auto *editor = markers->findChild<KMarkerEditorWidget *>();
            editor->timeEdit()->setTime(time);
            editor->textField()->setText(text);
            editor->confirm();
            delete editor;
        };
        add(QTime(8, 0, 16), QStringLiteral("Въезд\vво двор"));
        add(QTime(8, 0, 10), QStringLiteral("Выезд"));
        QCOMPARE(markers->table()->rowCount(), 2);
        KVideoSetData stored = KVideoSetData::fromFolder(set.path);
        QCOMPARE(stored.markers.size(), 2);
        QCOMPARE(stored.markers.first().time, QTime(8, 0, 16));
        QCOMPARE(stored.markers.first().text, QStringLiteral("Въезд во двор"));
        QCOMPARE(stored.comment, QStringLiteral("Проверено"));
        QCOMPARE(player.markerArea()->markers().size(), 2);
        QCOMPARE(player.markerArea()->markerX(QTime(8, 0, 16)), player.markerArea()->width() - 5);

        markers->table()->selectRow(0);
        markers->deleteEntry();
        QCOMPARE(answerer.texts, QStringList{QStringLiteral("Удаление меток: Вы уверены?")});
        QCOMPARE(KVideoSetData::fromFolder(set.path).markers.size(), 1);
        QCOMPARE(player.markerArea()->markers().size(), 1);

        // A marker that could not be stored is not shown as if it were.
        QVERIFY(QFile::remove(set.path + "/user_data.xml") &&
                QDir().mkpath(set.path + "/user_data.xml"));
        answerer.texts.clear();
        add(QTime(8, 0, 12), QStringLiteral("Стоянка"));
        QTRY_COMPARE(answerer.texts, QStringList{"Ошибка!: Не удалось сохранить метки!"});
        QCOMPARE(markers->markers().size(), 1);
        QCOMPARE(player.markerArea()->markers().size(), 1);
    }

    // A damaged and a vanished file each say so in their tile; the other tile plays on.
    void brokenFilesShowTheirState()
    {
        KVideoSetData set = makeBarSet({"ACAM01", "ACAM03"});
        QFile broken(set.path + QStringLiteral("/ACAM02.mp4"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray(20000, 'x'));
        broken.close();
        set = KVideoSetData::fromFolder(set.path);
        QVERIFY(QFile::remove(set.path + QStringLiteral("/ACAM03.mp4")));
        KVideoPlayerWidget player;
        player.show();
        player.populate(set);
        QCOMPARE(player.viewsInUse(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(player.view(1)->backgroundLabel()->text(),
                                  QStringLiteral("Файл канала повреждён или не читается"), kWait);
        QCOMPARE(player.view(2)->backgroundLabel()->text(),
                 QStringLiteral("Файл канала не найден"));
        QTRY_VERIFY_WITH_TIMEOUT(player.masterIndex() == 0 && player.slider()->value() > 1000,
                                 20000);
        QCOMPARE(player.playbackState(), 0);
    }
};

QTEST_MAIN(tst_VideoPlayer)
#include "tst_videoplayer.moc"
