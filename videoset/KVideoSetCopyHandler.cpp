#include "KVideoSetCopyHandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    if (!source.open(QIODevice::ReadOnly) || !destination.open(QIODevice::WriteOnly))
        return Failed;
    emit started(displayName(sourcePath));
    const qint64 size = source.size();
    qint64 copied = 0;
    while (copied < size) {
        if (!isRunning()) {
            destination.cancelWriting();
            return Cancelled;
        }
        const qint64 read = source.read(m_buffer.data(), m_buffer.size());
        if (read <= 0 || destination.write(m_buffer.constData(), read) != read) {
            destination.cancelWriting();
            return Failed;
        }
        copied += read;
        addBytesDone(read);
    }
    return destination.commit() ? Done : Failed;
}
