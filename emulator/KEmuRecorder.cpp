#include "KEmuRecorder.h"

#include "KEmuConnection.h"
#include "KEmuLiveStream.h"
#include "KEmuStatusService.h"

#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

KEmuRecorder::KEmuRecorder(const KEmuRecorderConfig &config, const KEmuFaults &faults,
                           const KEmuServices &services, QObject *parent)
    : QObject(parent), m_config(config), m_archive(config.archiveSeed, config.archiveDays),
      m_faults(faults), m_services(services), m_server(new QTcpServer(this)),
      m_activated(!config.inactive), m_password(config.password.toUtf8())
{
    m_uplink.setKbps(m_config.uplinkKbps);
    connect(m_server, &QTcpServer::newConnection, this, &KEmuRecorder::acceptConnections);
    if (m_config.statusPort > 0) {
        m_status = new KEmuStatusService(
            QHostAddress(m_config.host), quint16(m_config.statusPort),
            [this]() {
                KEmuStatusService::Values v;
                v.signal = m_config.signal;
                v.network = m_config.network;
                v.trackerError = m_config.trackerError;
                return v;
            },
            &m_faults, this);
    }
}

KEmuRecorder::~KEmuRecorder()
{
    // Connections first, while the streams and counters they give back to still exist.
    qDeleteAll(findChildren<KEmuConnection *>(QString(), Qt::FindDirectChildrenOnly));
}

bool KEmuRecorder::start()
{
    if (m_faults.unreachable) {
        qInfo("%s unreachable from the start", qPrintable(endpoint()));
        return true;
    }
    m_faults.unreachable = true;
    setReachable(true);
    return isListening();
}

bool KEmuRecorder::isListening() const
{
    return m_server->isListening();
}

void KEmuRecorder::setReachable(bool reachable)
{
    if (reachable) {
        m_faults.unreachable = false;
        bool ok = m_server->isListening() ||
                  m_server->listen(QHostAddress(m_config.host), quint16(m_config.port));
        if (!ok)
            qWarning("%s cannot listen: %s", qPrintable(endpoint()),
                     qPrintable(m_server->errorString()));
        if (m_status && !m_status->listen())
            ok = false;
        if (ok)
            qInfo("%s listening%s", qPrintable(endpoint()),
                  m_status ? qPrintable(QStringLiteral(", status port %1").arg(m_config.statusPort))
                           : "");
        return;
    }
    m_faults.unreachable = true;
    m_server->close();
    if (m_status)
        m_status->close();
    // Open connections go too: the vehicle has dropped off the network.
    for (KEmuConnection *c : findChildren<KEmuConnection *>())
        c->abort();
    qInfo("%s unreachable", qPrintable(endpoint()));
}

void KEmuRecorder::cutConnections()
{
    const QList<KEmuConnection *> open =
        findChildren<KEmuConnection *>(QString(), Qt::FindDirectChildrenOnly);
    for (KEmuConnection *c : open)
        c->abort();
    qInfo("%s %d connections cut", qPrintable(endpoint()), int(open.size()));
}

void KEmuRecorder::acceptConnections()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const int open =
            findChildren<KEmuConnection *>(QString(), Qt::FindDirectChildrenOnly).size();
        const char *refusal = m_faults.refuse                     ? "fault"
                              : open >= m_services.maxConnections ? "too many connections"
                                                                  : nullptr;
        if (refusal) {
            qInfo("%s connection from %s refused (%s)", qPrintable(endpoint()),
                  qPrintable(socket->peerAddress().toString()), refusal);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        new KEmuConnection(this, socket);
    }
}

QDateTime KEmuRecorder::clock() const
{
    return QDateTime::currentDateTime().addSecs(m_config.clockOffsetSecs);
}

quint32 KEmuRecorder::activate(const QByteArray &password)
{
    if (m_activated)
        return 252;
    // Like the real device: at least 8 bytes mixing at least two kinds of characters.
    int kinds = 0;
    bool digit = false;
    bool letter = false;
    bool other = false;
    for (char c : password) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            letter = true;
        else
            other = true;
    }
    kinds = int(digit) + int(letter) + int(other);
    if (password.size() < 8 || password.size() > 16 || kinds < 2)
        return 251;
    m_activated = true;
    m_password = password;
    qInfo("%s activated", qPrintable(endpoint()));
    return 0;
}

quint64 KEmuRecorder::openSession(const QString &user)
{
    if (m_sessions.size() >= maxSessions) {
        quint64 oldest = 0;
        quint64 oldestUse = ~0ull;
        for (auto it = m_sessions.cbegin(); it != m_sessions.cend(); ++it) {
            if (it->connections == 0 && it->lastUse < oldestUse) {
                oldest = it.key();
                oldestUse = it->lastUse;
            }
        }
        if (oldest == 0)
            return 0;
        qInfo("%s session %llu given up for a new login", qPrintable(endpoint()), oldest);
        closeSession(oldest);
    }
    // Whoever holds a token holds the session: it must not be guessable from another one.
    quint64 token = 0;
    while (token == 0 || m_sessions.contains(token))
        token = QRandomGenerator::system()->generate64();
    Session session;
    session.user = user;
    session.lastUse = ++m_useCounter;
    m_sessions.insert(token, session);
    return token;
}

void KEmuRecorder::holdSession(quint64 token)
{
    auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return;
    ++it->connections;
    it->lastUse = ++m_useCounter;
}

void KEmuRecorder::releaseSession(quint64 token)
{
    auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return;
    it->connections = qMax(0, it->connections - 1);
    it->lastUse = ++m_useCounter;
}

void KEmuRecorder::closeSession(quint64 token)
{
    if (!m_sessions.remove(token))
        return;
    for (auto it = m_searches.begin(); it != m_searches.end();) {
        if (it->token == token)
            it = m_searches.erase(it);
        else
            ++it;
    }
    emit sessionClosed(token);
}

quint32 KEmuRecorder::startSearch(quint64 token, int channel, int fileType, int lockFilter,
                                  const QDateTime &from, const QDateTime &to, quint32 *error)
{
    const KEmuChannelConfig *c = m_config.channel(channel);
    if (!c) {
        *error = 3;
        return 0;
    }
    if (!from.isValid() || !to.isValid() || from > to) {
        *error = 17;
        return 0;
    }
    int open = 0;
    for (const Search &s : qAsConst(m_searches)) {
        if (s.token == token)
            ++open;
    }
    if (open >= maxSearchesPerSession) {
        *error = 24;
        return 0;
    }
    Search s;
    s.token = token;
    s.busyLeft = m_faults.busySearches;
    s.failAfter = m_faults.searchFailAfter;
    // Every file is a continuous (type 0) recording.
    if (c->recording && (fileType == 255 || fileType == 0)) {
        for (const KEmuArchiveFile &f : m_archive.files(channel, from, to, clock())) {
            if (lockFilter == 255 || int(f.locked) == lockFilter)
                s.files << f;
        }
    }
    const quint32 id = m_nextSearch++;
    m_searches.insert(id, s);
    *error = 0;
    return id;
}

KEmuRecorder::Search *KEmuRecorder::search(quint64 token, quint32 id)
{
    auto it = m_searches.find(id);
    if (it == m_searches.end() || it->token != token)
        return nullptr;
    return &*it;
}

void KEmuRecorder::closeSearch(quint64 token, quint32 id)
{
    auto it = m_searches.find(id);
    if (it != m_searches.end() && it->token == token)
        m_searches.erase(it);
}

void KEmuRecorder::setGarble(bool on)
{
    m_faults.garble = on;
    if (!on)
        m_faults.garbleVideo = false;
}

void KEmuRecorder::setUplinkKbps(int kbps)
{
    m_config.uplinkKbps = kbps;
    m_uplink.setKbps(kbps);
    qInfo("%s uplink %d kbit/s", qPrintable(endpoint()), kbps);
}

KEmuLiveStream::Source KEmuRecorder::streamSource(int channel, bool sub)
{
    const KEmuChannelConfig *c = m_config.channel(channel);
    KEmuLiveStream::Source source;
    source.title = c ? c->title : QString();
    source.recorder = m_config.name;
    source.channel = channel;
    source.size = sub ? m_config.subSize() : m_config.size;
    source.fps = m_config.fps;
    source.kbps = sub ? m_config.subKbps : m_config.mainKbps;
    source.keyInterval = m_config.keyFramePictures();
    // Spread over the interval by channel, as a recorder's encoders run unsynchronised.
    source.keyPhase = (channel * source.keyInterval / 16 + (sub ? source.keyInterval / 32 : 0)) %
                      source.keyInterval;
    source.sub = sub;
    source.clock = [this]() { return clock(); };
    source.signalLost = [this, channel]() {
        const KEmuChannelConfig *ch = m_config.channel(channel);
        return !ch || ch->signalLost || !ch->enabled;
    };
    return source;
}

KEmuLiveStream *KEmuRecorder::liveStream(int channel, bool sub)
{
    if (!m_config.channel(channel))
        return nullptr;
    const int key = channel * 2 + (sub ? 1 : 0);
    KEmuLiveStream *stream = m_live.value(key);
    if (stream)
        return stream;
    stream = new KEmuLiveStream(streamSource(channel, sub), m_services.renderPool, this);
    m_live.insert(key, stream);
    return stream;
}

int KEmuRecorder::viewers(int channel) const
{
    int n = 0;
    for (int sub = 0; sub < 2; ++sub) {
        if (KEmuLiveStream *s = m_live.value(channel * 2 + sub))
            n += s->clientCount();
    }
    return n;
}

QList<KEmuArchivePiece> KEmuRecorder::recordedPieces(int channel, const QDateTime &from,
                                                     const QDateTime &to) const
{
    const KEmuChannelConfig *c = m_config.channel(channel);
    if (!c || !c->recording)
        return {};
    return m_archive.pieces(channel, from, to, clock());
}

bool KEmuRecorder::isRecordingNow(int channel) const
{
    const KEmuChannelConfig *c = m_config.channel(channel);
    if (!c || !c->recording || !c->enabled || c->signalLost)
        return false;
    const QDateTime now = clock();
    return m_archive.isRecorded(channel, now.addSecs(-1), now);
}

QString KEmuRecorder::describe() const
{
    return QStringLiteral("%1 %2 analog=%3 ip=%4 %5 sessions=%6%7")
        .arg(endpoint(), m_config.name)
        .arg(m_config.analogCount)
        .arg(m_config.ipCount)
        .arg(m_faults.unreachable ? QStringLiteral("unreachable") : QStringLiteral("reachable"))
        .arg(m_sessions.size())
        .arg(m_activated ? QString() : QStringLiteral(" inactive"));
}

void KEmuRecorder::countDownload(int channel, const QDateTime &from, const QDateTime &to)
{
    const QString format = QStringLiteral("yyyy-MM-ddThh:mm:ss");
    ++m_downloadCounts
        [QStringLiteral("ch%1 %2 %3").arg(channel).arg(from.toString(format), to.toString(format))];
}
