#include "KEmuConnection.h"

#include "KEmuClipMaker.h"
#include "KEmuLiveStream.h"
#include "KEmuPlayback.h"
#include "KEmuRecorder.h"

#include <KRecorderMessages.h>
#include <KRecorderProtocol.h>

#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTimer>

using namespace KRecorderProtocol;

namespace {

constexpr int kChunkBytes = 64 * 1024;
constexpr qint64 kWriteAhead = 256 * 1024;
// Past this many unsent answers a connection reads no more requests until the peer reads.
constexpr qint64 kMaxUnsent = 1024 * 1024;
// Requests held in the process per connection; the rest wait in the kernel. Requests are
// small, so the kernel's buffer is kept small too.
constexpr qint64 kReadBuffer = 64 * 1024;
constexpr int kReceiveBuffer = 256 * 1024;
// Unknown session tokens a connection may offer before it is closed.
constexpr int kMaxUnknownSessions = 3;
// How long a closing connection may take to deliver its last answers.
constexpr int kCloseGraceMs = 5000;

// Overwrites an access unit past its first NAL header with noise, as a failing encoder or a
// flipped radio link would.
void garbleAccessUnit(QByteArray &unit, quint32 seed)
{
    quint32 x = seed * 2654435761u + 1;
    for (int i = 6; i < unit.size(); ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        unit[i] = char(x);
    }
}

const char *kindName(int kind)
{
    switch (kind) {
    case StreamLive:
        return "live";
    case StreamPlayback:
        return "playback";
    case StreamDownload:
        return "download";
    default:
        return "?";
    }
}

QString timeText(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

KEmuConnection::KEmuConnection(KEmuRecorder *recorder, QTcpSocket *socket)
    : QObject(recorder), m_recorder(recorder), m_socket(socket)
{
    socket->setParent(this);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kReceiveBuffer);
    socket->setReadBufferSize(kReadBuffer);
    m_reader.setRequestsOnly(true);
    m_name = QStringLiteral("%1 <- %2:%3")
                 .arg(recorder->endpoint(), socket->peerAddress().toString())
                 .arg(socket->peerPort());
    connect(socket, &QTcpSocket::readyRead, this, &KEmuConnection::readFrames);
    connect(socket, &QTcpSocket::disconnected, this, &KEmuConnection::closed);
    connect(socket, &QTcpSocket::bytesWritten, this, [this]() {
        if (m_file)
            pumpDownload();
        if (m_readingStopped && unsent() <= kMaxUnsent) {
            m_readingStopped = false;
            readFrames();
        }
    });
    connect(recorder, &KEmuRecorder::sessionClosed, this, [this](quint64 token) {
        if (m_role == StreamRole && token == m_token && !m_closing) {
            qInfo("%s %s stream ends with its session", qPrintable(m_name), kindName(m_kind));
            closeAfterWrites();
        }
    });
    m_loginTimer = new QTimer(this);
    m_loginTimer->setSingleShot(true);
    m_loginTimer->setInterval(recorder->services().loginTimeoutMs);
    connect(m_loginTimer, &QTimer::timeout, this, [this]() {
        qInfo("%s no session within %d ms: connection closed", qPrintable(m_name),
              m_loginTimer->interval());
        abort();
    });
    expectLogin(true);
    m_nonce = randomNonce();
    KMsgHello hello;
    hello.nonce = m_nonce;
    send(Hello, 0, hello.encode());
}

KEmuConnection::~KEmuConnection()
{
    m_recorder->uplink().forget(this);
    hold(0);
    if (m_live)
        m_live->removeClient();
    if (m_role == StreamRole)
        m_recorder->streamClosed();
    delete m_file;
}

void KEmuConnection::hold(quint64 token)
{
    if (m_held == token)
        return;
    if (m_held)
        m_recorder->releaseSession(m_held);
    m_held = token;
    if (m_held)
        m_recorder->holdSession(m_held);
}

void KEmuConnection::abort()
{
    m_closing = true;
    m_socket->abort();
    deleteLater();
}

void KEmuConnection::closeAfterWrites()
{
    m_closing = true;
    m_socket->disconnectFromHost();
    // A peer that takes nothing more does not keep the connection.
    QTimer::singleShot(kCloseGraceMs, this, &KEmuConnection::abort);
}

void KEmuConnection::expectLogin(bool expect)
{
    if (expect)
        m_loginTimer->start();
    else
        m_loginTimer->stop();
}

void KEmuConnection::closed()
{
    if (m_role == StreamRole)
        qInfo("%s %s stream closed (%llu frames sent, %llu dropped)", qPrintable(m_name),
              kindName(m_kind), m_framesSent, m_framesDropped);
    m_closing = true;
    deleteLater();
}

void KEmuConnection::malformed(const QString &why)
{
    qInfo("%s malformed frame (%s): connection closed", qPrintable(m_name), qPrintable(why));
    abort();
}

void KEmuConnection::send(quint8 type, quint32 seq, const QByteArray &payload, qint64 delayMs)
{
    QByteArray bytes = KFrame::encode(type, seq, payload);
    if (m_recorder->faults().garble) {
        // A corrupted magic makes every frame unreadable for the peer.
        bytes[0] = char(bytes[0] ^ 0x55);
        bytes[1] = char(bytes[1] ^ 0x2A);
    }
    const qint64 wait = qMax<qint64>(m_recorder->faults().stallMs, delayMs);
    if (wait > 0 || !m_heldBack.isEmpty()) {
        // Held back frames leave in order, also when the stall changes meanwhile.
        if (!m_clock.isValid())
            m_clock.start();
        const qint64 due =
            qMax(m_clock.elapsed() + wait, m_heldBack.isEmpty() ? 0 : m_heldBack.last().first);
        m_heldBack.append(qMakePair(due, bytes));
        m_heldBackBytes += bytes.size();
        if (m_heldBack.size() == 1)
            QTimer::singleShot(int(due - m_clock.elapsed()), this,
                               &KEmuConnection::releaseHeldBack);
        return;
    }
    sendNow(bytes);
}

void KEmuConnection::releaseHeldBack()
{
    while (!m_heldBack.isEmpty() && m_heldBack.first().first <= m_clock.elapsed()) {
        const QByteArray bytes = m_heldBack.takeFirst().second;
        m_heldBackBytes -= bytes.size();
        sendNow(bytes);
    }
    if (!m_heldBack.isEmpty())
        QTimer::singleShot(int(qMax<qint64>(0, m_heldBack.first().first - m_clock.elapsed())), this,
                           &KEmuConnection::releaseHeldBack);
}

void KEmuConnection::sendNow(const QByteArray &bytes)
{
    if (m_closing || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_socket->write(bytes);
    m_lastSend.start();
}

void KEmuConnection::unknownSession(quint32 seq, quint64 token, const char *request)
{
    qInfo("%s %s %llu: unknown session", qPrintable(m_name), request, token);
    replyError(seq, ErrNoSession, QStringLiteral("unknown session"));
    if (++m_unknownSessions < kMaxUnknownSessions)
        return;
    // A token is the session: a peer that keeps trying them is guessing.
    qInfo("%s %d unknown sessions: connection closed", qPrintable(m_name), m_unknownSessions);
    closeAfterWrites();
}

void KEmuConnection::replyError(quint32 seq, quint32 code, const QString &message)
{
    KMsgError e;
    e.code = code;
    e.message = message;
    send(Error, seq, e.encode());
}

qint64 KEmuConnection::unsent() const
{
    return m_socket->bytesToWrite() + m_heldBackBytes;
}

void KEmuConnection::readFrames()
{
    KFrame frame;
    while (!m_closing) {
        if (unsent() > kMaxUnsent) {
            // Answers pile up unread: the requests wait in the socket until they drain.
            m_readingStopped = true;
            return;
        }
        if (!m_reader.next(frame)) {
            if (m_reader.hasError())
                return malformed(m_reader.errorString());
            // At most the read buffer's size.
            const QByteArray more = m_socket->readAll();
            if (more.isEmpty())
                return;
            m_reader.append(more);
            continue;
        }
        if (m_recorder->faults().drop && frame.type != Keepalive) {
            qInfo("%s request 0x%02x dropped with the connection (fault)", qPrintable(m_name),
                  frame.type);
            abort();
            return;
        }
        handle(frame);
    }
}

void KEmuConnection::handle(const KFrame &frame)
{
    if (frame.type == Keepalive)
        return;
    const bool opener = frame.type == Login || frame.type == Activate || frame.type == Attach ||
                        frame.type == StreamOpen;
    if (m_role == NoRole && m_token == 0 && !opener) {
        replyError(frame.seq, ErrNoSession, QStringLiteral("no session"));
        return;
    }
    switch (frame.type) {
    case Login:
        handleLogin(frame);
        return;
    case Activate:
        handleActivate(frame);
        return;
    case Attach:
        handleAttach(frame);
        return;
    case Logout:
        if (!frame.payload.isEmpty())
            return malformed(QStringLiteral("Logout with a payload"));
        if (m_role != ControlRole) {
            replyError(frame.seq, ErrOrder, QStringLiteral("not a control connection"));
            return;
        }
        qInfo("%s logout (session %llu)", qPrintable(m_name), m_token);
        hold(0);
        m_recorder->closeSession(m_token);
        m_token = 0;
        m_role = NoRole;
        expectLogin(true);
        send(Ok, frame.seq);
        return;
    case GetConfig:
        handleGetConfig(frame);
        return;
    case GetWorkState:
        handleWorkState(frame);
        return;
    case FindStart:
        handleFindStart(frame);
        return;
    case FindNext:
        handleFindNext(frame);
        return;
    case FindClose:
        handleFindClose(frame);
        return;
    case StreamOpen:
        handleStreamOpen(frame);
        return;
    case StreamControl:
        handleStreamControl(frame);
        return;
    default:
        replyError(frame.seq, ErrUnsupported, QStringLiteral("not a request"));
        return;
    }
}

void KEmuConnection::handleLogin(const KFrame &frame)
{
    KMsgLogin login;
    if (!login.decode(frame.payload))
        return malformed(QStringLiteral("Login"));
    if (m_role == StreamRole) {
        replyError(frame.seq, ErrOrder, QStringLiteral("stream connection"));
        return;
    }
    if (!m_recorder->isActivated()) {
        qInfo("%s login %s: not activated", qPrintable(m_name), qPrintable(login.user));
        replyError(frame.seq, ErrNotActivated, QStringLiteral("device not activated"));
        return;
    }
    const QByteArray expected = loginProof(m_nonce, login.user, m_recorder->password());
    if (login.user != m_recorder->config().user || login.proof != expected) {
        qInfo("%s login %s: wrong user name or password", qPrintable(m_name),
              qPrintable(login.user));
        replyError(frame.seq, ErrPassword, QStringLiteral("wrong user name or password"));
        return;
    }
    const quint64 token = m_recorder->openSession(login.user);
    if (token == 0) {
        qInfo("%s login %s: too many logins", qPrintable(m_name), qPrintable(login.user));
        replyError(frame.seq, ErrTooManyLogins, QStringLiteral("too many logins"));
        return;
    }
    if (m_role == ControlRole && m_token != 0 && m_token != token)
        m_recorder->closeSession(m_token);
    m_role = ControlRole;
    m_token = token;
    hold(token);
    expectLogin(false);
    const KEmuRecorderConfig &c = m_recorder->config();
    KMsgLoginOk ok;
    ok.token = token;
    ok.info.serialNumber = c.serial;
    ok.info.analogChannelCount = quint8(c.analogCount);
    ok.info.firstAnalogChannel = KEmuRecorderConfig::firstAnalogChannel;
    ok.info.ipChannelCount = quint8(c.ipCount);
    ok.info.firstIpChannel = KEmuRecorderConfig::firstIpChannel;
    ok.info.audioChannelCount = quint8(c.audioCount);
    ok.info.alarmInCount = quint8(c.alarmInCount);
    ok.info.alarmOutCount = quint8(c.alarmOutCount);
    ok.info.diskCount = quint8(c.diskCount);
    ok.info.deviceType = quint8(c.deviceType);
    qInfo("%s login %s: ok (session %llu)", qPrintable(m_name), qPrintable(login.user), token);
    send(LoginOk, frame.seq, ok.encode());
}

void KEmuConnection::handleActivate(const KFrame &frame)
{
    KMsgActivate activate;
    if (!activate.decode(frame.payload))
        return malformed(QStringLiteral("Activate"));
    const quint32 error = m_recorder->activate(activate.password);
    if (error == ErrAlreadyActivated) {
        qInfo("%s activation: already activated", qPrintable(m_name));
        replyError(frame.seq, error, QStringLiteral("already activated"));
    } else if (error != 0) {
        qInfo("%s activation: password not acceptable", qPrintable(m_name));
        replyError(frame.seq, error,
                   QStringLiteral("password needs 8 to 16 bytes of at least two kinds"));
    } else {
        qInfo("%s activation: ok", qPrintable(m_name));
        send(Ok, frame.seq);
    }
}

void KEmuConnection::handleAttach(const KFrame &frame)
{
    KMsgAttach attach;
    if (!attach.decode(frame.payload))
        return malformed(QStringLiteral("Attach"));
    if (m_role == StreamRole || !m_recorder->hasSession(attach.token))
        return unknownSession(frame.seq, attach.token, "attach");
    m_role = ControlRole;
    m_token = attach.token;
    hold(attach.token);
    expectLogin(false);
    qInfo("%s attach: ok (session %llu)", qPrintable(m_name), attach.token);
    send(Ok, frame.seq);
}

void KEmuConnection::handleGetConfig(const KFrame &frame)
{
    KMsgGetConfig get;
    if (!get.decode(frame.payload))
        return malformed(QStringLiteral("GetConfig"));
    if (m_role != ControlRole) {
        replyError(frame.seq, ErrOrder, QStringLiteral("not a control connection"));
        return;
    }
    const KEmuRecorderConfig &c = m_recorder->config();
    KMsgConfig config;
    config.command = get.command;
    const bool device = get.channel == -1 || get.channel == 0;
    const KEmuChannelConfig *channel = c.channel(get.channel);
    switch (get.command) {
    case CmdTime:
        config.time = KRecTime::fromDateTime(m_recorder->clock());
        break;
    case CmdDevice:
        config.device.name = c.name;
        config.device.deviceNumber = c.host.section(QLatin1Char('.'), -1).toUInt();
        config.device.serialNumber = c.serial;
        config.device.softwareVersion = c.softwareVersion;
        config.device.softwareBuildDate = c.softwareBuildDate;
        config.device.dspVersion = c.dspVersion;
        config.device.dspBuildDate = c.dspBuildDate;
        config.device.hardwareVersion = 0x0200;
        config.device.alarmInCount = quint8(c.alarmInCount);
        config.device.alarmOutCount = quint8(c.alarmOutCount);
        config.device.diskCount = quint8(c.diskCount);
        config.device.analogChannelCount = quint8(c.analogCount);
        config.device.deviceType = quint32(c.deviceType);
        break;
    case CmdIpChannels:
        for (const KEmuChannelConfig &ch : c.channels) {
            if (!ch.ip) {
                config.ip.analogEnabled << quint8(ch.enabled ? 1 : 0);
                continue;
            }
            KMsgIpDevice d;
            d.enabled = ch.ipPort != 0 ? 1 : 0;
            d.port = quint16(ch.ipPort);
            d.user = ch.ipUser;
            d.password = ch.ipPassword;
            d.ipv4 = ch.ipAddress;
            KMsgIpLink link;
            link.enabled = d.enabled;
            link.deviceIndex = quint8(config.ip.devices.size());
            link.remoteChannel = 1;
            config.ip.devices << d;
            config.ip.links << link;
        }
        break;
    case CmdPicture:
        if (!channel) {
            replyError(frame.seq, ErrChannel, QStringLiteral("no such channel"));
            return;
        }
        config.picture.channelName = channel->title;
        break;
    case CmdCompression: {
        if (!channel) {
            replyError(frame.seq, ErrChannel, QStringLiteral("no such channel"));
            return;
        }
        auto stream = [&c](const QSize &size, int kbps) {
            KMsgStreamCompression s;
            s.streamType = 0;
            s.resolution = quint8(KEmuRecorderConfig::resolutionCode(size));
            s.bitrate = quint32(kbps);
            s.frameRate = quint32(c.fps);
            s.keyFrameInterval = quint16(c.keyFramePictures());
            s.videoEncoding = 1; // H.264
            return s;
        };
        config.compression.main = stream(c.size, c.mainKbps);
        config.compression.event = stream(c.size, c.mainKbps);
        config.compression.sub = stream(c.subSize(), c.subKbps);
        break;
    }
    case CmdDisks:
        for (int i = 0; i < c.diskCount; ++i) {
            KMsgDisk d;
            d.capacityMb = 953869;
            d.freeMb = quint32(40000 + (KEmuRecorderConfig::hostSeed(c.host) + i * 7919) % 200000);
            d.status = quint32(c.diskStatus.value(i));
            config.disks << d;
        }
        break;
    default:
        replyError(frame.seq, ErrUnsupported, QStringLiteral("unsupported command"));
        return;
    }
    const bool perChannel = get.command == CmdPicture || get.command == CmdCompression;
    if (!perChannel && !device) {
        replyError(frame.seq, ErrChannel, QStringLiteral("whole-device command"));
        return;
    }
    qInfo("%s config %u%s", qPrintable(m_name), get.command,
          perChannel ? qPrintable(QStringLiteral(" channel %1").arg(get.channel)) : "");
    send(Config, frame.seq, config.encode());
}

void KEmuConnection::handleWorkState(const KFrame &frame)
{
    if (!frame.payload.isEmpty())
        return malformed(QStringLiteral("GetWorkState"));
    if (m_role != ControlRole) {
        replyError(frame.seq, ErrOrder, QStringLiteral("not a control connection"));
        return;
    }
    const KEmuRecorderConfig &c = m_recorder->config();
    KMsgWorkState state;
    for (int i = 0; i < c.diskCount; ++i) {
        KMsgDisk d;
        d.capacityMb = 953869;
        d.freeMb = quint32(40000 + (KEmuRecorderConfig::hostSeed(c.host) + i * 7919) % 200000);
        d.status = quint32(c.diskStatus.value(i));
        state.disks << d;
    }
    int last = 0;
    for (const KEmuChannelConfig &ch : c.channels)
        last = qMax(last, ch.number);
    last = qMin(last, int(MaxChannels));
    for (int n = 1; n <= last; ++n) {
        KMsgChannelState s;
        if (const KEmuChannelConfig *ch = c.channel(n)) {
            s.recording = m_recorder->isRecordingNow(n) ? 1 : 0;
            s.signalLost = (ch->signalLost || !ch->enabled) ? 1 : 0;
            s.hardwareFault = ch->hardwareFault ? 1 : 0;
            s.bitRate = s.recording ? quint32(c.mainKbps) * 1000u : 0u;
            s.linkCount = quint32(m_recorder->viewers(n));
        }
        state.channels << s;
    }
    qInfo("%s work state", qPrintable(m_name));
    send(WorkState, frame.seq, state.encode());
}

void KEmuConnection::handleFindStart(const KFrame &frame)
{
    KMsgFindStart find;
    if (!find.decode(frame.payload))
        return malformed(QStringLiteral("FindStart"));
    if (m_role != ControlRole) {
        replyError(frame.seq, ErrOrder, QStringLiteral("not a control connection"));
        return;
    }
    quint32 error = 0;
    const QDateTime from = find.from.toDateTime();
    const QDateTime to = find.to.toDateTime();
    const quint32 id = m_recorder->startSearch(m_token, find.channel, find.fileType,
                                               find.lockFilter, from, to, &error);
    if (id == 0) {
        qInfo("%s search ch%d %s .. %s: error %u", qPrintable(m_name), find.channel,
              qPrintable(timeText(from)), qPrintable(timeText(to)), error);
        replyError(frame.seq, error, QStringLiteral("search refused"));
        return;
    }
    qInfo("%s search %u ch%d %s .. %s: %d files", qPrintable(m_name), id, find.channel,
          qPrintable(timeText(from)), qPrintable(timeText(to)),
          int(m_recorder->search(m_token, id)->files.size()));
    KMsgSearchId started;
    started.searchId = id;
    send(FindStarted, frame.seq, started.encode());
}

void KEmuConnection::handleFindNext(const KFrame &frame)
{
    KMsgSearchId next;
    if (!next.decode(frame.payload))
        return malformed(QStringLiteral("FindNext"));
    KEmuRecorder::Search *search = m_recorder->search(m_token, next.searchId);
    if (m_role != ControlRole || !search) {
        replyError(frame.seq, ErrUnknownSearch, QStringLiteral("unknown search"));
        return;
    }
    KMsgFindBatch batch;
    const int listed = search->failAfter >= 0 ? qMin(search->failAfter, search->files.size())
                                              : search->files.size();
    if (search->busyLeft == 0 && search->next >= listed && listed < search->files.size()) {
        // The recorder's disk index failed half-way: the search breaks off.
        replyError(frame.seq, ErrDevice, QStringLiteral("search broke off"));
        return;
    }
    if (search->busyLeft > 0) {
        // The disk index is still being read: the client asks again.
        --search->busyLeft;
        batch.status = FindBusy;
    } else if (search->next >= search->files.size()) {
        batch.status = FindDone;
    } else {
        batch.status = FindFiles;
        while (search->next < listed && batch.files.size() < MaxFindBatch) {
            const KEmuArchiveFile &f = search->files[search->next++];
            KMsgFile file;
            file.name = f.name;
            file.begin = KRecTime::fromDateTime(f.begin);
            file.end = KRecTime::fromDateTime(f.end);
            file.size = quint64(f.size);
            file.locked = f.locked ? 1 : 0;
            file.fileType = 0;
            batch.files << file;
        }
    }
    send(FindBatch, frame.seq, batch.encode());
}

void KEmuConnection::handleFindClose(const KFrame &frame)
{
    KMsgSearchId close;
    if (!close.decode(frame.payload))
        return malformed(QStringLiteral("FindClose"));
    m_recorder->closeSearch(m_token, close.searchId);
    send(Ok, frame.seq);
}

void KEmuConnection::handleStreamOpen(const KFrame &frame)
{
    KMsgStreamOpen open;
    if (!open.decode(frame.payload))
        return malformed(QStringLiteral("StreamOpen"));
    if (m_role != NoRole) {
        replyError(frame.seq, ErrOrder, QStringLiteral("stream must open a connection"));
        return;
    }
    if (!m_recorder->hasSession(open.token))
        return unknownSession(frame.seq, open.token, "stream open");
    const KEmuRecorderConfig &c = m_recorder->config();
    const KEmuChannelConfig *channel = c.channel(open.channel);
    if (!channel) {
        replyError(frame.seq, ErrChannel, QStringLiteral("no such channel"));
        return;
    }
    if (open.kind != StreamLive && open.kind != StreamPlayback && open.kind != StreamDownload) {
        replyError(frame.seq, ErrParameter, QStringLiteral("bad stream kind"));
        return;
    }
    if (open.streamType > 1) {
        replyError(frame.seq, ErrParameter, QStringLiteral("bad stream type"));
        return;
    }
    if (!m_recorder->streamSlotFree()) {
        replyError(frame.seq, ErrBusy, QStringLiteral("too many streams"));
        return;
    }
    m_kind = open.kind;
    m_channel = open.channel;
    m_sub = open.streamType == 1;
    m_token = open.token;
    KMsgStreamOpened opened;
    if (m_kind != StreamLive) {
        m_from = open.from.toDateTime();
        m_to = open.to.toDateTime();
        if (!m_from.isValid() || !m_to.isValid() || m_from > m_to) {
            replyError(frame.seq, ErrParameter, QStringLiteral("from after to"));
            return;
        }
    }
    if (m_kind == StreamDownload) {
        m_pieces = m_recorder->recordedPieces(m_channel, m_from, m_to);
        if (m_pieces.isEmpty()) {
            qInfo("%s download ch%d %s .. %s: no recording", qPrintable(m_name), m_channel,
                  qPrintable(timeText(m_from)), qPrintable(timeText(m_to)));
            replyError(frame.seq, ErrNoRecording, QStringLiteral("no recording in the interval"));
            return;
        }
    }
    m_role = StreamRole;
    hold(m_token);
    expectLogin(false);
    m_recorder->streamOpened();
    const QSize size = m_kind == StreamDownload || m_sub ? c.subSize() : c.size;
    opened.width = quint16(size.width());
    opened.height = quint16(size.height());
    opened.fps = quint8(c.fps);
    // Downloads are H.264 files; their rate is the file's own.
    opened.bitRateKbps = quint32(m_kind == StreamDownload ? m_recorder->services().clipKbps
                                 : m_sub                  ? c.subKbps
                                                          : c.mainKbps);
    opened.keyFrameInterval = quint16(m_kind == StreamDownload ? 0 : c.keyFramePictures());
    m_bytesPerSecond = qint64(opened.bitRateKbps) * 1000 / 8;

    m_keepalive = new QTimer(this);
    m_keepalive->setInterval(500);
    connect(m_keepalive, &QTimer::timeout, this, &KEmuConnection::keepaliveTick);
    m_keepalive->start();

    KEmuLiveStream::Source source = m_recorder->streamSource(m_channel, m_sub);
    source.signalLost = nullptr; // the archive shows what was recorded
    source.keyPhase = 0;

    if (m_kind == StreamLive) {
        qInfo("%s live ch%d %s opened", qPrintable(m_name), m_channel, m_sub ? "sub" : "main");
        send(StreamOpened, frame.seq, opened.encode());
        m_started = true;
        m_live = m_recorder->liveStream(m_channel, m_sub);
        connect(m_live, &KEmuLiveStream::frameReady, this, &KEmuConnection::sendVideo);
        m_live->addClient();
    } else if (m_kind == StreamPlayback) {
        qInfo("%s playback ch%d %s .. %s opened", qPrintable(m_name), m_channel,
              qPrintable(timeText(m_from)), qPrintable(timeText(m_to)));
        send(StreamOpened, frame.seq, opened.encode());
        const int channelNumber = m_channel;
        KEmuRecorder *recorder = m_recorder;
        auto pieces = [recorder, channelNumber](const QDateTime &from, const QDateTime &to) {
            return recorder->recordedPieces(channelNumber, from, to);
        };
        m_playback =
            new KEmuPlayback(pieces, source, m_from, m_to, m_recorder->services().renderPool, this);
        connect(m_playback, &KEmuPlayback::frameReady, this, &KEmuConnection::sendVideo);
        connect(m_playback, &KEmuPlayback::ended, this, [this]() {
            qInfo("%s playback ch%d reached its end at %s", qPrintable(m_name), m_channel,
                  qPrintable(timeText(m_playback->position())));
            endStream(0);
        });
    } else {
        qint64 seconds = 0;
        for (const KEmuArchivePiece &p : qAsConst(m_pieces))
            seconds += p.seconds();
        qInfo("%s download ch%d %s .. %s opened: %lld s recorded in %d pieces", qPrintable(m_name),
              m_channel, qPrintable(timeText(m_from)), qPrintable(timeText(m_to)), seconds,
              int(m_pieces.size()));
        send(StreamOpened, frame.seq, opened.encode());
    }
}

void KEmuConnection::handleStreamControl(const KFrame &frame)
{
    KMsgStreamControl control;
    if (!control.decode(frame.payload))
        return malformed(QStringLiteral("StreamControl"));
    if (m_role != StreamRole || m_kind == StreamLive || m_ended) {
        replyError(frame.seq, ErrOrder, QStringLiteral("no stream to control"));
        return;
    }
    if (control.action < ControlStart || control.action > ControlSpeed ||
        (control.action == ControlSpeed && (control.speed < -3 || control.speed > 3))) {
        replyError(frame.seq, ErrParameter, QStringLiteral("bad action"));
        return;
    }
    if (control.action == ControlStart) {
        if (m_started) {
            replyError(frame.seq, ErrOrder, QStringLiteral("already started"));
            return;
        }
        m_started = true;
        send(Ok, frame.seq);
        if (m_playback)
            m_playback->start();
        else
            startDownload();
        return;
    }
    if (!m_playback || !m_started) {
        replyError(frame.seq, ErrOrder, QStringLiteral("not a started playback"));
        return;
    }
    if (control.action == ControlPause) {
        m_playback->pause();
        qInfo("%s playback ch%d paused at %s", qPrintable(m_name), m_channel,
              qPrintable(timeText(m_playback->position())));
    } else if (control.action == ControlResume) {
        m_playback->resume();
        qInfo("%s playback ch%d resumed", qPrintable(m_name), m_channel);
    } else {
        m_playback->setSpeed(control.speed);
        qInfo("%s playback ch%d speed level %d", qPrintable(m_name), m_channel, control.speed);
    }
    send(Ok, frame.seq);
}

void KEmuConnection::sendVideo(const QDateTime &time, quint32 number, const QSize &size,
                               const KEmuPicture &picture)
{
    if (m_closing || m_ended)
        return;
    if (picture.key)
        m_needKey = false;
    if (m_needKey) {
        ++m_framesDropped;
        return;
    }
    // A slow reader gets fewer pictures, never a growing queue: past about half a second of
    // the stream unsent, the rest of the group of pictures stays home.
    const qint64 backlog = qMax<qint64>(32 * 1024, m_bytesPerSecond / 2);
    KMsgVideoFrame f;
    f.time = KRecTime::fromDateTime(time);
    f.msec = quint16(time.time().msec());
    f.frameNumber = number;
    f.width = quint16(size.width());
    f.height = quint16(size.height());
    f.keyFrame = picture.key;
    f.accessUnit = picture.accessUnit;
    if (m_recorder->faults().garbleVideo)
        garbleAccessUnit(f.accessUnit, number);
    const QByteArray payload = f.encode();
    qint64 delay = 0;
    if (unsent() > backlog ||
        !m_recorder->uplink().admit(this, payload.size() + KRecorderProtocol::HeaderSize, &delay)) {
        ++m_framesDropped;
        m_needKey = true;
        return;
    }
    ++m_framesSent;
    send(VideoFrame, 0, payload, delay);
}

void KEmuConnection::endStream(quint32 reason)
{
    if (m_ended)
        return;
    m_ended = true;
    KMsgStreamEnd end;
    end.reason = reason;
    send(StreamEnd, 0, end.encode());
    if (m_keepalive)
        m_keepalive->stop();
    // The client closes the connection; one that does not is closed after a while.
    QTimer::singleShot(60000, this, [this]() {
        if (!m_closing)
            closeAfterWrites();
    });
}

void KEmuConnection::keepaliveTick()
{
    if (m_ended || m_closing)
        return;
    if (!m_lastSend.isValid() || m_lastSend.elapsed() >= 1000)
        send(Keepalive, 0);
}

void KEmuConnection::startDownload()
{
    KEmuClipRequest request;
    request.host = m_recorder->endpoint();
    request.channel = m_channel;
    request.begin = m_from;
    request.end = m_to;
    request.pieces = m_pieces;
    request.size = m_recorder->config().subSize();
    request.fps = m_recorder->config().fps;
    request.kbps = m_recorder->services().clipKbps;
    if (const KEmuChannelConfig *c = m_recorder->config().channel(m_channel))
        request.title = c->title;
    qInfo("%s download ch%d: making the file", qPrintable(m_name), m_channel);
    m_recorder->countDownload(m_channel, m_from, m_to);
    KEmuClipMaker *maker = m_recorder->services().clipMaker;
    maker->make(request, this,
                [this](const QString &path, const QString &error) { downloadReady(path, error); });
    if (m_recorder->services().readAhead) {
        // Downloads come as fragments of one length, one after another.
        KEmuClipRequest next = request;
        next.begin = m_to;
        next.end = m_to.addSecs(m_from.secsTo(m_to));
        next.pieces = m_recorder->recordedPieces(m_channel, next.begin, next.end);
        maker->readAhead(next);
    }
}

void KEmuConnection::downloadReady(const QString &path, const QString &error)
{
    if (m_closing)
        return;
    if (!error.isEmpty()) {
        qWarning("%s download ch%d failed: %s", qPrintable(m_name), m_channel, qPrintable(error));
        endStream(ErrDevice);
        return;
    }
    m_file = new QFile(path);
    if (!m_file->open(QIODevice::ReadOnly) || m_file->size() == 0) {
        qWarning("%s download ch%d: cannot read %s", qPrintable(m_name), m_channel,
                 qPrintable(path));
        delete m_file;
        m_file = nullptr;
        endStream(ErrDevice);
        return;
    }
    m_total = m_file->size();
    m_sent = 0;
    qInfo("%s download ch%d: sending %lld bytes", qPrintable(m_name), m_channel, m_total);
    KMsgDownloadBegin begin;
    begin.totalBytes = quint64(m_total);
    send(DownloadBegin, 0, begin.encode());
    m_rateClock.start();
    const int rate = m_recorder->services().downloadRateKBps;
    if (rate > 0) {
        m_pump = new QTimer(this);
        m_pump->setInterval(50);
        connect(m_pump, &QTimer::timeout, this, &KEmuConnection::pumpDownload);
        m_pump->start();
    }
    pumpDownload();
}

void KEmuConnection::pumpDownload()
{
    if (!m_file || m_closing)
        return;
    const KEmuFaults &faults = m_recorder->faults();
    const int rate = m_recorder->services().downloadRateKBps;
    const qint64 allowed =
        rate > 0 ? m_rateClock.elapsed() * rate * 1024 / 1000 + kChunkBytes : m_total;
    while (m_sent < m_total && m_socket->bytesToWrite() < kWriteAhead && m_sent < allowed) {
        if (faults.breakDownloadAt >= 0 && m_sent * 100 >= m_total * faults.breakDownloadAt) {
            qInfo("%s download ch%d: connection cut at %lld of %lld bytes (fault)",
                  qPrintable(m_name), m_channel, m_sent, m_total);
            // A graceful close: the peer gets exactly the bytes sent so far, then the end.
            m_closing = true;
            delete m_file;
            m_file = nullptr;
            m_socket->disconnectFromHost();
            return;
        }
        qint64 chunk = qMin<qint64>(kChunkBytes, m_total - m_sent);
        if (faults.breakDownloadAt >= 0) {
            // Stop exactly at the break point so the peer sees that share and no more.
            const qint64 breakAt = (m_total * faults.breakDownloadAt + 99) / 100;
            if (m_sent < breakAt)
                chunk = qMin(chunk, breakAt - m_sent);
        }
        KMsgData data;
        data.bytes = m_file->read(chunk);
        if (data.bytes.size() != chunk) {
            qWarning("%s download ch%d: read error", qPrintable(m_name), m_channel);
            abort();
            return;
        }
        m_sent += chunk;
        send(Data, 0, data.encode());
    }
    if (m_sent >= m_total) {
        qInfo("%s download ch%d: complete (%lld bytes)", qPrintable(m_name), m_channel, m_total);
        delete m_file;
        m_file = nullptr;
        if (m_pump)
            m_pump->stop();
        endStream(0);
    }
}
