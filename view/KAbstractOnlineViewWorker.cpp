#include "KAbstractOnlineViewWorker.h"

void KAbstractOnlineViewWorker::play(QDateTime dateTime)
{
    log(QStringLiteral("Онлайн-трансляция - запуск воспроизведения"));
    KAbstractViewWorker::play(dateTime);
}

void KAbstractOnlineViewWorker::stop()
{
    log(QStringLiteral("Онлайн-трансляция - завершение воспроизведения"));
    KAbstractViewWorker::stop();
}
