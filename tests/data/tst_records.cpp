#include "KAlarmData.h"
#include "KAutodownloadTaskData.h"
#include "KMetaTypes.h"
#include "KObjectData.h"
#include "KUserData.h"

#include <QThread>
#include <QtTest>

#include <functional>

using Construct = std::function<void()>;
Q_DECLARE_METATYPE(Construct)

// Emits records from whatever thread it lives in.
class RecordSender : public QObject
{
    Q_OBJECT

public:
    void send()
    {
        KObjectData object;
        object.id = 17;
        object.name = QStringLiteral("Автобус 101");
        object.host = QStringLiteral("127.0.0.2");
        object.recorder.type = 1;
        object.recorder.channels[QStringLiteral("ACAM03")].title = QStringLiteral("Салон");
        object.connection.checkTime = QDateTime(QDate(2024, 3, 1), QTime(10, 20, 30));
        QList<KChannelData> channels = object.recorder.channels.values();
        QList<bool> minutes;
        for (int i = 0; i < 1440; ++i)
            minutes.append(i % 3 == 0);
        emit objectReady(object, channels, minutes, QThread::currentThread());
    }

signals:
    void objectReady(KObjectData object, QList<KChannelData> channels, QList<bool> minutes,
                     QThread *senderThread);
};

class tst_Records : public QObject
{
    Q_OBJECT

private slots:
    void registersUnderClassName_data();
    void registersUnderClassName();
    void travelsThroughQueuedSignalAcrossThreads();
};

void tst_Records::registersUnderClassName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Construct>("construct");
    // Listed so that no row's record is built by an earlier row.
    QTest::newRow("alarm") << "KAlarmData" << Construct([] { KAlarmData(); });
    QTest::newRow("task") << "KAutodownloadTaskData" << Construct([] { KAutodownloadTaskData(); });
    QTest::newRow("connection") << "KConnectionData" << Construct([] { KConnectionData(); });
    QTest::newRow("group") << "KGroupData" << Construct([] { KGroupData(); });
    QTest::newRow("user") << "KUserData" << Construct([] { KUserData(); });
    QTest::newRow("diagnostics") << "KComponentDiagnosticsData"
                                 << Construct([] { KComponentDiagnosticsData(); });
    QTest::newRow("modem") << "KModemData" << Construct([] { KModemData(); });
    QTest::newRow("position") << "KGeoPositionData" << Construct([] { KGeoPositionData(); });
    QTest::newRow("tracker") << "KGeoTrackerData" << Construct([] { KGeoTrackerData(); });
    QTest::newRow("counter") << "KPasCountSettingsData"
                             << Construct([] { KPasCountSettingsData(); });
    QTest::newRow("channel") << "KChannelData" << Construct([] { KChannelData(); });
    QTest::newRow("recorder") << "KRecorderData" << Construct([] { KRecorderData(); });
    QTest::newRow("object") << "KObjectData" << Construct([] { KObjectData(); });
}

void tst_Records::registersUnderClassName()
{
    QFETCH(QString, name);
    QFETCH(Construct, construct);
    const QByteArray typeName = name.toLatin1();
    QCOMPARE(QMetaType::type(typeName.constData()), int(QMetaType::UnknownType));
    construct();
    const int id = QMetaType::type(typeName.constData());
    QVERIFY(id != QMetaType::UnknownType);
    QCOMPARE(QByteArray(QMetaType::typeName(id)), typeName);

    if (name == QLatin1String("KChannelData"))
        QVERIFY(QMetaType::type("QList<KChannelData>") != QMetaType::UnknownType);
}

void tst_Records::travelsThroughQueuedSignalAcrossThreads()
{
    KMetaTypes::registerAll();
    QVERIFY(QMetaType::type("QList<bool>") != QMetaType::UnknownType);

    QThread thread;
    RecordSender sender;
    sender.moveToThread(&thread);
    thread.start();

    bool received = false;
    KObjectData receivedObject;
    QList<KChannelData> receivedChannels;
    QList<bool> receivedMinutes;
    QThread *receivingThread = nullptr;
    QThread *sendingThread = nullptr;
    connect(
        &sender, &RecordSender::objectReady, this,
        [&](KObjectData object, QList<KChannelData> channels, QList<bool> minutes, QThread *from) {
            received = true;
            receivedObject = object;
            receivedChannels = channels;
            receivedMinutes = minutes;
            receivingThread = QThread::currentThread();
            sendingThread = from;
        },
        Qt::QueuedConnection);
    QMetaObject::invokeMethod(&sender, &RecordSender::send, Qt::QueuedConnection);

    QTRY_VERIFY_WITH_TIMEOUT(received, 10000);
    thread.quit();
    QVERIFY(thread.wait(10000));

    QCOMPARE(sendingThread, &thread);
    QCOMPARE(receivingThread, QThread::currentThread());
    QCOMPARE(receivedObject.name, QStringLiteral("Автобус 101"));
    QCOMPARE(receivedObject.recorder.channels.size(), 64);
    QCOMPARE(receivedObject.recorder.channels.value(QStringLiteral("ACAM03")).title,
             QStringLiteral("Салон"));
    QCOMPARE(receivedObject.connection.checkTime, QDateTime(QDate(2024, 3, 1), QTime(10, 20, 30)));
    QCOMPARE(receivedChannels.size(), 64);
    QCOMPARE(receivedMinutes.size(), 1440);
    QCOMPARE(receivedMinutes.count(true), 480);
}

QTEST_GUILESS_MAIN(tst_Records)
#include "tst_records.moc"
