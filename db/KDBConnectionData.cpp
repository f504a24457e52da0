#include "KDBConnectionData.h"

#include "KSettings.h"

namespace {

// A value for a libpq connection string: quoted, with quotes and backslashes escaped.
QString libpqValue(QString value)
{
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

} // namespace

KDBConnectionData KDBConnectionData::sqlite(const QString &path)
{
    KDBConnectionData data;
    data.path = path;
    return data;
}

KDBConnectionData KDBConnectionData::fromSettings(const KSettings *settings,
                                                  const QString &directory)
{
    KDBConnectionData data;
    data.path = directory + QStringLiteral("/demo.db");
    if (settings->databaseType() != QLatin1String("postgresql"))
        return data;
    data.backend = PostgreSQL;
    data.host = settings->dbHost();
    data.port = settings->databasePort();
    data.databaseName = settings->databaseName();
    const KUserData user = settings->currentUser();
    data.user = user.login;
    data.password = user.password;
    data.passwordFile = settings->databasePasswordFile();
    return data;
}

QString KDBConnectionData::driverName() const
{
    return isServer() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
}

QString KDBConnectionData::connectOptions() const
{
    if (!isServer())
        return QString();
    // The driver joins options with blanks after turning ';' into one; values are quoted.
    // The statements run on the user-interface thread: a server that stops answering must
    // fail them within seconds instead of holding the window (keepalives and the user
    // time-out only act on TCP; a Unix socket fails at once).
    QString options = QStringLiteral("connect_timeout=5 keepalives_idle=10 keepalives_interval=5 "
                                     "keepalives_count=3 tcp_user_timeout=10000 "
                                     "application_name=") +
                      libpqValue(QStringLiteral("Velmora Viewer"));
    if (!passwordFile.isEmpty())
        options += QStringLiteral(" passfile=") + libpqValue(passwordFile);
    return options;
}

bool KDBConnectionData::applyServerOptions(const QString &serverHost, int serverPort,
                                           const QString &name, const QString &serverUser,
                                           const QString &passFile)
{
    if (serverHost.isEmpty() && serverPort <= 0 && name.isEmpty() && serverUser.isEmpty() &&
        passFile.isEmpty())
        return false;
    if (!isServer()) {
        backend = PostgreSQL;
        host.clear();
    }
    if (!serverHost.isEmpty())
        host = serverHost;
    if (serverPort > 0)
        port = serverPort;
    if (!name.isEmpty())
        databaseName = name;
    if (!serverUser.isEmpty()) {
        user = serverUser;
        password.clear();
    }
    if (!passFile.isEmpty())
        passwordFile = passFile;
    return true;
}

QString KDBConnectionData::description() const
{
    if (!isServer())
        return path;
    QString text = host.isEmpty() ? QStringLiteral("localhost") : host;
    text += QLatin1Char(':') + QString::number(port) + QLatin1Char('/') + databaseName;
    if (!user.isEmpty())
        text = user + QLatin1Char('@') + text;
    return text;
}

bool KDBConnectionData::operator==(const KDBConnectionData &other) const
{
    if (backend != other.backend)
        return false;
    if (!isServer())
        return path == other.path;
    return host == other.host && port == other.port && databaseName == other.databaseName &&
           user == other.user && password == other.password && passwordFile == other.passwordFile;
}
