#pragma once

#include "KObjectData.h"

#include <QList>
#include <QMap>
#include <QObject>

class KObjectHandler;
class QTimer;

// Loads the user's objects once, owns one KObjectHandler per object and checks every object
// each connection interval, the objects that windows need first. Lives in the UI thread.
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

    bool isStarted() const { return m_started; }
    // Object id to handler, ascending id; the handlers stay owned by the master.
    QMap<int, KObjectHandler *> objects() const { return m_objects; }
    KObjectHandler *object(int id) const { return m_objects.value(id); }
    int pollInterval() const;

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

private slots:
    void poll();

private:
    QList<KObjectData> loadRecords() const;

    QMap<int, KObjectHandler *> m_objects;
    QTimer *m_pollTimer = nullptr;
    bool m_started = false;
};
