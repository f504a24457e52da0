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
        object.name = QStringLiteral("Автобус 101");
        object.recorder.channels[QStringLiteral("ACAM03")].title = QStringLiteral("Салон");
        object.connection.checkTime = QDateTime(QDate(2024, 3, 1), QTime(10, 20, 30));
        QList<bool> minutes;
        for (int i = 0; i < 1440; ++i)
            minutes.append(i % 3 == 0);
        emit objectReady(object, object.recorder.channels.values(), minutes,
                         QThread::currentThread());
    }

signals:
    void objectReady(KObjectData object, QList<KChannelData> channels, QList<bool> minutes,
                     QThread *senderThread);
};

class tst_Records : public QObject
{
    Q_OBJECT

private slots:
    void registersUnderClassName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Construct>("construct");
        // Listed so that no row's record is built by an earlier row.
        QTest::newRow("alarm") << "KAlarmData" << Construct([] { KAlarmData(); });
        QTest::newRow("task") << "KAutodownloadTaskData"
                              << Construct([] { KAutodownloadTaskData(); });
        QTest::newRow("user") << "KUserData" << Construct([] { KUserData(); });
        QTest::newRow("tracker") << "KGeoTrackerData" << Construct([] { KGeoTrackerData(); });
        QTest::newRow("channel") << "QList<KChannelData>" << Construct([] { KChannelData(); });
        QTest::newRow("object") << "KObjectData" << Construct([] { KObjectData(); });
    }

    void registersUnderClassName()
    {
        QFETCH(QString, name);
        QFETCH(Construct, construct);
        const QByteArray typeName = name.toLatin1();
        QCOMPARE(QMetaType::type(typeName), int(QMetaType::UnknownType));
        construct();
        QCOMPARE(QByteArray(QMetaType::typeName(QMetaType::type(typeName))), typeName);
    }

    void travelsThroughQueuedSignalAcrossThreads()
    {
        KMetaTypes::registerAll();
        QThread thread;
        RecordSender sender;
        sender.moveToThread(&thread);
        thread.start();

        KObjectData object;
        QList<KChannelData> channels;
        QList<bool> minutes;
        QThread *from = nullptr;
        QThread *to = nullptr;
        connect(
            &sender, &RecordSender::objectReady, this,
            [&](KObjectData o, QList<KChannelData> c, QList<bool> m, QThread *sentFrom) {
                object = o, channels = c, minutes = m, from = sentFrom;
                to = QThread::currentThread();
            },
            Qt::QueuedConnection);
        QMetaObject::invokeMethod(&sender, &RecordSender::send, Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(to != nullptr, 10000);
        thread.quit();
        QVERIFY(thread.wait(10000));

        QCOMPARE(from, &thread);
        QCOMPARE(to, QThread::currentThread());
        QCOMPARE(object.recorder.channels.value(QStringLiteral("ACAM03")).title,
                 QStringLiteral("Салон"));
        QCOMPARE(object.connection.checkTime, QDateTime(QDate(2024, 3, 1), QTime(10, 20, 30)));
        QCOMPARE(channels.size(), 64);
        QCOMPARE(minutes.count(true), 480);
    }
};

QTEST_GUILESS_MAIN(tst_Records)
#include "tst_records.moc"
