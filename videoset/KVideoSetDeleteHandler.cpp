#include "KVideoSetDeleteHandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

KVideoSetDeleteHandler::KVideoSetDeleteHandler(const QList<KVideoSetPair> &pairs, QObject *parent)
    : KVideoSetFileOperationHandler(pairs, parent)
{}

bool KVideoSetDeleteHandler::acceptsPair(const KVideoSetPair &pair, QString *reason) const
{
    // Through a linked object folder every deletion would happen outside the store.
    const QString objectFolder = QFileInfo(QDir::cleanPath(pair.first.path)).path();
    if (isLink(objectFolder)) {
        *reason = QStringLiteral("Папка объекта является ссылкой: ") + objectFolder;
        return false;
    }
    return true;
}

QList<KVideoSetFileOperationHandler::FilePair>
KVideoSetDeleteHandler::filesOf(const KVideoSetPair &pair) const
{
    const QString folder = QDir::cleanPath(pair.first.path);
    if (isLink(folder))
        return {{folder, QString()}};
    QList<FilePair> files;
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        // A linked file counts as a file (the link goes); a folder inside is not the set's.
        if ((entry.isSymLink() || entry.isFile()) && KVideoSetData::belongsToSet(entry.fileName()))
            files.append({entry.filePath(), QString()});
    }
    return files;
}

bool KVideoSetDeleteHandler::workWithoutFiles(const KVideoSetPair &pair) const
{
    return QFileInfo(QDir::cleanPath(pair.first.path)).isDir();
}

int KVideoSetDeleteHandler::processFile(const QString &sourcePath, const QString &)
{
    emit started(displayName(sourcePath));
    const QFileInfo file(sourcePath);
    const qint64 size = file.isSymLink() ? 0 : file.size();
    // Removes a link itself, never what it points to.
    if (!QFile::remove(sourcePath))
        return Failed;
    addBytesDone(size);
    return Done;
}

bool KVideoSetDeleteHandler::finishPair(const KVideoSetPair &pair)
{
    const QString folder = QDir::cleanPath(pair.first.path);
    const QString objectFolder = QFileInfo(folder).path();
    // Only empty folders go: anything else the operator put there stays.
    if (!isLink(folder))
        QDir().rmdir(folder);
    const QDir object(objectFolder);
    if (object.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        QDir().rmdir(objectFolder);
    return true;
}
