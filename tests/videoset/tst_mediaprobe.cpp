#include "KMediaProbe.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The check every made file passes before it is reported as done.
class tst_MediaProbe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void tellsWholeFilesFromBrokenOnes_data();
    void tellsWholeFilesFromBrokenOnes();

private:
    QString make(const QString &name, const QStringList &format);
    // A copy of source with only its first `keep` bytes (negative: all but the last -keep).
    QString truncated(const QString &source, qint64 keep);

    QTemporaryDir m_dir;
    QString m_mp4;
    QString m_ts;
};

QString tst_MediaProbe::make(const QString &name, const QStringList &format)
{
    const QString path = m_dir.filePath(name);
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                                       "testsrc=size=160x120:rate=10:duration=20", "-c:v", "mpeg4",
                                       "-g", "10"} +
                               format + QStringList{"-y", path});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0 ? path : QString();
}

QString tst_MediaProbe::truncated(const QString &source, qint64 keep)
{
    QFile in(source);
    in.open(QIODevice::ReadOnly);
    QByteArray bytes = in.readAll();
    bytes.truncate(keep < 0 ? bytes.size() + keep : keep);
    const QString path =
        m_dir.filePath(QStringLiteral("cut%1_%2").arg(keep).arg(QFileInfo(source).fileName()));
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(bytes);
    return path;
}

void tst_MediaProbe::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_mp4 = make("clip.mp4", {});
    m_ts = make("clip.ts", {"-f", "mpegts"});
    QVERIFY(!m_mp4.isEmpty() && !m_ts.isEmpty());
}

void tst_MediaProbe::tellsWholeFilesFromBrokenOnes_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("asked");
    QTest::addColumn<bool>("covers");

    QTest::newRow("whole mp4") << m_mp4 << 20.0 << true;
    QTest::newRow("whole ts") << m_ts << 20.0 << true;
    QTest::newRow("longer than held") << m_mp4 << 30.0 << false;
    // ffmpeg ended by a full disk: the trailer is cut short, or the data is.
    QTest::newRow("mp4 without its trailer's end") << truncated(m_mp4, -200) << 20.0 << false;
    QTest::newRow("mp4 of 3000 bytes") << truncated(m_mp4, 3000) << 20.0 << false;
    QTest::newRow("ts cut in half") << truncated(m_ts, QFileInfo(m_ts).size() / 2) << 20.0 << false;
    QTest::newRow("empty") << truncated(m_ts, 0) << 20.0 << false;
    QTest::newRow("missing") << m_dir.filePath("none.mp4") << 1.0 << false;
}

void tst_MediaProbe::tellsWholeFilesFromBrokenOnes()
{
    QFETCH(QString, file);
    QFETCH(double, asked);
    QFETCH(bool, covers);
    QString why;
    QVERIFY2(KMediaProbe::covers(file, asked, &why) == covers, qPrintable(why));
    QCOMPARE(why.isEmpty(), covers);
}

QTEST_GUILESS_MAIN(tst_MediaProbe)
#include "tst_mediaprobe.moc"
