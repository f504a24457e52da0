#include "KVideoSetData.h"

#include <QtTest>

namespace {

KChannelData channel(const QString &name, int number, const QString &title)
{
    KChannelData c;
    c.name = name;
    c.channelNumber = number;
    c.title = title;
    return c;
}

KVideoMarkerData marker(const QTime &time, const QString &text)
{
    KVideoMarkerData m;
    m.time = time;
    m.text = text;
    return m;
}

void touch(const QString &path, const QByteArray &data = QByteArray("x"))
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A set with two channels and two markers, written into folder.
KVideoSetData sampleSet(const QString &folder, const QString &comment)
{
    KVideoSetData set(folder);
    set.channels.insert("ACAM01", channel("ACAM01", 1, "Дорога"));
    set.channels.insert("DCAM02", channel("DCAM02", 34, "Салон <зад> & \"двери\""));
    set.markers << marker(QTime(8, 15, 30), "Остановка") << marker(QTime(23, 59, 59), "");
    set.comment = comment;
    return set;
}

} // namespace

class tst_VideoSetData : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("comment");
        QTest::newRow("no comment") << QString();
        QTest::newRow("comment") << QStringLiteral("Проверка <&> \"кавычки\"\nвторая строка");
    }

    void roundTrip()
    {
        QFETCH(QString, comment);
        const QString folder = m_dir->filePath("2019.03.14_08.00.00-09.30.00");
        QVERIFY(QDir().mkpath(folder));
        const KVideoSetData written = sampleSet(folder, comment);
        QVERIFY(written.writeDataFile());

        const KVideoSetData read(folder);
        QVERIFY(read.valid);
        QCOMPARE(read.channels.keys(), written.channels.keys());
        for (const KChannelData &c : written.channels) {
            const KChannelData r = read.channels.value(c.name);
            QCOMPARE(r.channelNumber, c.channelNumber);
            QCOMPARE(r.title, c.title);
            QCOMPARE(r.reported, 1);
            QCOMPARE(r.available, 1);
        }
        QCOMPARE(read.markers.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(read.markers[i].time, written.markers[i].time);
            QCOMPARE(read.markers[i].text, written.markers[i].text);
        }
        QCOMPARE(read.comment, comment);
        const QByteArray xml = readAll(QDir(folder).filePath("user_data.xml"));
        QCOMPARE(xml.contains("<comment"), !comment.isEmpty());
        QVERIFY(xml.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
        QVERIFY(xml.contains("<channel index=\"34\">"));
        QVERIFY(xml.contains("<marker time=\"08:15:30\">"));
    }

    // Interval from the folder name; channels from the MP4 files, numbered and titled from the
    // data file where it names them.
    void fromFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QDateTime>("begin");
        QTest::addColumn<QDateTime>("end");
        const QDate day(2019, 3, 14);
        QTest::newRow("day") << "2019.03.14_08.00.00-09.30.00" << QDateTime(day, QTime(8, 0))
                             << QDateTime(day, QTime(9, 30));
        QTest::newRow("past midnight")
            << "2019.03.14_23.30.00-00.30.00" << QDateTime(day, QTime(23, 30))
            << QDateTime(day, QTime(0, 30));
        QTest::newRow("other name") << "Копия набора" << QDateTime() << QDateTime();
    }

    void fromFolder()
    {
        QFETCH(QString, name);
        QFETCH(QDateTime, begin);
        QFETCH(QDateTime, end);
        const QString folder = m_dir->filePath("Автобус \"101\"/" + name);
        QVERIFY(QDir().mkpath(folder));
        for (const char *file : {"ACAM01.mp4", "DCAM01.mp4", "CAM07.mp4", "ACAM01_PART001.ts",
                                 "video.mp4", "ACAM03.avi"})
            touch(QDir(folder).filePath(file));

        KVideoSetData set = KVideoSetData::fromFolder(folder);
        QVERIFY(set.valid);
        QCOMPARE(set.objectName, QStringLiteral("Автобус \"101\""));
        QCOMPARE(set.beginDateTime.isValid(), begin.isValid());
        QCOMPARE(set.beginDateTime, begin);
        QCOMPARE(set.endDateTime, end);
        QCOMPARE(set.channels.keys(), (QStringList{"ACAM01", "CAM07", "DCAM01"}));
        QCOMPARE(set.channels["ACAM01"].channelNumber, 0);
        QCOMPARE(set.channels["CAM07"].channelNumber, 1);
        QCOMPARE(set.channels["DCAM01"].channelNumber, 2);
        QCOMPARE(set.channels["DCAM01"].file.fileName(), QStringLiteral("DCAM01.mp4"));

        // With a data file: its number and title win; a channel without a file is dropped.
        KVideoSetData data(folder);
        data.channels.insert("DCAM01", channel("DCAM01", 33, "Салон IP"));
        data.channels.insert("ACAM02", channel("ACAM02", 2, "Без файла"));
        QVERIFY(data.writeDataFile());
        set = KVideoSetData::fromFolder(folder);
        QCOMPARE(set.channels.keys(), (QStringList{"ACAM01", "CAM07", "DCAM01"}));
        QCOMPARE(set.channels["DCAM01"].channelNumber, 33);
        QCOMPARE(set.channels["DCAM01"].title, QStringLiteral("Салон IP"));
        QCOMPARE(set.channels["CAM07"].channelNumber, 1);
    }

    // Every prefix of a data file (a crash or a full disk while writing) and a few broken
    // documents are read up to the damage, never beyond, and never crash.
    void damagedDataFiles()
    {
        const QString folder = m_dir->filePath("set");
        QVERIFY(QDir().mkpath(folder));
        const KVideoSetData full = sampleSet(folder, QStringLiteral("Комментарий"));
        QVERIFY(full.writeDataFile());
        const QString file = QDir(folder).filePath("user_data.xml");
        const QByteArray whole = readAll(file);
        int channelsSeen = 0;
        for (int length = 0; length <= whole.size(); ++length) {
            touch(file, whole.left(length));
            const KVideoSetData read(folder);
            QVERIFY(read.valid);
            QVERIFY(read.channels.size() >= channelsSeen);
            channelsSeen = read.channels.size();
            for (const KChannelData &c : read.channels) {
                QVERIFY2(full.channels.contains(c.name), qPrintable(c.name));
                QCOMPARE(c.channelNumber, full.channels[c.name].channelNumber);
            }
            QVERIFY(read.markers.size() <= full.markers.size());
            for (int i = 0; i < read.markers.size(); ++i)
                QCOMPARE(read.markers[i].time, full.markers[i].time);
        }
        QCOMPARE(channelsSeen, 2);

        const QList<QByteArray> broken = {
            QByteArray("\x00\xff\xfe garbage", 12),
            "<other><channels><channel index=\"x7\" extra=\"1\"><system_name>ACAM05</system_name>"
            "<unknown>1</unknown></channel></channels><markers><marker time=\"8:5\"><text>T"
            "</text></marker></markers></other>",
            "<user_data><channels><channel index=\"1\"><system_name>ACAM01</system_name>"
            "</channel></channels><comment>a</b></comment></user_data>",
        };
        for (const QByteArray &data : broken) {
            touch(file, data);
            const KVideoSetData read(folder);
            QVERIFY(read.valid);
            QVERIFY(read.comment.isEmpty() || read.comment == "a");
        }
        // The second document: unknown attributes and elements ignored, bad values read as 0
        // and a null time.
        touch(file, broken[1]);
        const KVideoSetData odd(folder);
        QCOMPARE(odd.channels.keys(), QStringList{"ACAM05"});
        QCOMPARE(odd.channels["ACAM05"].channelNumber, 0);
        QCOMPARE(odd.markers.size(), 1);
        QVERIFY(odd.markers[0].time.isNull());
        QCOMPARE(odd.markers[0].text, QStringLiteral("T"));
    }

    void objectFolderNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder");
        QTest::newRow("cyrillic, spaces") << "Автобус 101"
                                          << "Автобус 101";
        QTest::newRow("quotes, dots") << "«Маршрутка» \"15\" v1.2..3"
                                      << "«Маршрутка» \"15\" v1.2..3";
        QTest::newRow("slash") << "A/B"
                               << "A_B";
        QTest::newRow("backslash") << "A\\B"
                                   << "A_B";
        QTest::newRow("parent") << ".."
                                << "__";
        QTest::newRow("self") << "."
                              << "_";
        QTest::newRow("climb") << "../../etc"
                               << ".._.._etc";
        QTest::newRow("empty") << ""
                               << "_";
    }

    void objectFolderNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, folder);
        QCOMPARE(KVideoSetData::objectFolderName(name), folder);
    }

    // The data file is replaced whole or not at all; failures are reported.
    void writeReplacesWholeOrReports()
    {
        const QString folder = m_dir->filePath("set");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(sampleSet(folder, QString(1000, QChar(0x0416))).writeDataFile());
        KVideoSetData shorter(folder);
        shorter.channels.clear();
        shorter.markers.clear();
        shorter.comment.clear();
        QVERIFY(shorter.writeDataFile());
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"user_data.xml"});
        const KVideoSetData read(folder);
        QVERIFY(read.channels.isEmpty() && read.markers.isEmpty() && read.comment.isEmpty());

        KVideoSetData noPath;
        QTest::ignoreMessage(QtDebugMsg, "writeDataFile() invalid path!");
        QVERIFY(!noPath.writeDataFile());
        QVERIFY(!KVideoSetData(m_dir->filePath("missing")).writeDataFile());
        const QString blocked = m_dir->filePath("blocked");
        QVERIFY(QDir().mkpath(blocked + "/user_data.xml"));
        QVERIFY(!KVideoSetData(blocked).writeDataFile());
    }

    void scanStore()
    {
        for (const char *set :
             {"Автобус 101/2019.03.14_08.00.00-08.10.00", "Автобус 101/2019.03.14_09.00.00-09.10.00",
              "Трамвай 7/2019.03.15_10.00.00-10.05.00", ".._Автобус_7/2019.03.16_10.00.00-10.05.00"})
            QVERIFY(QDir().mkpath(m_dir->filePath(set)));
        touch(m_dir->filePath("stray.txt"));
        const QList<KVideoSetData> sets = KVideoSetData::scanStore(m_dir->path());
        QCOMPARE(sets.size(), 4);
        QCOMPARE(sets[0].objectName, QStringLiteral(".._Автобус_7"));
        QCOMPARE(sets[1].objectName, QStringLiteral("Автобус 101"));
        QCOMPARE(sets[2].beginDateTime.time(), QTime(9, 0));
        QCOMPARE(sets[3].objectName, QStringLiteral("Трамвай 7"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(tst_VideoSetData)
#include "tst_videosetdata.moc"
