#pragma once

#include "KEmuArchive.h"
#include "KEmuFaults.h"
#include "KEmuLiveStream.h"
#include "KEmuRecorderConfig.h"
#include "KEmuUplink.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>

class KEmuClipMaker;
class KEmuConnection;
class KEmuLiveStream;
class KEmuRenderPool;
class KEmuStatusService;
class QTcpServer;

// Services one recorder needs from the process: shared threads, the file maker, limits.
struct KEmuServices
{
    KEmuRenderPool *renderPool = nullptr;
    KEmuClipMaker *clipMaker = nullptr;
    int downloadRateKBps = 0;
    int clipKbps = 0;
    bool readAhead = false;
    int loginTimeoutMs = 5000; // a connection without a session is closed after this
    int maxConnections = 256;  // per recorder; more are closed as they come
};

// One emulated recorder: its listening sockets, sessions, searches, live pictures and faults.
// Lives on the main thread.
class KEmuRecorder : public QObject
{
    Q_OBJECT
public:
    struct Search
    {
        quint64 token = 0;
        QList<KEmuArchiveFile> files;
        int next = 0;
        int busyLeft = 0;
        int failAfter = -1; // files listed before the search breaks off (-1: never)
    };

    static constexpr int maxSessions = 128;
    static constexpr int maxSearchesPerSession = 16;
    static constexpr int maxStreams = 128;

    KEmuRecorder(const KEmuRecorderConfig &config, const KEmuFaults &faults,
                 const KEmuServices &services, QObject *parent = nullptr);
    ~KEmuRecorder() override;

    bool start();
    // Unreachable closes every listening socket and connection; reachable listens again.
    void setReachable(bool reachable);
    // Closes every open connection (a dropped link); sessions stay, new connects work.
    void cutConnections();
    bool isListening() const;

    KEmuRecorderConfig &config() { return m_config; }
    const KEmuArchive &archive() const { return m_archive; }
    KEmuFaults &faults() { return m_faults; }
    // garble on corrupts every answer; off also ends a garbling of the pictures only.
    void setGarble(bool on);
    KEmuUplink &uplink() { return m_uplink; }
    void setUplinkKbps(int kbps);
    const KEmuServices &services() const { return m_services; }
    QDateTime clock() const;
    QString endpoint() const { return m_config.endpoint(); }

    // Activation and sessions.
    bool isActivated() const { return m_activated; }
    QByteArray password() const { return m_password; }
    quint32 activate(const QByteArray &password); // 0 or an error code
    // A new session; its token is 64 random bits from the system's source, never 0.
    quint64 openSession(const QString &user);
    bool hasSession(quint64 token) const { return m_sessions.contains(token); }
    void closeSession(quint64 token);
    int sessionCount() const { return m_sessions.size(); }
    // Connections using a session. A full login table gives up the session unused longest
    // that no connection holds, as a recorder forgets clients that went silent.
    void holdSession(quint64 token);
    void releaseSession(quint64 token);

    // Searches of a session.
    quint32 startSearch(quint64 token, int channel, int fileType, int lockFilter,
                        const QDateTime &from, const QDateTime &to, quint32 *error);
    Search *search(quint64 token, quint32 id);
    void closeSearch(quint64 token, quint32 id);

    // Live pictures of a channel, shared by all its viewers.
    KEmuLiveStream *liveStream(int channel, bool sub);
    // What live view and playback of a channel draw and how they are encoded.
    KEmuLiveStream::Source streamSource(int channel, bool sub);
    bool streamSlotFree() const { return m_streamCount < maxStreams; }
    void streamOpened() { ++m_streamCount; }
    void streamClosed() { --m_streamCount; }
    int viewers(int channel) const;

    // The pieces of a channel the archive holds in [from, to] now.
    QList<KEmuArchivePiece> recordedPieces(int channel, const QDateTime &from,
                                           const QDateTime &to) const;
    bool isRecordingNow(int channel) const;
    QString describe() const;

    // Every download a client started, counted per channel and interval (tests and benchmarks
    // check that nothing is fetched twice): "ch<N> <from> <to>" to the number of starts.
    void countDownload(int channel, const QDateTime &from, const QDateTime &to);
    QMap<QString, int> downloadCounts() const { return m_downloadCounts; }

signals:
    void sessionClosed(quint64 token);

private:
    void acceptConnections();

    KEmuRecorderConfig m_config;
    KEmuArchive m_archive;
    KEmuFaults m_faults;
    KEmuUplink m_uplink;
    KEmuServices m_services;
    QTcpServer *m_server;
    KEmuStatusService *m_status = nullptr;
    bool m_activated;
    QByteArray m_password;
    quint32 m_nextSearch = 1;
    struct Session
    {
        QString user;
        int connections = 0;
        quint64 lastUse = 0;
    };
    QHash<quint64, Session> m_sessions; // token -> session
    quint64 m_useCounter = 0;
    QHash<quint32, Search> m_searches;   // id -> search
    QHash<int, KEmuLiveStream *> m_live; // channel * 2 + sub
    int m_streamCount = 0;
    QMap<QString, int> m_downloadCounts;
};
