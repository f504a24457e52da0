#include "KVideoSetDeleteHandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

KVideoSetDeleteHandler::KVideoSetDeleteHandler(const QList<KVideoSetPair> &pairs, QObject *parent)
    : KVideoSetFileOperationHandler(pairs, parent)
{}

int KVideoSetDeleteHandler::processFile(const QString &sourcePath, const QString &)
{
    emit started(displayName(sourcePath));
    const qint64 size = QFileInfo(sourcePath).size();
    if (!QFile::remove(sourcePath))
        return Failed;
    addBytesDone(size);

    QDir setFolder = QFileInfo(sourcePath).absoluteDir();
    if (!setFolder.entryList(QDir::Files | QDir::Hidden | QDir::System).isEmpty())
        return Done;
    QDir objectFolder = setFolder;
    const bool hasParent = objectFolder.cdUp();
    setFolder.removeRecursively();
    // Only an empty object folder goes: anything else the operator put there stays.
    if (hasParent && objectFolder.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        QDir().rmdir(objectFolder.absolutePath());
    return Done;
}
