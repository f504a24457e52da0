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

    // A set copied onto itself, directly or through a link to its store, and a set without
    // files are refused before anything is touched.
    void copyRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("same path") << "same";
        QTest::newRow("linked store") << "link";
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
        KVideoSetCopyHandler handler({{source, destination}});
        QSignalSpy done(&handler, &KVideoSetFileOperationHandler::progressStageCompleted);
        QCOMPARE(run(&handler), QStringLiteral("error"));
        QVERIFY(done.isEmpty());
        if (kind == "empty") {
            QVERIFY(!QDir(destination.path).exists());
        } else {
            QCOMPARE(readAll(source.path + "/ACAM01.mp4"), readAll(m_clip));
            QCOMPARE(KVideoSetData::fromFolder(source.path).comment, QStringLiteral("К"));
        }
    }

    // Each set folder goes with its files; the object folder goes with its last set only.
    // Counts above 2 GiB come whole.
    void deleteSets()
    {
        const KVideoSetData first = makeSet(kFolder, {"ACAM01"});
        const KVideoSetData second = makeSet("2019.03.14_09.00.00-09.00.04", {"ACAM01", "DCAM01"});
        const qint64 big = 3LL * 1024 * 1024 * 1024 + 5;
        QVERIFY(QFile::resize(first.path + "/ACAM01.mp4", big)); // sparse
        const qint64 total = big + QFileInfo(first.path + "/user_data.xml").size();
        KVideoSetDeleteHandler firstHandler({{first, first}});
        QSignalSpy count(&firstHandler, &KVideoSetFileOperationHandler::progressStagesCountChanged);
        QSignalSpy done(&firstHandler, &KVideoSetFileOperationHandler::progressStageCompleted);
        QCOMPARE(run(&firstHandler), QStringLiteral("completed"));
        QCOMPARE(count.first().first().toLongLong(), total);
        QCOMPARE(done.first().first().toLongLong(), big);
        QCOMPARE(done.last().first().toLongLong(), total);
        QVERIFY(!QDir(first.path).exists() && QDir(second.path).exists());

        KVideoSetDeleteHandler secondHandler({{second, second}});
        QCOMPARE(run(&secondHandler), QStringLiteral("completed"));
        QVERIFY(!QDir(m_local + "/Автобус").exists() && QDir(m_local).exists());
    }

    void cutArguments()
    {
        const QString source = "/store/Автобус/2019.03.14_08.00.00-09.00.00";
        const QTime from(8, 10), to(8, 20);
        QCOMPARE(KVideoSetCutHandler::cutFolderPath(source, from, to),
                 QStringLiteral("/store/Автобус/2019.03.14_08.10.00-08.20.00"));
        QCOMPARE(KVideoSetCutHandler::arguments(KVideoSetCutHandler::span(QTime(8, 0), from),
                                                KVideoSetCutHandler::span(from, to),
                                                source + "/ACAM01.mp4", "/out/ACAM01.mp4"),
                 QStringList({"-ss", "00:10:00", "-i", source + "/ACAM01.mp4", "-t", "00:10:00",
                              "-vcodec", "copy", "-acodec", "copy", "/out/ACAM01.mp4", "-y"}));
    }

    // The second channel is no video: ffmpeg fails, the first channel's cut and the new folder
    // go, the source stays, and the failure is reported.
    void cutFailing()
    {
        const KVideoSetData source = makeSet(kFolder, {"ACAM01"});
        QFile broken(source.path + "/DCAM01.mp4");
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write(QByteArray(4096, 'x')) == 4096);
        broken.close();
        const KVideoSetData withBroken = KVideoSetData::fromFolder(source.path);
        const KVideoSetData destination =
            movedTo(withBroken, KVideoSetCutHandler::cutFolderPath(source.path, QTime(8, 0, 1),
                                                                   QTime(8, 0, 3)));
        KVideoSetCutHandler handler({{withBroken, destination}}, QTime(0, 0, 1), QTime(0, 0, 2));
        QSignalSpy names(&handler, &KVideoSetFileOperationHandler::started);
        QCOMPARE(run(&handler), QStringLiteral("error"));
        QCOMPARE(names.size(), 2);
        QVERIFY(!QDir(destination.path).exists());
        QCOMPARE(readAll(source.path + "/ACAM01.mp4"), readAll(m_clip));
        QCOMPARE(readAll(source.path + "/DCAM01.mp4"), QByteArray(4096, 'x'));
    }
};

QTEST_GUILESS_MAIN(tst_VideoSetOperations)
#include "tst_videosetoperations.moc"
