#pragma once

#include <QString>

class KSettings;

// Where the object database lives: an SQLite file, or a PostgreSQL server shared by every
// workstation of a dispatch centre.
class KDBConnectionData
{
public:
    enum Backend { SQLite = 0, PostgreSQL = 1 };

    Backend backend = SQLite;
    // SQLite: the database file.
    QString path;
    // PostgreSQL: a host name, an address or a Unix socket folder; port and database name.
    QString host;
    int port = 5432;
    QString databaseName = QStringLiteral("velmora");
    // Empty user: libpq's default (the system user). Empty password: libpq looks in the
    // password file (passwordFile, or its default ~/.pgpass).
    QString user;
    QString password;
    QString passwordFile;

    static KDBConnectionData sqlite(const QString &path);
    // As "settings.xml" and the per-user store name it; the SQLite file is directory +
    // "/demo.db".
    static KDBConnectionData fromSettings(const KSettings *settings, const QString &directory);

    // The server the command-line tools' options name: any of them given means the server,
    // whatever this connection was; empty ones (port 0) keep what is here, a user given drops
    // the stored password. False, nothing changed, when none is given.
    bool applyServerOptions(const QString &serverHost, int serverPort, const QString &name,
                            const QString &serverUser, const QString &passFile);

    bool isServer() const { return backend == PostgreSQL; }
    // "QSQLITE" or "QPSQL".
    QString driverName() const;
    // libpq options: bounded waits for a server that went away, the password file, the
    // program's name for the server's activity view.
    QString connectOptions() const;
    // For log lines and messages; never holds the password.
    QString description() const;

    bool operator==(const KDBConnectionData &other) const;
    bool operator!=(const KDBConnectionData &other) const { return !(*this == other); }
};
