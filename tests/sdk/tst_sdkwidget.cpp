// Pictures painted into the window given by its native id: the surface follows the window's
// size, shows the stream and goes when the stream stops; unknown or vanished windows are safe.
#include "HCNetSDK.h"
#include "KTestEmulator.h"

#include <QImage>
#include <QWidget>
#include <QtTest>
#include <memory>

namespace {

QWidget *surfaceOf(QWidget *window)
{
    return window->findChild<QWidget *>(QStringLiteral("sdkVideoSurface"));
}

} // namespace

class tst_SdkWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void liveViewPaintsIntoTheWindowAndFollowsItsSize();
    void unknownOrVanishedWindowIsSafe();

private:
    int play(int channel, quint32 window);

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

void tst_SdkWidget::liveViewPaintsIntoTheWindowAndFollowsItsSize()
{
    QWidget window;
    window.resize(320, 180);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, Qt::magenta);
    window.setPalette(palette);
    window.setAutoFillBackground(true);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int handle = play(1, quint32(window.winId()));
    QVERIFY(handle >= 0);
    QTRY_VERIFY_WITH_TIMEOUT(surfaceOf(&window) != nullptr, 10000);
    QWidget *surface = surfaceOf(&window);
    QCOMPARE(surface->geometry(), window.rect());
    QVERIFY(surface->testAttribute(Qt::WA_TransparentForMouseEvents));
    // The window shows the stream, not its own magenta background.
    QVERIFY(QTest::qWaitFor(
        [&] {
            const QColor middle = window.grab().toImage().pixelColor(160, 90);
            return middle != QColor(Qt::magenta) && middle != QColor(Qt::black);
        },
        10000));
    window.resize(480, 270);
    QTRY_COMPARE_WITH_TIMEOUT(surface->geometry(), window.rect(), 5000);
    QVERIFY(NET_DVR_StopRealPlay(handle));
    QTRY_VERIFY_WITH_TIMEOUT(surfaceOf(&window) == nullptr, 5000);
}

void tst_SdkWidget::unknownOrVanishedWindowIsSafe()
{
    const int handle = play(2, 0x7ffffff0); // no such window: pictures are still decoded
    QVERIFY(handle >= 0);
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("a.jpg"));
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG));
    QVERIFY(
        QTest::qWaitFor([&] { return NET_DVR_CapturePicture(handle, path.constData()); }, 10000));
    auto window = std::make_unique<QWidget>(); // destroyed while its stream runs
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const int second = play(2, quint32(window->winId()));
    QTRY_VERIFY_WITH_TIMEOUT(surfaceOf(window.get()) != nullptr, 10000);
    window.reset();
    // Pictures keep coming for the vanished window: one decoded after it went.
    const auto picture = [&] {
        QFile file(QFile::decodeName(path));
        return NET_DVR_CapturePicture(second, path.constData()) && file.open(QIODevice::ReadOnly)
                   ? file.readAll()
                   : QByteArray();
    };
    const QByteArray atReset = picture();
    QVERIFY(QTest::qWaitFor([&] { return picture() != atReset; }, 10000));
    QVERIFY(NET_DVR_StopRealPlay(second));
    QVERIFY(NET_DVR_StopRealPlay(handle));
}

QTEST_MAIN(tst_SdkWidget)
#include "tst_sdkwidget.moc"
