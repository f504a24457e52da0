#include "KVideoSetCutHandler.h"

#include "KAppLogHandler.h"
#include "KFfmpeg.h"
#include "KMediaProbe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString kDurationFormat = QStringLiteral("HH:mm:ss");
const QString kSetExists = QStringLiteral("Видеонабор с таким интервалом уже существует: ");

double seconds(const QTime &duration)
{
    return QTime(0, 0).msecsTo(duration) / 1000.0;
}

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

bool KVideoSetCutHandler::acceptsPair(const KVideoSetPair &pair, QString *reason) const
{
    if (!KVideoSetFileOperationHandler::acceptsPair(pair, reason))
        return false;
    // Checked without following a link: a link of that name is the operator's as well.
    const QString destination = QDir::cleanPath(pair.second.path);
    if (QFileInfo::exists(destination) || isLink(destination)) {
        *reason = kSetExists + destination;
        return false;
    }
    return true;
}

QList<KVideoSetFileOperationHandler::FilePair>
KVideoSetCutHandler::filesOf(const KVideoSetPair &pair) const
{
    // The channel files only: the new set's data file is written here, not cut.
    QList<FilePair> files = KVideoSetFileOperationHandler::filesOf(pair);
    files.erase(std::remove_if(files.begin(), files.end(),
                               [](const FilePair &file) {
                                   return QFileInfo(file.first).fileName() ==
                                          KVideoSetData::dataFileName;
                               }),
                files.end());
    return files;
}

QString KVideoSetCutHandler::targetFolder(const KVideoSetPair &pair) const
{
    return QDir::cleanPath(pair.second.path) + KVideoSetData::workFolderSuffix;
}

bool KVideoSetCutHandler::beginPair(const KVideoSetPair &pair)
{
    const QString work = targetFolder(pair);
    // A work folder left by a cut that never ended is this program's own.
    if (isLink(work))
        QFile::remove(work);
    else
        QDir(work).removeRecursively();
    if (!QDir().mkpath(work)) {
        setReason(QStringLiteral("Не удалось создать папку: ") + work);
        return false;
    }
    m_workFolder = work;
    return true;
}

double KVideoSetCutHandler::expectedSeconds(const QString &sourcePath) const
{
    const double length = seconds(m_cutLength);
    const KMediaProbe::Result source = KMediaProbe::probe(sourcePath);
    if (!source.readable)
        return length;
    return std::max(0.0, std::min(length, source.seconds - seconds(m_startOffset)));
}

int KVideoSetCutHandler::processFile(const QString &sourcePath, const QString &destinationPath)
{
    emit started(displayName(sourcePath));
    const QFileInfo source(sourcePath);
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
    // ffmpeg's status is no proof: a full disk can leave a file nobody can play.
    QString why;
    if (!KMediaProbe::covers(destinationPath, expectedSeconds(sourcePath), &why)) {
        KAppLogHandler::instance()->write(
            QStringLiteral("Обрезка видео - файл обрезки не прошел проверку: ") +
            source.absoluteFilePath() + QStringLiteral(" (") + why + QLatin1Char(')'));
        setReason(QStringLiteral("Файл обрезки не читается или короче заданного интервала: ") +
                  source.fileName());
        return Failed;
    }
    addBytesDone(source.size());
    return Done;
}

bool KVideoSetCutHandler::finishPair(const KVideoSetPair &pair)
{
    // The new set keeps the numbers and titles its channels have in the source.
    KVideoSetData made = KVideoSetData::fromFolder(m_workFolder);
    for (auto it = made.channels.begin(); it != made.channels.end(); ++it) {
        const auto original = pair.first.channels.constFind(it.key());
        if (original == pair.first.channels.cend())
            continue;
        it->channelNumber = original->channelNumber;
        it->title = original->title;
    }
    made.markers.clear();
    made.comment.clear();
    if (!made.writeDataFile()) {
        setReason(QStringLiteral("Не удалось записать файл: ") +
                  QDir(m_workFolder).filePath(KVideoSetData::dataFileName));
        return false;
    }
    const QString destination = QDir::cleanPath(pair.second.path);
    if (!renameFolder(m_workFolder, destination)) {
        setReason(kSetExists + destination);
        return false;
    }
    m_workFolder.clear();
    return true;
}

void KVideoSetCutHandler::cleanUp()
{
    if (!m_workFolder.isEmpty())
        QDir(m_workFolder).removeRecursively();
    m_workFolder.clear();
}
