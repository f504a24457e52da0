#include "KSdkRegistry.h"

#include <QtGlobal>
#include <vector>

KSdkRegistry &KSdkRegistry::instance()
{
    static KSdkRegistry registry;
    return registry;
}

bool KSdkRegistry::initialize()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_initialized) {
        // The connect time-out set before initialisation is kept.
        bool ok = false;
        const int receiveMs = qEnvironmentVariableIntValue("VELMORA_SDK_RECEIVE_TIMEOUT_MS", &ok);
        if (ok && receiveMs > 0)
            m_timeouts.receiveMs = qBound(200, receiveMs, 120000);
        m_initialized = true;
    }
    return true;
}

void KSdkRegistry::cleanup()
{
    std::map<int, std::shared_ptr<KSdkSession>> sessions;
    std::map<int, StreamEntry> streams;
    std::map<int, std::shared_ptr<KSdkSearch>> searches;
    KSdkTimeouts timeouts;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_initialized = false;
        sessions.swap(m_sessions);
        streams.swap(m_streams);
        searches.swap(m_searches);
        timeouts = m_timeouts;
    }
    // Stopped outside the lock: stopping joins threads (and waits for a stream still opening).
    for (auto &s : streams)
        s.second.stream->stop();
    timeouts.receiveMs = qMin(timeouts.receiveMs, 1000);
    for (auto &s : sessions)
        s.second->logout(timeouts);
}

bool KSdkRegistry::isInitialized() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_initialized;
}

KSdkTimeouts KSdkRegistry::timeouts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_timeouts;
}

void KSdkRegistry::setConnectTime(int waitMs, int tries)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timeouts.connectMs = qBound(300, waitMs, 75000);
    m_timeouts.tries = qBound(1, tries, 10);
}

void KSdkRegistry::setAudioMode(int mode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_audioMode = mode;
}

int KSdkRegistry::captureMode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_captureMode;
}

void KSdkRegistry::setCaptureMode(int mode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_captureMode = mode;
}

template<typename T> int KSdkRegistry::freeKey(const std::map<int, T> &table, int &next, int limit)
{
    if (int(table.size()) >= limit)
        return -1;
    for (;;) {
        const int key = next;
        next = next >= (1 << 30) ? 0 : next + 1;
        if (table.find(key) == table.end())
            return key;
    }
}

int KSdkRegistry::addSession(std::shared_ptr<KSdkSession> session)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int id = freeKey(m_sessions, m_nextUser, MaxLogins);
    if (id >= 0)
        m_sessions[id] = std::move(session);
    return id;
}

std::shared_ptr<KSdkSession> KSdkRegistry::session(int userId) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_sessions.find(userId);
    return it == m_sessions.end() ? nullptr : it->second;
}

std::shared_ptr<KSdkSession> KSdkRegistry::takeSession(int userId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_sessions.find(userId);
    if (it == m_sessions.end())
        return nullptr;
    auto s = it->second;
    m_sessions.erase(it);
    return s;
}

int KSdkRegistry::addOpeningStream(std::shared_ptr<KSdkStream> stream)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int id = freeKey(m_streams, m_nextStream, MaxStreams);
    if (id >= 0)
        m_streams[id] = {std::move(stream), false};
    return id;
}

bool KSdkRegistry::markStreamOpen(int handle, const std::shared_ptr<KSdkStream> &stream)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_streams.find(handle);
    if (it == m_streams.end() || it->second.stream != stream)
        return false;
    it->second.open = true;
    return true;
}

bool KSdkRegistry::removeOpeningStream(int handle, const std::shared_ptr<KSdkStream> &stream)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_streams.find(handle);
    if (it == m_streams.end() || it->second.stream != stream)
        return false;
    m_streams.erase(it);
    return true;
}

std::shared_ptr<KSdkStream> KSdkRegistry::stream(int handle) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_streams.find(handle);
    return it == m_streams.end() || !it->second.open ? nullptr : it->second.stream;
}

std::shared_ptr<KSdkStream> KSdkRegistry::takeStream(int handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_streams.find(handle);
    if (it == m_streams.end() || !it->second.open)
        return nullptr;
    auto s = it->second.stream;
    m_streams.erase(it);
    return s;
}

int KSdkRegistry::addSearch(std::shared_ptr<KSdkSearch> search)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int id = freeKey(m_searches, m_nextSearch, MaxSearches);
    if (id >= 0)
        m_searches[id] = std::move(search);
    return id;
}

std::shared_ptr<KSdkSearch> KSdkRegistry::search(int handle) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_searches.find(handle);
    return it == m_searches.end() ? nullptr : it->second;
}

std::shared_ptr<KSdkSearch> KSdkRegistry::takeSearch(int handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_searches.find(handle);
    if (it == m_searches.end())
        return nullptr;
    auto s = it->second;
    m_searches.erase(it);
    return s;
}
