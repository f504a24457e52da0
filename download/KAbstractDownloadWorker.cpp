#include "KAbstractDownloadWorker.h"

#include "KAppLogHandler.h"
#include "KFfmpeg.h"
#include "KFormat.h"
#include "KObjectHandler.h"
#include "KSettings.h"
#include "KVideoSetData.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QThread>

#include <algorithm>

namespace {

const QString kPrefix = QStringLiteral("Загрузка видеоархива");

QString text(const char *tail)
{
    return kPrefix + QString::fromUtf8(tail);
}

// Pause before trying again a step that could not reach the recorder, so that a link that is
// down costs one attempt a second rather than a busy loop.
constexpr int kRetryPause = 1000;

} // namespace

KAbstractDownloadWorker::KAbstractDownloadWorker(KObjectHandler *object, QObject *parent)
    : KAbstractDeviceWorker(object, parent), m_ffmpegProgram(KFfmpeg::defaultProgram()),
      m_retryInterval(KSettings::instance()->connectionInterval()),
      m_freeSpaceQuery([](const QString &path) { return QStorageInfo(path).bytesAvailable(); })
{
    qRegisterMetaType<KDownloadChannelMap>("KDownloadChannelMap");
    qRegisterMetaType<QFileInfo>("QFileInfo");
}

KAbstractDownloadWorker::~KAbstractDownloadWorker() = default;

QString KAbstractDownloadWorker::currentChannelID() const
{
    QMutexLocker locker(&m_channelMutex);
    return m_currentChannelID;
}

void KAbstractDownloadWorker::setCurrentChannelID(const QString &channelID)
{
    QMutexLocker locker(&m_channelMutex);
    m_currentChannelID = channelID;
}

int KAbstractDownloadWorker::fragmentLength(int reliabilityMode)
{
    switch (reliabilityMode) {
    case 0:
        return 300;
    case 2:
        return 3600;
    default:
        return 900;
    }
}

QList<KAbstractDownloadWorker::Interval>
KAbstractDownloadWorker::mergeIntervals(const QList<KArchiveFileInterval> &files,
                                        const QDateTime &begin, const QDateTime &end)
{
    QList<Interval> intervals;
    QDateTime openedAt;
    for (int i = 0; i < files.size(); ++i) {
        const KArchiveFileInterval &file = files[i];
        const bool joinsPrevious =
            i > 0 && qAbs(files[i - 1].endDateTime.secsTo(file.beginDateTime)) < 2;
        if (!joinsPrevious)
            openedAt = std::max(file.beginDateTime, begin);
        const bool joinsNext =
            i + 1 < files.size() && qAbs(file.endDateTime.secsTo(files[i + 1].beginDateTime)) < 2;
        if (joinsNext)
            continue;
        const QDateTime closedAt = std::min(file.endDateTime, end);
        // A file that only touches the request holds nothing of it.
        if (openedAt < closedAt)
            intervals.append({openedAt, closedAt});
    }
    return intervals;
}

QString KAbstractDownloadWorker::fragmentFileName(const QString &channelID, int number)
{
    return channelID + QStringLiteral("_PART") +
           QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0')) + QStringLiteral(".ts");
}

QList<KDownloadFragment> KAbstractDownloadWorker::fragments(const QString &folder,
                                                            const QString &channelID,
                                                            const QDateTime &begin,
                                                            const QDateTime &end, int lengthSeconds)
{
    QList<KDownloadFragment> list;
    if (lengthSeconds <= 0)
        return list;
    for (QDateTime t = begin; t < end; t = t.addSecs(lengthSeconds)) {
        KDownloadFragment fragment;
        fragment.file =
            QFileInfo(folder + QLatin1Char('/') + fragmentFileName(channelID, list.size() + 1));
        fragment.beginDateTime = t;
        fragment.endDateTime = std::min(t.addSecs(lengthSeconds), end);
        list.append(fragment);
    }
    return list;
}

void KAbstractDownloadWorker::log(const QString &message, const QString &channelID, int code) const
{
    if (channelID.isEmpty())
        KAppLogHandler::instance()->write(m_object->record(), message, code);
    else
        KAppLogHandler::instance()->write(m_object->record(), channelID, message, code);
}

bool KAbstractDownloadWorker::pause(int milliseconds) const
{
    QDeadlineTimer deadline(std::max(0, milliseconds));
    while (isActive() && !deadline.hasExpired())
        QThread::msleep(std::min<qint64>(50, std::max<qint64>(1, deadline.remainingTime())));
    return isActive();
}

qint64 KAbstractDownloadWorker::freeSpace(const QString &folder) const
{
    return m_freeSpaceQuery ? m_freeSpaceQuery(folder) : minimumFreeSpace;
}

void KAbstractDownloadWorker::run(KDownloadChannelMap channels, QDateTime beginDateTime,
                                  QDateTime endDateTime, int flags)
{
    {
        QMutexLocker locker(&m_phaseMutex);
        if (m_phase != Phase::NotStarted)
            return;
        m_phase = Phase::Running;
        setActive(true);
    }
    emit started();

    int endState = JobStopped;
    if (channels.isEmpty()) {
        log(text(" - нет каналов для загрузки!"));
        setActive(false);
        endState = JobEmpty;
    } else {
        setState(JobRunning);
        log(text(" начата"));
        bool failed = false;
        for (auto it = channels.cbegin(); it != channels.cend() && isActive(); ++it) {
            const int result =
                downloadChannel(it.key(), it.value(), beginDateTime, endDateTime, flags);
            if (result == Done || result == NothingFound)
                continue;
            setActive(false);
            failed = result != Cancelled;
        }
        if (isActive()) {
            setActive(false);
            endState = JobFinished;
            log(text(" завершена"));
        } else if (failed) {
            log(text(" - ошибка загрузки видеонабора"));
            endState = JobFailed;
        } else {
            log(text(" остановлена"));
        }
    }
    {
        QMutexLocker locker(&m_phaseMutex);
        m_phase = Phase::Ended;
        setState(endState);
    }
    emit finished();
}

void KAbstractDownloadWorker::quit()
{
    QMutexLocker locker(&m_phaseMutex);
    if (m_phase == Phase::Ended)
        return;
    const QString channelID = currentChannelID();
    if (m_phase == Phase::NotStarted) {
        // Never begun: it ends here, and a run() that still arrives does nothing.
        m_phase = Phase::Ended;
        setState(JobStopped);
        locker.unlock();
        emit channelStateChanged(channelID, Cancelled);
        emit finished();
        return;
    }
    setActive(false);
    if (state() != JobStopping)
        setState(JobStopping);
    locker.unlock();
    emit channelStateChanged(channelID, Stopping);
    QCoreApplication::processEvents();
}

int KAbstractDownloadWorker::endChannel(const QString &channelID, int state, const QString &message)
{
    if (!message.isEmpty())
        log(message, channelID);
    emit channelStateChanged(channelID, state);
    return state;
}

int KAbstractDownloadWorker::downloadChannel(QString channelID, KPasCountSettingsData,
                                             QDateTime beginDateTime, QDateTime endDateTime,
                                             int flags)
{
    log(text(" - загрузка канала начата"), channelID);
    setCurrentChannelID(channelID);
    emit channelChanged(channelID);
    const int length = fragmentLength(KSettings::instance()->downloadReliabilityMode());

    QList<Interval> intervals;
    if (m_object->recorderType() != 1) {
        intervals.append({beginDateTime, endDateTime});
    } else {
        QList<KArchiveFileInterval> files;
        int result = 0;
        while (isActive() && result != Done) {
            if (result == DeviceError) {
                emit intervalChanged(channelID, beginDateTime, endDateTime);
                return endChannel(channelID, NothingFound);
            }
            if (!m_object->isConnected()) {
                pause(m_retryInterval);
                result = 0;
                continue;
            }
            if (result == NoConnection && !pause(std::min(kRetryPause, m_retryInterval)))
                break;
            files.clear();
            result = searchIntervals(channelID, beginDateTime, endDateTime, files);
        }
        intervals = mergeIntervals(files, beginDateTime, endDateTime);
    }
    if (intervals.isEmpty() && isActive()) {
        emit intervalChanged(channelID, beginDateTime, endDateTime);
        return endChannel(channelID, NothingFound, text(" - интервалы не найдены!"));
    }

    const QString store = KSettings::instance()->localVideoPath();
    const QString objectFolder =
        store + QLatin1Char('/') + KVideoSetData::objectFolderName(m_object->name());
    for (const Interval &interval : intervals) {
        if (!isActive())
            return endChannel(channelID, Cancelled, text(" - загрузка канала отменена"));
        const QDateTime &b = interval.first;
        const QDateTime &e = interval.second;
        if (!(b < e)) {
            log(text(" - неверный интервал!"), channelID);
            emit intervalChanged(channelID, beginDateTime, endDateTime);
            return endChannel(channelID, NothingFound);
        }
        emit channelStateChanged(channelID, Downloading);
        emit intervalChanged(channelID, b, e);

        const QString folder =
            QDir::cleanPath(objectFolder + QLatin1Char('/') + KVideoSetData::folderName(b, e));
        if (!QDir().mkpath(folder))
            return endChannel(channelID, FolderFailed, text(" - ошибка файловой системы"));

        const QList<KDownloadFragment> pieces = fragments(folder, channelID, b, e, length);
        log(text(" - загрузка файла: ") + folder, channelID);
        emit progressStagesCountChanged(channelID, pieces.size());
        emit progressStageCompleted(channelID, 0);

        const QFileInfo channelFile(folder + QLatin1Char('/') + channelID + QStringLiteral(".mp4"));
        if (channelFile.exists()) {
            emit progressStageCompleted(channelID, pieces.size());
            emit fragmentStored(channelID, b, e);
            log(text(" - файл уже существует: ") + channelFile.absoluteFilePath(), channelID);
        } else {
            const int fetched = fetchFragments(channelID, folder, pieces);
            if (fetched != Done)
                return fetched;
            if (!isActive())
                continue;
            if (m_fragmentsHere == 0) {
                // Everything was fetched by another workstation: nothing here to join.
                log(text(" - интервал загружен на другом рабочем месте: ") + folder, channelID);
                continue;
            }
            const int assembled = assemble(channelID, folder, channelFile.absoluteFilePath());
            if (assembled != Done)
                return assembled;
            // Markers and comment already in the set are kept; the channel list is the object's.
            KVideoSetData set(folder);
            set.beginDateTime = b;
            set.endDateTime = e;
            set.channels = m_object->channels();
            if (!set.writeDataFile()) {
                return endChannel(channelID, FolderFailed,
                                  text(" - ошибка записи файла данных: ") +
                                      QDir(folder).filePath(KVideoSetData::dataFileName));
            }
        }

        if (isActive() && (flags & 2)) {
            emit channelStateChanged(channelID, AutoDeleting);
            log(text(" - автоудаление файла: ") + channelFile.absoluteFilePath(), channelID);
            while (!QDir(folder).removeRecursively() && isActive())
                pause(m_retryInterval);
            log(text(" - автоудаление файла завершено"), channelID);
        }
    }
    if (isActive())
        return endChannel(channelID, Done, text(" - загрузка канала завершена"));
    return endChannel(channelID, Cancelled, text(" - загрузка канала отменена"));
}

int KAbstractDownloadWorker::fetchFragments(const QString &channelID, const QString &folder,
                                            const QList<KDownloadFragment> &fragments)
{
    bool obtained = false;
    m_fragmentsHere = 0;
    const QDateTime fetchedElsewhere = m_fetchedElsewhere.value(channelID);
    for (int i = 1; i <= fragments.size() && isActive(); ++i) {
        const KDownloadFragment &fragment = fragments[i - 1];
        const QString path = fragment.file.absoluteFilePath();
        if (QFileInfo::exists(path)) {
            obtained = true;
            ++m_fragmentsHere;
            log(text(" - фрагмент уже существует: ") + path, channelID);
            if (isActive()) {
                emit progressStageCompleted(channelID, i);
                emit fragmentStored(channelID, fragment.beginDateTime, fragment.endDateTime);
            }
            continue;
        }
        if (fetchedElsewhere.isValid() && fragment.endDateTime <= fetchedElsewhere) {
            log(text(" - фрагмент загружен на другом рабочем месте: ") + path, channelID);
            if (isActive())
                emit progressStageCompleted(channelID, i);
            continue;
        }
        int result = Downloading;
        bool fetched = false;
        while (true) {
            if (result == Done) {
                obtained = fetched = true;
                break;
            }
            if (result == Cancelled || result == DeviceError || result == FfmpegFailed)
                return endChannel(channelID, result);
            if (result == NothingFound) {
                if (obtained)
                    break;
                return endChannel(channelID, NothingFound);
            }
            if (m_object->isConnected()) {
                if (result == NoConnection && !pause(std::min(kRetryPause, m_retryInterval)))
                    return Done;
                if (freeSpace(folder) < minimumFreeSpace)
                    return endChannel(channelID, NoDiskSpace, text(" - нет свободного места!"));
                log(text(" - загрузка фрагмента: ") + path, channelID);
                result = downloadFragment(channelID, fragment);
            } else {
                pause(m_retryInterval);
                result = Downloading;
            }
            // A stopped job ends the loop whatever the attempt gave.
            if (!isActive())
                return Done;
        }
        if (fetched)
            ++m_fragmentsHere;
        if (fetched && isActive()) {
            log(text(" - фрагмент загружен: ") + path + QStringLiteral(" (") +
                    KFormat::byteSizeText(QFileInfo(path).size()) + QLatin1Char(')'),
                channelID);
            emit progressStageCompleted(channelID, i);
            emit fragmentStored(channelID, fragment.beginDateTime, fragment.endDateTime);
        }
    }
    return Done;
}

int KAbstractDownloadWorker::assemble(const QString &channelID, const QString &folder,
                                      const QString &filePath)
{
    // Every fragment of the channel in the folder, in the order of its number (also those of
    // an earlier job with another fragment length); temporary files are no part of it.
    const QRegularExpression fragmentName(QLatin1Char('^') + QRegularExpression::escape(channelID) +
                                          QStringLiteral("_PART(\\d+)\\.ts$"));
    QList<QPair<qint64, QString>> parts;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QRegularExpressionMatch match = fragmentName.match(entry.fileName());
        if (match.hasMatch())
            parts.append({match.captured(1).toLongLong(), entry.absoluteFilePath()});
    }
    std::sort(parts.begin(), parts.end());
    QStringList paths;
    for (const auto &part : parts)
        paths.append(part.second);

    log(text(" - сборка файла: ") + filePath, channelID);
    emit channelStateChanged(channelID, Assembling);
    const KFfmpeg ffmpeg(m_ffmpegProgram);
    const KFfmpeg::Result result =
        ffmpeg.run({QStringLiteral("-i"), QStringLiteral("concat:") + paths.join(QLatin1Char('|')),
                    QStringLiteral("-c"), QStringLiteral("copy"), filePath, QStringLiteral("-y")},
                   filePath);
    // On failure the fragments stay for the next attempt.
    if (result == KFfmpeg::NotStarted)
        return endChannel(channelID, FfmpegFailed, text(" - ошибка программы сборки!"));
    if (result != KFfmpeg::Succeeded)
        return endChannel(channelID, FfmpegFailed, text(" - ошибка сборки файла"));

    const QString prefix = channelID + QStringLiteral("_PART");
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::Files)) {
        if (entry.fileName().startsWith(prefix))
            QFile::remove(entry.absoluteFilePath());
    }
    log(text(" - загрузка файла закончена: ") + filePath, channelID);
    return Done;
}

int KAbstractDownloadWorker::convertFragment(const QString &channelID, const QString &temporaryPath,
                                             const QString &fragmentPath)
{
    // Converted under another name and renamed when complete, so that a fragment file on disk
    // is always whole (an interrupted conversion is fetched again, never joined).
    const QString partialPath = fragmentPath + QStringLiteral(".part");
    const KFfmpeg ffmpeg(m_ffmpegProgram);
    const KFfmpeg::Result result = ffmpeg.run(
        {QStringLiteral("-i"), temporaryPath, QStringLiteral("-c:v"), QStringLiteral("copy"),
         QStringLiteral("-f"), QStringLiteral("mpegts"), partialPath, QStringLiteral("-y")},
        partialPath);
    QFile::remove(temporaryPath);
    if (result == KFfmpeg::NotStarted) {
        log(text(" - ошибка программы конвертации!"), channelID);
        return FfmpegFailed;
    }
    if (result != KFfmpeg::Succeeded || !QFile::rename(partialPath, fragmentPath)) {
        QFile::remove(partialPath);
        if (!isActive())
            return Cancelled;
        log(text(" - ошибка конвертации фрагмента!"), channelID);
        return FfmpegFailed;
    }
    return Done;
}
