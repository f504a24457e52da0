#pragma once

#include "KEmuArchive.h"
#include "KEmuVideoEncoder.h"

#include <KFrameReader.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

class KEmuLiveStream;
class KEmuPlayback;
class KEmuRecorder;
class QFile;
class QTcpSocket;
class QTimer;

// One client connection to a recorder: a control connection (login, configuration, search)
// or a stream connection (live view, playback, download).
class KEmuConnection : public QObject
{
    Q_OBJECT
public:
    KEmuConnection(KEmuRecorder *recorder, QTcpSocket *socket);
    ~KEmuConnection() override;

    void abort();

private:
    // Closes once the answers written so far are delivered (a few seconds at most).
    void closeAfterWrites();
    enum Role { NoRole, ControlRole, StreamRole };

    void readFrames();
    qint64 unsent() const; // answers written but not yet taken by the peer's side
    void handle(const KFrame &frame);
    void malformed(const QString &why);
    void unknownSession(quint32 seq, quint64 token, const char *request);
    void expectLogin(bool expect);

    // delayMs: the frame leaves no earlier than that (the uplink's pace).
    void send(quint8 type, quint32 seq, const QByteArray &payload = QByteArray(),
              qint64 delayMs = 0);
    void sendNow(const QByteArray &bytes);
    void releaseHeldBack();
    void replyError(quint32 seq, quint32 code, const QString &message);

    void handleLogin(const KFrame &frame);
    void handleActivate(const KFrame &frame);
    void handleAttach(const KFrame &frame);
    void handleGetConfig(const KFrame &frame);
    void handleWorkState(const KFrame &frame);
    void handleFindStart(const KFrame &frame);
    void handleFindNext(const KFrame &frame);
    void handleFindClose(const KFrame &frame);
    void handleStreamOpen(const KFrame &frame);
    void handleStreamControl(const KFrame &frame);

    void sendVideo(const QDateTime &time, quint32 number, const QSize &size,
                   const KEmuPicture &picture);
    void endStream(quint32 reason);
    void startDownload();
    void downloadReady(const QString &path, const QString &error);
    void pumpDownload();
    void keepaliveTick();
    void closed();
    void hold(quint64 token); // the session this connection uses, 0 none

    QString m_name; // "host:port <- peer:port", for the log
    KEmuRecorder *m_recorder;
    QTcpSocket *m_socket;
    KFrameReader m_reader;
    QByteArray m_nonce;
    Role m_role = NoRole;
    quint64 m_token = 0;
    quint64 m_held = 0;
    bool m_closing = false;
    bool m_readingStopped = false;  // too many unsent answers: requests wait in the socket
    int m_unknownSessions = 0;      // unknown tokens offered on this connection
    QTimer *m_loginTimer = nullptr; // runs while the connection has no session
    QElapsedTimer m_clock;          // for frames held back by a stall
    QList<QPair<qint64, QByteArray>> m_heldBack; // due time, frame; in sending order
    qint64 m_heldBackBytes = 0;

    // Stream state.
    int m_kind = 0;
    int m_channel = 0;
    bool m_sub = false;
    bool m_started = false;
    bool m_ended = false;
    QDateTime m_from;
    QDateTime m_to;
    QPointer<KEmuLiveStream> m_live;
    KEmuPlayback *m_playback = nullptr;
    QTimer *m_keepalive = nullptr;
    QElapsedTimer m_lastSend;
    quint64 m_framesSent = 0;
    quint64 m_framesDropped = 0;
    // A picture was left out (or none sent yet): the ones up to the next key frame would not
    // decode, so they are left out too.
    bool m_needKey = true;
    qint64 m_bytesPerSecond = 0; // the stream's target rate

    // Download state.
    QList<KEmuArchivePiece> m_pieces;
    QFile *m_file = nullptr;
    qint64 m_total = 0;
    qint64 m_sent = 0;
    QElapsedTimer m_rateClock;
    QTimer *m_pump = nullptr;
};
