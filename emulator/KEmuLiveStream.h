#pragma once

#include "KEmuVideoEncoder.h"

#include <QDateTime>
#include <QObject>
#include <QSize>
#include <functional>

class KEmuRenderPool;
class KEmuRenderWorker;
class QTimer;

// The live picture of one channel and stream type. It draws and encodes each picture once
// and hands it to every client watching; it runs only while somebody watches. A new viewer
// makes the next picture a key frame, so that it can start at once.
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
        int kbps = 1024;
        int keyInterval = 20; // pictures
        int keyPhase = 0;     // see KEmuVideoEncoder::Settings
        bool sub = false;
        std::function<QDateTime()> clock;
        std::function<bool()> signalLost;

        KEmuVideoEncoder::Settings encoderSettings() const
        {
            KEmuVideoEncoder::Settings settings;
            settings.size = size;
            settings.fps = fps;
            settings.kbps = kbps;
            settings.keyInterval = keyInterval;
            settings.keyPhase = keyPhase;
            return settings;
        }
    };

    KEmuLiveStream(const Source &source, KEmuRenderPool *pool, QObject *parent = nullptr);
    ~KEmuLiveStream() override;

    void addClient();
    void removeClient();
    int clientCount() const { return m_clients; }
    QSize size() const { return m_source.size; }
    int fps() const { return m_source.fps; }
    quint64 framesMade() const { return m_number; }

signals:
    // time: the picture's moment, to the millisecond.
    void frameReady(const QDateTime &time, quint32 number, const QSize &size,
                    const KEmuPicture &picture);

private:
    void tick();

    Source m_source;
    KEmuRenderPool *m_pool;
    KEmuRenderWorker *m_worker;
    quint64 m_encoder;
    QTimer *m_timer;
    int m_clients = 0;
    bool m_inFlight = false;
    bool m_forceKey = true;
    quint32 m_number = 0;
};
