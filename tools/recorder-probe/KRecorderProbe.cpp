#include "KRecorderProbe.h"

#include "HCNetSDK.h"
#include "KSdkResolutionTable.h"
#include "KSdkTime.h"
#include "KStatusPort.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

QString isoText(const QDateTime &t)
{
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) : QString();
}

QString fieldText(const uint8_t *field, int size, bool utf8)
{
    int n = 0;
    while (n < size && field[n] != 0)
        ++n;
    const QByteArray b(reinterpret_cast<const char *>(field), n);
    return (utf8 ? QString::fromUtf8(b) : QString::fromLatin1(b)).trimmed();
}

QString versionText(uint32_t v, uint32_t d, bool dsp)
{
    const QString version =
        dsp ? QStringLiteral("V%1.%2").arg(v >> 16).arg(v & 0xFFFF)
            : QStringLiteral("V%1.%2.%3").arg(v >> 24).arg((v >> 16) & 0xFF).arg(v & 0xFFFF);
    return version + QStringLiteral(" build %1%2%3%4")
                         .arg(d >> 16)
                         .arg((d >> 12) & 0xF)
                         .arg((d >> 8) & 0xFF)
                         .arg(d & 0xFF);
}

} // namespace

KRecorderProbe::KRecorderProbe(const Target &target) : m_target(target)
{
    NET_DVR_Init();
    NET_DVR_SetConnectTime(uint32_t(target.timeoutMs), 1);
}

KRecorderProbe::~KRecorderProbe()
{
    if (m_userId >= 0)
        NET_DVR_Logout_V30(m_userId);
    NET_DVR_Cleanup();
}

QString KRecorderProbe::errorText(int error)
{
    switch (error) {
    case VSDK_ERR_NONE:
        return QStringLiteral("no recording in the interval");
    case VSDK_ERR_PASSWORD:
        return QStringLiteral("wrong user name or password");
    case VSDK_ERR_CHANNEL:
        return QStringLiteral("no such channel");
    case VSDK_ERR_TOO_MANY:
        return QStringLiteral("too many logins");
    case VSDK_ERR_VERSION:
        return QStringLiteral("protocol version not supported");
    case VSDK_ERR_CONNECT:
        return QStringLiteral("connection failed");
    case VSDK_ERR_SEND:
        return QStringLiteral("sending failed");
    case VSDK_ERR_RECEIVE:
        return QStringLiteral("receiving failed");
    case VSDK_ERR_RECEIVE_TIMEOUT:
        return QStringLiteral("no answer in time");
    case VSDK_ERR_BAD_DATA:
        return QStringLiteral("malformed answer");
    case VSDK_ERR_PARAMETER:
        return QStringLiteral("invalid parameter");
    case VSDK_ERR_BUSY:
        return QStringLiteral("recorder busy");
    case VSDK_ERR_NO_PICTURE:
        return QStringLiteral("no picture received");
    case VSDK_ERR_FILE:
        return QStringLiteral("file error");
    case VSDK_ERR_NOT_ACTIVATED:
        return QStringLiteral("recorder not activated");
    case VSDK_ERR_ACTIVATE_PASSWORD:
        return QStringLiteral("activation password not accepted");
    case VSDK_ERR_ALREADY_ACTIVATED:
        return QStringLiteral("recorder already activated");
    default:
        return QStringLiteral("error %1").arg(error);
    }
}

bool KRecorderProbe::failure(int error, const QString &message)
{
    m_error = error;
    m_message = message;
    return false;
}

bool KRecorderProbe::sdkFailure(const QString &what)
{
    const int error = int(NET_DVR_GetLastError());
    return failure(error, what + QStringLiteral(": ") + errorText(error));
}

bool KRecorderProbe::login()
{
    if (m_userId >= 0)
        return true;
    VSDK_DEVICE_INFO info;
    std::memset(&info, 0, sizeof(info));
    m_userId = NET_DVR_Login_V30(m_target.host.toUtf8().constData(), m_target.port,
                                 m_target.user.toUtf8().constData(),
                                 m_target.password.toUtf8().constData(), &info);
    if (m_userId < 0)
        return sdkFailure(QStringLiteral("login"));
    m_firstAnalog = info.firstAnalogChannel;
    m_analogCount = info.analogChannelCount;
    m_firstIp = info.firstIpChannel;
    m_ipCount = info.ipChannelCount;
    return true;
}

bool KRecorderProbe::channelNumber(const QString &channelId, int *number)
{
    static const QRegularExpression pattern(QStringLiteral("^(ACAM|DCAM)(\\d\\d)$"));
    const QRegularExpressionMatch m = pattern.match(channelId.toUpper());
    const int index = m.hasMatch() ? m.captured(2).toInt() : 0;
    if (index < 1 || index > 32)
        return failure(VSDK_ERR_PARAMETER,
                       QStringLiteral("channel ID must be ACAM01..ACAM32 or DCAM01..DCAM32"));
    const bool analog = m.captured(1) == QLatin1String("ACAM");
    if (index > (analog ? m_analogCount : m_ipCount))
        return failure(VSDK_ERR_CHANNEL,
                       QStringLiteral("no channel %1 on the recorder").arg(channelId.toUpper()));
    *number = (analog ? m_firstAnalog : m_firstIp) + index - 1;
    return true;
}

bool KRecorderProbe::info(QJsonValue &result)
{
    if (!login())
        return false;
    VSDK_DEVICE_CONFIG device;
    uint32_t returned = 0;
    if (!NET_DVR_GetDVRConfig(m_userId, VSDK_GET_DEVICE, -1, &device, sizeof(device), &returned))
        return sdkFailure(QStringLiteral("device configuration"));
    VSDK_TIME clock;
    QDateTime deviceTime;
    if (NET_DVR_GetDVRConfig(m_userId, VSDK_GET_TIME, -1, &clock, sizeof(clock), &returned))
        deviceTime = KSdkTime::fromSdk(clock);
    auto *ip = new VSDK_IP_CHANNELS;
    const std::unique_ptr<VSDK_IP_CHANNELS> ipOwner(ip);
    if (!NET_DVR_GetDVRConfig(m_userId, VSDK_GET_IP_CHANNELS, 0, ip, sizeof(*ip), &returned))
        return sdkFailure(QStringLiteral("channel configuration"));

    QJsonObject o;
    o[QStringLiteral("name")] = fieldText(device.deviceName, sizeof(device.deviceName), false);
    o[QStringLiteral("deviceID")] = QString::number(device.deviceNumber);
    o[QStringLiteral("deviceType")] = QString::number(device.deviceType);
    o[QStringLiteral("serialNumber")] =
        fieldText(device.serialNumber, sizeof(device.serialNumber), false);
    o[QStringLiteral("firmwareVersion")] =
        versionText(device.softwareVersion, device.softwareBuildDate, false);
    o[QStringLiteral("dspVersion")] = versionText(device.dspVersion, device.dspBuildDate, true);
    o[QStringLiteral("deviceTime")] = isoText(deviceTime);
    o[QStringLiteral("analogChannelCount")] = m_analogCount;
    o[QStringLiteral("ipChannelCount")] = m_ipCount;
    o[QStringLiteral("firstAnalogChannel")] = m_firstAnalog;
    o[QStringLiteral("firstIpChannel")] = m_firstIp;
    o[QStringLiteral("diskCount")] = int(device.diskCount);
    o[QStringLiteral("alarmInCount")] = int(device.alarmInCount);
    o[QStringLiteral("alarmOutCount")] = int(device.alarmOutCount);

    QJsonArray channels;
    const auto addChannel = [&](const QString &name, int number, bool available) {
        QJsonObject c;
        c[QStringLiteral("name")] = name;
        c[QStringLiteral("channelNumber")] = number;
        c[QStringLiteral("available")] = available;
        VSDK_PICTURE_CONFIG picture;
        QString title;
        if (NET_DVR_GetDVRConfig(m_userId, VSDK_GET_PICTURE, number, &picture, sizeof(picture),
                                 &returned))
            title = fieldText(picture.channelName, sizeof(picture.channelName), true);
        VSDK_COMPRESSION compression;
        QSize size;
        if (NET_DVR_GetDVRConfig(m_userId, VSDK_GET_COMPRESSION, number, &compression,
                                 sizeof(compression), &returned))
            size = KSdkResolutionTable::size(compression.main.resolution);
        c[QStringLiteral("title")] = title;
        c[QStringLiteral("width")] = size.isValid() ? size.width() : 0;
        c[QStringLiteral("height")] = size.isValid() ? size.height() : 0;
        channels.append(c);
    };
    for (int i = 0; i < m_analogCount && i < 32; ++i)
        addChannel(QStringLiteral("ACAM%1").arg(i + 1, 2, 10, QLatin1Char('0')), m_firstAnalog + i,
                   ip->analogEnabled[i] != 0);
    for (int i = 0; i < m_ipCount && i < 32; ++i)
        addChannel(QStringLiteral("DCAM%1").arg(i + 1, 2, 10, QLatin1Char('0')), m_firstIp + i,
                   ip->devices[i].port != 0);
    o[QStringLiteral("channels")] = channels;
    result = o;
    return true;
}

bool KRecorderProbe::search(const QString &channelId, const QDateTime &from, const QDateTime &to,
                            QJsonValue &result)
{
    int channel = 0;
    if (!login() || !channelNumber(channelId, &channel))
        return false;
    VSDK_FIND_CONDITION condition;
    std::memset(&condition, 0, sizeof(condition));
    condition.channel = channel;
    condition.fileType = 0xFF;
    condition.lockState = 0xFF;
    condition.startTime = KSdkTime::toSdk(from);
    condition.stopTime = KSdkTime::toSdk(to);
    const int handle = NET_DVR_FindFile_V30(m_userId, &condition);
    if (handle < 0)
        return sdkFailure(QStringLiteral("search"));
    QJsonArray files;
    bool ok = true;
    for (;;) {
        VSDK_FIND_DATA found;
        const int status = NET_DVR_FindNextFile_V30(handle, &found);
        if (status == VSDK_FIND_BUSY)
            continue;
        if (status != VSDK_FIND_FILE) {
            if (status == VSDK_FIND_EXCEPTION || status < 0)
                ok = sdkFailure(QStringLiteral("search"));
            break;
        }
        QJsonObject f;
        f[QStringLiteral("name")] = QString::fromUtf8(found.fileName);
        f[QStringLiteral("begin")] = isoText(KSdkTime::fromSdk(found.startTime));
        f[QStringLiteral("end")] = isoText(KSdkTime::fromSdk(found.stopTime));
        f[QStringLiteral("locked")] = found.locked == 1;
        f[QStringLiteral("size")] = double(found.fileSize);
        files.append(f);
    }
    NET_DVR_FindClose_V30(handle);
    if (ok)
        result = files;
    return ok;
}

bool KRecorderProbe::download(const QString &channelId, const QDateTime &from, const QDateTime &to,
                              const QString &file, QJsonValue &result)
{
    int channel = 0;
    if (!login() || !channelNumber(channelId, &channel))
        return false;
    const VSDK_TIME start = KSdkTime::toSdk(from);
    const VSDK_TIME stop = KSdkTime::toSdk(to);
    const QString path = QFileInfo(file).absoluteFilePath();
    // The transfer goes to a new file beside the target, which it replaces only when complete:
    // a failed download leaves an existing file as it was.
    QFile part;
    for (int i = 0; i < 16 && !part.isOpen(); ++i) {
        part.setFileName(QStringLiteral("%1.%2.part")
                             .arg(path)
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        part.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    }
    if (!part.isOpen())
        return failure(VSDK_ERR_FILE, QStringLiteral("download: ") + part.errorString());
    part.close();
    const QString partPath = part.fileName();
    QElapsedTimer clock;
    clock.start();
    const int handle = NET_DVR_GetFileByTime(m_userId, channel, &start, &stop,
                                             QFile::encodeName(partPath).constData());
    if (handle < 0) {
        sdkFailure(QStringLiteral("download"));
        QFile::remove(partPath);
        return false;
    }
    int pos = 0;
    if (NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr)) {
        int lastPos = -1;
        QElapsedTimer idle;
        idle.start();
        // The recorder reports progress as it sends; a transfer that stands still for 120 s is
        // given up.
        while (pos >= 0 && pos < 100 && idle.elapsed() < 120000) {
            QThread::msleep(100);
            pos = NET_DVR_GetDownloadPos(handle);
            if (pos != lastPos) {
                lastPos = pos;
                idle.restart();
            }
            if (pos == 200)
                break;
        }
        if (pos == 200)
            sdkFailure(QStringLiteral("download"));
        else if (pos != 100)
            failure(VSDK_ERR_RECEIVE_TIMEOUT, QStringLiteral("download: transfer stalled"));
    } else {
        sdkFailure(QStringLiteral("download start"));
    }
    NET_DVR_StopGetFile(handle);
    if (pos != 100 || std::rename(QFile::encodeName(partPath).constData(),
                                  QFile::encodeName(path).constData()) != 0) {
        if (pos == 100)
            failure(VSDK_ERR_FILE, QStringLiteral("download: cannot replace ") + path);
        QFile::remove(partPath);
        return false;
    }
    QJsonObject o;
    o[QStringLiteral("file")] = path;
    o[QStringLiteral("bytes")] = double(QFileInfo(path).size());
    o[QStringLiteral("seconds")] = double(clock.elapsed()) / 1000.0;
    result = o;
    return true;
}

bool KRecorderProbe::snapshot(const QString &channelId, const QString &file, QJsonValue &result)
{
    int channel = 0;
    if (!login() || !channelNumber(channelId, &channel))
        return false;
    VSDK_PREVIEW_INFO preview;
    std::memset(&preview, 0, sizeof(preview));
    preview.channel = channel;
    const int handle = NET_DVR_RealPlay_V40(m_userId, &preview, nullptr, nullptr);
    if (handle < 0)
        return sdkFailure(QStringLiteral("live view"));
    NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG);
    const QString path = QFileInfo(file).absoluteFilePath();
    QElapsedTimer clock;
    clock.start();
    bool ok = false;
    while (!ok && clock.elapsed() < 10000) {
        ok = NET_DVR_CapturePicture(handle, QFile::encodeName(path).constData());
        if (!ok && NET_DVR_GetLastError() != VSDK_ERR_NO_PICTURE)
            break;
        if (!ok)
            QThread::msleep(100);
    }
    if (!ok)
        sdkFailure(QStringLiteral("snapshot"));
    NET_DVR_StopRealPlay(handle);
    if (!ok)
        return false;
    QJsonObject o;
    o[QStringLiteral("file")] = path;
    o[QStringLiteral("bytes")] = double(QFileInfo(path).size());
    result = o;
    return true;
}

bool KRecorderProbe::stream(const QString &channelId, int streamType, int seconds,
                            QJsonValue &result)
{
    int channel = 0;
    if (!login() || !channelNumber(channelId, &channel))
        return false;
    VSDK_PREVIEW_INFO preview;
    std::memset(&preview, 0, sizeof(preview));
    preview.channel = channel;
    preview.streamType = uint32_t(streamType);
    const int handle = NET_DVR_RealPlay_V40(m_userId, &preview, nullptr, nullptr);
    if (handle < 0)
        return sdkFailure(QStringLiteral("live view"));
    // Measured from the first picture on, so that the start of the connection does not count.
    VSDK_STREAM_INFO first;
    VSDK_STREAM_INFO last;
    std::memset(&first, 0, sizeof(first));
    QElapsedTimer clock;
    clock.start();
    bool ok = NET_DVR_GetStreamInfo(handle, &first);
    while (ok && first.receivedPictures == 0 && clock.elapsed() < 10000) {
        QThread::msleep(20);
        ok = NET_DVR_GetStreamInfo(handle, &first);
    }
    if (ok && first.receivedPictures == 0) {
        NET_DVR_StopRealPlay(handle);
        return failure(VSDK_ERR_RECEIVE_TIMEOUT, QStringLiteral("stream: no picture came"));
    }
    clock.restart();
    QThread::msleep(ulong(seconds) * 1000);
    ok = ok && NET_DVR_GetStreamInfo(handle, &last);
    const double elapsed = double(clock.elapsed()) / 1000.0;
    if (!ok)
        sdkFailure(QStringLiteral("stream"));
    NET_DVR_StopRealPlay(handle);
    if (!ok)
        return false;
    QJsonObject o;
    o[QStringLiteral("codec")] =
        last.codec == VSDK_CODEC_H264 ? QStringLiteral("H.264") : QString::number(last.codec);
    o[QStringLiteral("width")] = int(last.width);
    o[QStringLiteral("height")] = int(last.height);
    o[QStringLiteral("frameRate")] = int(last.frameRate);
    o[QStringLiteral("targetBitRate")] = double(last.targetBitRate) * 1000;
    o[QStringLiteral("bitRate")] =
        qRound64(double(last.receivedBytes - first.receivedBytes) * 8 / elapsed);
    o[QStringLiteral("pictures")] = double(last.receivedPictures - first.receivedPictures);
    o[QStringLiteral("keyFrames")] = double(last.keyFrames - first.keyFrames);
    o[QStringLiteral("keyFrameInterval")] = int(last.keyFrameInterval);
    o[QStringLiteral("keyFrameSeconds")] =
        last.frameRate ? double(last.keyFrameInterval) / last.frameRate : 0.0;
    o[QStringLiteral("droppedPictures")] = double(last.droppedPictures);
    o[QStringLiteral("decoderErrors")] = double(last.decoderErrors);
    result = o;
    return true;
}

bool KRecorderProbe::status(QJsonValue &result)
{
    // --timeout bounds the whole command: connecting and a peer that trickles bytes alike.
    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    socket.setProxy(KStatusPort::proxy(false));
    socket.connectToHost(m_target.host, m_target.statusPort);
    if (!socket.waitForConnected(m_target.timeoutMs))
        return failure(VSDK_ERR_CONNECT, QStringLiteral("status port: ") + socket.errorString());
    const int left = int(qMax<qint64>(0, m_target.timeoutMs - clock.elapsed()));
    const QByteArray answer = KStatusPort::exchange(socket, KStatusPort::modemCommand,
                                                    KStatusPort::modemAnswerSize, left);
    int networkType = 0;
    int signalLevel = 0;
    if (!KStatusPort::readModemStatus(answer, &networkType, &signalLevel))
        return failure(VSDK_ERR_BAD_DATA, answer.isEmpty()
                                              ? QStringLiteral("status port: no answer")
                                              : QStringLiteral("status port: invalid answer"));
    QJsonObject o;
    o[QStringLiteral("networkType")] = networkType;
    o[QStringLiteral("signalLevel")] = signalLevel;
    result = o;
    return true;
}

bool KRecorderProbe::activate(QJsonValue &result)
{
    VSDK_ACTIVATION record;
    std::memset(&record, 0, sizeof(record));
    record.size = sizeof(record);
    // At most 16 bytes of the password, as the recorder stores it.
    const QByteArray password = m_target.password.toUtf8().left(16);
    std::memcpy(record.password, password.constData(), size_t(password.size()));
    if (!NET_DVR_ActivateDevice(m_target.host.toUtf8().constData(), m_target.port, &record))
        return sdkFailure(QStringLiteral("activation"));
    QJsonObject o;
    o[QStringLiteral("activated")] = true;
    result = o;
    return true;
}
