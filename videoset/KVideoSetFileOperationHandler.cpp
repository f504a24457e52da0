#include "KVideoSetFileOperationHandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>

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

bool KVideoSetFileOperationHandler::isLink(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(QDir::cleanPath(path)).constData(), &status) == 0 &&
           S_ISLNK(status.st_mode);
}

bool KVideoSetFileOperationHandler::renameFolder(const QString &from, const QString &to)
{
    // One step that never replaces: a folder that appeared at the new name meanwhile stays.
    return ::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD,
                       QFile::encodeName(to).constData(), RENAME_NOREPLACE) == 0;
}

bool KVideoSetFileOperationHandler::acceptsPair(const KVideoSetPair &pair, QString *) const
{
    return resolvedFolder(pair.first.path) != resolvedFolder(pair.second.path);
}

QString KVideoSetFileOperationHandler::targetFolder(const KVideoSetPair &pair) const
{
    return pair.second.path;
}

QList<KVideoSetFileOperationHandler::FilePair>
KVideoSetFileOperationHandler::filesOf(const KVideoSetPair &pair) const
{
    QList<FilePair> files;
    const QDir source(pair.first.path);
    const QDir destination(targetFolder(pair));
    for (auto it = pair.first.channels.cbegin(); it != pair.first.channels.cend(); ++it) {
        const QFileInfo file(source.filePath(it->file.fileName()));
        // Only the channels the destination is to hold (the cut's chosen ones).
        if (!pair.second.channels.contains(it.key()) || it->file.fileName().isEmpty() ||
            !file.isFile())
            continue;
        files.append({file.filePath(), destination.filePath(file.fileName())});
    }
    const QFileInfo dataFile(source.filePath(KVideoSetData::dataFileName));
    if (dataFile.isFile())
        files.append({dataFile.filePath(), destination.filePath(KVideoSetData::dataFileName)});
    return files;
}

void KVideoSetFileOperationHandler::start()
{
    m_running = true;
    m_bytesDone = 0;
    m_reason.clear();
    qint64 total = 0;
    bool work = false;
    QList<QList<FilePair>> files;
    for (const KVideoSetPair &pair : qAsConst(m_pairs)) {
        // Checked before anything is touched: writing a set onto itself would destroy it.
        if (!acceptsPair(pair, &m_reason)) {
            if (!m_reason.isEmpty())
                emit failed(m_reason);
            emit error();
            return;
        }
        files.append(filesOf(pair));
        for (const FilePair &file : qAsConst(files.last())) {
            const QFileInfo info(file.first);
            total += info.isSymLink() ? 0 : info.size();
        }
        work = work || !files.last().isEmpty() || workWithoutFiles(pair);
    }
    if (!work) {
        emit error();
        return;
    }
    emit progressStagesCountChanged(total);
    for (int i = 0; i < m_pairs.size(); ++i) {
        if (!m_running) {
            cleanUp();
            emit cancelled();
            return;
        }
        if (!beginPair(m_pairs.at(i)))
            return fail();
        for (const FilePair &file : qAsConst(files.at(i))) {
            const int result = m_running ? processFile(file.first, file.second) : int(Cancelled);
            if (result == Cancelled) {
                cleanUp();
                emit cancelled();
                return;
            }
            if (result != Done)
                return fail();
        }
        if (!m_running) {
            cleanUp();
            emit cancelled();
            return;
        }
        if (!finishPair(m_pairs.at(i)))
            return fail();
    }
    emit completed();
}

void KVideoSetFileOperationHandler::fail()
{
    cleanUp();
    if (!m_reason.isEmpty())
        emit failed(m_reason);
    emit error();
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
