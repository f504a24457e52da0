#include "KAbstractDownloadWorker.h"

KAbstractDownloadWorker::KAbstractDownloadWorker(KObjectHandler *object, QObject *parent)
    : KAbstractDeviceWorker(object, parent)
{
    qRegisterMetaType<KDownloadChannelMap>("KDownloadChannelMap");
    qRegisterMetaType<QFileInfo>("QFileInfo");
}

KAbstractDownloadWorker::~KAbstractDownloadWorker() = default;

void KAbstractDownloadWorker::run(KDownloadChannelMap channels, QDateTime beginDateTime,
                                  QDateTime endDateTime, int flags)
{
    // 2 running, 7 stopping.
    if (state() == 2 || state() == 7)
        return;
    setActive(true);
    emit started();
    download(channels, beginDateTime, endDateTime, flags);
    emit finished();
}

void KAbstractDownloadWorker::quit()
{
    setActive(false);
}
