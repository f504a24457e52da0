#include "KEmuTestProcess.h"

#include <KRecorderMessages.h>
#include <KRecorderProtocol.h>

#include <QElapsedTimer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace KRecorderProtocol;

// Live view, playback and download streams of a running emulator.
class tst_emulator_streams : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void liveFramesAreSharedPictures();
    void playbackFollowsTheArchive();
    void playbackPauseSpeedAndEnd();
    void downloadMakesTheRecordedPartsAsMp4();
    void downloadWithoutRecordingIsRefused();
    void streamsComeAndGoWhileDrawing();
    void channelNotRecordingHasNoArchive();
    void downloadWithoutFfmpegEndsWithAFailure();

private:
    struct Gap
    {
        QDateTime pieceEnd;  // end of the recording before the gap
        QDateTime nextBegin; // begin of the recording after it
        QDateTime fileBegin; // begin of the file before the gap
        QDateTime nextEnd;   // end of the file after it
    };
    // A gap of a few minutes between two recordings of channel 1 on yesterday's archive.
    bool findGap(Gap &gap);
    quint64 login(KEmuTestClient &client);
    bool openStream(KEmuTestClient &client, quint64 token, quint8 kind, int channel,
                    quint8 streamType, const QDateTime &from, const QDateTime &to, KFrame &reply);
    bool sendControl(KEmuTestClient &client, quint8 action, qint8 speed = 0);
    // Video frames until count arrived or the time ran out.
    QList<KMsgVideoFrame> frames(KEmuTestClient &client, int count, int timeoutMs,
                                 bool *ended = nullptr);

    KEmuTestProcess m_emu;
    QString m_host;
    quint16 m_port = 0;
};

void tst_emulator_streams::initTestCase()
{
    m_host = KEmuTestProcess::freeHost();
    m_port = KEmuTestProcess::freePort(m_host);
    QVERIFY2(m_emu.start({QStringLiteral("--host"), m_host, QStringLiteral("--port"),
                          QString::number(m_port), QStringLiteral("--status-port"),
                          QStringLiteral("0"), QStringLiteral("--fps"), QStringLiteral("10"),
                          QStringLiteral("--size"), QStringLiteral("640x480")}),
             qPrintable(m_emu.log()));
}

void tst_emulator_streams::cleanupTestCase()
{
    m_emu.stop();
}

quint64 tst_emulator_streams::login(KEmuTestClient &client)
{
    if (!client.connectTo(m_host, m_port))
        return 0;
    return client.login(QStringLiteral("admin"), QStringLiteral("demo12345"));
}

bool tst_emulator_streams::openStream(KEmuTestClient &client, quint64 token, quint8 kind,
                                      int channel, quint8 streamType, const QDateTime &from,
                                      const QDateTime &to, KFrame &reply)
{
    if (!client.connectTo(m_host, m_port))
        return false;
    KMsgStreamOpen open;
    open.token = token;
    open.kind = kind;
    open.channel = channel;
    open.streamType = streamType;
    if (from.isValid()) {
        open.from = KRecTime::fromDateTime(from);
        open.to = KRecTime::fromDateTime(to);
    }
    return client.request(StreamOpen, open.encode(), reply);
}

bool tst_emulator_streams::sendControl(KEmuTestClient &client, quint8 action, qint8 speed)
{
    KMsgStreamControl c;
    c.action = action;
    c.speed = speed;
    client.send(StreamControl, c.encode());
    // Frames may come before the answer; the answer is the first Ok or Error.
    KFrame frame;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5000 && client.next(frame, 5000)) {
        if (frame.type == Ok)
            return true;
        if (frame.type == Error)
            return false;
    }
    return false;
}

QList<KMsgVideoFrame> tst_emulator_streams::frames(KEmuTestClient &client, int count, int timeoutMs,
                                                   bool *ended)
{
    QList<KMsgVideoFrame> list;
    QElapsedTimer timer;
    timer.start();
    KFrame frame;
    if (ended)
        *ended = false;
    while (list.size() < count && timer.elapsed() < timeoutMs) {
        if (!client.next(frame, int(qMax<qint64>(1, timeoutMs - timer.elapsed()))))
            break;
        if (frame.type == StreamEnd) {
            if (ended)
                *ended = true;
            break;
        }
        KMsgVideoFrame f;
        if (frame.type == VideoFrame && f.decode(frame.payload))
            list << f;
    }
    return list;
}

bool tst_emulator_streams::findGap(Gap &gap)
{
    // The last three days: the vehicle may have stayed in the depot yesterday.
    const QDate day = QDate::currentDate().addDays(-1);
    const QStringList lines = m_emu.control(
        QStringLiteral("files %1 1 %2T00:00:00 %3T23:59:59")
            .arg(m_host, day.addDays(-2).toString(Qt::ISODate), day.toString(Qt::ISODate)));
    struct F
    {
        QDateTime begin;
        QDateTime end;
    };
    QList<F> files;
    for (const QString &line : lines) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (parts.size() == 5)
            files << F{QDateTime::fromString(parts[2], Qt::ISODate),
                       QDateTime::fromString(parts[3], Qt::ISODate)};
    }
    for (int i = 0; i + 1 < files.size(); ++i) {
        const qint64 hole = files[i].end.secsTo(files[i + 1].begin);
        if (hole > 0 && hole <= 3 * 3600 && files[i].begin.secsTo(files[i].end) >= 300 &&
            files[i + 1].begin.secsTo(files[i + 1].end) >= 300) {
            gap = Gap{files[i].end, files[i + 1].begin, files[i].begin, files[i + 1].end};
            return true;
        }
    }
    return false;
}

void tst_emulator_streams::liveFramesAreSharedPictures()
{
    KEmuTestClient control;
    const quint64 token = login(control);
    QVERIFY(token);
    KEmuTestClient main1;
    KEmuTestClient main2;
    KEmuTestClient sub;
    KFrame reply;
    QVERIFY(openStream(main1, token, StreamLive, 2, 0, QDateTime(), QDateTime(), reply));
    KMsgStreamOpened opened;
    QVERIFY(opened.decode(reply.payload));
    QCOMPARE(int(opened.width), 640);
    QCOMPARE(int(opened.height), 480);
    QCOMPARE(int(opened.fps), 10);
    QVERIFY(openStream(main2, token, StreamLive, 2, 0, QDateTime(), QDateTime(), reply));
    QVERIFY(openStream(sub, token, StreamLive, 2, 1, QDateTime(), QDateTime(), reply));
    QVERIFY(opened.decode(reply.payload));
    QCOMPARE(int(opened.width), 320);

    const QList<KMsgVideoFrame> a = frames(main1, 15, 8000);
    const QList<KMsgVideoFrame> b = frames(main2, 15, 8000);
    const QList<KMsgVideoFrame> s = frames(sub, 5, 8000);
    QCOMPARE(a.size(), 15);
    QCOMPARE(b.size(), 15);
    QCOMPARE(s.size(), 5);
    // Pictures are real JPEGs of the announced size; the sub stream is smaller.
    const QImage picture = QImage::fromData(a.last().picture, "JPEG");
    QCOMPARE(picture.size(), QSize(640, 480));
    QCOMPARE(QImage::fromData(s.last().picture, "JPEG").size(), QSize(320, 240));
    QVERIFY(s.last().picture.size() < a.last().picture.size());
    // Numbers rise; two viewers of one channel get the same pictures (drawn once).
    for (int i = 1; i < a.size(); ++i)
        QVERIFY(a[i].frameNumber > a[i - 1].frameNumber);
    QSet<quint32> numbersA;
    for (const KMsgVideoFrame &f : a)
        numbersA << f.frameNumber;
    int shared = 0;
    for (const KMsgVideoFrame &f : b)
        shared += numbersA.contains(f.frameNumber) ? 1 : 0;
    QVERIFY2(shared >= 5, qPrintable(QString::number(shared)));
    // The frame time is the recorder clock; something moves between pictures.
    QVERIFY(qAbs(a.last().time.toDateTime().secsTo(QDateTime::currentDateTime())) <= 3);
    QVERIFY(a.first().picture != a.last().picture);
}

void tst_emulator_streams::playbackFollowsTheArchive()
{
    Gap gap;
    QVERIFY(findGap(gap));
    KEmuTestClient control;
    const quint64 token = login(control);
    QVERIFY(token);

    // Starting inside a gap begins at the next recording.
    KEmuTestClient play;
    KFrame reply;
    QVERIFY(openStream(play, token, StreamPlayback, 1, 0, gap.pieceEnd.addSecs(1),
                       gap.nextBegin.addSecs(600), reply));
    QCOMPARE(int(reply.type), int(StreamOpened));
    // Nothing flows before start.
    QVERIFY(frames(play, 1, 600).isEmpty());
    QVERIFY(sendControl(play, ControlStart));
    const QList<KMsgVideoFrame> list = frames(play, 12, 5000);
    QVERIFY(list.size() >= 10);
    QCOMPARE(list.first().time.toDateTime(), gap.nextBegin);
    // At 1x the archive time moves with the real time.
    const qint64 moved = list.first().time.toDateTime().secsTo(list.last().time.toDateTime());
    QVERIFY2(moved >= 0 && moved <= 5, qPrintable(QString::number(moved)));
    QVERIFY(!sendControl(play, ControlStart)); // start twice: refused

    // Running over the gap at 8x skips it: the time jumps from its end to the next begin.
    KEmuTestClient over;
    QVERIFY(openStream(over, token, StreamPlayback, 1, 0, gap.pieceEnd.addSecs(-4),
                       gap.nextBegin.addSecs(60), reply));
    QVERIFY(sendControl(over, ControlStart));
    QVERIFY(sendControl(over, ControlSpeed, 3));
    const QList<KMsgVideoFrame> across = frames(over, 30, 8000);
    bool before = false;
    bool after = false;
    for (const KMsgVideoFrame &f : across) {
        const QDateTime t = f.time.toDateTime();
        QVERIFY2(t < gap.pieceEnd || t >= gap.nextBegin, qPrintable(t.toString(Qt::ISODate)));
        before = before || t < gap.pieceEnd;
        after = after || t >= gap.nextBegin;
    }
    QVERIFY(before);
    QVERIFY(after);
}

void tst_emulator_streams::playbackPauseSpeedAndEnd()
{
    Gap gap;
    QVERIFY(findGap(gap));
    KEmuTestClient control;
    const quint64 token = login(control);
    QVERIFY(token);
    KEmuTestClient play;
    KFrame reply;
    const QDateTime from = gap.fileBegin;
    QVERIFY(openStream(play, token, StreamPlayback, 1, 0, from, from.addSecs(120), reply));
    QVERIFY(sendControl(play, ControlStart));
    QVERIFY(!frames(play, 3, 3000).isEmpty());

    // Paused: keep-alives, no pictures.
    QVERIFY(sendControl(play, ControlPause));
    frames(play, 100, 300); // what was already on the way
    QElapsedTimer timer;
    timer.start();
    int keepalives = 0;
    int pictures = 0;
    KFrame frame;
    while (timer.elapsed() < 2500 && play.next(frame, 1500, true)) {
        keepalives += frame.type == Keepalive ? 1 : 0;
        pictures += frame.type == VideoFrame ? 1 : 0;
    }
    QCOMPARE(pictures, 0);
    QVERIFY(keepalives >= 1);

    // 8x: about eight archive seconds per second.
    QVERIFY(sendControl(play, ControlResume));
    QVERIFY(sendControl(play, ControlSpeed, 3));
    QVERIFY(!sendControl(play, ControlSpeed, 4)); // out of range
    frames(play, 3, 2000);
    const QList<KMsgVideoFrame> fast = frames(play, 20, 5000);
    QVERIFY(fast.size() >= 10);
    const qint64 span = fast.first().time.toDateTime().secsTo(fast.last().time.toDateTime());
    const double perFrame = double(span) / (fast.size() - 1);
    // 0.8 s at 10 pictures per second; more when a loaded machine draws fewer pictures.
    QVERIFY2(perFrame > 0.4 && perFrame < 2.5, qPrintable(QString::number(perFrame)));

    // The range's end ends the stream.
    bool ended = false;
    const QList<KMsgVideoFrame> rest = frames(play, 1000, 40000, &ended);
    QVERIFY(ended);
    if (!rest.isEmpty())
        QVERIFY(rest.last().time.toDateTime() < from.addSecs(120));
}

void tst_emulator_streams::downloadMakesTheRecordedPartsAsMp4()
{
    Gap gap;
    QVERIFY(findGap(gap));
    KEmuTestClient control;
    const quint64 token = login(control);
    QVERIFY(token);
    // 150 s before the gap, the gap, 90 s after it.
    const QDateTime from = gap.pieceEnd.addSecs(-150);
    const QDateTime to = gap.nextBegin.addSecs(90);
    KEmuTestClient download;
    KFrame reply;
    QVERIFY(openStream(download, token, StreamDownload, 1, 0, from, to, reply));
    QCOMPARE(int(reply.type), int(StreamOpened));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(sendControl(download, ControlStart));
    KFrame frame;
    QVERIFY(download.next(frame, 60000));
    QCOMPARE(int(frame.type), int(DownloadBegin));
    KMsgDownloadBegin begin;
    QVERIFY(begin.decode(frame.payload));
    QByteArray file;
    while (download.next(frame, 10000) && frame.type == Data) {
        KMsgData data;
        QVERIFY(data.decode(frame.payload));
        file += data.bytes;
    }
    QCOMPARE(int(frame.type), int(StreamEnd));
    KMsgStreamEnd end;
    QVERIFY(end.decode(frame.payload));
    QCOMPARE(end.reason, 0u);
    QCOMPARE(quint64(file.size()), begin.totalBytes);
    qInfo("240 s of archive made and sent in %lld ms", timer.elapsed());

    QTemporaryDir dir;
    QFile out(dir.filePath(QStringLiteral("clip.mp4")));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(file);
    out.close();
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                 QStringLiteral("format=duration,format_name:stream=codec_name"),
                 QStringLiteral("-of"), QStringLiteral("json"), out.fileName()});
    QVERIFY(probe.waitForFinished(30000));
    const QJsonObject json = QJsonDocument::fromJson(probe.readAllStandardOutput()).object();
    const double duration = json.value(QStringLiteral("format"))
                                .toObject()
                                .value(QStringLiteral("duration"))
                                .toString()
                                .toDouble();
    QVERIFY2(qAbs(duration - 240.0) < 1.0, qPrintable(QString::number(duration)));
    QVERIFY(json.value(QStringLiteral("format"))
                .toObject()
                .value(QStringLiteral("format_name"))
                .toString()
                .contains(QLatin1String("mp4")));
    QCOMPARE(json.value(QStringLiteral("streams"))
                 .toArray()
                 .at(0)
                 .toObject()
                 .value(QStringLiteral("codec_name"))
                 .toString(),
             QStringLiteral("h264"));

    // The same interval again comes from the cache: same bytes.
    KEmuTestClient again;
    QVERIFY(openStream(again, token, StreamDownload, 1, 0, from, to, reply));
    QVERIFY(sendControl(again, ControlStart));
    QVERIFY(again.next(frame, 20000));
    QVERIFY(begin.decode(frame.payload));
    QCOMPARE(begin.totalBytes, quint64(file.size()));
}

void tst_emulator_streams::downloadWithoutRecordingIsRefused()
{
    Gap gap;
    QVERIFY(findGap(gap));
    KEmuTestClient control;
    const quint64 token = login(control);
    QVERIFY(token);
    KEmuTestClient download;
    KFrame reply;
    QVERIFY(openStream(download, token, StreamDownload, 1, 0, gap.pieceEnd.addSecs(1),
                       gap.nextBegin.addSecs(-1), reply));
    KMsgError error;
    QVERIFY(error.decode(reply.payload));
    QCOMPARE(error.code, 1001u);
    // The future holds nothing either; a reversed range is a bad parameter.
    KEmuTestClient future;
    const QDateTime now = QDateTime::currentDateTime();
    QVERIFY(
        openStream(future, token, StreamDownload, 1, 0, now.addSecs(60), now.addSecs(600), reply));
    QVERIFY(error.decode(reply.payload));
    QCOMPARE(error.code, 1001u);
    KEmuTestClient reversed;
    QVERIFY(openStream(reversed, token, StreamPlayback, 1, 0, now, now.addSecs(-60), reply));
    QVERIFY(error.decode(reply.payload));
    QCOMPARE(error.code, 17u);
}

void tst_emulator_streams::streamsComeAndGoWhileDrawing()
{
    // Viewers that vanish while their pictures are being drawn, then an ordinary stop.
    KEmuTestProcess emu;
    const QString host = KEmuTestProcess::freeHost();
    const quint16 port = KEmuTestProcess::freePort(host);
    QVERIFY(emu.start({QStringLiteral("--host"), host, QStringLiteral("--port"),
                       QString::number(port), QStringLiteral("--status-port"), QStringLiteral("0"),
                       QStringLiteral("--fps"), QStringLiteral("30"), QStringLiteral("--size"),
                       QStringLiteral("1280x720"), QStringLiteral("--quiet")}));
    KEmuTestClient control;
    QVERIFY(control.connectTo(host, port));
    const quint64 token = control.login(QStringLiteral("admin"), QStringLiteral("demo12345"));
    QVERIFY(token);
    const QDateTime now = QDateTime::currentDateTime();
    for (int round = 0; round < 4; ++round) {
        QList<KEmuTestClient *> streams;
        for (int i = 0; i < 12; ++i) {
            auto *c = new KEmuTestClient;
            streams << c;
            if (!c->connectTo(host, port))
                continue;
            KMsgStreamOpen open;
            open.token = token;
            open.kind = i % 2 ? StreamLive : StreamPlayback;
            open.channel = 1 + i % 4;
            open.from = KRecTime::fromDateTime(now.addDays(-2));
            open.to = KRecTime::fromDateTime(now);
            c->send(StreamOpen, open.encode());
            KMsgStreamControl start;
            start.action = ControlStart;
            c->send(StreamControl, start.encode());
        }
        QTest::qWait(60 + round * 40);
        for (KEmuTestClient *c : streams)
            c->socket().abort();
        qDeleteAll(streams);
    }
    KEmuTestClient after;
    QVERIFY(after.connectTo(host, port));
    QVERIFY(after.login(QStringLiteral("admin"), QStringLiteral("demo12345")));
    emu.stop();
    QCOMPARE(emu.exitCode(), 0);
    QVERIFY(!emu.log().contains(QLatin1String("Segmentation")));
}

void tst_emulator_streams::channelNotRecordingHasNoArchive()
{
    Gap gap;
    QVERIFY(findGap(gap));
    QCOMPARE(
        m_emu.control(QStringLiteral("set-channel %1 ACAM01 recording off").arg(m_host)).last(),
        QStringLiteral("ok"));
    KEmuTestClient control;
    const quint64 token = login(control);
    QVERIFY(token);
    KEmuTestClient play;
    KFrame reply;
    QVERIFY(openStream(play, token, StreamPlayback, 1, 0, gap.fileBegin, gap.nextEnd, reply));
    QVERIFY(sendControl(play, ControlStart));
    bool ended = false;
    QVERIFY(frames(play, 1, 5000, &ended).isEmpty());
    QVERIFY(ended);
    KEmuTestClient download;
    QVERIFY(openStream(download, token, StreamDownload, 1, 0, gap.fileBegin, gap.nextEnd, reply));
    KMsgError error;
    QVERIFY(error.decode(reply.payload));
    QCOMPARE(error.code, 1001u);
    KMsgFindStart find;
    find.channel = 1;
    find.from = KRecTime::fromDateTime(gap.fileBegin);
    find.to = KRecTime::fromDateTime(gap.nextEnd);
    QVERIFY(control.request(FindStart, find.encode(), reply));
    KMsgSearchId id;
    QVERIFY(id.decode(reply.payload));
    KMsgFindBatch batch;
    do {
        QVERIFY(control.request(FindNext, id.encode(), reply));
        QVERIFY(batch.decode(reply.payload));
    } while (batch.status == FindBusy);
    QCOMPARE(int(batch.status), int(FindDone));
    m_emu.control(QStringLiteral("set-channel %1 ACAM01 recording on").arg(m_host));

    // Another file type than continuous recording finds nothing either.
    find.fileType = 1;
    QVERIFY(control.request(FindStart, find.encode(), reply));
    QVERIFY(id.decode(reply.payload));
    do {
        QVERIFY(control.request(FindNext, id.encode(), reply));
        QVERIFY(batch.decode(reply.payload));
    } while (batch.status == FindBusy);
    QCOMPARE(int(batch.status), int(FindDone));
}

void tst_emulator_streams::downloadWithoutFfmpegEndsWithAFailure()
{
    KEmuTestProcess emu;
    const QString host = KEmuTestProcess::freeHost();
    const quint16 port = KEmuTestProcess::freePort(host);
    QVERIFY(emu.start({QStringLiteral("--host"), host, QStringLiteral("--port"),
                       QString::number(port), QStringLiteral("--status-port"), QStringLiteral("0"),
                       QStringLiteral("--ffmpeg"), QStringLiteral("/nonexistent/ffmpeg")}));
    KEmuTestClient control;
    QVERIFY(control.connectTo(host, port));
    const quint64 token = control.login(QStringLiteral("admin"), QStringLiteral("demo12345"));
    QVERIFY(token);
    // Whatever was recorded in the last three days.
    const QDateTime now = QDateTime::currentDateTime();
    KEmuTestClient stream;
    QVERIFY(stream.connectTo(host, port));
    KMsgStreamOpen open;
    open.token = token;
    open.kind = StreamDownload;
    open.channel = 1;
    open.from = KRecTime::fromDateTime(now.addDays(-3));
    open.to = KRecTime::fromDateTime(now.addDays(-3).addSecs(86400 * 2));
    KFrame reply;
    QVERIFY(stream.request(StreamOpen, open.encode(), reply));
    QCOMPARE(int(reply.type), int(StreamOpened));
    KMsgStreamControl start;
    start.action = ControlStart;
    QVERIFY(stream.request(StreamControl, start.encode(), reply));
    QVERIFY(stream.next(reply, 10000));
    QCOMPARE(int(reply.type), int(StreamEnd));
    KMsgStreamEnd end;
    QVERIFY(end.decode(reply.payload));
    QCOMPARE(end.reason, 49u);
    QVERIFY(emu.waitForLog(QStringLiteral("ffmpeg could not be started"), 3000));
}

QTEST_GUILESS_MAIN(tst_emulator_streams)
#include "tst_emulator_streams.moc"
