// Pictures painted into the window given by its native id: the surface follows the window's
// size and goes when the stream stops; unknown or vanished windows are safe.
#include "HCNetSDK.h"
#include "KTestEmulator.h"

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

QTEST_MAIN(tst_SdkWidget)
#include "tst_sdkwidget.moc"
