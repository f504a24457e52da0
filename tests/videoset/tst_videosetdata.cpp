#include "KVideoSetData.h"

#include <QtTest>

namespace {

void write(const QString &path, const QByteArray &data = "x")
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

// Channels ("name number title"), markers ("time text") and the comment, for comparisons.
QStringList describe(const KVideoSetData &set)
{
    QStringList lines;
    for (const KChannelData &c : set.channels)
        lines << QStringLiteral("%1 %2 %3").arg(c.name).arg(c.channelNumber).arg(c.title);
    for (const KVideoMarkerData &m : set.markers)
        lines << m.time.toString("hh:mm:ss ") + m.text;
    if (!set.comment.isEmpty())
        lines << set.comment;
    return lines;
}

void addChannel(KVideoSetData &set, const QString &name, int number, const QString &title)
{
    KChannelData &c = set.channels[name];
    c.name = name;
    c.channelNumber = number;
    c.title = title;
}

// A set with two channels and two markers for folder.
KVideoSetData sampleSet(const QString &folder, const QString &comment)
{
    KVideoSetData set(folder);
    addChannel(set, "ACAM01", 1, "Дорога");
    addChannel(set, "DCAM02", 34, "Салон <зад> & \"двери\"");
    for (const QTime &time : {QTime(8, 15, 30), QTime(23, 59, 59)}) {
        set.markers << KVideoMarkerData();
        set.markers.last().time = time;
        set.markers.last().text = set.markers.size() == 1 ? "Остановка" : "";
    }
    set.comment = comment;
    return set;
}

} // namespace

class tst_VideoSetData : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir.reset(new QTemporaryDir); }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("comment");
        QTest::newRow("no comment") << QString();
        QTest::newRow("comment") << "Проверка <&> \"кавычки\"\nвторая строка";
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
        QCOMPARE(describe(read), describe(written));
        // The format other installations read.
        const QByteArray xml = readAll(folder + "/user_data.xml");
        QVERIFY2(xml.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") &&
                     xml.contains("<channel index=\"34\">") &&
                     xml.contains("<marker time=\"08:15:30\">") &&
                     xml.contains("<comment") == !comment.isEmpty(),
                 xml.constData());
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
        QTest::newRow("no such day or hour")
            << "2019.13.14_08.00.00-25.30.00" << QDateTime() << QDateTime();
        QTest::newRow("begin only")
            << "2019.03.14_08.00.00" << QDateTime(day, QTime(8, 0)) << QDateTime(day, QTime(8, 0));
    }

    void fromFolder()
    {
        QFETCH(QString, name);
        QFETCH(QDateTime, begin);
        QFETCH(QDateTime, end);
        const QString folder = m_dir->filePath("Автобус \"101\"/" + name);
        QVERIFY(QDir().mkpath(folder));
        for (const char *file :
             {"ACAM01.mp4", "DCAM01.mp4", "CAM07.mp4", "CAM08.MP4", "ACAM01_PART001.ts",
              "ACAM02_PART001_TEMP.mp4", "video.mp4", "ACAM03.avi", "acam04.mp4"})
            write(folder + '/' + file);
        KVideoSetData set = KVideoSetData::fromFolder(folder);
        QVERIFY(set.valid);
        QCOMPARE(set.objectName, QStringLiteral("Автобус \"101\""));
        QCOMPARE(set.beginDateTime, begin);
        QCOMPARE(set.endDateTime, end);
        QCOMPARE(describe(set), QStringList({"ACAM01 0 ", "CAM07 1 ", "CAM08 2 ", "DCAM01 3 "}));
        QCOMPARE(set.channels["DCAM01"].file.fileName(), QStringLiteral("DCAM01.mp4"));

        // With a data file: its number and title win; a channel without a file is dropped.
        KVideoSetData data(folder);
        addChannel(data, "DCAM01", 33, "Салон IP");
        addChannel(data, "ACAM02", 2, "Без файла");
        QVERIFY(data.writeDataFile());
        QCOMPARE(describe(KVideoSetData::fromFolder(folder)),
                 QStringList({"ACAM01 0 ", "CAM07 1 ", "CAM08 2 ", "DCAM01 33 Салон IP"}));
    }

    // Every prefix of a data file (a crash or a full disk while writing) and a few broken
    // documents are read up to the damage, never beyond, and never crash.
    void damagedDataFiles()
    {
        const QString folder = m_dir->filePath("set");
        QVERIFY(QDir().mkpath(folder));
        const KVideoSetData full = sampleSet(folder, "Комментарий");
        QVERIFY(full.writeDataFile());
        const QString file = folder + "/user_data.xml";
        const QByteArray whole = readAll(file);
        int channelsSeen = 0;
        for (int length = 0; length <= whole.size(); ++length) {
            write(file, whole.left(length));
            const KVideoSetData read(folder);
            QVERIFY(read.valid && read.channels.size() >= channelsSeen);
            channelsSeen = read.channels.size();
            for (const KChannelData &c : read.channels)
                QCOMPARE(c.channelNumber, full.channels.value(c.name).channelNumber);
            QVERIFY(read.markers.size() <= full.markers.size());
            for (int i = 0; i < read.markers.size(); ++i)
                QCOMPARE(read.markers[i].time, full.markers[i].time);
        }
        QCOMPARE(channelsSeen, 2);

        const QList<QByteArray> broken = {
            QByteArray("\x00\xff\xfe garbage", 12),
            "<user_data><channels><channel index=\"1\"><system_name>ACAM01</system_name>"
            "</channel></channels><comment>a</b></comment></user_data>",
        };
        for (const QByteArray &data : broken) {
            write(file, data);
            const KVideoSetData read(folder);
            QVERIFY(read.valid && (read.comment.isEmpty() || read.comment == "a"));
        }
        // Unknown attributes and elements are ignored, bad values read as 0 and a null time
        // (described without a time).
        write(file, "<other><channels><channel index=\"x7\" extra=\"1\"><system_name>ACAM05"
                    "</system_name><unknown>1</unknown></channel></channels><markers><marker "
                    "time=\"8:5\"><text>T</text></marker></markers></other>");
        QCOMPARE(describe(KVideoSetData(folder)), QStringList({"ACAM05 0 ", "T"}));
    }

    void objectFolderNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder");
        QTest::newRow("quotes, dots")
            << "«Маршрутка» \"15\" v1.2..3" << QString("«Маршрутка» \"15\" v1.2..3");
        QTest::newRow("slashes") << "A/B\\C" << QString("A_B_C");
        QTest::newRow("parent") << ".." << QString("__");
        QTest::newRow("climb") << "../../etc" << QString(".._.._etc");
        QTest::newRow("empty") << "" << QString("_");
    }

    void objectFolderNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, folder);
        QCOMPARE(KVideoSetData::objectFolderName(name), folder);
    }

    // The data file is replaced whole (no temporary file left) or not at all; failures are
    // reported.
    void writeReplacesWholeOrReports()
    {
        const QString folder = m_dir->filePath("set");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(sampleSet(folder, QString(1000, QChar(0x0416))).writeDataFile());
        KVideoSetData shorter;
        shorter.path = folder;
        QVERIFY(shorter.writeDataFile());
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"user_data.xml"});
        QCOMPARE(describe(KVideoSetData(folder)), QStringList());

        KVideoSetData noPath;
        QTest::ignoreMessage(QtDebugMsg, "writeDataFile() invalid path!");
        QVERIFY(!noPath.writeDataFile());
        QVERIFY(!KVideoSetData(m_dir->filePath("missing")).writeDataFile());
        QVERIFY(QDir().mkpath(m_dir->filePath("blocked/user_data.xml")));
        QVERIFY(!KVideoSetData(m_dir->filePath("blocked")).writeDataFile());
    }

    // Texts XML cannot hold (a pasted vertical tab, other control characters) are stored with
    // a space in their place instead of making the file unwritable.
    void controlCharactersStored()
    {
        const QString folder = m_dir->filePath("set");
        QVERIFY(QDir().mkpath(folder));
        KVideoSetData set = sampleSet(folder, QStringLiteral("до\vпосле\x01"));
        set.markers.first().text = QStringLiteral("метка\x1b");
        QVERIFY(set.writeDataFile());
        const KVideoSetData read(folder);
        QCOMPARE(read.comment, QStringLiteral("до после "));
        QCOMPARE(read.markers.first().text, QStringLiteral("метка "));
        QCOMPARE(KVideoSetData::storableText(QStringLiteral("a\tb\nc\r😀\xfffe")),
                 QStringLiteral("a\tb\nc\r😀 "));
    }

    // A data file above the limit is not read (channels come from the files) and is never
    // replaced by what such a record holds.
    void oversizedDataFileLeftAlone()
    {
        const QString folder = m_dir->filePath("Автобус/2019.03.14_08.00.00-09.30.00");
        QVERIFY(QDir().mkpath(folder));
        write(folder + "/ACAM01.mp4");
        QByteArray xml = "<user_data><markers>";
        while (xml.size() <= KVideoSetData::maxDataFileSize)
            xml += "<marker time=\"08:15:30\"><text>Остановка</text></marker>\n";
        xml += "</markers><comment>большой</comment></user_data>";
        write(folder + "/user_data.xml", xml);
        KVideoSetData set = KVideoSetData::fromFolder(folder);
        QVERIFY(set.valid && set.dataFileTooLarge && set.markers.isEmpty());
        QCOMPARE(describe(set), QStringList{"ACAM01 0 "});
        set.comment = "новый";
        QVERIFY(!set.writeDataFile());
        QCOMPARE(readAll(folder + "/user_data.xml"), xml);
    }

    // Sets of every object folder, in name order.
    void scanStore()
    {
        for (const char *set :
             {"Автобус 101/2019.03.14_08.00.00-08.10.00",
              "Автобус 101/2019.03.14_09.00.00-09.10.00", "Трамвай 7/2019.03.15_10.00.00-10.05.00",
              ".._Автобус_7/2019.03.16_10.00.00-10.05.00"})
            QVERIFY(QDir().mkpath(m_dir->filePath(set)));
        write(m_dir->filePath("stray.txt"));
        QStringList found;
        for (const KVideoSetData &set : KVideoSetData::scanStore(m_dir->path()))
            found << set.objectName + set.beginDateTime.toString(" hh:mm");
        QCOMPARE(found, QStringList({".._Автобус_7 10:00", "Автобус 101 08:00", "Автобус 101 09:00",
                                     "Трамвай 7 10:00"}));
    }

private:
    static QByteArray readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(tst_VideoSetData)
#include "tst_videosetdata.moc"
