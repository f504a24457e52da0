#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QString>

// The commands of recorder-probe. Each returns true and fills result, or false and sets
// error (the SDK's last error or a probe code) and message.
class KRecorderProbe
{
public:
    struct Target
    {
        QString host;
        quint16 port = 8000;
        quint16 statusPort = 5031;
        QString user;
        QString password;
        int timeoutMs = 3000; // connect time-out; also bounds the whole status command
    };

    explicit KRecorderProbe(const Target &target);
    ~KRecorderProbe();

    bool info(QJsonValue &result);
    bool search(const QString &channelId, const QDateTime &from, const QDateTime &to,
                QJsonValue &result);
    bool download(const QString &channelId, const QDateTime &from, const QDateTime &to,
                  const QString &file, QJsonValue &result);
    bool snapshot(const QString &channelId, const QString &file, QJsonValue &result);
    // Watches a live stream (0 main, 1 sub) for seconds: its bit rate and key-frame interval.
    bool stream(const QString &channelId, int streamType, int seconds, QJsonValue &result);
    bool status(QJsonValue &result);
    bool activate(QJsonValue &result);

    int error() const { return m_error; }
    QString message() const { return m_message; }

    static QString errorText(int error);

private:
    bool login();
    bool sdkFailure(const QString &what);
    bool failure(int error, const QString &message);
    // ACAMnn / DCAMnn to the SDK channel number of the logged-in recorder.
    bool channelNumber(const QString &channelId, int *number);

    Target m_target;
    int m_userId = -1;
    int m_error = 0;
    QString m_message;
    int m_firstAnalog = 1;
    int m_analogCount = 0;
    int m_firstIp = 33;
    int m_ipCount = 0;
};
