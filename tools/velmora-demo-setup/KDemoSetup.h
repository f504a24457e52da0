#pragma once

#include <QString>
#include <QStringList>

class KSettings;

// The recorder of the demonstration fleet as the login window's entries: filled into the
// per-user store only where an entry is still empty, so an operator's own entries stay.
class KDemoSetup
{
public:
    static const QString host;
    static const int port;
    static const QString login;
    static const QString password;
    static const int recorderType;

    // Writes the missing entries through the settings setters; returns the keys written.
    static QStringList apply(KSettings *settings);
};
