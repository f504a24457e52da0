#pragma once

#include <QString>

// One channel of an emulated recorder, as the recorder reports it.
struct KEmuChannelConfig
{
    QString key;         // ACAM01 .. ACAM32, DCAM01 .. DCAM32
    int number = 0;      // SDK channel number
    bool ip = false;     // IP channel (DCAM)
    bool enabled = true; // analog: enable byte; IP: device port is not 0
    QString title;       // name shown on the picture, UTF-8
    QString ipAddress;   // IP channels only
    int ipPort = 8000;   // 0 for a switched-off IP camera
    QString ipUser = QStringLiteral("admin");
    QString ipPassword;
    bool recording = true; // the archive holds recordings of this channel
    bool signalLost = false;
    bool hardwareFault = false;
};
