#include "KVideoSetCutHandler.h"

#include "KAppLogHandler.h"
#include "KFfmpeg.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

const QString kDurationFormat = QStringLiteral("HH:mm:ss");
constexpr int kPollInterval = 100;

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
    QProcess process;
    // Nothing is read from it: an unread pipe must never hold it up.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    m_writtenFiles.append(destinationPath);
    process.start(m_program, arguments(m_startOffset, m_cutLength, sourcePath, destinationPath));
    if (!process.waitForStarted(startTimeout)) {
        KAppLogHandler::instance()->write(
            QStringLiteral("Обрезка видео - ошибка программы обрезки!"));
        return Failed;
    }
    const qint64 timeout = qMax(minimumTimeout, source.size() / 1048576 * timeoutPerMiB);
    const QDeadlineTimer deadline(timeout);
    while (process.state() != QProcess::NotRunning && !process.waitForFinished(kPollInterval)) {
        if (!isRunning()) {
            process.kill();
            process.waitForFinished(5000);
            return Cancelled;
        }
        if (deadline.hasExpired()) {
            process.kill();
            process.waitForFinished(5000);
            break;
        }
    }
    // A cut that did not end well must never pass for a result.
    if (process.state() != QProcess::NotRunning || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0 || QFileInfo(destinationPath).size() <= 0) {
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
