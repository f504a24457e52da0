#pragma once

#include <QObject>
#include <QStringList>
#include <QTextStream>

class KAutodownloadScheduler;
class KObjectMaster;

// A workstation without a window for a depot: opens the fleet database as the viewer would
// ("settings.xml" beside the program, the per-user store; options override), starts the
// recorder SDK, the connection and download pools and the object list, and lets the
// automatic download scheduler drain the queue until it is told to end. Writes the
// workstation's log.
class KOffloadService : public QObject
{
    Q_OBJECT

public:
    KOffloadService(QTextStream &out, QTextStream &err, QObject *parent = nullptr);
    ~KOffloadService() override;

    // Takes the options (without the program name) and starts; the process exit code on
    // failure (1 cannot start, 2 usage), 0 when running.
    int start(const QStringList &arguments);
    // Gives the tasks back, stops the pools and closes the database; prints what was done.
    void stop();

    static QString usage();
    // The log file the service writes unless told: the viewer's beside the program.
    static QString workstationLog();

private:
    int fail(const QString &message);

    QTextStream &m_out;
    QTextStream &m_err;
    KObjectMaster *m_master = nullptr;
    KAutodownloadScheduler *m_scheduler = nullptr;
    bool m_started = false;
};
