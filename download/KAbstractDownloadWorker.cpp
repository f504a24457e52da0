#include "KAbstractDownloadWorker.h"

#include "KAppLogHandler.h"
#include "KFfmpeg.h"
#include "KFormat.h"
#include "KMediaProbe.h"
#include "KObjectHandler.h"
#include "KSettings.h"
#include "KVideoSetData.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QSaveFile>
#include <QStorageInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>

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

QString KAbstractDownloadWorker::fragmentFileName(const QString &channelID, int number,
                                                  const QDateTime &begin, const QDateTime &end)
{
    const QString time = QStringLiteral("hh.mm.ss");
    return channelID + QStringLiteral("_PART") +
           QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0')) + QLatin1Char('_') +
           begin.toString(time) + QLatin1Char('-') + end.toString(time) + QStringLiteral(".ts");
}

QString KAbstractDownloadWorker::fetchedPath(const QString &fragmentPath)
{
    QString path = fragmentPath;
    if (path.endsWith(QLatin1String(".ts")))
        path.chop(3);
    // Not ".mp4": the store's readers would take a file named so for a channel.
    return path + QStringLiteral(".fetched");
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
        fragment.beginDateTime = t;
        fragment.endDateTime = std::min(t.addSecs(lengthSeconds), end);
        fragment.file = QFileInfo(folder + QLatin1Char('/') +
                                  fragmentFileName(channelID, list.size() + 1,
                                                   fragment.beginDateTime, fragment.endDateTime));
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
            if (result == Done || result == NothingFound || result == LockedOnly)
                continue;
            // What the recorder listed is there; the other channels may still be whole. The
            // job ends as failed all the same.
            if (result == SearchFailed) {
                failed = true;
                continue;
            }
            setActive(false);
            failed = failed || result != Cancelled;
        }
        if (isActive() && !failed) {
            setActive(false);
            endState = JobFinished;
            log(text(" завершена"));
        } else if (failed) {
            setActive(false);
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
    m_listedRate = 0;
    m_fetchedRate = 0;

    QList<Interval> intervals;
    // The recorder broke the search off: what it listed is downloaded, and the channel then
    // ends with the fault rather than as complete (or as holding nothing).
    bool searchBroken = false;
    int lockedFiles = 0;
    if (m_object->recorderType() != 1) {
        intervals.append({beginDateTime, endDateTime});
    } else {
        QList<KArchiveFileInterval> files;
        int result = 0;
        while (isActive() && result != Done) {
            if (result == DeviceError) {
                searchBroken = true;
                break;
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
        // Locked recordings are never downloaded; they are only counted, to say so.
        QList<KArchiveFileInterval> open;
        qint64 listedBytes = 0;
        qint64 listedSeconds = 0;
        for (const KArchiveFileInterval &file : qAsConst(files)) {
            if (file.locked) {
                ++lockedFiles;
                continue;
            }
            open.append(file);
            if (file.size > 0) {
                listedBytes += file.size;
                listedSeconds += file.beginDateTime.secsTo(file.endDateTime);
            }
        }
        if (listedSeconds > 0)
            m_listedRate = double(listedBytes) / double(listedSeconds);
        intervals = mergeIntervals(open, beginDateTime, endDateTime);
    }
    if (intervals.isEmpty() && isActive()) {
        emit intervalChanged(channelID, beginDateTime, endDateTime);
        if (searchBroken)
            return endChannel(channelID, SearchFailed, text(" - поиск интервалов прерван ВР!"));
        if (lockedFiles > 0)
            return endChannel(channelID, LockedOnly,
                              text(" - записи интервала заблокированы на ВР!"));
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

        const QString filePath =
            QFileInfo(folder + QLatin1Char('/') + channelID + QStringLiteral(".mp4"))
                .absoluteFilePath();
        // A file already there is trusted only when it holds the interval; a broken one stays
        // until a whole one replaces it.
        bool whole = false;
        if (QFileInfo::exists(filePath)) {
            QString why;
            whole = check(filePath, b.secsTo(e), &why, nullptr);
            if (!whole)
                log(text(" - файл поврежден, собирается заново: ") + filePath +
                        QStringLiteral(" (") + why + QLatin1Char(')'),
                    channelID);
        }
        if (whole) {
            emit progressStageCompleted(channelID, pieces.size());
            emit fragmentStored(channelID, b, e);
            log(text(" - файл уже существует: ") + filePath, channelID);
        } else {
            m_fragmentSeconds.clear();
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
            const int assembled = assemble(channelID, folder, pieces, filePath);
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
            log(text(" - автоудаление файла: ") + filePath, channelID);
            while (!QDir(folder).removeRecursively() && isActive())
                pause(m_retryInterval);
            log(text(" - автоудаление файла завершено"), channelID);
        }
    }
    if (!isActive())
        return endChannel(channelID, Cancelled, text(" - загрузка канала отменена"));
    if (searchBroken)
        return endChannel(channelID, SearchFailed, text(" - поиск интервалов прерван ВР!"));
    return endChannel(channelID, Done, text(" - загрузка канала завершена"));
}

bool KAbstractDownloadWorker::check(const QString &path, double expectedSeconds, QString *why,
                                    double *seconds)
{
    if (m_outputCheck) {
        QElapsedTimer clock;
        clock.start();
        const bool whole = KMediaProbe::covers(path, expectedSeconds, why, seconds);
        m_checkTime += clock.nsecsElapsed();
        return whole;
    }
    if (seconds)
        *seconds = expectedSeconds;
    return QFileInfo(path).size() > 0;
}

qint64 KAbstractDownloadWorker::expectedBytes(const KDownloadFragment &fragment) const
{
    const double rate = m_fetchedRate > 0 ? m_fetchedRate : m_listedRate;
    return qint64(rate * double(fragment.beginDateTime.secsTo(fragment.endDateTime)));
}

int KAbstractDownloadWorker::diskWriteFailed(const QString &channelID, const QString &path,
                                             int code)
{
    log(text(" - ошибка записи на диск: ") + path, channelID, code);
    return DiskWriteFailed;
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
        const double span = fragment.beginDateTime.secsTo(fragment.endDateTime);
        if (QFileInfo::exists(path)) {
            // Its name says it holds this piece of the plan; read again for how much it holds.
            QString why;
            double seconds = 0;
            if (check(path, span, &why, &seconds)) {
                m_fragmentSeconds.insert(path, seconds);
                obtained = true;
                ++m_fragmentsHere;
                log(text(" - фрагмент уже существует: ") + path, channelID);
                if (isActive()) {
                    emit progressStageCompleted(channelID, i);
                    emit fragmentStored(channelID, fragment.beginDateTime, fragment.endDateTime);
                }
                continue;
            }
            log(text(" - фрагмент поврежден, загружается заново: ") + path + QStringLiteral(" (") +
                    why + QLatin1Char(')'),
                channelID);
            QFile::remove(path);
        }
        if (fetchedElsewhere.isValid() && fragment.endDateTime <= fetchedElsewhere) {
            log(text(" - фрагмент загружен на другом рабочем месте: ") + path, channelID);
            if (isActive())
                emit progressStageCompleted(channelID, i);
            continue;
        }
        int result = Downloading;
        bool fetched = false;
        const QString kept = fetchedPath(path);
        if (QFileInfo::exists(kept)) {
            // Fetched by an earlier job that could not convert it: only the conversion is left.
            log(text(" - фрагмент уже загружен: ") + kept, channelID);
            result = convertFragment(channelID, fragment, kept);
        }
        while (true) {
            if (result == Done) {
                obtained = true;
                break;
            }
            if (result == Cancelled || result == DeviceError || result == FfmpegFailed ||
                result == FfmpegMissing || result == DiskWriteFailed)
                return endChannel(channelID, result);
            if (result == NothingFound) {
                if (obtained)
                    break;
                return endChannel(channelID, NothingFound);
            }
            if (m_object->isConnected()) {
                if (result == NoConnection && !pause(std::min(kRetryPause, m_retryInterval)))
                    return Done;
                // The reserve stays free after the fragment and its converted copy.
                const qint64 free = freeSpace(folder);
                if (free < minimumFreeSpace + 2 * expectedBytes(fragment))
                    return endChannel(channelID, NoDiskSpace, text(" - нет свободного места!"));
                log(text(" - загрузка фрагмента: ") + path, channelID);
                result = downloadFragment(channelID, fragment);
                fetched = true;
            } else {
                pause(m_retryInterval);
                result = Downloading;
            }
            // A stopped job ends the loop whatever the attempt gave.
            if (!isActive())
                return Done;
        }
        if (!isActive())
            break;
        if (result == Done)
            ++m_fragmentsHere;
        if (fetched && result == Done)
            log(text(" - фрагмент загружен: ") + path + QStringLiteral(" (") +
                    KFormat::byteSizeText(QFileInfo(path).size()) + QLatin1Char(')'),
                channelID);
        if (result == Done) {
            emit progressStageCompleted(channelID, i);
            emit fragmentStored(channelID, fragment.beginDateTime, fragment.endDateTime);
        }
    }
    return Done;
}

int KAbstractDownloadWorker::assemble(const QString &channelID, const QString &folder,
                                      const QList<KDownloadFragment> &fragments,
                                      const QString &filePath)
{
    // Exactly the plan's fragments, in its order (a missing one is a piece the recorder had no
    // file for); the file must hold what they hold.
    QString list = QStringLiteral("ffconcat version 1.0\n");
    double expected = 0;
    for (const KDownloadFragment &fragment : fragments) {
        const QString path = fragment.file.absoluteFilePath();
        if (!QFileInfo::exists(path))
            continue;
        expected += m_fragmentSeconds.value(
            path, double(fragment.beginDateTime.secsTo(fragment.endDateTime)));
        list += QStringLiteral("file '") +
                fragment.file.fileName().replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
                QStringLiteral("'\n");
    }

    log(text(" - сборка файла: ") + filePath, channelID);
    emit channelStateChanged(channelID, Assembling);
    // The fragments are named in a list beside them, relative to it, so that nothing in the
    // folder's path (an object name may hold "|" or quotes) means anything to ffmpeg.
    const QString listPath = QDir(folder).filePath(channelID + QStringLiteral("_PART_LIST.txt"));
    QSaveFile listFile(listPath);
    if (!listFile.open(QIODevice::WriteOnly) || listFile.write(list.toUtf8()) < 0 ||
        !listFile.commit())
        return endChannel(channelID, diskWriteFailed(channelID, listPath));
    // Joined under another name, so that a file under the channel's name is always whole.
    const QString partialPath = filePath + QStringLiteral(".part");
    const KFfmpeg ffmpeg(m_ffmpegProgram);
    const KFfmpeg::Result result =
        ffmpeg.run({QStringLiteral("-f"), QStringLiteral("concat"), QStringLiteral("-safe"),
                    QStringLiteral("0"), QStringLiteral("-i"), listPath, QStringLiteral("-c"),
                    QStringLiteral("copy"), QStringLiteral("-f"), QStringLiteral("mp4"),
                    partialPath, QStringLiteral("-y")},
                   partialPath);
    QFile::remove(listPath);
    // On failure the fragments stay for the next attempt.
    if (result == KFfmpeg::NotStarted) {
        log(text(" - ошибка программы сборки!"), channelID);
        return endChannel(channelID,
                          ffmpegMissing(channelID, ffmpeg) ? FfmpegMissing : FfmpegFailed);
    }
    if (result != KFfmpeg::Succeeded)
        return endChannel(channelID, FfmpegFailed, text(" - ошибка сборки файла"));
    QString why;
    if (!check(partialPath, expected, &why, nullptr)) {
        QFile::remove(partialPath);
        return endChannel(channelID, FfmpegFailed,
                          text(" - файл не прошел проверку: ") + filePath + QStringLiteral(" (") +
                              why + QLatin1Char(')'));
    }
    // Replaces a broken file of the same name in one step.
    if (::rename(QFile::encodeName(partialPath).constData(),
                 QFile::encodeName(filePath).constData()) != 0) {
        const int code = errno;
        QFile::remove(partialPath);
        return endChannel(channelID, diskWriteFailed(channelID, filePath, code));
    }

    // Every fragment of the channel goes, also those of another plan: the file holds them all.
    const QString prefix = channelID + QStringLiteral("_PART");
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::Files)) {
        if (entry.fileName().startsWith(prefix))
            QFile::remove(entry.absoluteFilePath());
    }
    log(text(" - загрузка файла закончена: ") + filePath, channelID);
    return Done;
}

bool KAbstractDownloadWorker::ffmpegMissing(const QString &channelID, const KFfmpeg &ffmpeg)
{
    if (ffmpeg.isAvailable())
        return false;
    log(text(" - программа ffmpeg не найдена: ") + ffmpeg.program(), channelID);
    return true;
}

int KAbstractDownloadWorker::convertFragment(const QString &channelID,
                                             const KDownloadFragment &fragment,
                                             const QString &sourcePath)
{
    const QString fragmentPath = fragment.file.absoluteFilePath();
    const double span = fragment.beginDateTime.secsTo(fragment.endDateTime);
    // Whole from here on: kept under a name that says so until it is converted.
    const QString kept = fetchedPath(fragmentPath);
    if (sourcePath != kept) {
        QFile::remove(kept);
        if (!QFile::rename(sourcePath, kept)) {
            QFile::remove(sourcePath);
            return diskWriteFailed(channelID, kept);
        }
    }
    if (span > 0)
        m_fetchedRate = std::max(m_fetchedRate, double(QFileInfo(kept).size()) / span);

    // Converted under another name and renamed when checked, so that a fragment file on disk
    // is always whole (an interrupted conversion is made again, never joined).
    const QString partialPath = fragmentPath + QStringLiteral(".part");
    const KFfmpeg ffmpeg(m_ffmpegProgram);
    const KFfmpeg::Result result = ffmpeg.run(
        {QStringLiteral("-i"), kept, QStringLiteral("-c:v"), QStringLiteral("copy"),
         QStringLiteral("-f"), QStringLiteral("mpegts"), partialPath, QStringLiteral("-y")},
        partialPath);
    if (result == KFfmpeg::NotStarted) {
        log(text(" - ошибка программы конвертации!"), channelID);
        return ffmpegMissing(channelID, ffmpeg) ? FfmpegMissing : FfmpegFailed;
    }
    if (result != KFfmpeg::Succeeded) {
        if (!isActive())
            return Cancelled;
        log(text(" - ошибка конвертации фрагмента!"), channelID);
        return FfmpegFailed;
    }
    QString why;
    double seconds = 0;
    if (!check(partialPath, span, &why, &seconds)) {
        QFile::remove(partialPath);
        log(text(" - фрагмент не прошел проверку: ") + fragmentPath + QStringLiteral(" (") + why +
                QLatin1Char(')'),
            channelID);
        // A fetched file that is short itself came so from the recorder: it is fetched again
        // next time rather than converted again and again.
        if (!check(kept, span, nullptr, nullptr))
            QFile::remove(kept);
        return FfmpegFailed;
    }
    if (!QFile::rename(partialPath, fragmentPath)) {
        QFile::remove(partialPath);
        return diskWriteFailed(channelID, fragmentPath);
    }
    QFile::remove(kept);
    m_fragmentSeconds.insert(fragmentPath, seconds);
    return Done;
}
