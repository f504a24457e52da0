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

// Helpers shared by the archive-information tests: the answers expected from the emulated
// recorder's own file list, a logged-in object and one search job run.
namespace KArchiveTest {

using Files = QList<KTestEmulator::File>;

inline Files dayFiles(KTestEmulator &emulator, const QDate &first, const QDate &last, int ch = 1)
{
    return emulator.files(ch, QDateTime(first, QTime(0, 0)), QDateTime(last, QTime(23, 59, 59)));
}

// Minute m of day is recorded when a file runs from its start minute (seconds cut off) up to,
// not including, its stop minute.
inline QList<bool> expectedMinutes(const Files &found, const QDate &day)
{
    auto minute = [](const QDateTime &t) { return t.addSecs(-t.time().second()); };
    QList<bool> minutes;
    for (int m = 0; m < 1440; ++m) {
        const QDateTime t = QDateTime(day, QTime(0, 0)).addSecs(m * 60);
        minutes << std::any_of(found.cbegin(), found.cend(), [&](const KTestEmulator::File &f) {
            return minute(f.begin) <= t && t < minute(f.end);
        });
    }
    return minutes;
}

// Day d of month is marked when a file starts on it.
inline QList<bool> expectedDays(const Files &found, const QDate &month)
{
    QList<bool> days;
    for (int d = 1; d <= 31; ++d)
        days << std::any_of(found.cbegin(), found.cend(), [&](const KTestEmulator::File &f) {
            return f.begin.date() == QDate(month.year(), month.month(), d);
        });
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

} // namespace KArchiveTest
