#pragma once

#include "KPasCountSettingsData.h"

#include <QFileInfo>
#include <QList>
#include <QMetaType>
#include <QSize>
#include <QString>

// One video channel of a recorder. kind: 0 analog ("ACAM"), 1 IP ("DCAM"), 2 not set.
class KChannelData
{
public:
    KChannelData();

    int reported = 0; // 1 once the recorder listed the channel
    QString name;     // the key in the recorder's channel map, e.g. "ACAM01"
    int kind = 2;
    int available = 0; // the channel can be shown
    int channelNumber = -1;
    QSize size;
    QString title;
    QString ipUser;
    QString ipPassword;
    QString ipAddress;
    qint64 ipPort = 0;
    QFileInfo file;
    KPasCountSettingsData pasCountSettings;
};

Q_DECLARE_METATYPE(KChannelData)
