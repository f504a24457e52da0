#include "KVideoSetCutHandler.h"

#include "KAppLogHandler.h"
#include "KFfmpeg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kDurationFormat = QStringLiteral("HH:mm:ss");

} // namespace

KVideoSetCutHandler::KVideoSetCutHandler(const QList<KVideoSetPair> &pairs,
                                         const QTime &startOffset, const QTime &cutLength,
                                         QObject *parent)
    : KVideoSetFileOperationHandler(pairs, parent), m_startOffset(startOffset),
      m_cutLength(cutLength), m_program(KFfmpeg::defaultProgram())
{
    connect(this, qOverload<>(&KVideoSetFileOperationHandler::completed), this,
            [this] { emit completed(true); });
    connect(this, &KVideoSetFileOperationHandler::error, this, [this] { emit completed(false); });
}

QString KVideoSetCutHandler::cutFolderPath(const QString &sourcePath, const QTime &from,
                                           const QTime &to)
{
    const QString times = from.toString(QStringLiteral("hh.mm.ss")) + QLatin1Char('-') +
                          to.toString(QStringLiteral("hh.mm.ss"));
    return sourcePath.left(sourcePath.size() - times.size()) + times;
}

QTime KVideoSetCutHandler::span(const QTime &from, const QTime &to)
{
    return QTime(0, 0).addSecs(from.secsTo(to));
}

QStringList KVideoSetCutHandler::arguments(const QTime &startOffset, const QTime &cutLength,
                                           const QString &sourcePath,
                                           const QString &destinationPath)
{
    return {QStringLiteral("-ss"),     startOffset.toString(kDurationFormat),
            QStringLiteral("-i"),      sourcePath,
            QStringLiteral("-t"),      cutLength.toString(kDurationFormat),
            QStringLiteral("-vcodec"), QStringLiteral("copy"),
            QStringLiteral("-acodec"), QStringLiteral("copy"),
            destinationPath,           QStringLiteral("-y")};
}

int KVideoSetCutHandler::processFile(const QString &sourcePath, const QString &destinationPath)
{
    if (sourcePath.contains(QLatin1String(".xml")))
        return Done;
    const QString folder = QFileInfo(destinationPath).absolutePath();
    if (!QDir(folder).exists()) {
        if (!QDir().mkpath(folder))
            return Failed;
        m_madeFolders.append(folder);
    }
    emit started(displayName(sourcePath));

    const QFileInfo source(sourcePath);
    m_writtenFiles.append(destinationPath);
    const qint64 timeout = qMax(minimumTimeout, source.size() / 1048576 * timeoutPerMiB);
    const KFfmpeg::Result result =
        KFfmpeg(m_program).run(arguments(m_startOffset, m_cutLength, sourcePath, destinationPath),
                               destinationPath, timeout, [this] { return !isRunning(); });
    if (result == KFfmpeg::NotStarted) {
        KAppLogHandler::instance()->write(
            QStringLiteral("Обрезка видео - ошибка программы обрезки!"));
        return Failed;
    }
    if (result == KFfmpeg::Cancelled)
        return Cancelled;
    // A cut that did not end well must never pass for a result.
    if (result != KFfmpeg::Succeeded) {
        KAppLogHandler::instance()->write(QStringLiteral("Обрезка видео - ошибка обрезки файла: ") +
                                          source.absoluteFilePath());
        return Failed;
    }
    addBytesDone(source.size());
    return Done;
}

void KVideoSetCutHandler::cleanUp()
{
    for (const QString &file : qAsConst(m_writtenFiles))
        QFile::remove(file);
    m_writtenFiles.clear();
    // Only folders this cut made, and only when nothing else got into them meanwhile.
    for (const QString &folder : qAsConst(m_madeFolders))
        QDir().rmdir(folder);
    m_madeFolders.clear();
}
