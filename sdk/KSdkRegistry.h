#pragma once

#include "KSdkSearch.h"
#include "KSdkSession.h"
#include "KSdkStream.h"

#include <map>
#include <memory>
#include <mutex>

// Process-wide SDK state: settings and the tables behind user IDs and handles.
// Entries are shared pointers, so a call keeps its object alive even if another thread
// removes the handle meanwhile.
class KSdkRegistry
{
public:
    static KSdkRegistry &instance();

    static constexpr int MaxLogins = 1024;
    static constexpr int MaxStreams = 1024;
    static constexpr int MaxSearches = 256;

    bool initialize();
    // Stops every stream and search and forgets every login.
    void cleanup();
    bool isInitialized() const;

    KSdkTimeouts timeouts() const;
    void setConnectTime(int waitMs, int tries);
    void setAudioMode(int mode);
    int captureMode() const;
    void setCaptureMode(int mode);

    int addSession(std::shared_ptr<KSdkSession> session);
    std::shared_ptr<KSdkSession> session(int userId) const;
    std::shared_ptr<KSdkSession> takeSession(int userId);

    // A stream gets its handle before it opens (its callback needs it); until it is marked
    // open the handle finds nothing, but cleanup() stops it with the rest.
    int addOpeningStream(std::shared_ptr<KSdkStream> stream);
    // False when cleanup() has taken the stream meanwhile.
    bool markStreamOpen(int handle, const std::shared_ptr<KSdkStream> &stream);
    bool removeOpeningStream(int handle, const std::shared_ptr<KSdkStream> &stream);
    std::shared_ptr<KSdkStream> stream(int handle) const;
    std::shared_ptr<KSdkStream> takeStream(int handle);

    int addSearch(std::shared_ptr<KSdkSearch> search);
    std::shared_ptr<KSdkSearch> search(int handle) const;
    std::shared_ptr<KSdkSearch> takeSearch(int handle);

private:
    KSdkRegistry() = default;
    template<typename T> static int freeKey(const std::map<int, T> &table, int &next, int limit);

    mutable std::mutex m_mutex; // guards everything below
    bool m_initialized = false;
    KSdkTimeouts m_timeouts;
    int m_audioMode = 1;
    int m_captureMode = 0;
    std::map<int, std::shared_ptr<KSdkSession>> m_sessions;
    struct StreamEntry
    {
        std::shared_ptr<KSdkStream> stream;
        bool open = false;
    };
    std::map<int, StreamEntry> m_streams;
    std::map<int, std::shared_ptr<KSdkSearch>> m_searches;
    int m_nextUser = 0;
    int m_nextStream = 0;
    int m_nextSearch = 0;
};
