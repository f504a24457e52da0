#pragma once

#include "KEmuFaults.h"
#include "KEmuRecorderConfig.h"

#include <QList>
#include <QStringList>

// The emulator's command line and config file, turned into recorders and global settings.
struct KEmuOptions
{
    QList<KEmuRecorderConfig> recorders;
    KEmuFaults faults; // starting faults of every recorder
    QString controlHost = QStringLiteral("127.0.0.1");
    int controlPort = 0; // 0: no control channel
    QString ffmpeg = QStringLiteral("ffmpeg");
    int renderThreads = 2;
    int clipJobs = 2;
    int downloadRateKBps = 0; // 0: as fast as the socket takes it
    int clipKbps = 0;         // 0: as small as the pictures allow
    bool readAhead = false;
    int loginTimeoutMs = 5000;
    int maxConnections = 256; // per recorder
    bool quiet = false;

    // Parses the arguments (argv[0] first). Returns an error text, empty on success; help
    // set when --help was asked (the text is in helpText()).
    QString parse(const QStringList &arguments, bool *help);
    static QString helpText();
    // 127.0.0.2,127.0.0.5-7 -> 127.0.0.2 127.0.0.5 127.0.0.6 127.0.0.7
    static QStringList expandHosts(const QString &text, QString *error);
};
