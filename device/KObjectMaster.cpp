#include "KObjectMaster.h"

#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KObjectHandler_HIKVISION.h"
#include "KPasswordCipher.h"
#include "KSettings.h"

#include <QThread>
#include <QTimer>

#include <algorithm>

KObjectMaster::KObjectMaster(QObject *parent) : QObject(parent), m_pollTimer(new QTimer(this))
{
    m_pollTimer->setInterval(KSettings::instance()->connectionInterval());
    connect(m_pollTimer, &QTimer::timeout, this, &KObjectMaster::poll);
}

KObjectMaster::~KObjectMaster()
{
    stop();
}

int KObjectMaster::pollInterval() const
{
    return m_pollTimer->interval();
}

QList<KObjectData> KObjectMaster::loadRecords() const
{
    KDBWorker *worker = KDBHandler::instance()->worker(QThread::currentThread());
    if (!worker)
        return {};
    KSettings *settings = KSettings::instance();
    const KUserData user = settings->currentUser();
    bool ok = false;
    QList<KObjectData> records;
    if (user.role == 1)
        records = worker->selectObjects(settings->objectLimit(), &ok);
    else
        records = worker->selectGroupObjects(user.group.id, settings->objectLimit(), &ok);
    if (!ok)
        return {};
    return records;
}

void KObjectMaster::start()
{
    if (m_started)
        return;
    start(loadRecords());
}

void KObjectMaster::start(const QList<KObjectData> &records)
{
    if (m_started)
        return;
    for (KObjectData record : records) {
        record.recorder.password = KPasswordCipher::decipher(record.recorder.password);
        record.modem.statusPort = modemStatusPort;
        record.modem.servicePort = modemServicePort;
        record.geoTracker.port = trackerPort;
        KObjectHandler *handler = record.recorder.type == 1
                                      ? new KObjectHandler_HIKVISION(record, this)
                                      : new KObjectHandler(record, this);
        // A second record with the same id replaces the first.
        delete m_objects.value(record.id);
        m_objects.insert(record.id, handler);
    }
    m_started = true;
    emit objectsLoaded();
    m_pollTimer->start();
    poll();
}

void KObjectMaster::stop()
{
    if (!m_started)
        return;
    m_pollTimer->stop();
    emit objectsUnloaded();
    qDeleteAll(m_objects);
    m_objects.clear();
    m_started = false;
}

QList<KObjectHandler *> KObjectMaster::pollOrder(const QList<KObjectHandler *> &objects)
{
    QList<KObjectHandler *> ordered = objects;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const KObjectHandler *a, const KObjectHandler *b) {
                         if (a->demand() != b->demand())
                             return a->demand() > b->demand();
                         return a->id() < b->id();
                     });
    return ordered;
}

void KObjectMaster::poll()
{
    // Jobs queue first in, first out, so the objects windows need get free threads first.
    for (KObjectHandler *object : pollOrder(m_objects.values()))
        object->establishConnection();
}
