// Build-time helper: creates a database from SQL scripts when it does not exist yet.
// Usage: velmora-db-init DATABASE SCRIPT...

#include "KSqlScript.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    QTextStream err(stderr);
    if (args.size() < 2) {
        err << "usage: velmora-db-init DATABASE SCRIPT...\n";
        return 2;
    }
    const QString database = args.takeFirst();
    bool created = false;
    QString error;
    if (!KSqlScript::createIfMissing(database, args, &created, &error)) {
        err << "velmora-db-init: " << database << ": " << error << "\n";
        return 1;
    }
    QTextStream(stdout) << (created ? "created " : "kept existing ") << database << "\n";
    return 0;
}
