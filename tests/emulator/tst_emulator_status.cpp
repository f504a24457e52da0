#include "KEmuTestProcess.h"

#include <QtTest>

// The vehicle status service: modem and tracker frames with their checksums.
class tst_emulator_status : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void answers_data();
    void answers();
    void controlChangesValues();
    void badFramesAreSkipped();
    void noStatusPort();

private:
    static char xorOf(const QByteArray &bytes);
    KEmuTestProcess m_emu;
    QString m_host;
    quint16 m_port = 0;
    quint16 m_statusPort = 0;
};

char tst_emulator_status::xorOf(const QByteArray &bytes)
{
    char x = 0;
    for (char b : bytes)
        x ^= b;
    return x;
}

void tst_emulator_status::initTestCase()
{
    m_host = KEmuTestProcess::freeHost();
    m_port = KEmuTestProcess::freePort(m_host);
    m_statusPort = KEmuTestProcess::freePort(m_host);
    QVERIFY(m_port && m_statusPort && m_port != m_statusPort);
    QVERIFY2(m_emu.start({QStringLiteral("--host"), m_host, QStringLiteral("--port"),
                          QString::number(m_port), QStringLiteral("--status-port"),
                          QString::number(m_statusPort), QStringLiteral("--signal"),
                          QStringLiteral("50"), QStringLiteral("--network"), QStringLiteral("2"),
                          QStringLiteral("--tracker-error"), QStringLiteral("5")}),
             qPrintable(m_emu.log()));
}

void tst_emulator_status::cleanupTestCase()
{
    m_emu.stop();
}

void tst_emulator_status::answers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("third");  // byte 2: unused (modem), error code (tracker)
    QTest::addColumn<int>("signal"); // byte 3 of the modem answer
    QTest::addColumn<int>("network");
    QTest::newRow("modem") << QByteArray("\x10\x03\x13", 3) << 3 << 0 << 50 << 2;
    QTest::newRow("tracker") << QByteArray("\x10\x02\x12", 3) << 2 << 5 << -1 << -1;
}

void tst_emulator_status::answers()
{
    QFETCH(QByteArray, request);
    QFETCH(int, kind);
    QFETCH(int, third);
    QFETCH(int, signal);
    QFETCH(int, network);
    const QByteArray a = KEmuTestProcess::statusExchange(m_host, m_statusPort, request);
    QVERIFY2(a.size() >= (kind == 3 ? 5 : 3), a.toHex().constData());
    QCOMPARE(int(a[0]), 1);
    QCOMPARE(int(a[1]), kind);
    QCOMPARE(int(quint8(a[2])), third);
    QCOMPARE(a[a.size() - 1], xorOf(a.left(a.size() - 1)));
    if (signal >= 0) {
        QCOMPARE(int(quint8(a[3])), signal);
        QCOMPARE(int(quint8(a[4])), network);
    }
}

void tst_emulator_status::controlChangesValues()
{
    QCOMPARE(m_emu.control(QStringLiteral("set-signal %1 99").arg(m_host)).last(),
             QStringLiteral("ok"));
    QCOMPARE(m_emu.control(QStringLiteral("set-network %1 7").arg(m_host)).last(),
             QStringLiteral("ok"));
    QCOMPARE(m_emu.control(QStringLiteral("set-tracker-error %1 0").arg(m_host)).last(),
             QStringLiteral("ok"));
    const QByteArray modem =
        KEmuTestProcess::statusExchange(m_host, m_statusPort, QByteArray("\x10\x03\x13", 3));
    QVERIFY(modem.size() >= 5);
    QCOMPARE(int(quint8(modem[3])), 99);
    QCOMPARE(int(quint8(modem[4])), 7);
    QCOMPARE(modem[modem.size() - 1], xorOf(modem.left(modem.size() - 1)));
    const QByteArray tracker =
        KEmuTestProcess::statusExchange(m_host, m_statusPort, QByteArray("\x10\x02\x12", 3));
    QVERIFY(tracker.size() >= 3);
    QCOMPARE(int(tracker[2]), 0);
    QCOMPARE(tracker[tracker.size() - 1], xorOf(tracker.left(tracker.size() - 1)));
    QVERIFY(m_emu.control(QStringLiteral("set-signal 127.0.0.1 5")).last().startsWith("error"));
}

void tst_emulator_status::badFramesAreSkipped()
{
    // A wrong checksum and an unknown command get no answer; the valid frame after them does.
    QByteArray junk("\x10\x03\x14", 3);
    junk += QByteArray("\x10\x07\x17", 3);
    QCOMPARE(KEmuTestProcess::statusExchange(m_host, m_statusPort, junk, 700), QByteArray());
    const QByteArray a = KEmuTestProcess::statusExchange(m_host, m_statusPort,
                                                         QByteArray("\x10\x05\x10\x03\x13", 5));
    QVERIFY(a.size() >= 5);
    QCOMPARE(int(a[1]), 3);
}

void tst_emulator_status::noStatusPort()
{
    KEmuTestProcess emu;
    const QString host = KEmuTestProcess::freeHost();
    const quint16 port = KEmuTestProcess::freePort(host);
    const quint16 statusPort = KEmuTestProcess::freePort(host);
    QVERIFY(
        emu.start({QStringLiteral("--host"), host, QStringLiteral("--port"), QString::number(port),
                   QStringLiteral("--status-port"), QStringLiteral("0")}));
    QTcpSocket socket;
    socket.connectToHost(host, statusPort);
    QVERIFY(!socket.waitForConnected(1000));
    QTcpSocket recorder;
    recorder.connectToHost(host, port);
    QVERIFY(recorder.waitForConnected(2000));
}

QTEST_GUILESS_MAIN(tst_emulator_status)
#include "tst_emulator_status.moc"
