#pragma once

#include "KObjectData.h"

#include <QList>
#include <QMap>
#include <QObject>

class KObjectHandler;
class QTimer;

// Loads the user's objects, owns one KObjectHandler per object and checks every object each
// connection interval, the objects that windows need first. When the fleet database reports a
// change ("systemupdate", and once after every reconnection) it reads the objects again and
// updates the map in place. Lives in the UI thread.
class KObjectMaster : public QObject
{
    Q_OBJECT

public:
    explicit KObjectMaster(QObject *parent = nullptr);
    ~KObjectMaster() override;

    // Loads the objects through the shared database worker and starts polling; once.
    void start();
    // The same with records as the database returns them (enciphered passwords).
    void start(const QList<KObjectData> &records);
    // Stops polling and destroys every object handler.
    void stop();

    // Reads the objects again and updates the map in place: new objects get a handler; an
    // object renamed or moved to another group keeps its handler; an object whose recorder
    // changed (type, address, port, login, password) gets a new one; an object gone leaves the
    // map. Handlers that leave the map stay alive until stop(), as a running download or a
    // view may still hold them. False, and nothing changes, when the database cannot be read.
    bool reload();
    // The same with records as the database returns them.
    void reload(const QList<KObjectData> &records);

    bool isStarted() const { return m_started; }
    // Object id to handler, ascending id; the handlers stay owned by the master.
    QMap<int, KObjectHandler *> objects() const { return m_objects; }
    KObjectHandler *object(int id) const { return m_objects.value(id); }
    int pollInterval() const;
    // Milliseconds between polls (the connection interval unless set: tools and tests).
    void setPollInterval(int milliseconds);

    // Fixed ports written into every loaded record.
    static constexpr int modemStatusPort = 5031;
    static constexpr int modemServicePort = 5033;
    static constexpr int trackerPort = 5034;

    // Orders objects for a poll: highest demand first, equal demand by ascending id.
    static QList<KObjectHandler *> pollOrder(const QList<KObjectHandler *> &objects);

signals:
    // After start() has created the handlers (also for an empty list).
    void objectsLoaded();
    // Before stop() destroys the handlers; pointers taken from objects() die after it.
    void objectsUnloaded();
    // During a reload, each after the map changed.
    void objectAdded(KObjectHandler *object);
    void objectRemoved(KObjectHandler *object);
    void objectReplaced(KObjectHandler *previous, KObjectHandler *object);
    void objectRenamed(KObjectHandler *object);
    // After every reload that read the database, also when nothing changed.
    void objectsReloaded();

private slots:
    void poll();
    // Many notifications in a row make one reading.
    void scheduleReload();

private:
    QList<KObjectData> loadRecords(bool *ok) const;
    static KObjectData prepared(KObjectData record);
    KObjectHandler *createHandler(const KObjectData &record);

    QMap<int, KObjectHandler *> m_objects;
    // Handlers that left the map during a reload; destroyed by stop().
    QList<KObjectHandler *> m_retired;
    bool m_reloadPending = false;
    QTimer *m_pollTimer = nullptr;
    bool m_started = false;
};
