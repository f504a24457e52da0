#include "KConnectionWorker_HIKVISION.h"

#include "HCNetSDK.h"
#include "KObjectHandler_HIKVISION.h"
#include "KSdkResolutionTable.h"
#include "KSdkTime.h"

#include <QDateTime>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// Text of a zero-padded byte field, up to the first zero byte.
QByteArray fieldBytes(const uint8_t *field, int size)
{
    const char *text = reinterpret_cast<const char *>(field);
    return QByteArray(text, int(qstrnlen(text, uint(size))));
}

QString channelKey(const char *prefix, int index)
{
    return QLatin1String(prefix) + QStringLiteral("%1").arg(index + 1, 2, 10, QLatin1Char('0'));
}

const QString resetFailedMessage =
    QStringLiteral("Соединение с ВР - ошибка сброса старого подключения к ВР!");
const QString authorizationFailedMessage =
    QStringLiteral("Соединение с ВР - ошибка авторизации пользователя!");
const QString connectionFailedMessage =
    QStringLiteral("Соединение с ВР - ошибка подключения к ВР!");
const QString activationFailedMessage = QStringLiteral("Соединение с ВР - ошибка активации!");
const QString activationPassedMessage = QStringLiteral("Соединение с ВР - активация пройдена");
const QString deviceInfoFailedMessage =
    QStringLiteral("Соединение с ВР - ошибка получения данных о ВР");
const QString channelsFailedMessage =
    QStringLiteral("Соединение с ВР - ошибка получения каналов ВР");
const QString channelsReadMessage = QStringLiteral("Соединение с ВР - каналы ВР получены");

constexpr int32_t wholeDevice = -1;

} // namespace

KConnectionWorker_HIKVISION::KConnectionWorker_HIKVISION(KObjectHandler_HIKVISION *object,
                                                         QObject *parent)
    : KAbstractConnectionWorker(object, parent)
{}

KConnectionWorker_HIKVISION::~KConnectionWorker_HIKVISION() = default;

KObjectHandler_HIKVISION *KConnectionWorker_HIKVISION::hikObject() const
{
    return static_cast<KObjectHandler_HIKVISION *>(m_object);
}

QSize KConnectionWorker_HIKVISION::pictureSize(int resolutionCode)
{
    return KSdkResolutionTable::size(resolutionCode);
}

QString KConnectionWorker_HIKVISION::buildDateText(quint32 d)
{
    return QString::number(d >> 16) + QString::number((d >> 12) & 0xF) +
           QString::number((d >> 8) & 0xFF) + QString::number(d & 0xFF);
}

QString KConnectionWorker_HIKVISION::firmwareVersionText(quint32 v, quint32 buildDate)
{
    return QStringLiteral("V") + QString::number(v >> 24) + QLatin1Char('.') +
           QString::number((v >> 16) & 0xFF) + QLatin1Char('.') + QString::number(v & 0xFFFF) +
           QStringLiteral(" build ") + buildDateText(buildDate);
}

QString KConnectionWorker_HIKVISION::dspVersionText(quint32 w, quint32 buildDate)
{
    return QStringLiteral("V") + QString::number(w >> 16) + QLatin1Char('.') +
           QString::number(w & 0xFFFF) + QStringLiteral(" build ") + buildDateText(buildDate);
}

bool KConnectionWorker_HIKVISION::login()
{
    KObjectHandler_HIKVISION *object = hikObject();
    const KObjectData record = object->record();
    const QByteArray host = record.host.toUtf8();
    const QByteArray user = record.recorder.login.toUtf8();
    const QByteArray password = record.recorder.password.toUtf8();
    const uint16_t port = uint16_t(record.recorder.port);

    for (int activations = 0;;) {
        if (object->loginID() >= 0) {
            if (!NET_DVR_Logout_V30(object->loginID())) {
                const int error = int(NET_DVR_GetLastError());
                log(resetFailedMessage, error);
                object->setLoginID(-1);
                object->updateRecord([error](KObjectData &r) { r.recorder.lastError = error; });
                return false;
            }
            object->setLoginID(-1);
        }

        VSDK_DEVICE_INFO info;
        std::memset(&info, 0, sizeof(info));
        const int loginID = NET_DVR_Login_V30(host.constData(), port, user.constData(),
                                              password.constData(), &info);
        const int error = int(NET_DVR_GetLastError());
        object->setLoginID(loginID < 0 ? -1 : loginID);
        object->updateRecord([error](KObjectData &r) { r.recorder.lastError = error; });

        if (!isActive())
            return false;
        if (loginID >= 0) {
            object->setDeviceInfo(
                QByteArray(reinterpret_cast<const char *>(&info), int(sizeof(info))));
            log(QStringLiteral("Соединение с ВР установлено (ID пользователя ВР: ") +
                QString::number(loginID) + QLatin1Char(')'));
            return true;
        }
        if (error == VSDK_ERR_PASSWORD) {
            log(authorizationFailedMessage, 0);
            object->setAuthFailed();
            return false;
        }
        if (error != VSDK_ERR_NOT_ACTIVATED) {
            log(connectionFailedMessage, error);
            return false;
        }
        // A recorder that accepts the activation and still says it is not activated would
        // otherwise keep this job (and its pool thread) forever.
        if (activations >= maximumActivations) {
            log(activationFailedMessage, error);
            log(authorizationFailedMessage, error);
            return false;
        }

        VSDK_ACTIVATION activation;
        std::memset(&activation, 0, sizeof(activation));
        activation.size = sizeof(activation);
        // Counted in bytes: a count in characters would cut a non-ASCII password short and
        // activate the recorder with a password no later login sends.
        const int length = std::min(int(sizeof(activation.password)), int(password.size()));
        std::memcpy(activation.password, password.constData(), size_t(length));
        if (!NET_DVR_ActivateDevice(host.constData(), port, &activation)) {
            const int activationError = int(NET_DVR_GetLastError());
            log(activationFailedMessage, activationError);
            log(authorizationFailedMessage, activationError);
            return false;
        }
        log(activationPassedMessage, 0);
        ++activations;
    }
}

bool KConnectionWorker_HIKVISION::updateDeviceTime()
{
    VSDK_TIME time;
    std::memset(&time, 0, sizeof(time));
    uint32_t returned = 0;
    QDateTime deviceTime;
    bool ok = NET_DVR_GetDVRConfig(hikObject()->loginID(), VSDK_GET_TIME, wholeDevice, &time,
                                   sizeof(time), &returned);
    m_loginLost = !ok && NET_DVR_GetLastError() == VSDK_ERR_USER_ID;
    if (ok)
        deviceTime = KSdkTime::fromSdk(time);
    m_object->updateRecord([&deviceTime](KObjectData &r) { r.recorder.deviceTime = deviceTime; });
    return ok;
}

bool KConnectionWorker_HIKVISION::updateDeviceInfo()
{
    KObjectHandler_HIKVISION *object = hikObject();
    VSDK_DEVICE_CONFIG config;
    std::memset(&config, 0, sizeof(config));
    uint32_t returned = 0;
    if (!NET_DVR_GetDVRConfig(object->loginID(), VSDK_GET_DEVICE, wholeDevice, &config,
                              sizeof(config), &returned)) {
        log(deviceInfoFailedMessage, int(NET_DVR_GetLastError()));
        return false;
    }
    VSDK_DEVICE_INFO info;
    const QByteArray rawInfo = object->deviceInfo();
    std::memcpy(&info, rawInfo.constData(), sizeof(info));

    object->updateRecord([&](KObjectData &r) {
        KRecorderData &recorder = r.recorder;
        recorder.deviceID = QString::number(config.deviceNumber);
        recorder.name = QString::fromLatin1(fieldBytes(config.deviceName, 32)).trimmed();
        recorder.deviceType = QString::number(config.deviceType);
        recorder.serialNumber = QString::fromLatin1(fieldBytes(config.serialNumber, 48)).trimmed();
        recorder.analogChannelCount = config.analogChannelCount;
        recorder.diskCount = config.diskCount;
        recorder.alarmInCount = config.alarmInCount;
        recorder.alarmOutCount = config.alarmOutCount;
        recorder.firmwareVersion =
            firmwareVersionText(config.softwareVersion, config.softwareBuildDate);
        recorder.dspVersion = dspVersionText(config.dspVersion, config.dspBuildDate);
        recorder.ipChannelCount = info.ipChannelCount;
        recorder.audioChannelCount = info.audioChannelCount;
        recorder.firstAnalogChannel = info.firstAnalogChannel;
        recorder.firstIpChannel = info.firstIpChannel;
    });
    return true;
}

QSize KConnectionWorker_HIKVISION::readPictureSize(int loginID, int channel) const
{
    VSDK_COMPRESSION compression;
    std::memset(&compression, 0, sizeof(compression));
    uint32_t returned = 0;
    if (!NET_DVR_GetDVRConfig(loginID, VSDK_GET_COMPRESSION, channel, &compression,
                              sizeof(compression), &returned))
        return QSize();
    return pictureSize(compression.main.resolution);
}

bool KConnectionWorker_HIKVISION::updateChannels()
{
    KObjectHandler_HIKVISION *object = hikObject();
    const int loginID = object->loginID();
    // Too big for a pool thread's stack.
    auto ipChannels = std::make_unique<VSDK_IP_CHANNELS>();
    std::memset(ipChannels.get(), 0, sizeof(VSDK_IP_CHANNELS));
    uint32_t returned = 0;
    if (!NET_DVR_GetDVRConfig(loginID, VSDK_GET_IP_CHANNELS, 0, ipChannels.get(),
                              sizeof(VSDK_IP_CHANNELS), &returned)) {
        log(channelsFailedMessage, int(NET_DVR_GetLastError()));
        return false;
    }
    VSDK_DEVICE_INFO info;
    const QByteArray rawInfo = object->deviceInfo();
    std::memcpy(&info, rawInfo.constData(), sizeof(info));

    auto picture = std::make_unique<VSDK_PICTURE_CONFIG>();
    auto readTitle = [&](int channel, QString *title) {
        std::memset(picture.get(), 0, sizeof(VSDK_PICTURE_CONFIG));
        uint32_t size = 0;
        if (NET_DVR_GetDVRConfig(loginID, VSDK_GET_PICTURE, channel, picture.get(),
                                 sizeof(VSDK_PICTURE_CONFIG), &size))
            *title = QString::fromUtf8(fieldBytes(picture->channelName, 32));
    };

    QMap<QString, KChannelData> channels = object->channels();
    QMap<QString, KChannelData> changed;

    for (int i = 0; i < info.analogChannelCount && i < 32; ++i) {
        const int c = info.firstAnalogChannel + i;
        const QString key = channelKey("ACAM", i);
        KChannelData channel = channels.value(key);
        channel.name = key;
        QString title = channel.title;
        readTitle(c, &title);
        channel.reported = 1;
        channel.available = ipChannels->analogEnabled[i] != 0 ? 1 : 0;
        channel.channelNumber = c;
        channel.title = title;
        const QSize size = readPictureSize(loginID, c);
        if (size.isValid())
            channel.size = size;
        changed.insert(key, channel);
    }

    for (int i = 0; i < info.ipChannelCount && i < 32; ++i) {
        const int c = info.firstIpChannel + i;
        const QString key = channelKey("DCAM", i);
        KChannelData channel = channels.value(key);
        channel.name = key;
        const VSDK_IP_DEVICE &device = ipChannels->devices[i];
        channel.reported = 1;
        channel.kind = 1;
        channel.available = device.port != 0 ? 1 : 0;
        channel.channelNumber = c;
        if (device.port != 0) {
            readTitle(c, &channel.title);
            const QSize size = readPictureSize(loginID, c);
            if (size.isValid())
                channel.size = size;
            channel.ipUser = QString::fromUtf8(fieldBytes(device.userName, 32));
            channel.ipPassword = QString::fromUtf8(fieldBytes(device.password, 32));
            channel.ipAddress = QString::fromUtf8(fieldBytes(device.ipv4, 16));
            channel.ipPort = device.port;
        }
        changed.insert(key, channel);
    }

    object->updateRecord([&changed](KObjectData &r) {
        for (auto it = changed.cbegin(); it != changed.cend(); ++it)
            r.recorder.channels.insert(it.key(), it.value());
    });
    log(channelsReadMessage, 0);
    return true;
}
