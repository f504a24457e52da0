#include "KVideoSetCopyHandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {

const QString kLinkedTarget = QStringLiteral("Папка назначения является ссылкой: ");
const QString kNoFolder = QStringLiteral("Не удалось создать папку: ");
const QString kNotWritten = QStringLiteral("Не удалось записать файл: ");

} // namespace

KVideoSetCopyHandler::KVideoSetCopyHandler(const QList<KVideoSetPair> &pairs, QObject *parent)
    : KVideoSetFileOperationHandler(pairs, parent), m_buffer(bufferSize, Qt::Uninitialized)
{}

KVideoSetData KVideoSetCopyHandler::merged(const KVideoSetData &destination,
                                           const KVideoSetData &source)
{
    KVideoSetData result = destination;
    for (auto it = source.channels.cbegin(); it != source.channels.cend(); ++it) {
        if (!result.channels.contains(it.key()))
            result.channels.insert(it.key(), it.value());
    }
    for (const KVideoMarkerData &marker : source.markers) {
        const bool known = std::any_of(destination.markers.cbegin(), destination.markers.cend(),
                                       [&](const KVideoMarkerData &m) {
                                           return m.time == marker.time && m.text == marker.text;
                                       });
        if (!known)
            result.markers.append(marker);
    }
    if (result.comment.isEmpty())
        result.comment = source.comment;
    return result;
}

bool KVideoSetCopyHandler::acceptsPair(const KVideoSetPair &pair, QString *reason) const
{
    if (!KVideoSetFileOperationHandler::acceptsPair(pair, reason))
        return false;
    // Writing through a link would put the copy, or replace files, outside the store.
    const QString destination = QDir::cleanPath(pair.second.path);
    for (const QString &folder : {destination, QFileInfo(destination).path()}) {
        if (isLink(folder)) {
            *reason = kLinkedTarget + folder;
            return false;
        }
    }
    return true;
}

QString KVideoSetCopyHandler::targetFolder(const KVideoSetPair &pair) const
{
    return QDir::cleanPath(pair.second.path) + KVideoSetData::workFolderSuffix;
}

bool KVideoSetCopyHandler::beginPair(const KVideoSetPair &pair)
{
    const QString work = targetFolder(pair);
    const QString objectFolder = QFileInfo(work).path();
    if (!QFileInfo(objectFolder).isDir()) {
        if (!QDir().mkpath(objectFolder)) {
            setReason(kNoFolder + objectFolder);
            return false;
        }
        m_madeObjectFolder = objectFolder;
    }
    // A work folder left by a copy that never ended is this program's own.
    if (isLink(work))
        QFile::remove(work);
    else
        QDir(work).removeRecursively();
    if (!QDir().mkdir(work)) {
        setReason(kNoFolder + work);
        return false;
    }
    m_workFolder = work;
    return true;
}

int KVideoSetCopyHandler::processFile(const QString &sourcePath, const QString &destinationPath)
{
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
        // A source that shrank or vanished meanwhile ends early: that is a failure too.
        if (done <= 0) {
            destination.cancelWriting();
            return Failed;
        }
        copied += done;
        addBytesDone(done);
    }
    return destination.commit() ? Done : Failed;
}

bool KVideoSetCopyHandler::finishPair(const KVideoSetPair &pair)
{
    const QString destination = QDir::cleanPath(pair.second.path);
    if (!isLink(destination) && !QFileInfo::exists(destination) &&
        renameFolder(m_workFolder, destination)) {
        m_workFolder.clear();
        m_madeObjectFolder.clear();
        return true;
    }
    if (isLink(destination)) {
        setReason(kLinkedTarget + destination);
        return false;
    }
    if (!mergeInto(destination))
        return false;
    QDir(m_workFolder).removeRecursively();
    m_workFolder.clear();
    return true;
}

bool KVideoSetCopyHandler::mergeInto(const QString &destinationPath)
{
    const QDir work(m_workFolder);
    const QDir destination(destinationPath);
    for (const QString &name : work.entryList(QDir::Files | QDir::Hidden)) {
        if (name == KVideoSetData::dataFileName)
            continue;
        // Each file replaces its older copy in one step.
        const QString target = destination.filePath(name);
        if (::rename(QFile::encodeName(work.filePath(name)).constData(),
                     QFile::encodeName(target).constData()) != 0) {
            setReason(kNotWritten + target);
            return false;
        }
    }
    if (!QFileInfo(work.filePath(KVideoSetData::dataFileName)).isFile())
        return true;
    const KVideoSetData kept(destinationPath);
    // A data file too large to read stays as it is, with all it holds.
    if (kept.dataFileTooLarge)
        return true;
    if (!merged(kept, KVideoSetData(m_workFolder)).writeDataFile()) {
        setReason(kNotWritten + destination.filePath(KVideoSetData::dataFileName));
        return false;
    }
    return true;
}

void KVideoSetCopyHandler::cleanUp()
{
    // Only what this copy made: its work folder, and the object folder when still empty.
    if (!m_workFolder.isEmpty())
        QDir(m_workFolder).removeRecursively();
    if (!m_madeObjectFolder.isEmpty())
        QDir().rmdir(m_madeObjectFolder);
    m_workFolder.clear();
    m_madeObjectFolder.clear();
}
