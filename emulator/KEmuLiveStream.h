#pragma once

#include <QDateTime>
#include <QObject>
#include <QSize>
#include <functional>

class KEmuRenderPool;
class KEmuRenderWorker;
class QTimer;

// The live picture of one channel and stream type. It draws and encodes each picture once
// and hands it to every client watching; it runs only while somebody watches.
class KEmuLiveStream : public QObject
{
    Q_OBJECT
public:
    struct Source
    {
        QString title;
        QString recorder;
        int channel = 0;
        QSize size;
        int fps = 10;
        bool sub = false;
        std::function<QDateTime()> clock;
        std::function<bool()> signalLost;
    };

    KEmuLiveStream(const Source &source, KEmuRenderPool *pool, QObject *parent = nullptr);

    void addClient();
    void removeClient();
    int clientCount() const { return m_clients; }
    QSize size() const { return m_source.size; }
    int fps() const { return m_source.fps; }
    quint64 framesMade() const { return m_number; }

signals:
    void frameReady(const QDateTime &time, quint32 number, const QSize &size,
                    const QByteArray &jpeg);

private:
    void tick();

    Source m_source;
    KEmuRenderPool *m_pool;
    KEmuRenderWorker *m_worker;
    QTimer *m_timer;
    int m_clients = 0;
    bool m_inFlight = false;
    quint32 m_number = 0;
};
