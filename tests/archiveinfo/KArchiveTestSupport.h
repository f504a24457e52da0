#pragma once

#include "../device/KDeviceTestSupport.h"
#include "KArchiveInfoHandler.h"
#include "KConnectionHandler.h"
#include "KObjectHandler_HIKVISION.h"
#include "KRecorderSDK.h"
#include "KTestEmulator.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

// Helpers shared by the archive-information tests: the emulated recorder's own list of what a
// search finds, the answers expected from it, a logged-in object and one search job run.
namespace KArchiveTest {

struct ArchiveFile
{
    QDateTime begin;
    QDateTime end;
};

inline QString stamp(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss"));
}

// The files the emulator holds for channel number `channel` in [from, to]; *ok false when the
// control channel did not answer.
inline QList<ArchiveFile> files(KTestEmulator &emulator, int channel, const QDateTime &from,
                                const QDateTime &to, bool *ok)
{
    QStringList lines;
    *ok = emulator.commandOk(QStringLiteral("files %1 %2 %3 %4")
                                 .arg(emulator.host())
                                 .arg(channel)
                                 .arg(stamp(from), stamp(to)),
                             &lines);
    QList<ArchiveFile> result;
    for (const QString &line : qAsConst(lines)) {
        const QStringList fields = line.split(QLatin1Char(' '));
        if (fields.size() < 4) {
            *ok = false;
            continue;
        }
        result.append({QDateTime::fromString(fields[2], Qt::ISODate),
                       QDateTime::fromString(fields[3], Qt::ISODate)});
    }
    return result;
}

inline QDateTime toMinute(const QDateTime &time)
{
    return QDateTime(time.date(), QTime(time.time().hour(), time.time().minute()));
}

// Minute m of day is recorded when a file runs from its start minute (seconds cut off) up to,
// not including, its stop minute.
inline QList<bool> expectedMinutes(const QList<ArchiveFile> &found, const QDate &day)
{
    QList<bool> minutes;
    for (int m = 0; m < 1440; ++m) {
        const QDateTime t = QDateTime(day, QTime(0, 0)).addSecs(m * 60);
        bool recorded = false;
        for (const ArchiveFile &f : found)
            recorded = recorded || (toMinute(f.begin) <= t && t < toMinute(f.end));
        minutes.append(recorded);
    }
    return minutes;
}

// Day d of month is marked when a file starts on it.
inline QList<bool> expectedDays(const QList<ArchiveFile> &found, const QDate &month)
{
    QList<bool> days;
    for (int d = 1; d <= 31; ++d) {
        bool started = false;
        for (const ArchiveFile &f : found)
            started = started || (d <= month.daysInMonth() &&
                                  f.begin.date() == QDate(month.year(), month.month(), d));
        days.append(started);
    }
    return days;
}

inline KObjectData objectRecord(const KTestEmulator &emulator)
{
    return KDeviceTest::objectRecord(emulator.host(), emulator.port(), emulator.statusPort());
}

// Waits until the object is logged in and its connection job's answer went round (its
// connectionStateChanged() must not reach a time-line in the middle of a test).
inline bool waitConnected(KObjectHandler *object)
{
    return KTestEmulator::waitFor(
        [&] { return object->isConnected() && object->connectionJobID() < 1; }, 30000);
}

// An object of the emulated recorder, logged in (needs the connection handler running).
inline std::unique_ptr<KObjectHandler_HIKVISION> connectedObject(const KTestEmulator &emulator)
{
    auto object = std::make_unique<KObjectHandler_HIKVISION>(objectRecord(emulator));
    object->requireConnection(true);
    waitConnected(object.get());
    return object;
}

// The program's start for these tests: the SDK, the connection pool, a one-thread archive
// pool (searches run one after another), the emulator and a logged-in object of it.
inline bool startUp(KTestEmulator &emulator, const QStringList &arguments,
                    KTestEmulator::Logging logging,
                    std::unique_ptr<KObjectHandler_HIKVISION> *object)
{
    if (!KRecorderSDK::instance()->initialize())
        return false;
    KConnectionHandler::instance()->initialize(2);
    KArchiveInfoHandler::instance()->initialize(1);
    if (!emulator.start(arguments, logging))
        return false;
    *object = connectedObject(emulator);
    return (*object)->isConnected();
}

// The program's end, in its order.
inline void shutDown(std::unique_ptr<KObjectHandler_HIKVISION> *object)
{
    KArchiveInfoHandler::instance()->shutdown();
    KConnectionHandler::instance()->shutdown();
    object->reset();
    KRecorderSDK::instance()->cleanup();
}

// Runs one search job to its end. True when it sent a result (stored in *result).
inline bool runSearch(KObjectHandler *object, int searchType, const QDate &date,
                      QList<bool> *result, const QString &channel = QStringLiteral("ACAM01"))
{
    KArchiveInfoHandler *handler = KArchiveInfoHandler::instance();
    QSignalSpy results(handler, &KArchiveInfoHandler::resultReceived);
    const int jobID =
        handler->addJob(KArchiveInfoJob{object, channel, searchType, QDateTime(date, QTime(0, 0))});
    if (jobID < 1 || !KTestEmulator::waitFor([&] { return !handler->hasJob(jobID); }, 30000))
        return false;
    for (const QList<QVariant> &signal : qAsConst(results)) {
        if (signal.at(0).toInt() == jobID) {
            *result = signal.at(1).value<QList<bool>>();
            return true;
        }
    }
    return false;
}

// Minutes (or days) that differ, for failure messages.
inline QString difference(const QList<bool> &actual, const QList<bool> &expected)
{
    if (actual.size() != expected.size())
        return QStringLiteral("size %1 instead of %2").arg(actual.size()).arg(expected.size());
    QStringList wrong;
    for (int i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i])
            wrong << QString::number(i);
    }
    return QStringLiteral("entries differ: ") + wrong.join(QLatin1Char(','));
}

} // namespace KArchiveTest
