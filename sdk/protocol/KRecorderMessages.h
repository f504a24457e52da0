#pragma once

#include "KRecTime.h"
#include "KRecorderProtocol.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// Payloads of the recorder protocol messages (docs/recorder-protocol.md), one plain struct
// per message. encode() gives the payload bytes; decode() accepts only a payload that holds
// exactly the message's fields within their limits, and returns false otherwise.
// Messages with an empty payload (Ok, Logout, Keepalive, GetWorkState) have no struct.

namespace KRecorderProtocol {
// HMAC-SHA256(key = UTF-8 password, message = nonce + UTF-8 user name).
QByteArray loginProof(const QByteArray &nonce, const QString &user, const QByteArray &password);
QByteArray randomNonce();
} // namespace KRecorderProtocol

struct KMsgHello
{
    QByteArray nonce; // 16 bytes
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgLogin
{
    QString user;     // at most 64 UTF-8 bytes
    QByteArray proof; // 32 bytes
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgDeviceInfo
{
    QString serialNumber;          // at most 48 bytes
    quint8 analogChannelCount = 0; // 0..64
    quint8 firstAnalogChannel = 1;
    quint8 ipChannelCount = 0; // 0..64
    quint8 firstIpChannel = 33;
    quint8 audioChannelCount = 0;
    quint8 alarmInCount = 0;
    quint8 alarmOutCount = 0;
    quint8 diskCount = 0; // 0..33
    quint8 deviceType = 0;
};

struct KMsgLoginOk
{
    quint64 token = 0;
    KMsgDeviceInfo info;
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgActivate
{
    QByteArray password; // 1..16 bytes, no zero byte; stored by the recorder as given
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgAttach
{
    quint64 token = 0;
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgError
{
    quint32 code = 0;
    QString message; // at most 256 bytes
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgGetConfig
{
    quint32 command = 0;
    qint32 channel = -1;
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgDeviceConfig
{
    QString name; // at most 32 bytes
    quint32 deviceNumber = 0;
    QString serialNumber; // at most 48 bytes
    quint32 softwareVersion = 0;
    quint32 softwareBuildDate = 0;
    quint32 dspVersion = 0;
    quint32 dspBuildDate = 0;
    quint32 hardwareVersion = 0;
    quint8 alarmInCount = 0;
    quint8 alarmOutCount = 0;
    quint8 diskCount = 0;
    quint8 analogChannelCount = 0;
    quint32 deviceType = 0;
};

struct KMsgIpDevice
{
    quint8 enabled = 0;
    quint16 port = 0; // 0: slot unused
    QString user;     // at most 32 bytes
    QString password; // at most 32 bytes
    QString ipv4;     // at most 15 bytes
};

struct KMsgIpLink
{
    quint8 enabled = 0;
    quint8 deviceIndex = 0;
    qint32 remoteChannel = 0;
};

struct KMsgIpChannels
{
    QVector<quint8> analogEnabled; // at most 64
    QVector<KMsgIpDevice> devices; // at most 64
    QVector<KMsgIpLink> links;     // at most 64, deviceIndex < devices.size()
};

struct KMsgPictureConfig
{
    QString channelName; // at most 32 bytes
    quint8 showName = 1;
    quint8 showOsd = 1;
};

struct KMsgStreamCompression
{
    quint8 streamType = 0;
    quint8 resolution = 0;
    quint32 bitrate = 0; // kbit/s
    quint32 frameRate = 0;
    quint16 keyFrameInterval = 0;
    quint8 videoEncoding = 0;
};

struct KMsgCompression
{
    KMsgStreamCompression main;
    KMsgStreamCompression event;
    KMsgStreamCompression sub;
};

struct KMsgDisk
{
    quint32 capacityMb = 0;
    quint32 freeMb = 0;
    quint32 status = 0;
};

// Reply to GetConfig: command says which member is meaningful.
struct KMsgConfig
{
    quint32 command = 0;
    KRecTime time;               // 118
    KMsgDeviceConfig device;     // 1100
    KMsgIpChannels ip;           // 1062
    KMsgPictureConfig picture;   // 1002
    KMsgCompression compression; // 1040
    QVector<KMsgDisk> disks;     // 1054, at most 33
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgChannelState
{
    quint8 recording = 0;
    quint8 signalLost = 0;
    quint8 hardwareFault = 0;
    quint32 bitRate = 0;
    quint32 linkCount = 0;
};

struct KMsgWorkState
{
    quint32 deviceStatus = 0;
    QVector<KMsgDisk> disks;            // at most 33 (capacity = volume)
    QVector<KMsgChannelState> channels; // at most 64; entry j is SDK channel j + 1
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgFindStart
{
    qint32 channel = 0;
    quint8 fileType = 0xFF;
    quint8 lockFilter = 0xFF;
    KRecTime from;
    KRecTime to;
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

// FindStarted, FindNext and FindClose all carry just the search id.
struct KMsgSearchId
{
    quint32 searchId = 0;
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgFile
{
    QString name; // at most 99 bytes
    KRecTime begin;
    KRecTime end;
    quint64 size = 0;
    quint8 locked = 0;
    quint8 fileType = 0;
};

struct KMsgFindBatch
{
    quint8 status = 0;       // KRecorderProtocol::FindStatus
    QVector<KMsgFile> files; // 1..64 with FindFiles, none otherwise
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgStreamOpen
{
    quint64 token = 0;
    quint8 kind = 0; // KRecorderProtocol::StreamKind
    qint32 channel = 0;
    quint8 streamType = 0;
    KRecTime from;
    KRecTime to;
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgStreamOpened
{
    quint16 width = 0;
    quint16 height = 0;
    quint8 fps = 0;
    quint8 codec = KRecorderProtocol::CodecH264; // the only one
    quint32 bitRateKbps = 0;                     // target; 0 unknown
    quint16 keyFrameInterval = 0;                // pictures from key frame to key frame; 0 unknown
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgStreamControl
{
    quint8 action = 0; // KRecorderProtocol::ControlAction
    qint8 speed = 0;   // -3..3 for ControlSpeed
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgVideoFrame
{
    KRecTime time;
    quint16 msec = 0; // 0..999, the time's milliseconds
    quint32 frameNumber = 0;
    quint16 width = 0;
    quint16 height = 0;
    bool keyFrame = false;
    QByteArray accessUnit; // one H.264 picture, Annex B, at most 4 MiB
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgDownloadBegin
{
    quint64 totalBytes = 0; // 1 .. 64 GiB
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgData
{
    QByteArray bytes; // at most 1 MiB
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};

struct KMsgStreamEnd
{
    quint32 reason = 0;
    QByteArray encode() const;
    bool decode(const QByteArray &payload);
};
