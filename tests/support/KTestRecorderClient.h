#pragma once

#include <KFrameReader.h>

#include <QByteArray>
#include <QDateTime>
#include <QTcpSocket>

struct KMsgLoginOk;

// One connection to a recorder speaking the protocol codec directly, for tests that check the
// recorder-emulator below the SDK. Every wait is bounded.
//
//     KTestRecorderClient client;
//     QVERIFY(client.connectTo(emu.host(), emu.port()));
//     const quint64 token = client.login();
class KTestRecorderClient
{
public:
    // Connects and reads Hello (its nonce is kept).
    bool connectTo(const QString &host, quint16 port, int timeoutMs = 5000);
    QByteArray nonce() const { return m_nonce; }
    void send(quint8 type, const QByteArray &payload = QByteArray());
    // The next frame that is not a Keepalive (or, with keepalives, any frame).
    bool next(KFrame &frame, int timeoutMs = 5000, bool keepalives = false);
    // Sends a request and waits for its reply (same seq).
    bool request(quint8 type, const QByteArray &payload, KFrame &reply, int timeoutMs = 5000);
    // The session token, 0 on failure (the recorder's error code in *error, its answer in *ok).
    quint64 login(const QString &user = QStringLiteral("admin"),
                  const QString &password = QStringLiteral("demo12345"), quint32 *error = nullptr,
                  KMsgLoginOk *ok = nullptr);
    // Connects and opens a stream of the session on this connection; true when it opened.
    // *reply holds the answer (StreamOpened or Error).
    bool openStream(const QString &host, quint16 port, quint64 token, quint8 kind, int channel,
                    const QDateTime &from = QDateTime(), const QDateTime &to = QDateTime(),
                    quint8 streamType = 0, KFrame *reply = nullptr);
    // A StreamControl; true on Ok. Stream frames that come before the answer are skipped.
    bool control(quint8 action, qint8 speed = 0);
    bool waitClosed(int timeoutMs);
    // True once bytes came that are not a frame.
    bool malformed() const { return m_malformed; }
    QTcpSocket &socket() { return m_socket; }

    // The code of an Error frame; 0 for any other frame.
    static quint32 errorCode(const KFrame &frame);

private:
    QTcpSocket m_socket;
    KFrameReader m_reader;
    QByteArray m_nonce;
    quint32 m_seq = 0;
    bool m_malformed = false;
};
