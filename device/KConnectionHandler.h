#pragma once

#include "KAbstractConnectionWorker.h"
#include "KDeviceJob.h"
#include "KWorkerHandler.h"

struct KConnectionTraits
{
    using Worker = KAbstractConnectionWorker;
    using Parameters = KDeviceJob;
    static int threadLimit();
    // The _HIKVISION worker for recorder type 1, the _Default worker otherwise.
    static Worker *createWorker(const Parameters &parameters);
    static void invokeRun(Worker *worker, const Parameters &parameters);
    static constexpr bool quitAtShutdown = true;
    static constexpr Qt::ConnectionType quitConnection = Qt::DirectConnection;
};

// Runs the connection jobs of all objects on the connection pool.
class KConnectionHandler : public KWorkerHandler<KConnectionTraits>
{
    Q_OBJECT

public:
    static KConnectionHandler *instance();
    ~KConnectionHandler() override;

signals:
    void stateChanged(int jobID, int state);
    void resultReceived(int jobID, int result);

private slots:
    void handleResult(int result);

protected:
    void connectWorker(KAbstractConnectionWorker *worker) override;
    void relayStateChange(int jobID, int state) override;

private:
    KConnectionHandler();
};
