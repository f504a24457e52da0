#pragma once

#include "KChannelData.h"
#include "KComponentDiagnosticsData.h"

#include <QDateTime>
#include <QMap>
#include <QMetaType>
#include <QString>

// The recorder on an object. A new record holds 64 channel entries: "ACAM01".."ACAM32"
// (kind 0) and "DCAM01".."DCAM32" (kind 1), each with its name set to its key.
class KRecorderData
{
public:
    KRecorderData();

    // Number of entries in a new channel map.
    static constexpr int channelMapSize = 64;

    int kind = 0;
    int port = 0;
    QString login;
    QString password; // enciphered text as stored
    int type = 0;     // 1 is the only known type
    int lastError = 0;
    bool activated = false;
    QString name;
    QString deviceID;
    QString deviceType;
    QString serialNumber;
    QString firmwareVersion;
    QString dspVersion;
    QDateTime deviceTime;
    QMap<QString, KChannelData> channels;
    int mode = 0;
    int analogChannelCount = 0;
    int ipChannelCount = 0;
    int audioChannelCount = 0;
    int diskCount = 0;
    int alarmInCount = 0;
    int alarmOutCount = 0;
    int firstAnalogChannel = -1;
    int firstIpChannel = -1;
    int channelStartDelay = 0;
    KComponentDiagnosticsData generalDiagnostics;
    KComponentDiagnosticsData storageDiagnostics;
    KComponentDiagnosticsData camerasDiagnostics;
};

Q_DECLARE_METATYPE(KRecorderData)
