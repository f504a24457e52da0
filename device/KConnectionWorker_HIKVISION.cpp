#include "KConnectionWorker_HIKVISION.h"

#include "HCNetSDK.h"
#include "KObjectHandler_HIKVISION.h"

#include <QDateTime>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

struct PictureSize
{
    int code;
    int width;
    int height;
};

// Main-stream resolution codes the recorders report.
const PictureSize pictureSizes[] = {
    {0, 528, 384},     {1, 352, 288},     {2, 176, 144},     {3, 704, 480},     {4, 740, 240},
    {6, 320, 240},     {7, 160, 120},     {12, 384, 288},    {13, 576, 576},    {16, 640, 480},
    {17, 1600, 1200},  {18, 800, 600},    {19, 1280, 720},   {20, 1024, 768},   {21, 1600, 900},
    {22, 1360, 1024},  {23, 1536, 1536},  {24, 1920, 1920},  {27, 1920, 1080},  {28, 2560, 1920},
    {29, 1600, 304},   {30, 2048, 1536},  {31, 2448, 2048},  {32, 2448, 1200},  {33, 2448, 800},
    {34, 1024, 768},   {35, 1280, 1024},  {36, 960, 576},    {37, 1920, 1080},  {38, 1440, 900},
    {39, 1920, 1080},  {40, 1920, 540},   {41, 960, 540},    {42, 2336, 1744},  {43, 1920, 1456},
    {44, 2592, 2048},  {45, 3296, 2472},  {46, 1376, 768},   {47, 1366, 768},   {48, 1360, 768},
    {49, 1680, 1050},  {50, 720, 720},    {51, 1280, 1280},  {52, 2048, 768},   {53, 2048, 2048},
    {54, 2560, 2048},  {55, 3072, 2048},  {56, 2304, 1296},  {57, 1280, 800},   {58, 1600, 600},
    {59, 1600, 900},   {60, 2752, 2208},  {62, 4000, 3000},  {63, 4096, 2160},  {64, 3840, 2160},
    {65, 4000, 2250},  {66, 3072, 1728},  {67, 2592, 1944},  {68, 2464, 1520},  {69, 1280, 1920},
    {70, 2560, 1440},  {71, 1024, 1024},  {72, 160, 128},    {73, 324, 240},    {74, 324, 256},
    {75, 336, 256},    {76, 640, 512},    {77, 2720, 2048},  {78, 384, 256},    {79, 384, 216},
    {80, 320, 256},    {81, 320, 180},    {82, 320, 192},    {83, 512, 384},    {84, 325, 256},
    {85, 256, 192},    {86, 640, 360},    {87, 1776, 1340},  {88, 1936, 1092},  {89, 2080, 784},
    {90, 2144, 604},   {91, 1920, 1200},  {92, 4064, 3040},  {93, 3040, 3040},  {94, 3072, 2304},
    {95, 3072, 1152},  {96, 2560, 2560},  {97, 2688, 1536},  {98, 2688, 1520},  {99, 3072, 3072},
    {100, 3392, 2008}, {101, 4000, 3080}, {102, 960, 720},   {103, 1024, 1536}, {104, 704, 1056},
    {105, 352, 528},   {106, 2048, 1530}, {107, 2560, 1600}, {108, 2800, 2100}, {109, 4088, 4088},
    {110, 4000, 3072}, {111, 960, 1080},  {112, 640, 720},   {113, 640, 960},   {114, 320, 480},
    {115, 3840, 2400}, {116, 3840, 1680}, {117, 2560, 1120}, {118, 704, 320},   {119, 1200, 1920},
    {120, 480, 768},   {121, 768, 480},   {122, 320, 512},   {123, 512, 320},   {124, 4096, 1800},
    {125, 1280, 560},  {126, 2400, 3840}, {127, 480, 272},   {128, 512, 272},   {129, 2592, 2592},
    {130, 1792, 2880}, {131, 1600, 2560}, {132, 2720, 1192}, {133, 1920, 1536}, {134, 2560, 1944},
    {135, 2560, 960},  {136, 2064, 1544}, {137, 4096, 1200}, {138, 3840, 1080}, {139, 2720, 800},
    {140, 512, 232},   {141, 704, 200},   {142, 512, 152},   {143, 2048, 896},  {144, 2048, 600},
    {145, 1280, 376},  {146, 2592, 1520}, {147, 2592, 1536}, {148, 3072, 819},  {149, 768, 2048},
    {150, 8208, 3072}, {151, 4096, 1536}, {152, 6912, 2800}, {153, 3456, 1400}, {154, 480, 720},
    {155, 800, 450},   {156, 480, 270},   {157, 2560, 1536}, {160, 3264, 2448}, {161, 288, 320},
    {162, 144, 176},   {163, 480, 640},   {164, 240, 320},   {165, 120, 160},   {166, 576, 720},
    {167, 720, 1280},  {168, 576, 960}};

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
    for (const PictureSize &size : pictureSizes) {
        if (size.code == resolutionCode)
            return QSize(size.width, size.height);
    }
    return QSize(960, 582);
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
    if (ok) {
        deviceTime =
            QDateTime(QDate(int(time.year), int(time.month), int(time.day)),
                      QTime(int(time.hour), int(time.minute), int(time.second)), Qt::LocalTime);
    }
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
