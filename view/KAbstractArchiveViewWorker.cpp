#include "KAbstractArchiveViewWorker.h"

namespace {
const QString timeFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");
}

QString KAbstractArchiveViewWorker::speedText(int speed)
{
    static const char *const texts[] = {"1/8x", "1/4x", "1/2x", "1x", "2x", "4x", "8x"};
    return speed >= 0 && speed <= 6 ? QString::fromLatin1(texts[speed]) : QString();
}

void KAbstractArchiveViewWorker::play(QDateTime dateTime)
{
    if (!dateTime.isValid()) {
        emit finished();
        return;
    }
    log(QStringLiteral("Просмотр видеоархива - запуск воспроизведения c ") +
        dateTime.toString(timeFormat));
    KAbstractViewWorker::play(dateTime);
}

void KAbstractArchiveViewWorker::stop()
{
    log(QStringLiteral("Просмотр видеоархива - завершение воспроизведения"));
    KAbstractViewWorker::stop();
}

void KAbstractArchiveViewWorker::restart(QDateTime dateTime)
{
    log(QStringLiteral("Просмотр видеоархива - изменение времени воспроизведения на ") +
        dateTime.toString(timeFormat));
    KAbstractViewWorker::restart(dateTime);
}

void KAbstractArchiveViewWorker::pause()
{
    KAbstractViewWorker::pause();
    log(QStringLiteral("Просмотр видеоархива  - пауза воспроизведения"));
}

void KAbstractArchiveViewWorker::resume()
{
    KAbstractViewWorker::resume();
    log(QStringLiteral("Просмотр видеоархива  - возобновление воспроизведения"));
}
