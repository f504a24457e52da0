#include "KRecorderMessages.h"

#include "KProtocolReader.h"
#include "KProtocolWriter.h"
#include "KRecorderProtocol.h"

#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

using namespace KRecorderProtocol;

QByteArray KRecorderProtocol::loginProof(const QByteArray &nonce, const QString &user,
                                         const QByteArray &password)
{
    return QMessageAuthenticationCode::hash(nonce + user.toUtf8(), password,
                                            QCryptographicHash::Sha256);
}

QByteArray KRecorderProtocol::randomNonce()
{
    QByteArray nonce(NonceSize, Qt::Uninitialized);
    for (int i = 0; i < NonceSize; i += 4) {
        const quint32 v = QRandomGenerator::system()->generate();
        for (int k = 0; k < 4 && i + k < NonceSize; ++k)
            nonce[i + k] = char(v >> (8 * k));
    }
    return nonce;
}

// --- session ---------------------------------------------------------------

QByteArray KMsgHello::encode() const
{
    KProtocolWriter w;
    w.raw(nonce.left(NonceSize).leftJustified(NonceSize, '\0'));
    return w.data();
}

bool KMsgHello::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    nonce = r.raw(NonceSize);
    return r.finish();
}

QByteArray KMsgLogin::encode() const
{
    KProtocolWriter w;
    w.str(user, 64);
    w.raw(proof.left(ProofSize).leftJustified(ProofSize, '\0'));
    return w.data();
}

bool KMsgLogin::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    user = r.str(64);
    proof = r.raw(ProofSize);
    return r.finish();
}

static void writeDeviceInfo(KProtocolWriter &w, const KMsgDeviceInfo &i)
{
    w.str(i.serialNumber, 48);
    w.u8(i.analogChannelCount);
    w.u8(i.firstAnalogChannel);
    w.u8(i.ipChannelCount);
    w.u8(i.firstIpChannel);
    w.u8(i.audioChannelCount);
    w.u8(i.alarmInCount);
    w.u8(i.alarmOutCount);
    w.u8(i.diskCount);
    w.u8(i.deviceType);
}

static void readDeviceInfo(KProtocolReader &r, KMsgDeviceInfo &i)
{
    i.serialNumber = r.str(48);
    i.analogChannelCount = r.u8();
    i.firstAnalogChannel = r.u8();
    i.ipChannelCount = r.u8();
    i.firstIpChannel = r.u8();
    i.audioChannelCount = r.u8();
    i.alarmInCount = r.u8();
    i.alarmOutCount = r.u8();
    i.diskCount = r.u8();
    i.deviceType = r.u8();
    if (i.analogChannelCount > MaxChannels || i.ipChannelCount > MaxChannels ||
        i.diskCount > MaxDisks)
        r.fail();
}

QByteArray KMsgLoginOk::encode() const
{
    KProtocolWriter w;
    w.u64(token);
    writeDeviceInfo(w, info);
    return w.data();
}

bool KMsgLoginOk::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    token = r.u64();
    readDeviceInfo(r, info);
    return r.finish();
}

QByteArray KMsgActivate::encode() const
{
    KProtocolWriter w;
    w.strBytes(password, 16);
    return w.data();
}

bool KMsgActivate::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    password = r.strBytes(16, false);
    return r.finish();
}

QByteArray KMsgAttach::encode() const
{
    KProtocolWriter w;
    w.u64(token);
    return w.data();
}

bool KMsgAttach::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    token = r.u64();
    return r.finish();
}

QByteArray KMsgError::encode() const
{
    KProtocolWriter w;
    w.u32(code);
    w.str(message, 256);
    return w.data();
}

bool KMsgError::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    code = r.u32();
    message = r.str(256);
    return r.finish();
}

// --- configuration ---------------------------------------------------------

QByteArray KMsgGetConfig::encode() const
{
    KProtocolWriter w;
    w.u32(command);
    w.i32(channel);
    return w.data();
}

bool KMsgGetConfig::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    command = r.u32();
    channel = r.i32();
    return r.finish();
}

static void writeDisks(KProtocolWriter &w, const QVector<KMsgDisk> &disks)
{
    const int n = qMin(disks.size(), MaxDisks);
    w.u8(quint8(n));
    for (int i = 0; i < n; ++i) {
        w.u32(disks[i].capacityMb);
        w.u32(disks[i].freeMb);
        w.u32(disks[i].status);
    }
}

static void readDisks(KProtocolReader &r, QVector<KMsgDisk> &disks)
{
    disks.clear();
    const int n = r.u8();
    if (n > MaxDisks) {
        r.fail();
        return;
    }
    for (int i = 0; i < n && r.ok(); ++i) {
        KMsgDisk d;
        d.capacityMb = r.u32();
        d.freeMb = r.u32();
        d.status = r.u32();
        disks.append(d);
    }
}

static void writeStream(KProtocolWriter &w, const KMsgStreamCompression &s)
{
    w.u8(s.streamType);
    w.u8(s.resolution);
    w.u32(s.bitrate);
    w.u32(s.frameRate);
    w.u16(s.keyFrameInterval);
    w.u8(s.videoEncoding);
}

static void readStream(KProtocolReader &r, KMsgStreamCompression &s)
{
    s.streamType = r.u8();
    s.resolution = r.u8();
    s.bitrate = r.u32();
    s.frameRate = r.u32();
    s.keyFrameInterval = r.u16();
    s.videoEncoding = r.u8();
}

QByteArray KMsgConfig::encode() const
{
    KProtocolWriter w;
    w.u32(command);
    switch (command) {
    case CmdTime:
        w.time(time);
        break;
    case CmdDevice:
        w.str(device.name, 32);
        w.u32(device.deviceNumber);
        w.str(device.serialNumber, 48);
        w.u32(device.softwareVersion);
        w.u32(device.softwareBuildDate);
        w.u32(device.dspVersion);
        w.u32(device.dspBuildDate);
        w.u32(device.hardwareVersion);
        w.u8(device.alarmInCount);
        w.u8(device.alarmOutCount);
        w.u8(device.diskCount);
        w.u8(device.analogChannelCount);
        w.u32(device.deviceType);
        break;
    case CmdIpChannels: {
        const int n = qMin(ip.analogEnabled.size(), MaxChannels);
        w.u8(quint8(n));
        for (int i = 0; i < n; ++i)
            w.u8(ip.analogEnabled[i]);
        const int m = qMin(ip.devices.size(), MaxChannels);
        w.u8(quint8(m));
        for (int i = 0; i < m; ++i) {
            const KMsgIpDevice &d = ip.devices[i];
            w.u8(d.enabled);
            w.u16(d.port);
            w.str(d.user, 32);
            w.str(d.password, 32);
            w.str(d.ipv4, 15);
        }
        const int k = qMin(ip.links.size(), MaxChannels);
        w.u8(quint8(k));
        for (int i = 0; i < k; ++i) {
            w.u8(ip.links[i].enabled);
            w.u8(ip.links[i].deviceIndex);
            w.i32(ip.links[i].remoteChannel);
        }
        break;
    }
    case CmdPicture:
        w.str(picture.channelName, 32);
        w.u8(picture.showName);
        w.u8(picture.showOsd);
        break;
    case CmdCompression:
        writeStream(w, compression.main);
        writeStream(w, compression.event);
        writeStream(w, compression.sub);
        break;
    case CmdDisks:
        writeDisks(w, disks);
        break;
    default:
        break;
    }
    return w.data();
}

bool KMsgConfig::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    command = r.u32();
    switch (command) {
    case CmdTime:
        time = r.time();
        break;
    case CmdDevice:
        device.name = r.str(32);
        device.deviceNumber = r.u32();
        device.serialNumber = r.str(48);
        device.softwareVersion = r.u32();
        device.softwareBuildDate = r.u32();
        device.dspVersion = r.u32();
        device.dspBuildDate = r.u32();
        device.hardwareVersion = r.u32();
        device.alarmInCount = r.u8();
        device.alarmOutCount = r.u8();
        device.diskCount = r.u8();
        device.analogChannelCount = r.u8();
        device.deviceType = r.u32();
        break;
    case CmdIpChannels: {
        ip = KMsgIpChannels();
        const int n = r.u8();
        if (n > MaxChannels)
            r.fail();
        for (int i = 0; i < n && r.ok(); ++i)
            ip.analogEnabled.append(r.u8());
        const int m = r.u8();
        if (m > MaxChannels)
            r.fail();
        for (int i = 0; i < m && r.ok(); ++i) {
            KMsgIpDevice d;
            d.enabled = r.u8();
            d.port = r.u16();
            d.user = r.str(32);
            d.password = r.str(32);
            d.ipv4 = r.str(15);
            ip.devices.append(d);
        }
        const int k = r.u8();
        if (k > MaxChannels)
            r.fail();
        for (int i = 0; i < k && r.ok(); ++i) {
            KMsgIpLink l;
            l.enabled = r.u8();
            l.deviceIndex = r.u8();
            l.remoteChannel = r.i32();
            if (l.deviceIndex >= m)
                r.fail();
            ip.links.append(l);
        }
        break;
    }
    case CmdPicture:
        picture.channelName = r.str(32);
        picture.showName = r.u8();
        picture.showOsd = r.u8();
        break;
    case CmdCompression:
        readStream(r, compression.main);
        readStream(r, compression.event);
        readStream(r, compression.sub);
        break;
    case CmdDisks:
        readDisks(r, disks);
        break;
    default:
        r.fail();
        break;
    }
    return r.finish();
}

QByteArray KMsgWorkState::encode() const
{
    KProtocolWriter w;
    w.u32(deviceStatus);
    writeDisks(w, disks);
    const int k = qMin(channels.size(), MaxChannels);
    w.u8(quint8(k));
    for (int i = 0; i < k; ++i) {
        const KMsgChannelState &c = channels[i];
        w.u8(c.recording);
        w.u8(c.signalLost);
        w.u8(c.hardwareFault);
        w.u32(c.bitRate);
        w.u32(c.linkCount);
    }
    return w.data();
}

bool KMsgWorkState::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    deviceStatus = r.u32();
    readDisks(r, disks);
    channels.clear();
    const int k = r.u8();
    if (k > MaxChannels)
        r.fail();
    for (int i = 0; i < k && r.ok(); ++i) {
        KMsgChannelState c;
        c.recording = r.u8();
        c.signalLost = r.u8();
        c.hardwareFault = r.u8();
        c.bitRate = r.u32();
        c.linkCount = r.u32();
        channels.append(c);
    }
    return r.finish();
}

// --- search ----------------------------------------------------------------

QByteArray KMsgFindStart::encode() const
{
    KProtocolWriter w;
    w.i32(channel);
    w.u8(fileType);
    w.u8(lockFilter);
    w.time(from);
    w.time(to);
    return w.data();
}

bool KMsgFindStart::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    channel = r.i32();
    fileType = r.u8();
    lockFilter = r.u8();
    from = r.time();
    to = r.time();
    return r.finish();
}

QByteArray KMsgSearchId::encode() const
{
    KProtocolWriter w;
    w.u32(searchId);
    return w.data();
}

bool KMsgSearchId::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    searchId = r.u32();
    return r.finish();
}

QByteArray KMsgFindBatch::encode() const
{
    KProtocolWriter w;
    w.u8(status);
    const int n = status == FindFiles ? qMin(files.size(), MaxFindBatch) : 0;
    w.u16(quint16(n));
    for (int i = 0; i < n; ++i) {
        const KMsgFile &f = files[i];
        w.str(f.name, 99);
        w.time(f.begin);
        w.time(f.end);
        w.u64(f.size);
        w.u8(f.locked);
        w.u8(f.fileType);
    }
    return w.data();
}

bool KMsgFindBatch::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    status = r.u8();
    const int n = r.u16();
    files.clear();
    if (status > FindDone || n > MaxFindBatch || (status == FindFiles) != (n > 0))
        r.fail();
    for (int i = 0; i < n && r.ok(); ++i) {
        KMsgFile f;
        f.name = r.str(99);
        f.begin = r.time();
        f.end = r.time();
        f.size = r.u64();
        f.locked = r.u8();
        f.fileType = r.u8();
        files.append(f);
    }
    return r.finish();
}

// --- streams ---------------------------------------------------------------

QByteArray KMsgStreamOpen::encode() const
{
    KProtocolWriter w;
    w.u64(token);
    w.u8(kind);
    w.i32(channel);
    w.u8(streamType);
    w.time(from);
    w.time(to);
    return w.data();
}

bool KMsgStreamOpen::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    token = r.u64();
    kind = r.u8();
    channel = r.i32();
    streamType = r.u8();
    from = r.time();
    to = r.time();
    if (kind < StreamLive || kind > StreamDownload)
        r.fail();
    return r.finish();
}

QByteArray KMsgStreamOpened::encode() const
{
    KProtocolWriter w;
    w.u16(width);
    w.u16(height);
    w.u8(fps);
    w.u8(codec);
    w.u32(bitRateKbps);
    w.u16(keyFrameInterval);
    return w.data();
}

bool KMsgStreamOpened::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    width = r.u16();
    height = r.u16();
    fps = r.u8();
    codec = r.u8();
    bitRateKbps = r.u32();
    keyFrameInterval = r.u16();
    if (codec != CodecH264)
        r.fail();
    return r.finish();
}

QByteArray KMsgStreamControl::encode() const
{
    KProtocolWriter w;
    w.u8(action);
    w.i8(speed);
    return w.data();
}

bool KMsgStreamControl::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    action = r.u8();
    speed = r.i8();
    return r.finish();
}

QByteArray KMsgVideoFrame::encode() const
{
    KProtocolWriter w;
    w.time(time);
    w.u16(msec);
    w.u32(frameNumber);
    w.u16(width);
    w.u16(height);
    w.u8(keyFrame ? FrameKey : 0);
    w.bytes(accessUnit, MaxPictureBytes);
    return w.data();
}

bool KMsgVideoFrame::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    time = r.time();
    msec = r.u16();
    frameNumber = r.u32();
    width = r.u16();
    height = r.u16();
    const quint8 flags = r.u8();
    accessUnit = r.bytes(MaxPictureBytes);
    if (msec > 999 || (flags & ~FrameKey) != 0)
        r.fail();
    keyFrame = flags & FrameKey;
    return r.finish();
}

QByteArray KMsgDownloadBegin::encode() const
{
    KProtocolWriter w;
    w.u64(totalBytes);
    return w.data();
}

bool KMsgDownloadBegin::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    totalBytes = r.u64();
    if (totalBytes == 0 || totalBytes > MaxDownloadBytes)
        r.fail();
    return r.finish();
}

QByteArray KMsgData::encode() const
{
    KProtocolWriter w;
    w.bytes(bytes, MaxDataBytes);
    return w.data();
}

bool KMsgData::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    bytes = r.bytes(MaxDataBytes);
    return r.finish();
}

QByteArray KMsgStreamEnd::encode() const
{
    KProtocolWriter w;
    w.u32(reason);
    return w.data();
}

bool KMsgStreamEnd::decode(const QByteArray &payload)
{
    KProtocolReader r(payload);
    reason = r.u32();
    return r.finish();
}
