// The recorder calls of the login are replaced by this program's own definitions (the
// executable's symbols come first), so that a recorder can be made to misbehave in ways the
// emulator never does.
#include "HCNetSDK.h"
#include "KConnectionWorker_HIKVISION.h"
#include "KDeviceTestSupport.h"
#include "KObjectHandler_HIKVISION.h"

#include <QMutex>
#include <QtTest>

#include <cstring>

using namespace KDeviceTest;

namespace {

// Written by the pool thread inside the calls, read by the test after the job ended.
QMutex callMutex;
int loginCalls = 0;
int activateCalls = 0;
int loginsBeforeSuccess = 1000; // logins answering 250 before one succeeds
QByteArray lastLoginPassword;
QByteArray lastActivation;
thread_local uint32_t lastError = 0;

} // namespace

extern "C" {

int32_t NET_DVR_Login_V30(const char *, uint16_t, const char *, const char *password,
                          VSDK_DEVICE_INFO *info)
{
    QMutexLocker locker(&callMutex);
    lastLoginPassword = QByteArray(password);
    if (++loginCalls > loginsBeforeSuccess) {
        std::memset(info, 0, sizeof(*info));
        lastError = 0;
        return 5;
    }
    lastError = VSDK_ERR_NOT_ACTIVATED;
    return -1;
}

bool NET_DVR_Logout_V30(int32_t)
{
    return true;
}

bool NET_DVR_ActivateDevice(const char *, uint16_t, const VSDK_ACTIVATION *activation)
{
    QMutexLocker locker(&callMutex);
    ++activateCalls;
    lastActivation = QByteArray(reinterpret_cast<const char *>(activation), sizeof(*activation));
    lastError = 0;
    return true;
}

bool NET_DVR_GetDVRConfig(int32_t, uint32_t, int32_t, void *, uint32_t, uint32_t *)
{
    lastError = VSDK_ERR_DEVICE;
    return false;
}

uint32_t NET_DVR_GetLastError(void)
{
    return lastError;
}

} // extern "C"

class tst_ActivationLimit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Reachable through the status port; the kernel accepts connections on its own.
        QVERIFY(m_status.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        KConnectionHandler::instance()->initialize(1);
    }

    void cleanupTestCase() { KConnectionHandler::instance()->shutdown(); }
    void recorderStuckInactiveIsGivenUp()
    {
        QCOMPARE(runLogin(QStringLiteral("demo12345"), 1000), 3);
        const int activations = KConnectionWorker_HIKVISION::maximumActivations;
        QCOMPARE((QPair<int, int>(activateCalls, loginCalls)),
                 qMakePair(activations, activations + 1));
        QStringList expected;
        for (int i = 0; i < activations; ++i)
            expected << QStringLiteral("Соединение с ВР - активация пройдена");
        expected << QStringLiteral("Соединение с ВР - ошибка активации! [250]")
                 << QStringLiteral("Соединение с ВР - ошибка авторизации пользователя! [250]");
        QCOMPARE(logLines(true), expected);
    }

    void activationPassword_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("short") << "demo12345" << QByteArray("demo12345");
        QTest::newRow("longer than 16") << "abcdefgh12345678XYZW" << QByteArray("abcdefgh12345678");
        QTest::newRow("non-ASCII")
            << QStringLiteral("пароль12") << QStringLiteral("пароль12").toUtf8();
    }

    void activationPassword()
    {
        QFETCH(QString, password);
        QFETCH(QByteArray, sent);
        runLogin(password, 1);
        QCOMPARE(activateCalls, 1);
        // The login itself always sends the whole password.
        QCOMPARE(lastLoginPassword, password.toUtf8());

        // Its size 128, the password padded with zeros to 16 bytes, the reserved bytes zero.
        QCOMPARE(lastActivation.size(), int(sizeof(VSDK_ACTIVATION)));
        QCOMPARE(reinterpret_cast<const VSDK_ACTIVATION *>(lastActivation.constData())->size, 128u);
        QCOMPARE(lastActivation.mid(4), sent + QByteArray(124 - sent.size(), '\0'));
        QCOMPARE(logLines(true).mid(0, 2),
                 (QStringList{"Соединение с ВР - активация пройдена",
                              "Соединение с ВР установлено (ID пользователя ВР: 5)"}));
    }

private:
    // One login job of an object with the password, logins answering 250 `answers250` times;
    // the job's result.
    int runLogin(const QString &password, int answers250)
    {
        {
            QMutexLocker locker(&callMutex);
            loginCalls = activateCalls = 0;
            loginsBeforeSuccess = answers250;
        }
        clearLog();
        // The recorder port is never dialled: the recorder calls above answer instead.
        KObjectHandler_HIKVISION object(
            objectRecord("127.0.0.1", 8000, m_status.serverPort(), password));
        return runJob(&object, 1);
    }

    QTcpServer m_status;
};

QTEST_GUILESS_MAIN(tst_ActivationLimit)
#include "tst_activationlimit.moc"
