// Pictures painted into the window given by its native id: the surface follows the window's
// size and goes when the stream stops; unknown or vanished windows are safe.
#include "HCNetSDK.h"
#include "KFakeRecorder.h"
#include "KRecorderMessages.h"
#include "KRecorderProtocol.h"
#include "KTestEmulator.h"
#include "KTestVideo.h"

#include <QPainter>
#include <QWidget>
#include <QtTest>
#include <memory>

class tst_SdkWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void surfaceFollowsTheWindowAndVanishedWindowsAreSafe();
    void paintsThePictureAtAnyWindowSize_data();
    void paintsThePictureAtAnyWindowSize();

private:
    int play(int channel, quint32 window);
    static QWidget *surfaceOf(QWidget *window)
    {
        return window->findChild<QWidget *>(QStringLiteral("sdkVideoSurface"));
    }

    KTestEmulator m_emulator;
    int m_user = -1;
};

void tst_SdkWidget::initTestCase()
{
    QVERIFY2(m_emulator.start({"--size", "640x360"}), qPrintable(m_emulator.log()));
    QVERIFY(NET_DVR_Init());
    VSDK_DEVICE_INFO info;
    m_user = NET_DVR_Login_V30(qPrintable(m_emulator.host()), m_emulator.port(), "admin",
                               "demo12345", &info);
    QVERIFY(m_user >= 0);
}

void tst_SdkWidget::cleanupTestCase()
{
    NET_DVR_Logout_V30(m_user);
    NET_DVR_Cleanup();
}

int tst_SdkWidget::play(int channel, quint32 window)
{
    VSDK_PREVIEW_INFO preview = {};
    preview.channel = channel;
    preview.playWindow = VSDK_WINDOW(window);
    return NET_DVR_RealPlay_V40(m_user, &preview, nullptr, nullptr);
}

void tst_SdkWidget::surfaceFollowsTheWindowAndVanishedWindowsAreSafe()
{
    // What it paints is checked on the players' tiles (tst_videoplayers).
    auto window = std::make_unique<QWidget>();
    window->resize(320, 180);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const int handle = play(1, quint32(window->winId()));
    QVERIFY(handle >= 0);
    QTRY_VERIFY_WITH_TIMEOUT(surfaceOf(window.get()) != nullptr, 10000);
    QWidget *surface = surfaceOf(window.get());
    QCOMPARE(surface->geometry(), window->rect());
    QVERIFY(surface->testAttribute(Qt::WA_TransparentForMouseEvents));
    window->resize(480, 270);
    QTRY_COMPARE_WITH_TIMEOUT(surface->geometry(), window->rect(), 5000);
    QVERIFY(NET_DVR_StopRealPlay(handle));
    QTRY_VERIFY_WITH_TIMEOUT(surfaceOf(window.get()) == nullptr, 5000);

    // No such window: pictures are still decoded; a window destroyed while its stream runs:
    // pictures keep coming, one decoded after it went.
    const int unknown = play(2, 0x7ffffff0);
    QVERIFY(unknown >= 0);
    const int second = play(2, quint32(window->winId()));
    QTRY_VERIFY_WITH_TIMEOUT(surfaceOf(window.get()) != nullptr, 10000);
    window.reset();
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("a.jpg"));
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG));
    const auto picture = [&](int handle) {
        QFile file(QFile::decodeName(path));
        return NET_DVR_CapturePicture(handle, path.constData()) && file.open(QIODevice::ReadOnly)
                   ? file.readAll()
                   : QByteArray();
    };
    QTRY_VERIFY_WITH_TIMEOUT(!picture(unknown).isEmpty(), 10000);
    const QByteArray atReset = picture(second);
    QTRY_VERIFY_WITH_TIMEOUT(picture(second) != atReset, 10000);
    QVERIFY(NET_DVR_StopRealPlay(second));
    QVERIFY(NET_DVR_StopRealPlay(unknown));
}

void tst_SdkWidget::paintsThePictureAtAnyWindowSize_data()
{
    QTest::addColumn<QSize>("window");
    QTest::newRow("picture's own size") << QSize(640, 360);
    QTest::newRow("a half") << QSize(320, 180);
    QTest::newRow("odd size") << QSize(301, 167);
    QTest::newRow("other aspect") << QSize(150, 200);
    QTest::newRow("larger") << QSize(900, 500);
}

void tst_SdkWidget::paintsThePictureAtAnyWindowSize()
{
    // Quadrants in four colours catch swapped colour channels, flips and wrong scaling.
    QFETCH(QSize, window);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::white};
    QImage picture(640, 360, QImage::Format_RGB32);
    QPainter painter(&picture);
    for (int i = 0; i < 4; ++i)
        painter.fillRect(QRect(i % 2 * 320, i / 2 * 180, 320, 180), colours[i]);
    painter.end();
    const QDateTime time(QDate(2024, 3, 1), QTime(9, 30, 15, 250));

    using namespace KRecorderProtocol;
    KFakeRecorder recorder(KFakeRecorder::on(StreamOpen, [&](KFakeConnection &c, const KFrame &f) {
        c.sendFrame(StreamOpened, f.seq, KFakeRecorder::streamOpened());
        // Until the stream is stopped, so that pictures also come after the surface exists.
        KTestVideo video(picture.size());
        for (int i = 0;
             i < 500 && c.sendFrame(VideoFrame, 0, video.frame(picture, time, i == 0).encode());
             ++i)
            QThread::msleep(20);
        return KFakeRecorder::HangUp;
    }));
    VSDK_DEVICE_INFO info;
    const int user =
        NET_DVR_Login_V30(recorder.host().constData(), recorder.port(), "admin", "pw", &info);
    QVERIFY(user >= 0);
    QWidget tile;
    tile.resize(window);
    tile.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tile));
    VSDK_PREVIEW_INFO preview = {};
    preview.channel = 1;
    preview.playWindow = VSDK_WINDOW(quint32(tile.winId()));
    const int handle = NET_DVR_RealPlay_V40(user, &preview, nullptr, nullptr);
    QVERIFY(handle >= 0);
    QTRY_VERIFY_WITH_TIMEOUT(surfaceOf(&tile) &&
                                 surfaceOf(&tile)->property("paintedPictures").toULongLong() >= 3,
                             10000);
    QWidget *surface = surfaceOf(&tile);
    QCOMPARE(surface->property("paintedTime").toDateTime(), time);
    const QImage shown = surface->grab().toImage();
    QCOMPARE(shown.size(), window);
    for (int i = 0; i < 4; ++i) {
        const QColor seen(shown.pixel((i % 2 * 2 + 1) * window.width() / 4,
                                      (i / 2 * 2 + 1) * window.height() / 4));
        const QColor want = colours[i];
        QVERIFY2(qAbs(seen.red() - want.red()) < 40 && qAbs(seen.green() - want.green()) < 40 &&
                     qAbs(seen.blue() - want.blue()) < 40,
                 qPrintable(QStringLiteral("quadrant %1: %2").arg(i).arg(seen.name())));
    }
    QVERIFY(NET_DVR_StopRealPlay(handle));
    NET_DVR_Logout_V30(user);
}

QTEST_MAIN(tst_SdkWidget)
#include "tst_sdkwidget.moc"
