#include "KEmuOptions.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

struct Flag
{
    const char *name;
    const char *value; // nullptr: a switch
    const char *help;
};

const Flag kFlags[] = {
    {"--host", "ADDR",
     "recorder address; repeat, or give lists and ranges: 127.0.0.2,127.0.0.10-20"},
    {"--port", "N", "recorder port (default 8000)"},
    {"--user", "U", "user name (default admin)"},
    {"--password", "P", "password (default demo12345); the activation password when inactive"},
    {"--status-port", "N", "vehicle status port (default 5031, 0 for none)"},
    {"--inactive", nullptr, "factory-new: logins answer 250 until activated with a password"},
    {"--analog", "N", "analog channels (default 4)"},
    {"--ip", "N", "IP channels (default 0)"},
    {"--ip-off", "NAMES", "IP channels whose device port is 0, e.g. DCAM02,DCAM03"},
    {"--archive-days", "N", "days of archive kept, today included (default 7)"},
    {"--archive-seed", "TEXT", "the archive's schedule follows TEXT instead of the address"},
    {"--fps", "N", "pictures per second of live view and playback (default 10)"},
    {"--size", "WxH", "main stream picture size (default 640x480); the sub stream is half"},
    {"--main-kbps", "N", "H.264 bit rate of the main stream and playback (default 1024)"},
    {"--sub-kbps", "N", "H.264 bit rate of the sub stream (default 256)"},
    {"--key-interval", "SECS", "seconds from key frame to key frame (default 2)"},
    {"--uplink-kbps", "N",
     "the modem's rate, shared by all streams of a recorder (default 0: none)"},
    {"--signal", "N", "modem signal byte (default 60: 80 %)"},
    {"--network", "CODE", "modem network code: 0 2G, 2 3G, 7 4G (default 7)"},
    {"--tracker-error", "N", "position tracker error code (default 0)"},
    {"--name", "TEXT", "device name (default MTR-HD-<last octet>)"},
    {"--disks", "N", "disk count (default 1)"},
    {"--clock-offset", "SECS", "recorder clock minus the host clock (default 0)"},
    {"--config", "FILE", "JSON file with several recorders (see README.md)"},
    {"--control-port", "N", "line-based control channel on --control-host (default none)"},
    {"--control-host", "ADDR", "address of the control channel (default 127.0.0.1)"},
    {"--ffmpeg", "PATH", "ffmpeg program for downloads (default ffmpeg on PATH)"},
    {"--render-threads", "N", "threads drawing pictures (default 2)"},
    {"--clip-jobs", "N", "ffmpeg processes at a time (default 2)"},
    {"--download-rate", "KBPS", "download speed limit in KiB/s (default 0: none)"},
    {"--clip-kbps", "N", "downloaded files at a constant N kbit/s, as recorded (default 0: small)"},
    {"--read-ahead", nullptr, "make the next fragment of a download before it is asked for"},
    {"--login-timeout-ms", "N", "close a connection without a session after N ms (default 5000)"},
    {"--max-connections", "N", "connections per recorder; more are closed (default 256)"},
    {"--search-busy", "N", "'busy' answers at the start of each search (default 1)"},
    {"--fault-unreachable", nullptr, "start with the ports closed"},
    {"--fault-refuse", nullptr, "accept connections and close them at once"},
    {"--fault-garble", nullptr, "corrupt every answer"},
    {"--fault-drop", nullptr, "read requests and close the connection without answering"},
    {"--fault-stall-ms", "N", "delay every answer by N ms"},
    {"--fault-break-download-at", "P", "cut download connections at P percent"},
    {"--quiet", nullptr, "log only errors and the start-up lines"},
    {"--help", nullptr, "this text"},
};

const Flag *findFlag(const QString &name)
{
    for (const Flag &f : kFlags) {
        if (name == QLatin1String(f.name))
            return &f;
    }
    return nullptr;
}

bool toInt(const QString &text, int lo, int hi, int *out)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

} // namespace

QString KEmuOptions::helpText()
{
    QString text = QStringLiteral(
        "Usage: recorder-emulator [options]\n"
        "Emulates MTR-HD vehicle recorders: one per --host address, all in one process.\n\n");
    for (const Flag &f : kFlags) {
        QString left = QString::fromLatin1(f.name);
        if (f.value)
            left += QLatin1Char(' ') + QString::fromLatin1(f.value);
        text += QStringLiteral("  %1 %2\n").arg(left, -28).arg(QString::fromUtf8(f.help));
    }
    text += QStringLiteral(
        "\nPer-recorder flags are the defaults of every recorder, those of --config included\n"
        "(a config file entry overrides them). Faults and control commands: see README.md.\n");
    return text;
}

QStringList KEmuOptions::expandHosts(const QString &text, QString *error)
{
    QStringList hosts;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString item = part.trimmed();
        const int dash = item.lastIndexOf(QLatin1Char('-'));
        if (dash > 0) {
            const QString first = item.left(dash);
            const QString prefix = first.section(QLatin1Char('.'), 0, 2);
            bool okA = false;
            bool okB = false;
            const int a = first.section(QLatin1Char('.'), 3).toInt(&okA);
            const int b = item.mid(dash + 1).toInt(&okB);
            if (!okA || !okB || a > b || b > 254 || QHostAddress(first).isNull()) {
                *error = QStringLiteral("bad host range \"%1\"").arg(item);
                return {};
            }
            for (int i = a; i <= b; ++i)
                hosts << prefix + QLatin1Char('.') + QString::number(i);
        } else {
            if (QHostAddress(item).isNull()) {
                *error = QStringLiteral("bad host \"%1\"").arg(item);
                return {};
            }
            hosts << item;
        }
    }
    return hosts;
}

QString KEmuOptions::parse(const QStringList &arguments, bool *help)
{
    *help = false;
    KEmuRecorderConfig base;
    QStringList hosts;
    QString configFile;
    for (int i = 1; i < arguments.size(); ++i) {
        QString name = arguments[i];
        QString value;
        const int eq = name.indexOf(QLatin1Char('='));
        bool inlineValue = false;
        if (name.startsWith(QLatin1String("--")) && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            inlineValue = true;
        }
        const Flag *flag = findFlag(name);
        if (!flag)
            return QStringLiteral("unknown option \"%1\" (see --help)").arg(arguments[i]);
        if (flag->value && !inlineValue) {
            if (i + 1 >= arguments.size())
                return QStringLiteral("%1 needs a value").arg(name);
            value = arguments[++i];
        }
        const QString bad = QStringLiteral("bad value \"%1\" for %2").arg(value, name);
        int n = 0;
        if (name == QLatin1String("--help")) {
            *help = true;
            return QString();
        } else if (name == QLatin1String("--host")) {
            QString error;
            const QStringList more = expandHosts(value, &error);
            if (!error.isEmpty())
                return error;
            hosts << more;
        } else if (name == QLatin1String("--port")) {
            if (!toInt(value, 1, 65535, &base.port))
                return bad;
        } else if (name == QLatin1String("--user")) {
            base.user = value;
        } else if (name == QLatin1String("--password")) {
            base.password = value;
        } else if (name == QLatin1String("--status-port")) {
            if (!toInt(value, 0, 65535, &base.statusPort))
                return bad;
        } else if (name == QLatin1String("--inactive")) {
            base.inactive = true;
        } else if (name == QLatin1String("--analog")) {
            if (!toInt(value, 0, 64, &base.analogCount))
                return bad;
        } else if (name == QLatin1String("--ip")) {
            if (!toInt(value, 0, 64, &base.ipCount))
                return bad;
        } else if (name == QLatin1String("--ip-off")) {
            base.ipOff = value.toUpper().split(QLatin1Char(','), Qt::SkipEmptyParts);
        } else if (name == QLatin1String("--archive-days")) {
            if (!toInt(value, 1, 366, &base.archiveDays))
                return bad;
        } else if (name == QLatin1String("--archive-seed")) {
            base.archiveSeed = value;
        } else if (name == QLatin1String("--fps")) {
            if (!toInt(value, 1, 30, &base.fps))
                return bad;
        } else if (name == QLatin1String("--size")) {
            QJsonObject o;
            o.insert(QStringLiteral("size"), value);
            if (!base.applyJson(o).isEmpty())
                return bad;
        } else if (name == QLatin1String("--main-kbps")) {
            if (!toInt(value, 16, 100000, &base.mainKbps))
                return bad;
        } else if (name == QLatin1String("--sub-kbps")) {
            if (!toInt(value, 16, 100000, &base.subKbps))
                return bad;
        } else if (name == QLatin1String("--key-interval")) {
            if (!toInt(value, 1, 60, &base.keyInterval))
                return bad;
        } else if (name == QLatin1String("--uplink-kbps")) {
            if (!toInt(value, 0, 1000000, &base.uplinkKbps))
                return bad;
        } else if (name == QLatin1String("--signal")) {
            if (!toInt(value, 0, 255, &base.signal))
                return bad;
        } else if (name == QLatin1String("--network")) {
            if (!toInt(value, 0, 255, &base.network))
                return bad;
        } else if (name == QLatin1String("--tracker-error")) {
            if (!toInt(value, -128, 255, &base.trackerError))
                return bad;
        } else if (name == QLatin1String("--name")) {
            base.name = value;
        } else if (name == QLatin1String("--disks")) {
            if (!toInt(value, 0, 33, &base.diskCount))
                return bad;
        } else if (name == QLatin1String("--clock-offset")) {
            if (!toInt(value, -2147483647, 2147483647, &n))
                return bad;
            base.clockOffsetSecs = n;
        } else if (name == QLatin1String("--config")) {
            configFile = value;
        } else if (name == QLatin1String("--control-port")) {
            if (!toInt(value, 0, 65535, &controlPort))
                return bad;
        } else if (name == QLatin1String("--control-host")) {
            if (QHostAddress(value).isNull())
                return bad;
            controlHost = value;
        } else if (name == QLatin1String("--ffmpeg")) {
            ffmpeg = value;
        } else if (name == QLatin1String("--render-threads")) {
            if (!toInt(value, 1, 16, &renderThreads))
                return bad;
        } else if (name == QLatin1String("--clip-jobs")) {
            if (!toInt(value, 1, 16, &clipJobs))
                return bad;
        } else if (name == QLatin1String("--download-rate")) {
            if (!toInt(value, 0, 1024 * 1024, &downloadRateKBps))
                return bad;
        } else if (name == QLatin1String("--clip-kbps")) {
            if (!toInt(value, 0, 100000, &clipKbps))
                return bad;
        } else if (name == QLatin1String("--login-timeout-ms")) {
            if (!toInt(value, 100, 3600000, &loginTimeoutMs))
                return bad;
        } else if (name == QLatin1String("--max-connections")) {
            if (!toInt(value, 1, 65536, &maxConnections))
                return bad;
        } else if (name == QLatin1String("--search-busy")) {
            if (!toInt(value, 0, 100, &faults.busySearches))
                return bad;
        } else if (name == QLatin1String("--fault-unreachable")) {
            faults.unreachable = true;
        } else if (name == QLatin1String("--fault-refuse")) {
            faults.refuse = true;
        } else if (name == QLatin1String("--fault-garble")) {
            faults.garble = true;
        } else if (name == QLatin1String("--fault-drop")) {
            faults.drop = true;
        } else if (name == QLatin1String("--fault-stall-ms")) {
            if (!toInt(value, 0, 600000, &faults.stallMs))
                return bad;
        } else if (name == QLatin1String("--fault-break-download-at")) {
            if (!toInt(value, 0, 99, &faults.breakDownloadAt))
                return bad;
        } else if (name == QLatin1String("--quiet")) {
            quiet = true;
        } else if (name == QLatin1String("--read-ahead")) {
            readAhead = true;
        }
    }

    recorders.clear();
    for (const QString &host : hosts) {
        KEmuRecorderConfig c = base;
        c.host = host;
        recorders << c;
    }
    if (!configFile.isEmpty()) {
        QFile file(configFile);
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("cannot read %1: %2").arg(configFile, file.errorString());
        QJsonParseError parseError;
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
        if (doc.isNull() || !doc.isObject())
            return QStringLiteral("%1: %2").arg(configFile, parseError.errorString());
        const QJsonObject root = doc.object();
        KEmuRecorderConfig fileBase = base;
        QString error = fileBase.applyJson(root.value(QStringLiteral("defaults")).toObject());
        if (!error.isEmpty())
            return QStringLiteral("%1: defaults: %2").arg(configFile, error);
        for (const QJsonValue &entry : root.value(QStringLiteral("recorders")).toArray()) {
            KEmuRecorderConfig c = fileBase;
            error = c.applyJson(entry.toObject());
            if (!error.isEmpty())
                return QStringLiteral("%1: %2").arg(configFile, error);
            recorders << c;
        }
        for (auto it = root.begin(); it != root.end(); ++it) {
            if (it.key() != QLatin1String("defaults") && it.key() != QLatin1String("recorders"))
                return QStringLiteral("%1: unknown key \"%2\"").arg(configFile, it.key());
        }
    }
    if (recorders.isEmpty())
        return QStringLiteral("no recorder: give --host or --config");
    QStringList endpoints;
    for (KEmuRecorderConfig &c : recorders) {
        const QString error = c.finalize();
        if (!error.isEmpty())
            return error;
        if (endpoints.contains(c.endpoint()))
            return QStringLiteral("two recorders on %1").arg(c.endpoint());
        endpoints << c.endpoint();
    }
    return QString();
}
