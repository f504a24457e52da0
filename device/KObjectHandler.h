#pragma once

#include "KObjectData.h"

#include <QMap>
#include <QObject>
#include <QReadWriteLock>
#include <QString>

#include <atomic>
#include <functional>

class KObjectMaster;

// One monitored object (vehicle) and its recorder. Lives in the UI thread and owns the object's
// current record; connection and diagnostics jobs write the record from pool threads while the
// UI and other workers read it, so every access goes through the record lock and readers get
// copies. Views, searches and downloads hold a non-owning pointer; KObjectMaster owns it.
class KObjectHandler : public QObject
{
    Q_OBJECT

public:
    explicit KObjectHandler(const KObjectData &record, QObject *parent = nullptr);
    ~KObjectHandler() override;

    // Copies taken under the record lock; safe from any thread.
    KObjectData record() const;
    KConnectionData connection() const;
    KRecorderData recorder() const;
    QMap<QString, KChannelData> channels() const;
    // An empty record (channelNumber -1) when the key is not in the map.
    KChannelData channel(const QString &channelID) const;

    // Fixed for the life of the handler.
    int id() const { return m_id; }
    int recorderType() const { return m_recorderType; }
    // Changed by the object master when the fleet database renames the object; safe from any
    // thread.
    QString name() const;

    // 0 never checked, 1 check refused, 2 connected, 3 reachable without login, 4 unreachable.
    int connectionState() const { return m_connectionState.load(); }
    bool isConnected() const { return connectionState() == 2; }

    // How many windows currently need a recorder login (UI thread).
    int demand() const { return m_demand; }
    int connectionJobID() const { return m_connectionJobID; }
    int diagnosticsJobID() const { return m_diagnosticsJobID; }
    bool diagnosticsEnabled() const { return m_diagnosticsEnabled; }
    void setDiagnosticsEnabled(bool enabled) { m_diagnosticsEnabled = enabled; }

    bool isInfoObtained() const { return m_infoObtained.load(); }
    bool isAuthFailed() const { return m_authFailed.load(); }
    // Why the recorder cannot be used now, for the operator ("ошибка авторизации: ..."); empty
    // while nothing is known to stand in the way.
    QString connectionProblem() const;

    // Starting (true) or stopping (false) to need the object. The first user triggers a login
    // job at once; later changes take effect at the next poll. Demand never drops below 0.
    void requireConnection(bool required);

    // Writers, for the object's connection and diagnostics jobs (one at a time per object):
    // the change runs on the record under the write lock.
    void updateRecord(const std::function<void(KObjectData &)> &change);
    void setConnectionState(int state);
    void setInfoObtained(bool obtained) { m_infoObtained.store(obtained); }
    // Never cleared while the handler exists.
    void setAuthFailed() { m_authFailed.store(true); }
    // Name and group as the database now has them (the object master, UI thread).
    void rename(const QString &name, const KGroupData &group);

signals:
    void connectionStateChanged();

private slots:
    void establishConnection();
    void handleConnectionResult(int jobID, int result);
    void collectDiagnostics();
    void handleDiagnosticsResult(int jobID);

private:
    friend class KObjectMaster;

    // Guards m_record; the connection state has an atomic mirror for cheap reads.
    mutable QReadWriteLock m_lock;
    KObjectData m_record;
    std::atomic<int> m_connectionState{0};

    const int m_id;

protected:
    // Set once at construction (type 1 for the recorder-SDK objects).
    int m_recorderType;

private:
    // UI thread only.
    int m_demand = 0;
    bool m_diagnosticsEnabled = false;
    int m_connectionJobID = -1;
    int m_diagnosticsJobID = -1;

    // Written by the connection job, read anywhere.
    std::atomic<bool> m_infoObtained{false};
    std::atomic<bool> m_authFailed{false};
};
