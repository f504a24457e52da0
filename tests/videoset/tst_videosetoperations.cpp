#include "KVideoSetCopyHandler.h"
#include "KVideoSetCutHandler.h"
#include "KVideoSetDeleteHandler.h"
#include "KVideoSetTestSupport.h"

#include <QtTest>

using namespace KVideoSetTest;

class tst_VideoSetOperations : public QObject, public Fixture
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(makeClipOnce()); }

    void init() { QVERIFY(makeStore()); }

    void copy()
    {
        const KVideoSetData source =
            makeSet(m_local, "Автобус 12", "2019.03.14_08.00.00-08.00.04", {"ACAM01", "DCAM02"},
                    m_clip, "Комментарий", 2 * KVideoSetCopyHandler::bufferSize + 4321);
        KVideoSetData destination = source;
        destination.path = m_remote + "/Автобус 12/2019.03.14_08.00.00-08.00.04";
        KVideoSetCopyHandler handler({{source, destination}});
        QSignalSpy total(&handler, &KVideoSetFileOperationHandler::progressStagesCountChanged);
        QSignalSpy done(&handler, &KVideoSetFileOperationHandler::progressStageCompleted);
        QSignalSpy names(&handler, &KVideoSetFileOperationHandler::started);
        QCOMPARE(run(&handler), QStringLiteral("completed"));

        for (const char *name : {"ACAM01.mp4", "DCAM02.mp4", "user_data.xml"})
            QCOMPARE(readAll(destination.path + "/" + name), readAll(source.path + "/" + name));
        QCOMPARE(KVideoSetData::fromFolder(destination.path).comment,
                 QStringLiteral("Комментарий"));
        QCOMPARE(total.size(), 1);
        QCOMPARE(done.last().first().toLongLong(), total.first().first().toLongLong());
        QCOMPARE(names.first().first().toString(),
                 QStringLiteral("/2019.03.14_08.00.00-08.00.04/ACAM01.mp4"));
    }

    // Stopped after the first chunk of the first file: that file is not there at all, not even
    // as a temporary file, and an older copy at the destination stays whole.
    void copyCancelledInTheMiddleOfAFile()
    {
        const KVideoSetData source =
            makeSet(m_local, "Автобус", "2019.03.14_08.00.00-08.00.04", {"ACAM01"}, m_clip,
                    QString(), 3 * KVideoSetCopyHandler::bufferSize);
        KVideoSetData destination = source;
        destination.path = m_remote + "/Автобус/2019.03.14_08.00.00-08.00.04";
        QVERIFY(QDir().mkpath(destination.path));
        QFile older(destination.path + "/ACAM01.mp4");
        QVERIFY(older.open(QIODevice::WriteOnly));
        older.write("older copy");
        older.close();

        KVideoSetCopyHandler handler({{source, destination}});
        connect(&handler, &KVideoSetFileOperationHandler::progressStageCompleted, &handler,
                &KVideoSetFileOperationHandler::stop, Qt::DirectConnection);
        QCOMPARE(run(&handler), QStringLiteral("cancelled"));
        QCOMPARE(handler.bytesDone(), qint64(KVideoSetCopyHandler::bufferSize));
        QCOMPARE(QDir(destination.path).entryList(QDir::Files), QStringList{"ACAM01.mp4"});
        QCOMPARE(readAll(destination.path + "/ACAM01.mp4"), QByteArray("older copy"));
    }

    // A set copied onto itself, directly or through a link to its store, is refused before
    // anything is touched.
    void copyOntoItself_data()
    {
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("same path") << false;
        QTest::newRow("linked store") << true;
    }

    void copyOntoItself()
    {
        QFETCH(bool, throughLink);
        const KVideoSetData source =
            makeSet(m_local, "Автобус", "2019.03.14_08.00.00-08.00.04", {"ACAM01"}, m_clip, "К");
        const QByteArray before = readAll(source.path + "/ACAM01.mp4");
        KVideoSetData destination = source;
        if (throughLink) {
            QVERIFY(QDir(m_remote).removeRecursively());
            QVERIFY(QFile::link(m_local, m_remote));
            destination.path = m_remote + "/Автобус/2019.03.14_08.00.00-08.00.04";
        }
        KVideoSetCopyHandler handler({{source, destination}});
        QSignalSpy done(&handler, &KVideoSetFileOperationHandler::progressStageCompleted);
        QCOMPARE(run(&handler), QStringLiteral("error"));
        QVERIFY(done.isEmpty());
        QCOMPARE(readAll(source.path + "/ACAM01.mp4"), before);
        QCOMPARE(KVideoSetData::fromFolder(source.path).comment, QStringLiteral("К"));
    }

    // Nothing to do is a failure, not a success.
    void nothingToDo()
    {
        KVideoSetData empty(m_local + "/Автобус/2019.03.14_08.00.00-08.00.04");
        KVideoSetData destination = empty;
        destination.path = m_remote + "/Автобус/2019.03.14_08.00.00-08.00.04";
        KVideoSetCopyHandler handler({{empty, destination}});
        QCOMPARE(run(&handler), QStringLiteral("error"));
        QVERIFY(!QDir(destination.path).exists());
    }

    // Each set folder goes with its files; the object folder goes with its last set only.
    void deleteSets()
    {
        const KVideoSetData first =
            makeSet(m_local, "Автобус", "2019.03.14_08.00.00-08.00.04", {"ACAM01"}, m_clip);
        const KVideoSetData second = makeSet(m_local, "Автобус", "2019.03.14_09.00.00-09.00.04",
                                             {"ACAM01", "DCAM01"}, m_clip, "К");
        KVideoSetDeleteHandler firstHandler({{first, first}});
        QCOMPARE(run(&firstHandler), QStringLiteral("completed"));
        QVERIFY(!QDir(first.path).exists());
        QVERIFY(QDir(second.path).exists());

        KVideoSetDeleteHandler secondHandler({{second, second}});
        QCOMPARE(run(&secondHandler), QStringLiteral("completed"));
        QVERIFY(!QDir(m_local + "/Автобус").exists());
        QVERIFY(QDir(m_local).exists());
    }

    // Counts above 2 GiB reach the window whole.
    void progressPastTwoGiB()
    {
        const KVideoSetData set =
            makeSet(m_local, "Автобус", "2019.03.14_08.00.00-09.00.00", {"ACAM01"}, m_clip);
        const qint64 big = 3LL * 1024 * 1024 * 1024 + 5;
        QVERIFY(QFile::resize(set.path + "/ACAM01.mp4", big)); // sparse
        const qint64 total = big + QFileInfo(set.path + "/user_data.xml").size();
        KVideoSetDeleteHandler handler({{set, set}});
        QSignalSpy count(&handler, &KVideoSetFileOperationHandler::progressStagesCountChanged);
        QSignalSpy done(&handler, &KVideoSetFileOperationHandler::progressStageCompleted);
        QCOMPARE(run(&handler), QStringLiteral("completed"));
        QCOMPARE(count.first().first().toLongLong(), total);
        QCOMPARE(done.first().first().toLongLong(), big);
        QCOMPARE(done.last().first().toLongLong(), total);
    }

    void cutArguments()
    {
        const QString source = "/store/Автобус/2019.03.14_08.00.00-09.00.00";
        const QTime from(8, 10), to(8, 20);
        const QTime offset = KVideoSetCutHandler::span(QTime(8, 0), from);
        const QTime length = KVideoSetCutHandler::span(from, to);
        QCOMPARE(KVideoSetCutHandler::cutFolderPath(source, from, to),
                 QStringLiteral("/store/Автобус/2019.03.14_08.10.00-08.20.00"));
        QCOMPARE(KVideoSetCutHandler::arguments(offset, length, source + "/ACAM01.mp4",
                                                "/out/ACAM01.mp4"),
                 QStringList({"-ss", "00:10:00", "-i", source + "/ACAM01.mp4", "-t", "00:10:00",
                              "-vcodec", "copy", "-acodec", "copy", "/out/ACAM01.mp4", "-y"}));
    }

    // The new set lies beside the source with the chosen channels; the data file is left to
    // the caller; the source stays as it was.
    void cut()
    {
        const KVideoSetData source = makeSet(m_local, "Автобус", "2019.03.14_08.00.00-08.00.04",
                                             {"ACAM01", "DCAM01"}, m_clip, "К");
        KVideoSetData destination = source;
        destination.channels.remove("DCAM01");
        destination.path =
            KVideoSetCutHandler::cutFolderPath(source.path, QTime(8, 0, 1), QTime(8, 0, 3));
        KVideoSetCutHandler handler({{source, destination}}, QTime(0, 0, 1), QTime(0, 0, 2));
        QSignalSpy state(&handler, qOverload<bool>(&KVideoSetCutHandler::completed));
        QCOMPARE(run(&handler), QStringLiteral("completed"));
        QCOMPARE(state.size(), 1);
        QCOMPARE(state.first().first().toBool(), true);
        QCOMPARE(QDir(destination.path).entryList(QDir::Files), QStringList{"ACAM01.mp4"});
        const qint64 cutSize = QFileInfo(destination.path + "/ACAM01.mp4").size();
        QVERIFY(cutSize > 0 && cutSize < QFileInfo(m_clip).size());
        QCOMPARE(readAll(source.path + "/ACAM01.mp4"), readAll(m_clip));
        QCOMPARE(QDir(m_local + "/Автобус").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);
    }

    // The second channel is no video: ffmpeg fails, the first channel's cut and the new folder
    // go, the source stays, and the failure is reported.
    void cutFailing()
    {
        const KVideoSetData source =
            makeSet(m_local, "Автобус", "2019.03.14_08.00.00-08.00.04", {"ACAM01"}, m_clip);
        QFile broken(source.path + "/DCAM01.mp4");
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray(4096, 'x'));
        broken.close();
        const KVideoSetData withBroken = KVideoSetData::fromFolder(source.path);
        KVideoSetData destination = withBroken;
        destination.path =
            KVideoSetCutHandler::cutFolderPath(source.path, QTime(8, 0, 1), QTime(8, 0, 3));
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
