#include "../device/KDeviceTestSupport.h"
#include "KAbstractRecorderVideoView.h"
#include "KArchiveInfoCalendarWidget.h"
#include "KArchiveInfoWidget.h"
#include "KArchiveVideoPlayerWidget.h"
#include "KArchiveVideoView.h"
#include "KFullSizeVideoPlayerWidget.h"
#include "KObjectHandler_HIKVISION.h"
#include "KOnlineVideoPlayerWidget.h"
#include "KOnlineVideoView.h"
#include "KRecorderSDK.h"
#include "KSettings.h"
#include "KTestEmulator.h"
#include "KVideoViewTableWidget.h"
#include "KViewHandler.h"
#include "KViewTestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QtTest>

#include <memory>

using namespace KDeviceTest;

namespace {

// The picture the recorder SDK paints over the tile's video surface; null before it paints
// (the surface's own "Подключение..." text does not count).
QImage picture(KAbstractVideoView *view)
{
    auto *sdkSurface =
        view->videoSurface()->findChild<QWidget *>(QStringLiteral("sdkVideoSurface"));
    return sdkSurface ? sdkSurface->grab().toImage() : QImage();
}

// True when the picture holds more than one colour (something was painted into it).
bool painted(const QImage &image)
{
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            if (image.pixel(x, y) != image.pixel(0, 0))
                return true;
    return false;
}

QWidget *surfaceOf(KAbstractVideoView *view)
{
    return view->videoSurface()->findChild<QWidget *>(QStringLiteral("sdkVideoSurface"));
}

// The size of the pictures the tile's stream decodes; empty before the first.
QSize streamPictureSize(KAbstractVideoView *view)
{
    QWidget *surface = surfaceOf(view);
    return surface ? surface->property("pictureSize").toSize() : QSize();
}

// Whether the picture surface on top of the tile (the new stream's, or the one before it that
// stays until the new one has a picture) shows a decoded picture rather than black.
bool showsPicture(KAbstractVideoView *view)
{
    const QObjectList children = view->videoSurface()->children();
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        auto *surface = qobject_cast<QWidget *>(*it);
        if (surface && surface->isVisible() && surface->property("decodedPictures").isValid())
            return surface->property("decodedPictures").toULongLong() > 0;
    }
    return false;
}

QDateTime workerTime(KAbstractRecorderVideoView *view)
{
    KAbstractViewWorker *worker = KViewHandler::instance()->worker(view->jobID());
    return worker ? worker->currentDateTime() : QDateTime();
}

} // namespace

// Shows the player and hands it the object; true once its channels arrived.
template<typename Player> bool showWith(Player &player, KObjectHandler *object, const QSize &size)
{
    player.resize(size);
    player.show();
    player.activateWindow();
    if (!QTest::qWaitForWindowActive(&player))
        return false;
    QSignalSpy populated(&player, &Player::populated);
    player.setObject(object);
    return KTestEmulator::waitFor([&] { return populated.count() == 1; }, 30000);
}

class tst_VideoPlayers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<KObjectHandler *>("KObjectHandler*const");
        QVERIFY(KRecorderSDK::instance()->initialize());
        KConnectionHandler::instance()->initialize(2);
        KViewHandler::instance()->initialize(8);
        QVERIFY(m_snapshots.isValid());
        KSettings::instance()->setLocalSnapshotsPath(m_snapshots.path());
        QVERIFY2(m_emulator.start({"--analog", "2", "--ip", "1", "--ip-off", "DCAM01", "--fps", "5",
                                   "--size", "320x240"}),
                 qPrintable(m_emulator.log()));
        KObjectData record =
            objectRecord(m_emulator.host(), m_emulator.port(), m_emulator.statusPort());
        record.name = QStringLiteral("../Автобус 7");
        m_object = std::make_unique<KObjectHandler_HIKVISION>(record);
    }

    void cleanupTestCase()
    {
        KViewHandler::instance()->shutdown();
        KConnectionHandler::instance()->shutdown();
        KRecorderSDK::instance()->cleanup();
    }

    // A failed test's jobs end here, while the object they use still exists.
    void cleanup()
    {
        if (!KConnectionHandler::instance()->isInitialized())
            KConnectionHandler::instance()->initialize(2);
        for (int jobID : KViewHandler::instance()->jobs())
            KViewHandler::instance()->quit(jobID);
        QTRY_VERIFY_WITH_TIMEOUT(KViewHandler::instance()->jobs().isEmpty(), 15000);
    }

    // Object names become folders under the snapshot root, never paths outside it, named as the
    // object's folder in the video store is.
    void snapshotFolderStaysInside()
    {
        const QStringList names{"Автобус 1.01", "a..b", "..", "../../etc", "..\\x", "/tmp", ""};
        QStringList folders;
        for (const QString &name : names)
            folders << KAbstractRecorderVideoView::snapshotFolder("/data/snapshots", name);
        QCOMPARE(folders, QStringList({"/data/snapshots/Автобус 1.01", "/data/snapshots/a..b",
                                       "/data/snapshots/__", "/data/snapshots/.._.._etc",
                                       "/data/snapshots/.._x", "/data/snapshots/_tmp",
                                       "/data/snapshots/_"}));
    }

    void gridArrangements_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("arrangement");
        QTest::addColumn<int>("placeholders");
        // Tiles fill the grid row by row: the third one's column and row (none when hidden).
        QTest::addColumn<QPoint>("thirdCell");
        QTest::newRow("none") << 0 << 6 << 9 << QPoint(2, 0);
        QTest::newRow("one") << 1 << 1 << 0 << QPoint(-1, -1);
        QTest::newRow("three") << 3 << 3 << 1 << QPoint(0, 1);
        QTest::newRow("seven") << 7 << 5 << 5 << QPoint(2, 0);
        QTest::newRow("seventeen") << 17 << 8 << 21 << QPoint(2, 0);
    }

    void gridArrangements()
    {
        QFETCH(int, count);
        QFETCH(int, arrangement);
        QFETCH(int, placeholders);
        QFETCH(QPoint, thirdCell);
        KVideoViewTableWidget grid;
        auto *third = new KOnlineVideoView(&grid);
        grid.setViews({new KOnlineVideoView(&grid), new KOnlineVideoView(&grid), third});
        grid.fitArrangement(count);
        QCOMPARE(qMakePair(grid.arrangement(), grid.placeholderCount()),
                 qMakePair(arrangement, placeholders));
        auto *layout = static_cast<QGridLayout *>(grid.layout());
        QPoint cell(-1, -1);
        int row = 0, column = 0, rows = 0, columns = 0;
        if (const int index = layout->indexOf(third); index >= 0) {
            layout->getItemPosition(index, &row, &column, &rows, &columns);
            cell = QPoint(column, row);
        }
        QCOMPARE(cell, thirdCell);
    }

    // "-" and "+" step through the speeds and stop at 1/8x and 8x.
    void speedStepsStopAtBothEnds()
    {
        KArchiveVideoPlayerWidget player;
        player.show();
        player.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&player));
        QStringList shown;
        for (int i = 0; i < 11; ++i) {
            QTest::keyClick(&player, i < 4 ? Qt::Key_Minus : Qt::Key_Plus);
            shown << player.speedLabel()->text();
        }
        QCOMPARE(shown, QStringList({"1/2x", "1/4x", "1/8x", "1/8x", "1/4x", "1/2x", "1x", "2x",
                                     "4x", "8x", "8x"}));
    }

    void onlinePlayerShowsLivePictures()
    {
        KOnlineVideoPlayerWidget player;
        QVERIFY(showWith(player, m_object.get(), QSize(700, 420)));
        // The camera that is off never shows up.
        QCOMPARE(player.channelIDs(), (QStringList{"ACAM01", "ACAM02"}));

        QTest::keyClick(&player, Qt::Key_Space);
        QCOMPARE(player.playbackState(), 0);
        auto *first = static_cast<KOnlineVideoView *>(player.views().at(0));
        auto *second = static_cast<KOnlineVideoView *>(player.views().at(1));
        QTRY_VERIFY_WITH_TIMEOUT(painted(picture(first)) && painted(picture(second)), 20000);
        // Moving pictures, different per channel; two windows ("Авто"): the main stream.
        const QImage before = picture(first);
        QTRY_VERIFY_WITH_TIMEOUT(picture(first) != before, 10000);
        QVERIFY(picture(first) != picture(second));
        QCOMPARE(streamPictureSize(first), QSize(320, 240));
        QCOMPARE(picture(first).size(), first->videoSurface()->size());
        // The title bar says what the link carries.
        QTRY_VERIFY_WITH_TIMEOUT(first->linkLabel()->text().endsWith(QStringLiteral("бит/с")),
                                 5000);
        QVERIFY(!first->linkLabel()->text().contains(QStringLiteral("слабый канал")));

        // Hovering a tile with a channel shows its controls; a tile without one keeps them hidden.
        for (KAbstractVideoView *tile : {player.views().at(0), player.views().at(2)}) {
            QHoverEvent enter(QEvent::HoverEnter, QPointF(5, 5), QPointF(-1, -1));
            QApplication::sendEvent(tile, &enter);
            QCOMPARE(tile->controlBar()->isHidden(), tile != first);
            QHoverEvent leave(QEvent::HoverLeave, QPointF(-1, -1), QPointF(5, 5));
            QApplication::sendEvent(tile, &leave);
            QVERIFY(tile->controlBar()->isHidden());
        }

        // The snapshot lands under the object's folder, and only its tile says so.
        QTRY_VERIFY_WITH_TIMEOUT(workerTime(second).isValid(), 10000);
        second->snapshotButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(second->snapshotMessage(), 15000);
        QCOMPARE(second->snapshotMessage()->text(), QStringLiteral("Снимок сохранен"));
        QVERIFY(!first->snapshotMessage());
        QCOMPARE(QDir(m_snapshots.path())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{".._Автобус 7"});
        const QStringList shots =
            QDir(m_snapshots.path() + "/.._Автобус 7").entryList({"*_ACAM02.jpg"});
        QCOMPARE(shots.size(), 1);
        QCOMPARE(QImage(m_snapshots.path() + "/.._Автобус 7/" + shots.first()).size(),
                 QSize(320, 240));

        // A blown-up tile, then back; the window buttons wait meanwhile.
        QTest::mouseDClick(first->backgroundLabel(), Qt::LeftButton);
        QCOMPARE(player.grid()->arrangement(), 0);
        QVERIFY(!player.arrangementButtons().at(0)->isEnabled());
        QTest::mousePress(first, Qt::RightButton);
        QCOMPARE(player.grid()->arrangement(), 2);
        QVERIFY(player.arrangementButtons().at(0)->isEnabled());

        // One window: the second tile no longer fits and stops; blowing up does nothing.
        const int secondJob = second->jobID();
        player.arrangementButtons().at(0)->click();
        QCOMPARE(qMakePair(first->viewState(), second->viewState()), qMakePair(0, 2));
        QTRY_VERIFY_WITH_TIMEOUT(!KViewHandler::instance()->hasJob(secondJob), 10000);
        QTest::mouseDClick(first->backgroundLabel(), Qt::LeftButton);
        QCOMPARE(player.grid()->arrangement(), 1);

        // Space stops the live view.
        QTest::keyClick(&player, Qt::Key_Space);
        QCOMPARE(player.playbackState(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(KViewHandler::instance()->jobs().isEmpty(), 10000);
    }

    // Players follow the object they are given, whatever the one before left: channels that
    // arrive only at a later connection fill the grid then; a blown-up tile gives way to the next
    // object's grid; an object without a recorder driver takes the time-line and the calendar
    // along. Driven by hand, with no connection jobs running meanwhile.
    void playersFollowTheirObject()
    {
        const int widgets = QApplication::allWidgets().size();
        delete new KOnlineVideoPlayerWidget; // nothing of it may stay behind
        QCOMPARE(QApplication::allWidgets().size(), widgets);

        KConnectionHandler::instance()->shutdown();
        KObjectData record = objectRecord(m_emulator.host(), m_emulator.port(), 0);
        KObjectHandler late(record);
        KArchiveVideoPlayerWidget player;
        player.resize(800, 480);
        player.show();
        QSignalSpy populated(&player, &KAbstractVideoPlayerWidget::populated);
        player.setObject(&late);
        late.setConnectionState(2);
        emit late.connectionStateChanged();
        QCOMPARE(populated.count(), 1);
        QVERIFY(player.channelIDs().isEmpty());
        late.updateRecord([](KObjectData &r) {
            for (const QString key : {"ACAM01", "ACAM02"}) {
                KChannelData channel;
                channel.name = key;
                channel.available = 1;
                r.recorder.channels.insert(key, channel);
            }
        });
        emit late.connectionStateChanged();
        QCOMPARE(player.channelIDs(), (QStringList{"ACAM01", "ACAM02"}));

        KAbstractVideoView *tile = player.views().at(0);
        QTest::mouseDClick(tile->backgroundLabel(), Qt::LeftButton);
        QVERIFY(tile->isFullWindowMode() && !player.arrangementButtons().at(0)->isEnabled());
        record.id = 99;
        record.name = QStringLiteral("Без ВР");
        record.recorder.type = 0;
        KObjectHandler unsupported(record);
        player.setObject(&unsupported);
        QVERIFY(!tile->isFullWindowMode() && !player.grid()->isFullWindowView());
        for (QPushButton *button : player.arrangementButtons())
            QVERIFY(button->isEnabledTo(button->parentWidget()));
        QCOMPARE(player.timeLine()->object(), &unsupported);
        QCOMPARE(player.calendar()->object(), &unsupported);
        KConnectionHandler::instance()->initialize(2);
    }

    void autoStreamAndWeakLink()
    {
        KOnlineVideoPlayerWidget player;
        QVERIFY(showWith(player, m_object.get(), QSize(700, 420)));
        QCOMPARE(player.streamSelector()->currentText(), QStringLiteral("Авто"));
        player.play();
        auto *first = static_cast<KOnlineVideoView *>(player.views().at(0));
        auto *second = static_cast<KOnlineVideoView *>(player.views().at(1));
        QTRY_COMPARE_WITH_TIMEOUT(streamPictureSize(first), QSize(320, 240), 20000);

        // Four windows: the sub stream; a tile blown up: the main stream, and back. The last
        // picture stays until the other stream's first one is there: never black between.
        const auto switchesTo = [&](KAbstractVideoView *tile, const QSize &size) {
            return KTestEmulator::waitFor(
                [&] {
                    if (!showsPicture(tile))
                        return QTest::qVerify(false, "showsPicture(tile)", "a black gap", __FILE__,
                                              __LINE__),
                               true;
                    return streamPictureSize(tile) == size;
                },
                20000);
        };
        player.arrangementButtons().at(2)->click();
        QVERIFY(switchesTo(first, QSize(160, 120)) && !QTest::currentTestFailed());
        QVERIFY(switchesTo(second, QSize(160, 120)) && !QTest::currentTestFailed());
        QTest::mouseDClick(first->backgroundLabel(), Qt::LeftButton);
        QCOMPARE(player.grid()->arrangement(), 0);
        QVERIFY(switchesTo(first, QSize(320, 240)) && !QTest::currentTestFailed());
        QCOMPARE(static_cast<KOnlineVideoView *>(second)->streamType(), 1);
        QTest::mouseDClick(first->backgroundLabel(), Qt::LeftButton);
        QVERIFY(switchesTo(first, QSize(160, 120)) && !QTest::currentTestFailed());

        // A modem too slow for the pictures: whole groups left out (nothing broken decoded),
        // and the tile says so until the link carries them again.
        const QString uplink = "uplink " + m_emulator.host();
        const auto restore = qScopeGuard([&] { m_emulator.commandOk(uplink + " 0"); });
        QVERIFY(m_emulator.commandOk(uplink + " 40"));
        QTRY_VERIFY_WITH_TIMEOUT(
            first->linkLabel()->text().startsWith(QStringLiteral("слабый канал")), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(surfaceOf(first)->property("droppedPictures").toULongLong() > 0,
                                 20000);
        QVERIFY(m_emulator.commandOk(uplink + " 0"));
        QTRY_VERIFY_WITH_TIMEOUT(
            !first->linkLabel()->text().startsWith(QStringLiteral("слабый канал")), 20000);
        for (KAbstractVideoView *tile : {first, second})
            QCOMPARE(surfaceOf(tile)->property("decoderErrors").toULongLong(), 0ull);
        player.stop();
    }

    void archivePlayerPlaysChosenMoment()
    {
        const QDateTime moment = KViewTest::archiveMoment(m_emulator, 1800);
        QVERIFY2(moment.isValid(), "no recorded file in the emulator's archive");
        KArchiveVideoPlayerWidget player;
        QVERIFY(showWith(player, m_object.get(), QSize(800, 480)));
        clearLog();
        player.play(moment);
        auto *first = static_cast<KArchiveVideoView *>(player.views().at(0));
        auto *second = static_cast<KArchiveVideoView *>(player.views().at(1));
        QTRY_VERIFY_WITH_TIMEOUT(workerTime(first).isValid() && workerTime(second).isValid(),
                                 20000);
        QVERIFY(qAbs(moment.secsTo(workerTime(first))) < 60);
        QTRY_VERIFY_WITH_TIMEOUT(painted(picture(first)), 20000);

        // "+" twice: 4x, logged by every channel; the label shows it.
        const int job = first->jobID();
        QTest::keyClick(&player, Qt::Key_Plus);
        QTest::keyClick(&player, Qt::Key_Plus);
        QCOMPARE(player.speedLabel()->text(), QStringLiteral("4x"));
        const QString speedLine = "Просмотр видеоархива - установлена скорость воспроизведения 4x";
        QTRY_COMPARE_WITH_TIMEOUT(logLines(true).filter(speedLine).size(), 2, 10000);
        // The recorder's shown time really moves at the chosen rates: 4x against 1/2x.
        const auto advance = [first] {
            QTest::qWait(1500); // past the change
            const QDateTime from = workerTime(first);
            QTest::qWait(5000);
            return from.secsTo(workerTime(first));
        };
        const qint64 fast = advance();
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(&player, Qt::Key_Minus);
        QCOMPARE(player.speedLabel()->text(), QStringLiteral("1/2x"));
        const qint64 slow = advance();
        QVERIFY2(fast >= 10 && fast >= 3 * slow,
                 qPrintable(QString("4x: %1 s, 1/2x: %2 s in 5 s").arg(fast).arg(slow)));
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(&player, Qt::Key_Plus);

        // Space pauses and resumes the same jobs.
        QTest::keyClick(&player, Qt::Key_Space);
        QCOMPARE(player.playbackState(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(KViewHandler::instance()->worker(job)->state(), 1, 10000);
        QTest::keyClick(&player, Qt::Key_Space);
        QCOMPARE(player.playbackState(), 0);
        QCOMPARE(first->jobID(), job);
        QTRY_COMPARE_WITH_TIMEOUT(KViewHandler::instance()->worker(job)->state(), 0, 10000);

        // Releasing the time-line restarts the playing channels at its moment (the second
        // may have a gap there and skip ahead).
        const QDateTime later = moment.addSecs(900);
        player.timeEdit()->setTime(later.time());
        emit player.timeLine()->sliderReleased();
        QTRY_VERIFY_WITH_TIMEOUT(
            workerTime(first) >= later && workerTime(first) < later.addSecs(120), 20000);
        const QString restart = "Просмотр видеоархива - изменение времени воспроизведения на " +
                                later.toString("dd.MM.yyyy hh:mm:ss");
        QTRY_COMPARE_WITH_TIMEOUT(logLines(true).filter(restart).size(), 2, 10000);

        // Ctrl+D asks for the download tab at the chosen moment.
        QSignalSpy download(&player, &KArchiveVideoPlayerWidget::prepareDownloadRequested);
        QTest::keyClick(&player, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(download.count(), 1);
        QCOMPARE(download.at(0).at(1).toDateTime(), later);

        // F11 moves the grid into the full-screen window (the whole screen, also where no window
        // manager makes it so); Escape brings it back.
        QTest::keyClick(&player, Qt::Key_F11);
        QTRY_VERIFY_WITH_TIMEOUT(player.fullSizeWindow()->isVisible(), 5000);
        QVERIFY(player.grid()->window() == player.fullSizeWindow());
        QTRY_COMPARE_WITH_TIMEOUT(player.fullSizeWindow()->geometry(), player.screen()->geometry(),
                                  5000);
        QTest::keyClick(player.fullSizeWindow(), Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!player.fullSizeWindow()->isVisible(), 5000);
        QVERIFY(player.grid()->parentWidget() == &player);
    }

private:
    QTemporaryDir m_snapshots;
    KTestEmulator m_emulator;
    std::unique_ptr<KObjectHandler_HIKVISION> m_object;
};

QTEST_MAIN(tst_VideoPlayers)
#include "tst_videoplayers.moc"
