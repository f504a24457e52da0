#include "KVideoSetCopyHandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

KVideoSetCopyHandler::KVideoSetCopyHandler(const QList<KVideoSetPair> &pairs, QObject *parent)
    : KVideoSetFileOperationHandler(pairs, parent), m_buffer(bufferSize, Qt::Uninitialized)
{}

int KVideoSetCopyHandler::processFile(const QString &sourcePath, const QString &destinationPath)
{
    if (!QDir().mkpath(QFileInfo(destinationPath).absolutePath()))
        return Failed;
    QFile source(sourcePath);
    QSaveFile destination(destinationPath);
    destination.setDirectWriteFallback(false);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Unbuffered) ||
        !destination.open(QIODevice::WriteOnly))
        return Failed;
    emit started(displayName(sourcePath));
    const qint64 size = source.size();
    qint64 copied = 0;
    // The kernel copies without the data passing through here; where it cannot (another file
    // system kind, an old kernel) the first chunk says so and the file goes through the buffer.
    bool inKernel = true;
    while (copied < size) {
        if (!isRunning()) {
            destination.cancelWriting();
            return Cancelled;
        }
        qint64 done = -1;
        if (inKernel) {
            done = ::copy_file_range(source.handle(), nullptr, destination.handle(), nullptr,
                                     size_t(qMin<qint64>(bufferSize, size - copied)), 0);
            if (done < 0 && copied == 0)
                inKernel = false;
        }
        if (!inKernel) {
            done = source.read(m_buffer.data(), m_buffer.size());
            if (done > 0 && destination.write(m_buffer.constData(), done) != done)
                done = -1;
        }
        if (done <= 0) {
            destination.cancelWriting();
            return Failed;
        }
        copied += done;
        addBytesDone(done);
    }
    return destination.commit() ? Done : Failed;
}
