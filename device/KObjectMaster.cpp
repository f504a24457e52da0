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

void KObjectMaster::setPollInterval(int milliseconds)
{
    m_pollTimer->setInterval(std::max(1, milliseconds));
}

QList<KObjectData> KObjectMaster::loadRecords(bool *ok) const
{
    *ok = false;
    KDBWorker *worker = KDBHandler::instance()->worker(QThread::currentThread());
    if (!worker)
        return {};
    KSettings *settings = KSettings::instance();
    const KUserData user = settings->currentUser();
    QList<KObjectData> records;
    if (user.role == 1)
        records = worker->selectObjects(settings->objectLimit(), ok);
    else
        records = worker->selectGroupObjects(user.group.id, settings->objectLimit(), ok);
    if (!*ok)
        return {};
    return records;
}

KObjectData KObjectMaster::prepared(KObjectData record)
{
    record.recorder.password = KPasswordCipher::decipher(record.recorder.password);
    record.modem.statusPort = modemStatusPort;
    record.modem.servicePort = modemServicePort;
    record.geoTracker.port = trackerPort;
    return record;
}

KObjectHandler *KObjectMaster::createHandler(const KObjectData &record)
{
    return record.recorder.type == 1 ? new KObjectHandler_HIKVISION(record, this)
                                     : new KObjectHandler(record, this);
}

void KObjectMaster::start()
{
    if (m_started)
        return;
    // Before the first reading, so that no change after it goes unheard.
    connect(KDBHandler::instance(), &KDBHandler::systemUpdated, this,
            &KObjectMaster::scheduleReload, Qt::UniqueConnection);
    bool ok = false;
    start(loadRecords(&ok));
}

void KObjectMaster::start(const QList<KObjectData> &records)
{
    if (m_started)
        return;
    for (const KObjectData &record : records) {
        // A second record with the same id replaces the first.
        delete m_objects.value(record.id);
        m_objects.insert(record.id, createHandler(prepared(record)));
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
    qDeleteAll(m_retired);
    m_retired.clear();
    m_started = false;
}

void KObjectMaster::scheduleReload()
{
    if (m_reloadPending || !m_started)
        return;
    m_reloadPending = true;
    QTimer::singleShot(0, this, [this] {
        m_reloadPending = false;
        reload();
    });
}

bool KObjectMaster::reload()
{
    if (!m_started)
        return false;
    bool ok = false;
    const QList<KObjectData> records = loadRecords(&ok);
    // A failed reading says nothing about the fleet: the list stays as it is.
    if (!ok)
        return false;
    reload(records);
    return true;
}

void KObjectMaster::reload(const QList<KObjectData> &records)
{
    if (!m_started)
        return;
    QMap<int, KObjectData> wanted;
    for (const KObjectData &record : records)
        wanted.insert(record.id, prepared(record));

    // Leaving: out of the map first, then told; the handler itself lives on until stop().
    const QList<int> ids = m_objects.keys();
    for (int id : ids) {
        if (wanted.contains(id))
            continue;
        KObjectHandler *gone = m_objects.take(id);
        m_retired.append(gone);
        emit objectRemoved(gone);
    }

    QList<KObjectHandler *> added;
    for (auto it = wanted.cbegin(); it != wanted.cend(); ++it) {
        const KObjectData &record = it.value();
        KObjectHandler *current = m_objects.value(it.key());
        if (!current) {
            KObjectHandler *handler = createHandler(record);
            m_objects.insert(record.id, handler);
            added << handler;
            emit objectAdded(handler);
            continue;
        }
        const KObjectData held = current->record();
        const bool sameRecorder = held.recorder.type == record.recorder.type &&
                                  held.host == record.host &&
                                  held.recorder.port == record.recorder.port &&
                                  held.recorder.login == record.recorder.login &&
                                  held.recorder.password == record.recorder.password;
        if (!sameRecorder) {
            // An open login belongs to the old recorder: a new handler starts afresh.
            KObjectHandler *handler = createHandler(record);
            m_objects.insert(record.id, handler);
            m_retired.append(current);
            added << handler;
            emit objectReplaced(current, handler);
        } else if (held.name != record.name || held.group.id != record.group.id ||
                   held.group.name != record.group.name) {
            current->rename(record.name, record.group);
            emit objectRenamed(current);
        }
    }
    emit objectsReloaded();
    // New objects are checked now, not a whole interval later.
    for (KObjectHandler *object : pollOrder(added))
        object->establishConnection();
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
