#pragma once

#include "KVideoSetData.h"
#include "KVideoSetFileOperationHandler.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

// Real sets in a temporary store: a short clip made once with ffmpeg, copied into set folders.
namespace KVideoSetTest {

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs the handler in a thread of its own as the windows do; the name of the signal that ended
// it ("completed", "cancelled", "error"), or an empty text after the time-out.
inline QString run(KVideoSetFileOperationHandler *handler, int timeout = 60000)
{
    QThread thread;
    handler->moveToThread(&thread);
    QSignalSpy completed(handler, &KVideoSetFileOperationHandler::completed);
    QSignalSpy cancelled(handler, &KVideoSetFileOperationHandler::cancelled);
    QSignalSpy failed(handler, &KVideoSetFileOperationHandler::error);
    thread.start();
    QMetaObject::invokeMethod(handler, &KVideoSetFileOperationHandler::start, Qt::QueuedConnection);
    // A time-out shows as an empty result below.
    (void)QTest::qWaitFor(
        [&] { return !completed.isEmpty() || !cancelled.isEmpty() || !failed.isEmpty(); }, timeout);
    QThread *home = QThread::currentThread();
    QMetaObject::invokeMethod(
        handler, [handler, home] { handler->moveToThread(home); }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    return !completed.isEmpty()   ? "completed"
           : !cancelled.isEmpty() ? "cancelled"
           : !failed.isEmpty()    ? "error"
                                  : QString();
}

// 16 s at 25 pictures per second, 512x64, MPEG-4 with a key frame every 2 s; picture N shows
// a white bar N pixels wide from the left edge, so every picture tells its own number.
inline bool makeBarClip(const QString &path)
{
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                  "color=c=black:s=512x64:r=25:d=16,format=yuv420p,"
                  "geq=lum='if(lt(X\\,N)\\,255\\,0)':cb=128:cr=128",
                  "-c:v", "mpeg4", "-q:v", "2", "-g", "50", "-y", path});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0 && QFileInfo(path).size() > 0;
}

// The number of the first picture a player shows of a bar clip file, decoded by ffmpeg.
inline int firstPictureNumber(const QString &path)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-hide_banner", "-loglevel", "error", "-i", path, "-frames:v", "1", "-f",
                  "rawvideo", "-pix_fmt", "gray", "-"});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return -1;
    const QByteArray gray = ffmpeg.readAllStandardOutput();
    if (gray.size() != 512 * 64)
        return -1;
    int white = 0;
    for (int x = 0; x < 512; ++x)
        white += uchar(gray.at(32 * 512 + x)) > 128;
    return white;
}

// An "ffmpeg" in the folder that stands for ffmpeg on a full disk: it writes the first 3000
// bytes of its input to its output (the argument before the last) and ends with status 0.
inline QString writeFullDiskFfmpeg(const QString &folder)
{
    QFile fake(folder + QStringLiteral("/ffmpeg"));
    if (!fake.open(QIODevice::WriteOnly))
        return QString();
    fake.write("#!/bin/sh\nfor a; do [ \"$prev\" = -i ] && src=$a; prev=$a; done\n"
               "eval out=\\${$(($# - 1))}\nhead -c 3000 \"$src\" > \"$out\"\n");
    fake.close();
    fake.setPermissions(fake.permissions() | QFileDevice::ExeOwner);
    return fake.fileName();
}

// One bar clip for the test case; a fresh store with a local and a remote root per test.
class Fixture
{
public:
    bool makeClipOnce()
    {
        m_clip = m_clipDir.filePath("clip.mp4");
        return makeBarClip(m_clip);
    }

    bool makeStore()
    {
        m_store.reset(new QTemporaryDir);
        m_local = m_store->filePath("local");
        m_remote = m_store->filePath("remote");
        return m_store->isValid() && QDir().mkpath(m_local) && QDir().mkpath(m_remote);
    }

    // A set "<m_local>/<object>/<folder>" with the channel files (copies of the clip, or `size`
    // bytes of a pattern out of step with any power of two) and a data file with the comment.
    KVideoSetData makeSet(const QString &folder, const QStringList &channels,
                          const QString &comment = QString(), qint64 size = 0,
                          const QString &object = QStringLiteral("Автобус"))
    {
        const QString path = m_local + '/' + object + '/' + folder;
        QDir().mkpath(path);
        for (const QString &channel : channels) {
            const QString file = path + '/' + channel + ".mp4";
            if (size > 0) {
                QFile out(file);
                out.open(QIODevice::WriteOnly);
                out.write(
                    QByteArray("0123456789abcdefg").repeated(int(size / 17 + 1)).left(int(size)));
            } else {
                QFile::copy(m_clip, file);
            }
        }
        KVideoSetData set = KVideoSetData::fromFolder(path);
        set.comment = comment;
        set.writeDataFile();
        return KVideoSetData::fromFolder(path);
    }

protected:
    QTemporaryDir m_clipDir;
    QString m_clip;
    QScopedPointer<QTemporaryDir> m_store;
    QString m_local;
    QString m_remote;
};

} // namespace KVideoSetTest
