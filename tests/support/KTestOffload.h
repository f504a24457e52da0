#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

class KTestPostgres;

// One velmora-offload service for tests and benchmarks: a process of its own with a home (the
// per-user store: its video folder, 300 s fragments unless told) and a log of its own, on a
// fleet database of a KTestPostgres server. Killed by the destructor if still running.
class KTestOffload
{
public:
    // name: its holder name; folder: where its home, video store and log go.
    KTestOffload(const QString &name, const QString &folder);
    ~KTestOffload();
    KTestOffload(const KTestOffload &) = delete;
    KTestOffload &operator=(const KTestOffload &) = delete;

    // Starts it with the options given after the database ones and waits until it says it is
    // ready. reliabilityMode: the workstation's "downloadReliabilityMode".
    bool start(const KTestPostgres &server, const QString &database, const QString &passwordFile,
               const QStringList &options, int reliabilityMode = 0);
    // SIGTERM; the number of tasks it reports finished, -1 when it did not end cleanly.
    int terminate();
    // SIGKILL: dies mid-work.
    void kill();
    // Database statements it reported at its end (after terminate()).
    qint64 statements() const { return m_statements; }

    QString store() const { return m_dir + QStringLiteral("/store"); }
    QString log() const;
    // What it printed so far.
    QString output();

    // A libpq password file for the server's superuser in folder.
    static QString passwordFile(const KTestPostgres &server, const QString &folder);

private:
    QString m_name;
    QString m_dir;
    QProcess m_process;
    QString m_output;
    qint64 m_statements = -1;
};
