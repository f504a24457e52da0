// Pictures painted into the window given by its native id: the surface follows the window's
// size, shows the stream and disappears when the stream stops.
#include "HCNetSDK.h"
#include "KTestEmulator.h"

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <QtTest>
#include <cstring>

class tst_SdkWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void liveViewPaintsIntoTheWindowAndFollowsItsSize();
    void unknownWindowStillDecodes();

private:
    KTestEmulator m_emulator;
    int m_user = -1;
};

void tst_SdkWidget::initTestCase()
{
    QVERIFY2(m_emulator.start({QStringLiteral("--host"), QStringLiteral("127.0.0.44"),
                               QStringLiteral("--size"), QStringLiteral("640x360")}),
             qPrintable(m_emulator.log()));
    QVERIFY(NET_DVR_Init());
    VSDK_DEVICE_INFO info;
    m_user = NET_DVR_Login_V30("127.0.0.44", m_emulator.port(), "admin", "demo12345", &info);
    QVERIFY(m_user >= 0);
}

void tst_SdkWidget::cleanupTestCase()
{
    NET_DVR_Logout_V30(m_user);
    NET_DVR_Cleanup();
}

static QWidget *surfaceOf(QWidget *window)
{
    return window->findChild<QWidget *>(QStringLiteral("sdkVideoSurface"));
}

void tst_SdkWidget::liveViewPaintsIntoTheWindowAndFollowsItsSize()
{
    QWidget window;
    window.resize(320, 180);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, Qt::magenta);
    window.setAutoFillBackground(true);
    window.setPalette(palette);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    VSDK_PREVIEW_INFO preview;
    std::memset(&preview, 0, sizeof(preview));
    preview.channel = 1;
    preview.playWindow = VSDK_WINDOW(qint32(window.winId()));
    const int handle = NET_DVR_RealPlay_V40(m_user, &preview, nullptr, nullptr);
    QVERIFY(handle >= 0);
    QVERIFY(QTest::qWaitFor([&] { return surfaceOf(&window) != nullptr; }, 10000));
    QWidget *surface = surfaceOf(&window);
    QCOMPARE(surface->geometry(), window.rect());
    QVERIFY(surface->testAttribute(Qt::WA_TransparentForMouseEvents));
    // The window shows the stream, not its own magenta background.
    QVERIFY(QTest::qWaitFor(
        [&] {
            const QImage shot = window.grab().toImage();
            return shot.pixelColor(160, 90) != QColor(Qt::magenta) &&
                   shot.pixelColor(160, 90) != QColor(Qt::black);
        },
        10000));
    window.resize(480, 270);
    QTRY_COMPARE_WITH_TIMEOUT(surface->geometry(), window.rect(), 5000);
    QVERIFY(NET_DVR_StopRealPlay(handle));
    QTRY_VERIFY_WITH_TIMEOUT(surfaceOf(&window) == nullptr, 5000);
}

void tst_SdkWidget::unknownWindowStillDecodes()
{
    VSDK_PREVIEW_INFO preview;
    std::memset(&preview, 0, sizeof(preview));
    preview.channel = 2;
    preview.playWindow = 0x7ffffff0; // no such window
    const int handle = NET_DVR_RealPlay_V40(m_user, &preview, nullptr, nullptr);
    QVERIFY(handle >= 0);
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("a.jpg")));
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG));
    QVERIFY(
        QTest::qWaitFor([&] { return NET_DVR_CapturePicture(handle, path.constData()); }, 10000));
    // A window that is destroyed while its stream runs.
    auto *window = new QWidget;
    window->resize(200, 100);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    preview.playWindow = VSDK_WINDOW(qint32(window->winId()));
    const int second = NET_DVR_RealPlay_V40(m_user, &preview, nullptr, nullptr);
    QVERIFY(second >= 0);
    QVERIFY(QTest::qWaitFor([&] { return surfaceOf(window) != nullptr; }, 10000));
    delete window;
    QTest::qWait(300);
    QVERIFY(NET_DVR_StopRealPlay(second));
    QVERIFY(NET_DVR_StopRealPlay(handle));
    QTest::qWait(100);
}

QTEST_MAIN(tst_SdkWidget)
#include "tst_sdkwidget.moc"
