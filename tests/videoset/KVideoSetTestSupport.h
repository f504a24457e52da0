#pragma once

#include "KVideoSetData.h"
#include "KVideoSetFileOperationHandler.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QThread>
#include <QtTest>

// Real sets in a temporary store: short clips made once with ffmpeg, copied into set folders.
namespace KVideoSetTest {

// A 4-second 160x120 MPEG-4 clip with a key frame every second.
inline bool makeClip(const QString &path, int seconds = 4)
{
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                  QStringLiteral("testsrc=size=160x120:rate=10:duration=%1").arg(seconds), "-c:v",
                  "mpeg4", "-g", "10", "-y", path});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0 && QFileInfo(path).size() > 0;
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A set folder "<root>/<object>/<folder>" with the given channel files (copies of clip, or
// bytes of the given size when size > 0) and a data file with the comment.
inline KVideoSetData makeSet(const QString &root, const QString &object, const QString &folder,
                             const QStringList &channels, const QString &clip,
                             const QString &comment = QString(), qint64 size = 0)
{
    const QString path = root + QLatin1Char('/') + object + QLatin1Char('/') + folder;
    QDir().mkpath(path);
    for (const QString &channel : channels) {
        const QString file = path + QLatin1Char('/') + channel + QStringLiteral(".mp4");
        if (size > 0) {
            QFile out(file);
            out.open(QIODevice::WriteOnly);
            QByteArray chunk(size, Qt::Uninitialized);
            for (qint64 i = 0; i < size; ++i)
                chunk[int(i)] = char((i * 7919) >> 3);
            out.write(chunk);
        } else {
            QFile::copy(clip, file);
        }
    }
    KVideoSetData set = KVideoSetData::fromFolder(path);
    set.comment = comment;
    set.writeDataFile();
    return KVideoSetData::fromFolder(path);
}

// Runs the handler in a thread of its own as the windows do; returns the name of the signal
// that ended it ("completed", "cancelled", "error"), or an empty text after the time-out.
inline QString run(KVideoSetFileOperationHandler *handler, int timeout = 60000)
{
    QThread thread;
    handler->moveToThread(&thread);
    QSignalSpy completed(handler, &KVideoSetFileOperationHandler::completed);
    QSignalSpy cancelled(handler, &KVideoSetFileOperationHandler::cancelled);
    QSignalSpy failed(handler, &KVideoSetFileOperationHandler::error);
    thread.start();
    QMetaObject::invokeMethod(handler, &KVideoSetFileOperationHandler::start, Qt::QueuedConnection);
    QDeadlineTimer deadline(timeout);
    while (completed.isEmpty() && cancelled.isEmpty() && failed.isEmpty() && !deadline.hasExpired())
        QTest::qWait(20);
    QThread *home = QThread::currentThread();
    QMetaObject::invokeMethod(
        handler, [handler, home] { handler->moveToThread(home); }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    if (!completed.isEmpty())
        return QStringLiteral("completed");
    if (!cancelled.isEmpty())
        return QStringLiteral("cancelled");
    return failed.isEmpty() ? QString() : QStringLiteral("error");
}

// One clip for the whole test case, a fresh store with a local and a remote root per test.
class Fixture
{
public:
    bool makeClipOnce()
    {
        m_clip = m_clipDir.filePath(QStringLiteral("clip.mp4"));
        return m_clipDir.isValid() && makeClip(m_clip);
    }

    bool makeStore()
    {
        m_store.reset(new QTemporaryDir);
        m_local = m_store->filePath(QStringLiteral("local"));
        m_remote = m_store->filePath(QStringLiteral("remote"));
        return m_store->isValid() && QDir().mkpath(m_local) && QDir().mkpath(m_remote);
    }

protected:
    QTemporaryDir m_clipDir;
    QString m_clip;
    QScopedPointer<QTemporaryDir> m_store;
    QString m_local;
    QString m_remote;
};

} // namespace KVideoSetTest
