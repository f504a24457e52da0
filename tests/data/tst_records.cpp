#include "KAlarmData.h"
#include "KAutodownloadTaskData.h"
#include "KObjectData.h"
#include "KUserData.h"

#include <QtTest>

#include <functional>

using Construct = std::function<void()>;
Q_DECLARE_METATYPE(Construct)

class tst_Records : public QObject
{
    Q_OBJECT

private slots:
    // Queued signals between the pools and the windows find the records by these names.
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
};

QTEST_GUILESS_MAIN(tst_Records)
#include "tst_records.moc"
