#pragma once

#include "KEmuChannelConfig.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

// Everything one emulated recorder is: address, credentials, device facts, channels.
struct KEmuRecorderConfig
{
    QString host = QStringLiteral("127.0.0.2");
    int port = 8000;
    int statusPort = 5031; // 0: no vehicle status service
    QString user = QStringLiteral("admin");
    QString password = QStringLiteral("demo12345");
    bool inactive = false;

    int analogCount = 4;
    int ipCount = 0;
    QStringList ipOff;
    int archiveDays = 7;
    QString archiveSeed; // the archive's schedule follows it; finalize() makes it the host
    int fps = 10;
    QSize size = QSize(640, 480);
    int mainKbps = 1024; // H.264 target of the main stream (and playback)
    int subKbps = 256;   // and of the sub stream
    int keyInterval = 2; // seconds from key frame to key frame
    int uplinkKbps = 0;  // the modem's rate shared by every stream; 0: no limit

    int signal = 60; // raw modem signal byte
    int network = 7; // modem network code (0 2G, 2 3G, 7 4G)
    int trackerError = 0;

    QString name;        // device name; derived from the host when empty
    QString serial;      // derived from the host when empty
    int deviceType = 96; // vendor device type code
    int diskCount = 1;
    QList<int> diskStatus; // per disk, 0 normal
    int alarmInCount = 4;
    int alarmOutCount = 1;
    int audioCount = 1;
    qint64 clockOffsetSecs = 0;

    // Firmware facts, in the packed forms the device configuration carries.
    quint32 softwareVersion = (4u << 24) | (1u << 16) | 25u;   // V4.1.25
    quint32 softwareBuildDate = (18u << 16) | (9u << 8) | 12u; // build 180912
    quint32 dspVersion = (7u << 16) | 3u;                      // V7.3
    quint32 dspBuildDate = (18u << 16) | (8u << 8) | 15u;      // build 180815

    QList<KEmuChannelConfig> channels; // filled by finalize()
    QJsonObject channelOverrides;      // per-channel details from a config file, keyed ACAM01 ...

    static constexpr int firstAnalogChannel = 1;
    static constexpr int firstIpChannel = 33;

    // Reads the keys of a config-file object over the current values.
    QString applyJson(const QJsonObject &json);
    // Checks the values and builds the derived ones (name, serial, channels). Empty text: valid.
    QString finalize();

    QSize subSize() const;
    // Pictures from key frame to key frame.
    int keyFramePictures() const { return keyInterval * fps; }
    const KEmuChannelConfig *channel(int number) const;
    KEmuChannelConfig *channel(int number);
    QString endpoint() const { return host + QLatin1Char(':') + QString::number(port); }

    // Resolution code of the main recording stream for a picture size (255 when unknown).
    static int resolutionCode(const QSize &size);
    static QSize resolutionSize(int code);
    static quint32 hostSeed(const QString &host);
};
