#include "KVideoSetFileOperationHandler.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The folder a path names, resolved through links when it exists.
QString resolvedFolder(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

} // namespace

KVideoSetFileOperationHandler::KVideoSetFileOperationHandler(const QList<KVideoSetPair> &pairs,
                                                             QObject *parent)
    : QObject(parent), m_pairs(pairs)
{}

QString KVideoSetFileOperationHandler::displayName(const QString &path)
{
    const int last = path.lastIndexOf(QLatin1Char('/'));
    const int secondLast = last > 0 ? path.lastIndexOf(QLatin1Char('/'), last - 1) : -1;
    return secondLast >= 0 ? path.mid(secondLast) : path;
}

bool KVideoSetFileOperationHandler::acceptsPair(const KVideoSetPair &pair) const
{
    return resolvedFolder(pair.first.path) != resolvedFolder(pair.second.path);
}

void KVideoSetFileOperationHandler::start()
{
    m_running = true;
    m_bytesDone = 0;
    qint64 total = 0;
    QList<QPair<QString, QString>> files;
    for (const KVideoSetPair &pair : qAsConst(m_pairs)) {
        if (!m_running)
            break;
        // Checked before anything is touched: writing a set onto itself would destroy it.
        if (!acceptsPair(pair)) {
            emit error();
            return;
        }
        const QDir source(pair.first.path);
        const QDir destination(pair.second.path);
        for (auto it = pair.first.channels.cbegin(); it != pair.first.channels.cend(); ++it) {
            const QFileInfo file(source.filePath(it->file.fileName()));
            // Only the channels the destination is to hold (the cut's chosen ones).
            if (!pair.second.channels.contains(it.key()) || it->file.fileName().isEmpty() ||
                !file.isFile())
                continue;
            files.append({file.filePath(), destination.filePath(file.fileName())});
            total += file.size();
        }
        const QFileInfo dataFile(source.filePath(KVideoSetData::dataFileName));
        if (dataFile.isFile()) {
            files.append({dataFile.filePath(), destination.filePath(KVideoSetData::dataFileName)});
            total += dataFile.size();
        }
    }
    if (total == 0) {
        emit error();
        return;
    }
    emit progressStagesCountChanged(total);
    for (const auto &file : qAsConst(files)) {
        if (!m_running) {
            cleanUp();
            emit cancelled();
            return;
        }
        const int result = processFile(file.first, file.second);
        if (result == Cancelled) {
            cleanUp();
            emit cancelled();
            return;
        }
        if (result != Done) {
            cleanUp();
            emit error();
            return;
        }
    }
    emit completed();
}

void KVideoSetFileOperationHandler::stop()
{
    m_running = false;
}

void KVideoSetFileOperationHandler::addBytesDone(qint64 bytes)
{
    m_bytesDone += bytes;
    emit progressStageCompleted(m_bytesDone);
}
