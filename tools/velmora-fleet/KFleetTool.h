#pragma once

#include <QStringList>
#include <QTextStream>

class KDBWorker;

// The fleet administrator's command line: adds, renames and removes objects and raises
// alarms in the object database the program is configured for ("settings.xml" beside it and
// the per-user store, as the viewer connects; options override), telling every viewer
// through the database's notifications. Bad input changes nothing and says why.
class KFleetTool
{
public:
    KFleetTool(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}

    // The arguments without the program name; the process exit code (0 done, 1 refused or
    // failed, 2 usage).
    int run(const QStringList &arguments);

    static QString usage();

private:
    int list();
    int add(const QStringList &args);
    int rename(const QStringList &args);
    int remove(const QStringList &args);
    int alarm(const QStringList &args);
    int load(const QStringList &files);
    bool objectExists(int id, bool *ok);
    bool exec(const QString &statement, const QVariantList &values, int *rows = nullptr);
    // Tells the viewers; on SQLite there is nobody to tell and the tool says so.
    void announce();
    int fail(const QString &message);

    QTextStream &m_out;
    QTextStream &m_err;
    KDBWorker *m_worker = nullptr;
    bool m_server = false;
};
