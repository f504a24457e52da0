#pragma once

#include "KAbstractDiagnosticsWorker.h"
#include "KDeviceJob.h"
#include "KWorkerHandler.h"

struct KDiagnosticsTraits
{
    using Worker = KAbstractDiagnosticsWorker;
    using Parameters = KDeviceJob;
    static int threadLimit();
    // The _HIKVISION worker for recorder type 1, the _Default worker otherwise.
    static Worker *createWorker(const Parameters &parameters);
    static void invokeRun(Worker *worker, const Parameters &parameters);
    // Diagnostics jobs are short; they are left to end on their own at shutdown.
    static constexpr bool quitAtShutdown = false;
    static constexpr Qt::ConnectionType quitConnection = Qt::DirectConnection;
};

// Runs the diagnostics jobs. The system does not initialise it at login, so jobs are refused
// unless someone starts its pool.
class KDiagnosticsHandler : public KWorkerHandler<KDiagnosticsTraits>
{
    Q_OBJECT

public:
    static KDiagnosticsHandler *instance();
    ~KDiagnosticsHandler() override;

signals:
    void stateChanged(int jobID, int state);
    void resultReceived(int jobID);

private slots:
    void handleResult();

protected:
    void connectWorker(KAbstractDiagnosticsWorker *worker) override;
    void relayStateChange(int jobID, int state) override;

private:
    KDiagnosticsHandler();
};
