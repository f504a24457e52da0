#include "KArchiveFileSearch_HIKVISION.h"

#include "HCNetSDK.h"
#include "KAppLogHandler.h"
#include "KObjectHandler_HIKVISION.h"
#include "KPollPacer.h"
#include "KSdkTime.h"

#include <cstring>

KArchiveFileSearch_HIKVISION::KArchiveFileSearch_HIKVISION(KObjectHandler_HIKVISION *object,
                                                           const KChannelData &channel)
    : m_object(object), m_channel(channel)
{}

KArchiveFileSearch_HIKVISION::Outcome KArchiveFileSearch_HIKVISION::run(const QDateTime &from,
                                                                        const QDateTime &to,
                                                                        const ActiveTest &active,
                                                                        const FileHandler &onFile)
{
    VSDK_FIND_CONDITION condition;
    std::memset(&condition, 0, sizeof(condition));
    condition.channel = m_channel.channelNumber;
    condition.fileType = 0xFF;
    condition.lockState = 0xFF;
    condition.startTime = KSdkTime::toSdk(from);
    condition.stopTime = KSdkTime::toSdk(to);

    const int32_t handle = NET_DVR_FindFile_V30(m_object->loginID(), &condition);
    if (handle < 0) {
        m_errorCode = int(NET_DVR_GetLastError());
        logFailure(m_errorCode);
        return Failed;
    }

    Outcome outcome = Completed;
    KPollPacer pacer;
    for (;;) {
        if (!active()) {
            outcome = Cancelled;
            break;
        }
        VSDK_FIND_DATA found;
        std::memset(&found, 0, sizeof(found));
        const int32_t status = NET_DVR_FindNextFile_V30(handle, &found);
        if (status == VSDK_FIND_BUSY) {
            ++m_busyAnswers;
            pacer.wait();
            continue;
        }
        pacer.reset();
        if (status == VSDK_FIND_FILE) {
            const QDateTime start = KSdkTime::fromSdk(found.startTime);
            const QDateTime stop = KSdkTime::fromSdk(found.stopTime);
            if (start.isValid() && stop.isValid())
                onFile(start, stop);
            continue;
        }
        if (status == VSDK_FIND_NO_FILE || status == VSDK_FIND_NO_MORE)
            break;
        // A search that broke off knows nothing about the rest of the interval: reporting
        // what came so far would paint the remainder as "no recordings".
        m_errorCode = int(NET_DVR_GetLastError());
        logFailure(m_errorCode);
        outcome = Failed;
        break;
    }
    NET_DVR_FindClose_V30(handle);
    if (outcome == Completed && !active())
        outcome = Cancelled;
    return outcome;
}

void KArchiveFileSearch_HIKVISION::logFailure(int code) const
{
    KAppLogHandler::instance()->write(m_object->record(), m_channel.name,
                                      QStringLiteral("Ошибка поиска в видеоархиве!"), code);
}
