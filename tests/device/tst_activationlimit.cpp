// The recorder calls of the login are replaced by this program's own definitions (the
// executable's symbols come first), so that a recorder can be made to misbehave in ways the
// emulator never does.
#include "HCNetSDK.h"
#include "KAppLogHandler.h"
#include "KConnectionHandler.h"
#include "KConnectionWorker_HIKVISION.h"
#include "KObjectHandler_HIKVISION.h"

#include <QFile>
#include <QMutex>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include <cstring>

namespace {

// Written by the pool thread inside the calls, read by the test after the job ended.
QMutex callMutex;
int loginCalls = 0;
int activateCalls = 0;
int loginsBeforeSuccess = 1000; // logins answering 250 before one succeeds
QByteArray lastLoginPassword;
QByteArray lastActivation;
thread_local uint32_t lastError = 0;

void resetCalls(int answers250)
{
    QMutexLocker locker(&callMutex);
    loginCalls = 0;
    activateCalls = 0;
    loginsBeforeSuccess = answers250;
    lastLoginPassword.clear();
    lastActivation.clear();
}

} // namespace

extern "C" {

int32_t NET_DVR_Login_V30(const char *, uint16_t, const char *, const char *password,
                          VSDK_DEVICE_INFO *info)
{
    QMutexLocker locker(&callMutex);
    ++loginCalls;
    lastLoginPassword = QByteArray(password);
    if (loginCalls > loginsBeforeSuccess) {
        std::memset(info, 0, sizeof(*info));
        lastError = 0;
        return 5;
    }
    lastError = VSDK_ERR_NOT_ACTIVATED;
    return -1;
}

bool NET_DVR_Logout_V30(int32_t)
{
    lastError = 0;
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
    void initTestCase();
    void cleanupTestCase();
    void init();
    void recorderStuckInactiveIsGivenUp();
    void activationPassword_data();
    void activationPassword();

private:
    int runLogin(const QString &password);
    QStringList logLines() const;
    QTcpServer m_status;
    QString m_logPath;
};

void tst_ActivationLimit::initTestCase()
{
    // Reachable through the status port; the kernel accepts connections on its own.
    QVERIFY(m_status.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    KConnectionHandler::instance()->initialize(1);
    m_logPath = KAppLogHandler::instance()->filePath();
}

void tst_ActivationLimit::cleanupTestCase()
{
    KConnectionHandler::instance()->shutdown();
}

void tst_ActivationLimit::init()
{
    QFile::remove(m_logPath);
}

int tst_ActivationLimit::runLogin(const QString &password)
{
    KObjectData record;
    record.id = 8;
    record.name = QStringLiteral("Маршрутка 15");
    record.host = QStringLiteral("127.0.0.1");
    record.recorder.type = 1;
    record.recorder.port = 8000;
    record.recorder.login = QStringLiteral("admin");
    record.recorder.password = password;
    record.modem.statusPort = m_status.serverPort();
    KObjectHandler_HIKVISION object(record);
    QSignalSpy changes(&object, &KObjectHandler::connectionStateChanged);
    object.requireConnection(true);
    if (!changes.wait(20000))
        return -1;
    return object.connectionState();
}

QStringList tst_ActivationLimit::logLines() const
{
    QFile file(m_logPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const int start = line.indexOf(QLatin1String("): "));
        if (start > 0)
            lines << line.mid(start + 3);
    }
    return lines;
}

void tst_ActivationLimit::recorderStuckInactiveIsGivenUp()
{
    resetCalls(1000);
    QCOMPARE(runLogin(QStringLiteral("demo12345")), 3);
    const int activations = KConnectionWorker_HIKVISION::maximumActivations;
    QCOMPARE(activateCalls, activations);
    QCOMPARE(loginCalls, activations + 1);

    QStringList expected;
    for (int i = 0; i < activations; ++i)
        expected << QStringLiteral("Соединение с ВР - активация пройдена");
    expected << QStringLiteral("Соединение с ВР - ошибка активации! [250]")
             << QStringLiteral("Соединение с ВР - ошибка авторизации пользователя! [250]");
    QCOMPARE(logLines(), expected);
}

void tst_ActivationLimit::activationPassword_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("short") << "demo12345" << QByteArray("demo12345");
    QTest::newRow("exactly 16") << "abcdefgh12345678" << QByteArray("abcdefgh12345678");
    QTest::newRow("longer than 16") << "abcdefgh12345678XYZW" << QByteArray("abcdefgh12345678");
    QTest::newRow("non-ASCII") << QStringLiteral("пароль12") << QStringLiteral("пароль12").toUtf8();
}

void tst_ActivationLimit::activationPassword()
{
    QFETCH(QString, password);
    QFETCH(QByteArray, sent);
    resetCalls(1);
    runLogin(password);
    QCOMPARE(activateCalls, 1);
    QCOMPARE(loginCalls, 2);
    // The login itself always sends the whole password.
    QCOMPARE(lastLoginPassword, password.toUtf8());

    VSDK_ACTIVATION activation;
    QCOMPARE(lastActivation.size(), int(sizeof(activation)));
    std::memcpy(&activation, lastActivation.constData(), sizeof(activation));
    QCOMPARE(activation.size, 128u);
    QByteArray expectedField = sent;
    expectedField.append(QByteArray(16 - sent.size(), '\0'));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(activation.password), 16), expectedField);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(activation.reserved), 108),
             QByteArray(108, '\0'));

    const QStringList lines = logLines();
    QVERIFY(lines.size() >= 2);
    QCOMPARE(lines.at(0), QStringLiteral("Соединение с ВР - активация пройдена"));
    QCOMPARE(lines.at(1), QStringLiteral("Соединение с ВР установлено (ID пользователя ВР: 5)"));
}

QTEST_GUILESS_MAIN(tst_ActivationLimit)
#include "tst_activationlimit.moc"
