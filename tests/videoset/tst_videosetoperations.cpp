#include "KAppLogHandler.h"
#include "KMediaProbe.h"
#include "KVideoSetCopyHandler.h"
#include "KVideoSetCutHandler.h"
#include "KVideoSetDeleteHandler.h"
#include "KVideoSetTestSupport.h"

#include <QtTest>

using namespace KVideoSetTest;

namespace {

const QString kFolder = QStringLiteral("2019.03.14_08.00.00-08.00.04");

KVideoSetData movedTo(KVideoSetData set, const QString &path)
{
    set.path = path;
    return set;
}

} // namespace

class tst_VideoSetOperations : public QObject, public Fixture
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(makeClipOnce()); }

    void init() { QVERIFY(makeStore()); }

    // Files over the chunk size and the data file go along; progress ends at the total.
    void copy()
    {
        const KVideoSetData source = makeSet(kFolder, {"ACAM01", "DCAM02"}, "Комментарий",
                                             2 * KVideoSetCopyHandler::bufferSize + 4321);
        const KVideoSetData destination = movedTo(source, m_remote + "/Автобус/" + kFolder);
        KVideoSetCopyHandler handler({{source, destination}});
        QSignalSpy total(&handler, &KVideoSetFileOperationHandler::progressStagesCountChanged);
        QSignalSpy done(&handler, &KVideoSetFileOperationHandler::progressStageCompleted);
        QSignalSpy names(&handler, &KVideoSetFileOperationHandler::started);
        QCOMPARE(run(&handler), QStringLiteral("completed"));
        for (const char *name : {"ACAM01.mp4", "DCAM02.mp4", "user_data.xml"})
            QCOMPARE(readAll(destination.path + "/" + name), readAll(source.path + "/" + name));
        QCOMPARE(done.last().first().toLongLong(), total.first().first().toLongLong());
        QCOMPARE(names.first().first().toString(), "/" + kFolder + "/ACAM01.mp4");
    }

    // Stopped after the first chunk of the first file: that file is not there at all, not even
    // as a temporary file, and an older copy at the destination stays whole.
    void copyCancelledInTheMiddleOfAFile()
    {
        const KVideoSetData source =
            makeSet(kFolder, {"ACAM01"}, QString(), 3 * KVideoSetCopyHandler::bufferSize);
        const KVideoSetData destination = movedTo(source, m_remote + "/Автобус/" + kFolder);
        QVERIFY(QDir().mkpath(destination.path));
        QFile older(destination.path + "/ACAM01.mp4");
        QVERIFY(older.open(QIODevice::WriteOnly) && older.write("older copy") == 10);
        older.close();
        KVideoSetCopyHandler handler({{source, destination}});
        connect(&handler, &KVideoSetFileOperationHandler::progressStageCompleted, &handler,
                &KVideoSetFileOperationHandler::stop, Qt::DirectConnection);
        QCOMPARE(run(&handler), QStringLiteral("cancelled"));
        QCOMPARE(handler.bytesDone(), qint64(KVideoSetCopyHandler::bufferSize));
        QCOMPARE(QDir(destination.path).entryList(QDir::Files), QStringList{"ACAM01.mp4"});
        QCOMPARE(readAll(destination.path + "/ACAM01.mp4"), QByteArray("older copy"));
    }

    // A set copied onto itself (directly or through a link to its store), through a linked
    // object folder out of the store, or a set without files: refused before anything is
    // touched.
    void copyRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("same path") << "same";
        QTest::newRow("linked store") << "link";
        QTest::newRow("linked object folder at the destination") << "linked object";
        QTest::newRow("nothing to copy") << "empty";
    }

    void copyRefused()
    {
        QFETCH(QString, kind);
        const KVideoSetData source = kind == "empty"
                                         ? KVideoSetData(m_local + "/Автобус/" + kFolder)
                                         : makeSet(kFolder, {"ACAM01"}, "К");
        KVideoSetData destination = source;
        if (kind != "same")
            destination.path = m_remote + "/Автобус/" + kFolder;
        if (kind == "link")
            QVERIFY(QDir(m_remote).removeRecursively() && QFile::link(m_local, m_remote));
        QTemporaryDir outside;
        if (kind == "linked object")
            QVERIFY(QFile::link(outside.path(), m_remote + "/Автобус"));
        KVideoSetCopyHandler handler({{source, destination}});
        QSignalSpy done(&handler, &KVideoSetFileOperationHandler::progressStageCompleted);
        QCOMPARE(run(&handler), QStringLiteral("error"));
        QVERIFY(done.isEmpty());
        QVERIFY(QDir(outside.path()).isEmpty());
        if (kind == "empty") {
            QVERIFY(!QDir(destination.path).exists());
        } else {
            QCOMPARE(readAll(source.path + "/ACAM01.mp4"), readAll(m_clip));
            QCOMPARE(KVideoSetData::fromFolder(source.path).comment, QStringLiteral("К"));
        }
    }

    // Each set folder goes with its files; the object folder goes with its last set only.
    // (Counts above 2 GiB: tst_videosetwidgets, through the window's progress.)
    void deleteSets()
    {
        const KVideoSetData first = makeSet(kFolder, {"ACAM01"});
        const KVideoSetData second = makeSet("2019.03.14_09.00.00-09.00.04", {"ACAM01", "DCAM01"});
        KVideoSetDeleteHandler firstHandler({{first, first}});
        QSignalSpy count(&firstHandler, &KVideoSetFileOperationHandler::progressStagesCountChanged);
        QSignalSpy done(&firstHandler, &KVideoSetFileOperationHandler::progressStageCompleted);
        QCOMPARE(run(&firstHandler), QStringLiteral("completed"));
        QCOMPARE(done.last().first().toLongLong(), count.first().first().toLongLong());
        QVERIFY(!QDir(first.path).exists() && QDir(second.path).exists());

        KVideoSetDeleteHandler secondHandler({{second, second}});
        QCOMPARE(run(&secondHandler), QStringLiteral("completed"));
        QVERIFY(!QDir(m_local + "/Автобус").exists() && QDir(m_local).exists());
    }

    // A set folder with a set's leftovers goes whole; files of other kinds stay with their
    // folder; links go as links, and nothing is deleted through a linked object folder.
    void deleteWhatBelongs_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"leftovers", "empty channel file", "foreign file", "linked set",
                                 "linked file", "linked object"})
            QTest::newRow(kind) << kind;
    }

    void deleteWhatBelongs()
    {
        QFETCH(QString, kind);
        QTemporaryDir outside;
        const QString target = outside.filePath("Набор");
        QVERIFY(QDir().mkpath(target));
        QVERIFY(QFile::copy(m_clip, target + "/ACAM01.mp4"));
        KVideoSetData set = makeSet(kFolder, {"ACAM01"});
        const auto write = [&set](const QString &name, const QByteArray &data) {
            QFile file(set.path + '/' + name);
            return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
        };
        if (kind == "leftovers") {
            for (const char *name : {"ACAM01_PART001.ts", "ACAM01_PART002.ts.part",
                                     "ACAM01_Snapshot_08.00.01.jpg", "DCAM02_PART001_TEMP.mp4"})
                QVERIFY(write(name, "x"));
        } else if (kind == "empty channel file") {
            QVERIFY(QFile::resize(set.path + "/ACAM01.mp4", 0) &&
                    QFile::remove(set.path + "/user_data.xml"));
        } else if (kind == "foreign file") {
            QVERIFY(write("notes.txt", "мои заметки"));
        } else if (kind == "linked set") {
            QVERIFY(QDir(set.path).removeRecursively() && QFile::link(target, set.path));
        } else if (kind == "linked file") {
            QVERIFY(QFile::remove(set.path + "/ACAM01.mp4") &&
                    QFile::link(target + "/ACAM01.mp4", set.path + "/ACAM01.mp4"));
        } else {
            const QString object = QFileInfo(set.path).path();
            QVERIFY(QDir(object).removeRecursively() && QFile::link(outside.path(), object));
            set.path = object + "/Набор";
        }
        set = KVideoSetData::fromFolder(set.path);
        KVideoSetDeleteHandler handler({{set, set}});
        QSignalSpy reasons(&handler, &KVideoSetFileOperationHandler::failed);
        QCOMPARE(run(&handler), kind == "linked object" ? "error" : "completed");
        // What lies outside the store is untouched.
        QCOMPARE(readAll(target + "/ACAM01.mp4"), readAll(m_clip));
        if (kind == "foreign file") {
            QCOMPARE(QDir(set.path).entryList(QDir::Files), QStringList{"notes.txt"});
        } else if (kind == "linked object") {
            QCOMPARE(reasons.size(), 1);
            QVERIFY(
                reasons.first().first().toString().startsWith("Папка объекта является ссылкой"));
        } else {
            QVERIFY(!QFileInfo(set.path).exists() && !QFileInfo(set.path).isSymLink());
            QVERIFY(!QFileInfo::exists(m_local + "/Автобус"));
        }
    }

    // A cut in a store whose path holds ".xml": the new set beside the source holds the cut
    // interval (or what the channel file holds of it), from its first picture on, with the
    // channel's title and no markers or comment; a work folder left by an earlier cut that
    // never ended is not mixed in.
    void cutContents_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QTime>("from");
        QTest::addColumn<QTime>("to");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("firstPicture");
        QTest::newRow("within the file")
            << "2019.03.14_08.00.00-08.00.16" << QTime(8, 0, 4) << QTime(8, 0, 10) << 6.0 << 100;
        QTest::newRow("past the file's end")
            << "2019.03.14_08.00.00-08.00.30" << QTime(8, 0, 12) << QTime(8, 0, 30) << 4.0 << 300;
    }

    void cutContents()
    {
        QFETCH(QString, folder);
        QFETCH(QTime, from);
        QFETCH(QTime, to);
        QFETCH(double, seconds);
        QFETCH(int, firstPicture);
        KVideoSetData source = makeSet(folder, {"ACAM01", "DCAM02"}, "Комментарий", 0, "Склад.xml");
        source.channels["DCAM02"].title = "Салон";
        KVideoMarkerData marker;
        marker.time = QTime(8, 0, 5);
        source.markers << marker;
        QVERIFY(source.writeDataFile());
        source = KVideoSetData::fromFolder(source.path);
        KVideoSetData destination = source;
        destination.channels.remove("ACAM01");
        destination.path = KVideoSetCutHandler::cutFolderPath(source.path, from, to);
        QCOMPARE(destination.path, m_local + "/Склад.xml/2019.03.14_" + from.toString("hh.mm.ss-") +
                                       to.toString("hh.mm.ss"));
        const QString stale = destination.path + KVideoSetData::workFolderSuffix;
        QVERIFY(QDir().mkpath(stale) && QFile::copy(m_clip, stale + "/ACAM01.mp4"));
        KVideoSetCutHandler handler({{source, destination}},
                                    KVideoSetCutHandler::span(QTime(8, 0), from),
                                    KVideoSetCutHandler::span(from, to));
        QCOMPARE(run(&handler), QStringLiteral("completed"));
        const QString file = destination.path + "/DCAM02.mp4";
        const KMediaProbe::Result probe = KMediaProbe::probe(file);
        QVERIFY2(probe.readable && qAbs(probe.seconds - seconds) < 0.2,
                 qPrintable(QString::number(probe.seconds) + probe.error));
        QCOMPARE(firstPictureNumber(file), firstPicture);
        const KVideoSetData made = KVideoSetData::fromFolder(destination.path);
        QCOMPARE(made.channels.keys(), QStringList{"DCAM02"});
        QCOMPARE(made.channels["DCAM02"].title, QStringLiteral("Салон"));
        QVERIFY(made.markers.isEmpty() && made.comment.isEmpty());
        QCOMPARE(QDir(m_local + "/Склад.xml").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(),
                 2);
        QCOMPARE(readAll(source.path + "/DCAM02.mp4"), readAll(m_clip));
    }

    // A cut that cannot be made whole leaves nothing and says why; a set of the cut's interval
    // is never touched.
    void cutRefusedOrFailed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("full disk: ffmpeg leaves a short file, status 0")
            << "full disk"
            << "Файл обрезки не читается или короче заданного интервала: ACAM01.mp4"
            << "Обрезка видео - файл обрезки не прошел проверку: ";
        QTest::newRow("no video in the second channel")
            << "broken" << QString() << "Обрезка видео - ошибка обрезки файла: ";
        QTest::newRow("a set of that interval exists")
            << "exists"
            << "Видеонабор с таким интервалом уже существует: " << QString();
    }

    void cutRefusedOrFailed()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QFETCH(QString, logLine);
        QFile::remove(KAppLogHandler::instance()->filePath());
        const KVideoSetData source = makeSet(kFolder, {"ACAM01"});
        if (kind == "broken") {
            QFile broken(source.path + "/DCAM01.mp4");
            QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write(QByteArray(4096, 'x')));
        }
        const KVideoSetData all = KVideoSetData::fromFolder(source.path);
        const KVideoSetData destination = movedTo(
            all, KVideoSetCutHandler::cutFolderPath(source.path, QTime(8, 0, 1), QTime(8, 0, 3)));
        if (kind == "exists")
            QVERIFY(QDir().mkpath(destination.path) &&
                    QFile::copy(m_clip, destination.path + "/ACAM01.mp4"));
        KVideoSetCutHandler handler({{all, destination}}, QTime(0, 0, 1), QTime(0, 0, 2));
        QTemporaryDir bin;
        if (kind == "full disk") {
            handler.setProgram(writeFullDiskFfmpeg(bin.path()));
        }
        QSignalSpy reasons(&handler, &KVideoSetFileOperationHandler::failed);
        QCOMPARE(run(&handler), QStringLiteral("error"));
        QCOMPARE(reasons.isEmpty() ? QString()
                                   : reasons.first().first().toString().left(reason.size()),
                 reason);
        const QByteArray log = readAll(KAppLogHandler::instance()->filePath());
        QVERIFY2(logLine.isEmpty() || log.contains(logLine.toUtf8()), log.constData());
        QCOMPARE(QDir(m_local + "/Автобус").entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                 kind == "exists" ? QStringList({kFolder, QFileInfo(destination.path).fileName()})
                                  : QStringList{kFolder});
        if (kind == "exists")
            QCOMPARE(QDir(destination.path).entryList(QDir::Files), QStringList{"ACAM01.mp4"});
        QCOMPARE(readAll(source.path + "/ACAM01.mp4"), readAll(m_clip));
    }

    // A copy that fails (the source vanishes meanwhile, or the store cannot take a folder)
    // leaves no half set at the destination, nor any work folder.
    void copyFailsWhole_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("source deleted meanwhile") << "vanished";
        QTest::newRow("a file where the object folder should be") << "blocked";
    }

    void copyFailsWhole()
    {
        QFETCH(QString, kind);
        const KVideoSetData source = makeSet(kFolder, {"ACAM01", "DCAM02"}, "К");
        const KVideoSetData destination = movedTo(source, m_remote + "/Автобус/" + kFolder);
        KVideoSetCopyHandler handler({{source, destination}});
        if (kind == "vanished") {
            connect(
                &handler, &KVideoSetFileOperationHandler::progressStageCompleted, &handler,
                [&] { QFile::remove(source.path + "/DCAM02.mp4"); }, Qt::DirectConnection);
        } else {
            QFile file(m_remote + "/Автобус");
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(run(&handler), QStringLiteral("error"));
        QVERIFY(KVideoSetData::scanStore(m_remote).isEmpty());
        QCOMPARE(QDir(m_remote).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 kind == "vanished" ? QStringList() : QStringList{"Автобус"});
    }

    // Onto a set that is there already: its comment and markers stay, the source's markers
    // it lacks are added, the files are the source's.
    void copyOntoExistingSetMerges()
    {
        KVideoSetData remote = makeSet(kFolder, {"ACAM01"}, "удалённый", 7);
        KVideoMarkerData first, second;
        first.time = QTime(8, 0, 1);
        first.text = "А";
        second.time = QTime(8, 0, 2);
        second.text = "Б";
        remote.markers = {first};
        QVERIFY(remote.writeDataFile());
        QVERIFY(QDir().rename(QFileInfo(remote.path).path(), m_remote + "/Автобус"));
        KVideoSetData local = makeSet(kFolder, {"ACAM01"}, "локальный");
        KVideoMarkerData third = first;
        third.text = "В";
        local.markers = {first, second, third};
        QVERIFY(local.writeDataFile());
        const KVideoSetData destination = movedTo(local, m_remote + "/Автобус/" + kFolder);
        KVideoSetCopyHandler handler({{local, destination}});
        QCOMPARE(run(&handler), QStringLiteral("completed"));
        const KVideoSetData merged = KVideoSetData::fromFolder(destination.path);
        QCOMPARE(merged.comment, QStringLiteral("удалённый"));
        QStringList texts;
        for (const KVideoMarkerData &marker : merged.markers)
            texts << marker.time.toString("ss ") + marker.text;
        QCOMPARE(texts, QStringList({"01 А", "02 Б", "01 В"}));
        QCOMPARE(readAll(destination.path + "/ACAM01.mp4"), readAll(m_clip));
        QCOMPARE(QDir(m_remote + "/Автобус")
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{kFolder});
    }
};

QTEST_GUILESS_MAIN(tst_VideoSetOperations)
#include "tst_videosetoperations.moc"
