// The exported C functions: argument checks, record filling and the per-thread last error.
#include "HCNetSDK.h"

#include "KRecorderMessages.h"
#include "KRecorderProtocol.h"
#include "KSdkError.h"
#include "KSdkJpegWriter.h"
#include "KSdkRegistry.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QSaveFile>
#include <cstring>

using namespace KRecorderProtocol;

namespace {

thread_local uint32_t t_lastError = 0;

template<typename R> R failWith(uint32_t error, R result)
{
    t_lastError = KSdkError::toPublic(error);
    return result;
}

bool fail(uint32_t error)
{
    t_lastError = KSdkError::toPublic(error);
    return false;
}

bool succeed()
{
    t_lastError = 0;
    return true;
}

KSdkRegistry &registry()
{
    return KSdkRegistry::instance();
}

void copyText(uint8_t *target, size_t size, const QByteArray &text)
{
    std::memset(target, 0, size);
    std::memcpy(target, text.constData(), qMin(size, size_t(text.size())));
}

// Text of a fixed, zero-padded field (may lack the terminator).
QByteArray fieldText(const uint8_t *field, size_t size)
{
    size_t n = 0;
    while (n < size && field[n] != 0)
        ++n;
    return QByteArray(reinterpret_cast<const char *>(field), int(n));
}

bool toRecTime(const VSDK_TIME *t, KRecTime &out)
{
    if (!t || t->year > 0xFFFF || t->month > 0xFF || t->day > 0xFF || t->hour > 0xFF ||
        t->minute > 0xFF || t->second > 0xFF)
        return false;
    out.year = quint16(t->year);
    out.month = quint8(t->month);
    out.day = quint8(t->day);
    out.hour = quint8(t->hour);
    out.minute = quint8(t->minute);
    out.second = quint8(t->second);
    return out.isValid();
}

void fromRecTime(const KRecTime &t, VSDK_TIME *out)
{
    out->year = t.year;
    out->month = t.month;
    out->day = t.day;
    out->hour = t.hour;
    out->minute = t.minute;
    out->second = t.second;
}

// Common checks of calls that need a login.
std::shared_ptr<KSdkSession> sessionFor(int32_t userId)
{
    if (!registry().isInitialized())
        return failWith(VSDK_ERR_NOT_INITIALIZED, std::shared_ptr<KSdkSession>());
    auto session = registry().session(userId);
    if (!session)
        return failWith(VSDK_ERR_USER_ID, std::shared_ptr<KSdkSession>());
    return session;
}

std::shared_ptr<KSdkStream> streamFor(int32_t handle)
{
    if (!registry().isInitialized())
        return failWith(VSDK_ERR_NOT_INITIALIZED, std::shared_ptr<KSdkStream>());
    auto stream = registry().stream(handle);
    if (!stream)
        return failWith(VSDK_ERR_HANDLE, std::shared_ptr<KSdkStream>());
    return stream;
}

int32_t startStream(int32_t userId, KSdkStream::Kind kind, int32_t channel, uint8_t streamType,
                    const KRecTime &from, const KRecTime &to, VSDK_WINDOW window,
                    VSDK_REALDATA_CALLBACK callback, void *user, const QString &file)
{
    auto session = sessionFor(userId);
    if (!session)
        return -1;
    auto stream = std::make_shared<KSdkStream>(session, kind, channel, streamType, from, to);
    // Listed while it opens, so that NET_DVR_Cleanup meanwhile stops it too.
    const int handle = registry().addOpeningStream(stream);
    if (handle < 0)
        return failWith(VSDK_ERR_TOO_MANY, -1);
    stream->setVideo(window, callback, user, handle);
    stream->setDownloadFile(file);
    int rc = stream->open(registry().timeouts());
    if (rc == 0 && !registry().markStreamOpen(handle, stream))
        rc = VSDK_ERR_NOT_INITIALIZED;
    if (rc != 0) {
        if (!registry().removeOpeningStream(handle, stream))
            rc = VSDK_ERR_NOT_INITIALIZED; // NET_DVR_Cleanup took it
        stream->stop();
        // "No recording" is reported as error 0, so callers can tell it from a failure.
        return failWith(rc == KSdkError::fromRecorder(ErrNoRecording) ? uint32_t(VSDK_ERR_NONE)
                                                                      : uint32_t(rc),
                        -1);
    }
    t_lastError = 0;
    return handle;
}

bool writePicture(const std::shared_ptr<KSdkStream> &stream, const char *fileName)
{
    if (!fileName || !*fileName)
        return fail(VSDK_ERR_PARAMETER);
    QImage image;
    if (!stream->picture(nullptr, &image))
        return fail(VSDK_ERR_NO_PICTURE);
    // The picture shown now at the recorder's full size.
    QByteArray bytes;
    if (registry().captureMode() == VSDK_CAPTURE_JPEG) {
        bytes = KSdkJpegWriter::encode(image);
    } else {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "BMP"))
            bytes.clear();
    }
    if (bytes.isEmpty())
        return fail(VSDK_ERR_FILE);
    QSaveFile file(QFile::decodeName(fileName));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return fail(VSDK_ERR_FILE);
    return succeed();
}

bool stopStream(int32_t handle, KSdkStream::Kind kind)
{
    if (!registry().isInitialized())
        return fail(VSDK_ERR_NOT_INITIALIZED);
    auto stream = registry().stream(handle);
    if (!stream || stream->kind() != kind)
        return fail(VSDK_ERR_HANDLE);
    stream = registry().takeStream(handle);
    if (stream)
        stream->stop();
    return succeed();
}

} // namespace

extern "C" {

bool NET_DVR_Init(void)
{
    registry().initialize();
    return succeed();
}

bool NET_DVR_Cleanup(void)
{
    if (!registry().isInitialized())
        return fail(VSDK_ERR_NOT_INITIALIZED);
    registry().cleanup();
    return succeed();
}

bool NET_DVR_SetConnectTime(uint32_t waitTime, uint32_t tryTimes)
{
    registry().setConnectTime(int(qMin<uint32_t>(waitTime, 75000)),
                              int(qMin<uint32_t>(tryTimes, 10)));
    return succeed();
}

bool NET_DVR_SetAudioMode(uint32_t mode)
{
    if (mode < 1 || mode > 2)
        return fail(VSDK_ERR_PARAMETER);
    registry().setAudioMode(int(mode));
    return succeed();
}

uint32_t NET_DVR_GetLastError(void)
{
    return t_lastError;
}

int32_t NET_DVR_Login_V30(const char *host, uint16_t port, const char *user, const char *password,
                          VSDK_DEVICE_INFO *info)
{
    if (!registry().isInitialized())
        return failWith(VSDK_ERR_NOT_INITIALIZED, -1);
    if (!host || !*host || !user || !password || !info || port == 0)
        return failWith(VSDK_ERR_PARAMETER, -1);
    auto session = std::make_shared<KSdkSession>(QByteArray(host), port, QString::fromUtf8(user),
                                                 QByteArray(password));
    KMsgDeviceInfo device;
    const int rc = session->login(registry().timeouts(), device);
    if (rc != 0)
        return failWith(uint32_t(rc), -1);
    const int userId = registry().addSession(session);
    if (userId < 0) {
        session->logout(registry().timeouts());
        return failWith(VSDK_ERR_TOO_MANY, -1);
    }
    std::memset(info, 0, sizeof(*info));
    copyText(info->serialNumber, sizeof(info->serialNumber), device.serialNumber.toLatin1());
    info->analogChannelCount = device.analogChannelCount;
    info->firstAnalogChannel = device.firstAnalogChannel;
    info->ipChannelCount = device.ipChannelCount;
    info->firstIpChannel = device.firstIpChannel;
    info->audioChannelCount = device.audioChannelCount;
    info->alarmInCount = device.alarmInCount;
    info->alarmOutCount = device.alarmOutCount;
    info->diskCount = device.diskCount;
    info->deviceType = device.deviceType;
    t_lastError = 0;
    return userId;
}

bool NET_DVR_Logout_V30(int32_t userId)
{
    if (!registry().isInitialized())
        return fail(VSDK_ERR_NOT_INITIALIZED);
    auto session = registry().takeSession(userId);
    if (!session)
        return fail(VSDK_ERR_USER_ID);
    // The login is closed on our side whatever the recorder answers; an unreachable recorder
    // drops the session by itself.
    session->logout(registry().timeouts());
    return succeed();
}

bool NET_DVR_ActivateDevice(const char *host, uint16_t port, const VSDK_ACTIVATION *activation)
{
    if (!registry().isInitialized())
        return fail(VSDK_ERR_NOT_INITIALIZED);
    if (!host || !*host || !activation || port == 0 || activation->size != sizeof(VSDK_ACTIVATION))
        return fail(VSDK_ERR_PARAMETER);
    const QByteArray password = fieldText(activation->password, sizeof(activation->password));
    const int rc = KSdkSession::activate(QByteArray(host), port, password, registry().timeouts());
    return rc == 0 ? succeed() : fail(uint32_t(rc));
}

bool NET_DVR_GetDVRConfig(int32_t userId, uint32_t command, int32_t channel, void *buffer,
                          uint32_t bufferSize, uint32_t *returned)
{
    auto session = sessionFor(userId);
    if (!session)
        return false;
    size_t need = 0;
    switch (command) {
    case VSDK_GET_TIME:
        need = sizeof(VSDK_TIME);
        break;
    case VSDK_GET_DEVICE:
        need = sizeof(VSDK_DEVICE_CONFIG);
        break;
    case VSDK_GET_IP_CHANNELS:
        need = sizeof(VSDK_IP_CHANNELS);
        break;
    case VSDK_GET_PICTURE:
        need = sizeof(VSDK_PICTURE_CONFIG);
        break;
    case VSDK_GET_COMPRESSION:
        need = sizeof(VSDK_COMPRESSION);
        break;
    case VSDK_GET_DISKS:
        need = sizeof(VSDK_DISKS);
        break;
    default:
        return fail(VSDK_ERR_UNSUPPORTED);
    }
    if (!buffer || bufferSize < need)
        return fail(VSDK_ERR_PARAMETER);
    KMsgGetConfig request;
    request.command = command;
    request.channel = channel;
    KFrame reply;
    const int rc =
        session->request(GetConfig, request.encode(), Config, reply, registry().timeouts());
    if (rc != 0)
        return fail(uint32_t(rc));
    KMsgConfig config;
    if (!config.decode(reply.payload) || config.command != command)
        return fail(VSDK_ERR_BAD_DATA);
    std::memset(buffer, 0, need);
    switch (command) {
    case VSDK_GET_TIME:
        fromRecTime(config.time, static_cast<VSDK_TIME *>(buffer));
        break;
    case VSDK_GET_DEVICE: {
        auto *d = static_cast<VSDK_DEVICE_CONFIG *>(buffer);
        const KMsgDeviceConfig &c = config.device;
        d->size = sizeof(*d);
        copyText(d->deviceName, sizeof(d->deviceName), c.name.toUtf8());
        d->deviceNumber = c.deviceNumber;
        copyText(d->serialNumber, sizeof(d->serialNumber), c.serialNumber.toLatin1());
        d->softwareVersion = c.softwareVersion;
        d->softwareBuildDate = c.softwareBuildDate;
        d->dspVersion = c.dspVersion;
        d->dspBuildDate = c.dspBuildDate;
        d->hardwareVersion = c.hardwareVersion;
        d->alarmInCount = c.alarmInCount;
        d->alarmOutCount = c.alarmOutCount;
        d->diskCount = c.diskCount;
        d->analogChannelCount = c.analogChannelCount;
        d->deviceType = c.deviceType;
        break;
    }
    case VSDK_GET_IP_CHANNELS: {
        auto *d = static_cast<VSDK_IP_CHANNELS *>(buffer);
        d->size = sizeof(*d);
        for (int i = 0; i < config.ip.analogEnabled.size(); ++i)
            d->analogEnabled[i] = config.ip.analogEnabled[i];
        for (int i = 0; i < config.ip.devices.size(); ++i) {
            const KMsgIpDevice &s = config.ip.devices[i];
            VSDK_IP_DEVICE &t = d->devices[i];
            t.enabled = s.enabled;
            t.port = s.port;
            copyText(t.userName, sizeof(t.userName), s.user.toUtf8());
            copyText(t.password, sizeof(t.password), s.password.toUtf8());
            copyText(t.ipv4, sizeof(t.ipv4), s.ipv4.toLatin1());
        }
        for (int i = 0; i < config.ip.links.size(); ++i) {
            d->links[i].enabled = config.ip.links[i].enabled;
            d->links[i].deviceIndex = config.ip.links[i].deviceIndex;
            d->links[i].remoteChannel = config.ip.links[i].remoteChannel;
        }
        break;
    }
    case VSDK_GET_PICTURE: {
        auto *d = static_cast<VSDK_PICTURE_CONFIG *>(buffer);
        d->size = sizeof(*d);
        copyText(d->channelName, sizeof(d->channelName), config.picture.channelName.toUtf8());
        d->showChannelName = config.picture.showName;
        d->showOsd = config.picture.showOsd;
        break;
    }
    case VSDK_GET_COMPRESSION: {
        auto *d = static_cast<VSDK_COMPRESSION *>(buffer);
        d->size = sizeof(*d);
        const auto fill = [](VSDK_STREAM_COMPRESSION &t, const KMsgStreamCompression &s) {
            t.streamType = s.streamType;
            t.resolution = s.resolution;
            t.bitrate = s.bitrate;
            t.frameRate = s.frameRate;
            t.keyFrameInterval = s.keyFrameInterval;
            t.videoEncoding = s.videoEncoding;
        };
        fill(d->main, config.compression.main);
        fill(d->event, config.compression.event);
        fill(d->sub, config.compression.sub);
        break;
    }
    case VSDK_GET_DISKS: {
        auto *d = static_cast<VSDK_DISKS *>(buffer);
        d->size = sizeof(*d);
        d->count = uint32_t(config.disks.size());
        for (int i = 0; i < config.disks.size(); ++i) {
            d->disks[i].capacityMb = config.disks[i].capacityMb;
            d->disks[i].freeMb = config.disks[i].freeMb;
            d->disks[i].status = config.disks[i].status;
        }
        break;
    }
    default:
        break;
    }
    if (returned)
        *returned = uint32_t(need);
    return succeed();
}

bool NET_DVR_GetDVRWorkState_V30(int32_t userId, VSDK_WORK_STATE *state)
{
    auto session = sessionFor(userId);
    if (!session)
        return false;
    if (!state)
        return fail(VSDK_ERR_PARAMETER);
    KFrame reply;
    const int rc =
        session->request(GetWorkState, QByteArray(), WorkState, reply, registry().timeouts());
    if (rc != 0)
        return fail(uint32_t(rc));
    KMsgWorkState ws;
    if (!ws.decode(reply.payload))
        return fail(VSDK_ERR_BAD_DATA);
    std::memset(state, 0, sizeof(*state));
    state->deviceStatus = ws.deviceStatus;
    for (int i = 0; i < ws.disks.size(); ++i) {
        state->disks[i].volumeMb = ws.disks[i].capacityMb;
        state->disks[i].freeMb = ws.disks[i].freeMb;
        state->disks[i].status = ws.disks[i].status;
    }
    for (int i = 0; i < ws.channels.size(); ++i) {
        state->channels[i].recordState = ws.channels[i].recording;
        state->channels[i].signalState = ws.channels[i].signalLost;
        state->channels[i].hardwareState = ws.channels[i].hardwareFault;
        state->channels[i].bitRate = ws.channels[i].bitRate;
        state->channels[i].linkCount = ws.channels[i].linkCount;
    }
    return succeed();
}

int32_t NET_DVR_RealPlay_V40(int32_t userId, const VSDK_PREVIEW_INFO *preview,
                             VSDK_REALDATA_CALLBACK callback, void *user)
{
    if (!preview)
        return failWith(VSDK_ERR_PARAMETER, -1);
    if (preview->streamType > 1)
        return failWith(VSDK_ERR_PARAMETER, -1);
    return startStream(userId, KSdkStream::Live, preview->channel, uint8_t(preview->streamType),
                       KRecTime(), KRecTime(), preview->playWindow, callback, user, QString());
}

bool NET_DVR_StopRealPlay(int32_t handle)
{
    return stopStream(handle, KSdkStream::Live);
}

bool NET_DVR_OpenSoundShare(int32_t handle)
{
    auto stream = streamFor(handle);
    if (!stream)
        return false;
    stream->soundOn.store(true);
    return succeed();
}

bool NET_DVR_CloseSoundShare(int32_t handle)
{
    auto stream = streamFor(handle);
    if (!stream)
        return false;
    stream->soundOn.store(false);
    return succeed();
}

bool NET_DVR_Volume(int32_t handle, uint16_t volume)
{
    auto stream = streamFor(handle);
    if (!stream)
        return false;
    stream->volume.store(volume);
    return succeed();
}

bool NET_DVR_SetCapturePictureMode(uint32_t mode)
{
    if (mode != VSDK_CAPTURE_BMP && mode != VSDK_CAPTURE_JPEG)
        return fail(VSDK_ERR_PARAMETER);
    registry().setCaptureMode(int(mode));
    return succeed();
}

bool NET_DVR_CapturePicture(int32_t handle, const char *fileName)
{
    auto stream = streamFor(handle);
    if (!stream)
        return false;
    if (stream->kind() != KSdkStream::Live)
        return fail(VSDK_ERR_HANDLE);
    return writePicture(stream, fileName);
}

bool NET_DVR_GetStreamInfo(int32_t handle, VSDK_STREAM_INFO *info)
{
    auto stream = streamFor(handle);
    if (!stream)
        return false;
    if (!info)
        return fail(VSDK_ERR_PARAMETER);
    if (stream->kind() == KSdkStream::Download)
        return fail(VSDK_ERR_HANDLE);
    const KSdkStream::Announced a = stream->announced();
    const KSdkStreamStats s = stream->stats();
    std::memset(info, 0, sizeof(*info));
    info->codec = uint32_t(a.codec);
    info->width = uint32_t(a.width);
    info->height = uint32_t(a.height);
    info->frameRate = uint32_t(a.fps);
    info->targetBitRate = uint32_t(a.bitRateKbps);
    info->targetKeyFrames = uint32_t(a.keyFrameInterval);
    info->bitRate = uint32_t(qBound<qint64>(0, s.bitRate, 0xFFFFFFFF));
    info->keyFrameInterval = uint32_t(s.keyFrameInterval);
    info->receivedPictures = s.receivedPictures;
    info->receivedBytes = s.receivedBytes;
    info->keyFrames = s.keyFrames;
    info->decodedPictures = s.decodedPictures;
    info->droppedPictures = s.droppedPictures;
    info->decoderErrors = s.decoderErrors;
    info->latePictures = s.latePictures;
    info->weakLink = s.weakLink ? 1 : 0;
    return succeed();
}

int32_t NET_DVR_PlayBackByTime(int32_t userId, int32_t channel, const VSDK_TIME *start,
                               const VSDK_TIME *stop, VSDK_WINDOW window)
{
    KRecTime from;
    KRecTime to;
    if (!toRecTime(start, from) || !toRecTime(stop, to) || to.toDateTime() < from.toDateTime())
        return failWith(VSDK_ERR_PARAMETER, -1);
    return startStream(userId, KSdkStream::Playback, channel, 0, from, to, window, nullptr, nullptr,
                       QString());
}

bool NET_DVR_PlayBackControl(int32_t handle, uint32_t code, uint32_t inValue, uint32_t *outValue)
{
    auto stream = streamFor(handle);
    if (!stream)
        return false;
    if (stream->kind() == KSdkStream::Live)
        return fail(VSDK_ERR_HANDLE);
    if (outValue)
        *outValue = 0;
    const KSdkTimeouts timeouts = registry().timeouts();
    const bool download = stream->kind() == KSdkStream::Download;
    int rc = 0;
    switch (code) {
    case VSDK_PLAY_START:
        if (stream->started.exchange(true))
            return fail(VSDK_ERR_ORDER);
        rc = stream->control(ControlStart, 0, timeouts);
        if (rc != 0)
            stream->started.store(false);
        else if (!download)
            stream->setPaused(false);
        break;
    case VSDK_PLAY_STOP:
        stream->stop();
        break;
    case VSDK_PLAY_PAUSE:
    case VSDK_PLAY_RESUME:
        if (download)
            return fail(VSDK_ERR_UNSUPPORTED);
        if (!stream->started.load())
            return fail(VSDK_ERR_ORDER);
        rc = stream->control(code == VSDK_PLAY_PAUSE ? ControlPause : ControlResume, 0, timeouts);
        if (rc == 0)
            stream->setPaused(code == VSDK_PLAY_PAUSE);
        break;
    case VSDK_PLAY_FAST:
    case VSDK_PLAY_SLOW:
    case VSDK_PLAY_NORMAL: {
        if (download)
            return fail(VSDK_ERR_UNSUPPORTED);
        const int current = stream->speedLevel.load();
        const int level = code == VSDK_PLAY_NORMAL ? 0
                          : code == VSDK_PLAY_FAST ? qMin(current + 1, 3)
                                                   : qMax(current - 1, -3);
        rc = stream->control(ControlSpeed, qint8(level), timeouts);
        if (rc == 0)
            stream->speedLevel.store(level);
        break;
    }
    case VSDK_PLAY_SOUND_ON:
    case VSDK_PLAY_SOUND_OFF:
        if (download)
            return fail(VSDK_ERR_UNSUPPORTED);
        stream->soundOn.store(code == VSDK_PLAY_SOUND_ON);
        break;
    case VSDK_PLAY_VOLUME:
        if (download)
            return fail(VSDK_ERR_UNSUPPORTED);
        stream->volume.store(int(qMin<uint32_t>(inValue, 0xFFFF)));
        break;
    default:
        return fail(VSDK_ERR_UNSUPPORTED);
    }
    return rc == 0 ? succeed() : fail(uint32_t(rc));
}

bool NET_DVR_StopPlayBack(int32_t handle)
{
    return stopStream(handle, KSdkStream::Playback);
}

bool NET_DVR_GetPlayBackOsdTime(int32_t handle, VSDK_TIME *time)
{
    auto stream = streamFor(handle);
    if (!stream)
        return false;
    if (!time || stream->kind() != KSdkStream::Playback)
        return fail(time ? VSDK_ERR_HANDLE : VSDK_ERR_PARAMETER);
    fromRecTime(stream->shownTime(), time);
    return succeed();
}

bool NET_DVR_PlayBackCaptureFile(int32_t handle, const char *fileName)
{
    auto stream = streamFor(handle);
    if (!stream)
        return false;
    if (stream->kind() != KSdkStream::Playback)
        return fail(VSDK_ERR_HANDLE);
    return writePicture(stream, fileName);
}

int32_t NET_DVR_FindFile_V30(int32_t userId, const VSDK_FIND_CONDITION *condition)
{
    auto session = sessionFor(userId);
    if (!session)
        return -1;
    KMsgFindStart msg;
    if (!condition || !toRecTime(&condition->startTime, msg.from) ||
        !toRecTime(&condition->stopTime, msg.to))
        return failWith(VSDK_ERR_PARAMETER, -1);
    msg.channel = condition->channel;
    msg.fileType = quint8(qMin<uint32_t>(condition->fileType, 0xFF));
    msg.lockFilter = quint8(qMin<uint32_t>(condition->lockState, 0xFF));
    KFrame reply;
    const int rc =
        session->request(FindStart, msg.encode(), FindStarted, reply, registry().timeouts());
    if (rc != 0)
        return failWith(uint32_t(rc), -1);
    KMsgSearchId started;
    if (!started.decode(reply.payload))
        return failWith(VSDK_ERR_BAD_DATA, -1);
    auto search = std::make_shared<KSdkSearch>();
    search->session = session;
    search->searchId = started.searchId;
    const int handle = registry().addSearch(search);
    if (handle < 0) {
        KMsgSearchId close;
        close.searchId = started.searchId;
        session->request(FindClose, close.encode(), Ok, reply, registry().timeouts());
        return failWith(VSDK_ERR_TOO_MANY, -1);
    }
    t_lastError = 0;
    return handle;
}

int32_t NET_DVR_FindNextFile_V30(int32_t findHandle, VSDK_FIND_DATA *data)
{
    if (!registry().isInitialized())
        return failWith(VSDK_ERR_NOT_INITIALIZED, -1);
    auto search = registry().search(findHandle);
    if (!search)
        return failWith(VSDK_ERR_HANDLE, -1);
    if (!data)
        return failWith(VSDK_ERR_PARAMETER, -1);
    std::lock_guard<std::mutex> lock(search->mutex);
    if (search->error != 0)
        return failWith(uint32_t(search->error), int32_t(VSDK_FIND_EXCEPTION));
    if (search->nextIndex >= search->buffer.size() && !search->done) {
        KMsgSearchId next;
        next.searchId = search->searchId;
        KFrame reply;
        const KSdkTimeouts timeouts = registry().timeouts();
        const qint64 asked = KSdkSocket::now();
        const int rc =
            search->session->request(FindNext, next.encode(), FindBatch, reply, timeouts);
        KMsgFindBatch batch;
        if (rc == 0 && !batch.decode(reply.payload)) {
            search->error = VSDK_ERR_BAD_DATA;
        } else if (rc != 0) {
            search->error = rc;
        } else if (batch.status == FindBusy) {
            // "Busy" is bounded like any answer: a recorder that stays busy past the receive
            // time-out has failed the search.
            if (search->busySince < 0)
                search->busySince = asked;
            if (KSdkSocket::now() - search->busySince >= timeouts.receiveMs)
                search->error = VSDK_ERR_BUSY;
        } else {
            search->busySince = -1;
        }
        if (search->error != 0)
            return failWith(uint32_t(search->error), int32_t(VSDK_FIND_EXCEPTION));
        if (batch.status == FindBusy)
            return failWith(VSDK_ERR_NONE, int32_t(VSDK_FIND_BUSY));
        if (batch.status == FindDone) {
            search->done = true;
        } else {
            search->buffer = batch.files;
            search->nextIndex = 0;
        }
    }
    if (search->nextIndex < search->buffer.size()) {
        const KMsgFile &f = search->buffer[search->nextIndex++];
        std::memset(data, 0, sizeof(*data));
        const QByteArray name = f.name.toUtf8().left(int(sizeof(data->fileName)) - 1);
        std::memcpy(data->fileName, name.constData(), size_t(name.size()));
        fromRecTime(f.begin, &data->startTime);
        fromRecTime(f.end, &data->stopTime);
        data->fileSize = uint32_t(qMin<quint64>(f.size, 0xFFFFFFFFu));
        data->locked = f.locked;
        data->fileType = f.fileType;
        ++search->returned;
        t_lastError = 0;
        return VSDK_FIND_FILE;
    }
    t_lastError = 0;
    return search->returned == 0 ? VSDK_FIND_NO_FILE : VSDK_FIND_NO_MORE;
}

bool NET_DVR_FindClose_V30(int32_t findHandle)
{
    if (!registry().isInitialized())
        return fail(VSDK_ERR_NOT_INITIALIZED);
    auto search = registry().takeSearch(findHandle);
    if (!search)
        return fail(VSDK_ERR_HANDLE);
    std::lock_guard<std::mutex> lock(search->mutex);
    KMsgSearchId close;
    close.searchId = search->searchId;
    KFrame reply;
    // The handle is gone either way; a recorder that cannot be told forgets the search itself.
    search->session->request(FindClose, close.encode(), Ok, reply, registry().timeouts());
    return succeed();
}

int32_t NET_DVR_GetFileByTime(int32_t userId, int32_t channel, const VSDK_TIME *start,
                              const VSDK_TIME *stop, const char *localFile)
{
    KRecTime from;
    KRecTime to;
    if (!toRecTime(start, from) || !toRecTime(stop, to) || to.toDateTime() < from.toDateTime() ||
        !localFile || !*localFile)
        return failWith(VSDK_ERR_PARAMETER, -1);
    return startStream(userId, KSdkStream::Download, channel, 0, from, to, 0, nullptr, nullptr,
                       QFile::decodeName(localFile));
}

int32_t NET_DVR_GetDownloadPos(int32_t handle)
{
    auto stream = streamFor(handle);
    if (!stream)
        return -1;
    if (stream->kind() != KSdkStream::Download)
        return failWith(VSDK_ERR_HANDLE, -1);
    t_lastError = 0;
    const int pos = stream->downloadPos();
    if (pos == 200)
        t_lastError = KSdkError::toPublic(uint32_t(stream->failure()));
    return pos;
}

bool NET_DVR_StopGetFile(int32_t handle)
{
    return stopStream(handle, KSdkStream::Download);
}

} // extern "C"
