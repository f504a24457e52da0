#include "KEmuRecorderConfig.h"

#include <QCryptographicHash>
#include <QJsonArray>

namespace {

struct Resolution
{
    int code;
    int width;
    int height;
};

// The picture sizes the emulator offers, with the vendor's resolution codes.
const Resolution kResolutions[] = {
    {1, 352, 288},   {2, 176, 144},    {3, 704, 480},    {6, 320, 240},    {7, 160, 120},
    {12, 384, 288},  {13, 576, 576},   {16, 640, 480},   {17, 1600, 1200}, {18, 800, 600},
    {19, 1280, 720}, {20, 1024, 768},  {27, 1920, 1080}, {36, 960, 576},   {41, 960, 540},
    {86, 640, 360},  {102, 960, 720},  {121, 768, 480},  {127, 480, 272},  {155, 800, 450},
    {156, 480, 270}, {70, 2560, 1440}, {64, 3840, 2160}, {81, 320, 180},   {85, 256, 192},
};

const char *const kAnalogTitles[] = {
    "Дорога",     "Салон перед", "Салон зад", "Дверь 1",    "Дверь 2", "Водитель",
    "Задний ход", "Касса",       "Дверь 3",   "Накопитель", "Кабина",  "Правый борт",
    "Левый борт", "Багаж",       "Подножка",  "Остановка",
};

QString defaultTitle(bool ip, int index)
{
    if (ip)
        return QStringLiteral("IP камера %1").arg(index + 1);
    const int count = int(sizeof(kAnalogTitles) / sizeof(kAnalogTitles[0]));
    if (index < count)
        return QString::fromUtf8(kAnalogTitles[index]);
    return QStringLiteral("Камера %1").arg(index + 1);
}

} // namespace

quint32 KEmuRecorderConfig::hostSeed(const QString &host)
{
    const QByteArray h = QCryptographicHash::hash(host.toUtf8(), QCryptographicHash::Md5);
    return (quint32(quint8(h[0])) << 24) | (quint32(quint8(h[1])) << 16) |
           (quint32(quint8(h[2])) << 8) | quint32(quint8(h[3]));
}

int KEmuRecorderConfig::resolutionCode(const QSize &size)
{
    for (const Resolution &r : kResolutions) {
        if (r.width == size.width() && r.height == size.height())
            return r.code;
    }
    return 255;
}

QSize KEmuRecorderConfig::resolutionSize(int code)
{
    for (const Resolution &r : kResolutions) {
        if (r.code == code)
            return QSize(r.width, r.height);
    }
    return QSize();
}

QSize KEmuRecorderConfig::subSize() const
{
    // Even dimensions keep JPEG and H.264 encoders happy.
    const int w = qMax(160, (size.width() / 2) & ~1);
    const int h = qMax(120, (size.height() / 2) & ~1);
    return QSize(w, h);
}

const KEmuChannelConfig *KEmuRecorderConfig::channel(int number) const
{
    for (const KEmuChannelConfig &c : channels) {
        if (c.number == number)
            return &c;
    }
    return nullptr;
}

KEmuChannelConfig *KEmuRecorderConfig::channel(int number)
{
    for (KEmuChannelConfig &c : channels) {
        if (c.number == number)
            return &c;
    }
    return nullptr;
}

static bool parseSizeText(const QString &text, QSize *size)
{
    const QStringList parts = text.toLower().split(QLatin1Char('x'));
    if (parts.size() != 2)
        return false;
    bool okW = false;
    bool okH = false;
    const int w = parts[0].toInt(&okW);
    const int h = parts[1].toInt(&okH);
    if (!okW || !okH || w < 64 || h < 48 || w > 4096 || h > 4096)
        return false;
    *size = QSize(w & ~1, h & ~1);
    return true;
}

QString KEmuRecorderConfig::applyJson(const QJsonObject &json)
{
    for (auto it = json.begin(); it != json.end(); ++it) {
        const QString key = it.key();
        const QJsonValue v = it.value();
        if (key == QLatin1String("host"))
            host = v.toString();
        else if (key == QLatin1String("port"))
            port = v.toInt(-1);
        else if (key == QLatin1String("statusPort"))
            statusPort = v.toInt(-1);
        else if (key == QLatin1String("user"))
            user = v.toString();
        else if (key == QLatin1String("password"))
            password = v.toString();
        else if (key == QLatin1String("inactive"))
            inactive = v.toBool();
        else if (key == QLatin1String("analog"))
            analogCount = v.toInt(-1);
        else if (key == QLatin1String("ip"))
            ipCount = v.toInt(-1);
        else if (key == QLatin1String("ipOff")) {
            ipOff.clear();
            for (const QJsonValue &n : v.toArray())
                ipOff << n.toString().toUpper();
        } else if (key == QLatin1String("archiveDays"))
            archiveDays = v.toInt(-1);
        else if (key == QLatin1String("archiveSeed"))
            archiveSeed = v.toString();
        else if (key == QLatin1String("fps"))
            fps = v.toInt(-1);
        else if (key == QLatin1String("size")) {
            if (!parseSizeText(v.toString(), &size))
                return QStringLiteral("bad size \"%1\"").arg(v.toString());
        } else if (key == QLatin1String("mainKbps"))
            mainKbps = v.toInt(-1);
        else if (key == QLatin1String("subKbps"))
            subKbps = v.toInt(-1);
        else if (key == QLatin1String("keyInterval"))
            keyInterval = v.toInt(-1);
        else if (key == QLatin1String("uplinkKbps"))
            uplinkKbps = v.toInt(-1);
        else if (key == QLatin1String("signal"))
            signal = v.toInt(-1);
        else if (key == QLatin1String("network"))
            network = v.toInt(-1);
        else if (key == QLatin1String("trackerError"))
            trackerError = v.toInt();
        else if (key == QLatin1String("name"))
            name = v.toString();
        else if (key == QLatin1String("serial"))
            serial = v.toString();
        else if (key == QLatin1String("deviceType"))
            deviceType = v.toInt();
        else if (key == QLatin1String("disks"))
            diskCount = v.toInt(-1);
        else if (key == QLatin1String("diskStatus")) {
            diskStatus.clear();
            for (const QJsonValue &n : v.toArray())
                diskStatus << n.toInt();
        } else if (key == QLatin1String("clockOffset"))
            clockOffsetSecs = v.toInt();
        else if (key == QLatin1String("channels"))
            channelOverrides = v.toObject();
        else
            return QStringLiteral("unknown key \"%1\"").arg(key);
    }
    return QString();
}

QString KEmuRecorderConfig::finalize()
{
    if (QHostAddress(host).isNull())
        return QStringLiteral("bad host \"%1\"").arg(host);
    if (port < 1 || port > 65535)
        return QStringLiteral("bad port for %1").arg(host);
    if (statusPort < 0 || statusPort > 65535)
        return QStringLiteral("bad status port for %1").arg(host);
    if (analogCount < 0 || analogCount > 64 || ipCount < 0 || ipCount > 64)
        return QStringLiteral("bad channel count for %1").arg(host);
    if (archiveDays < 1 || archiveDays > 366)
        return QStringLiteral("bad archive days for %1").arg(host);
    if (fps < 1 || fps > 30)
        return QStringLiteral("bad fps for %1").arg(host);
    if (mainKbps < 16 || mainKbps > 100000 || subKbps < 16 || subKbps > 100000)
        return QStringLiteral("bad stream bit rate for %1").arg(host);
    if (keyInterval < 1 || keyInterval > 60)
        return QStringLiteral("bad key-frame interval for %1").arg(host);
    if (uplinkKbps < 0 || uplinkKbps > 1000000)
        return QStringLiteral("bad uplink rate for %1").arg(host);
    if (signal < 0 || signal > 255 || network < 0 || network > 255)
        return QStringLiteral("bad modem values for %1").arg(host);
    if (diskCount < 0 || diskCount > 33)
        return QStringLiteral("bad disk count for %1").arg(host);
    if (password.toUtf8().size() > 64 || user.isEmpty())
        return QStringLiteral("bad credentials for %1").arg(host);

    const quint32 seed = hostSeed(host);
    const QString octet = host.section(QLatin1Char('.'), -1);
    if (name.isEmpty())
        name = QStringLiteral("MTR-HD-%1").arg(octet);
    if (serial.isEmpty())
        serial = QStringLiteral("MTRHD0820180912CCRR%1")
                     .arg(seed % 1000000000u, 9, 10, QLatin1Char('0'));
    if (archiveSeed.isEmpty())
        archiveSeed = host;
    while (diskStatus.size() < diskCount)
        diskStatus << 0;

    channels.clear();
    for (int i = 0; i < analogCount; ++i) {
        KEmuChannelConfig c;
        c.key = QStringLiteral("ACAM%1").arg(i + 1, 2, 10, QLatin1Char('0'));
        c.number = firstAnalogChannel + i;
        c.title = defaultTitle(false, i);
        channels << c;
    }
    for (int i = 0; i < ipCount; ++i) {
        KEmuChannelConfig c;
        c.key = QStringLiteral("DCAM%1").arg(i + 1, 2, 10, QLatin1Char('0'));
        c.number = firstIpChannel + i;
        c.ip = true;
        c.title = defaultTitle(true, i);
        c.ipAddress = QStringLiteral("192.168.1.%1").arg(64 + i);
        c.ipPassword = password;
        if (ipOff.contains(c.key)) {
            c.ipPort = 0;
            c.enabled = false;
            c.recording = false;
            c.signalLost = true;
        }
        channels << c;
    }
    for (auto it = channelOverrides.begin(); it != channelOverrides.end(); ++it) {
        KEmuChannelConfig *c = nullptr;
        for (KEmuChannelConfig &each : channels) {
            if (each.key == it.key().toUpper())
                c = &each;
        }
        if (!c)
            return QStringLiteral("unknown channel %1 for %2").arg(it.key(), host);
        const QJsonObject o = it.value().toObject();
        for (auto f = o.begin(); f != o.end(); ++f) {
            const QString k = f.key();
            if (k == QLatin1String("title"))
                c->title = f.value().toString();
            else if (k == QLatin1String("enabled"))
                c->enabled = f.value().toBool();
            else if (k == QLatin1String("address"))
                c->ipAddress = f.value().toString();
            else if (k == QLatin1String("port"))
                c->ipPort = f.value().toInt();
            else if (k == QLatin1String("user"))
                c->ipUser = f.value().toString();
            else if (k == QLatin1String("password"))
                c->ipPassword = f.value().toString();
            else if (k == QLatin1String("recording"))
                c->recording = f.value().toBool();
            else if (k == QLatin1String("signalLost"))
                c->signalLost = f.value().toBool();
            else if (k == QLatin1String("hardwareFault"))
                c->hardwareFault = f.value().toBool();
            else
                return QStringLiteral("unknown channel key \"%1\" for %2").arg(k, host);
        }
        if (c->ip && c->ipPort == 0) {
            c->enabled = false;
            c->recording = false;
        }
        if (c->title.toUtf8().size() > 32)
            return QStringLiteral("channel title longer than 32 bytes: %1").arg(c->title);
    }
    return QString();
}
