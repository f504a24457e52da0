#include "KEmuFleet.h"

#include "KEmuClipMaker.h"
#include "KEmuRecorder.h"
#include "KEmuRenderPool.h"

KEmuFleet::KEmuFleet(const KEmuOptions &options, QObject *parent)
    : QObject(parent), m_renderPool(new KEmuRenderPool(options.renderThreads)),
      m_clipMaker(new KEmuClipMaker(options.ffmpeg, options.clipJobs, this))
{
    KEmuServices services;
    services.renderPool = m_renderPool;
    services.clipMaker = m_clipMaker;
    services.downloadRateKBps = options.downloadRateKBps;
    services.clipKbps = options.clipKbps;
    services.readAhead = options.readAhead;
    services.loginTimeoutMs = options.loginTimeoutMs;
    services.maxConnections = options.maxConnections;
    for (const KEmuRecorderConfig &config : options.recorders)
        m_recorders << new KEmuRecorder(config, options.faults, services, this);
}

KEmuFleet::~KEmuFleet()
{
    // Connections and streams first, then the threads that draw for them.
    qDeleteAll(m_recorders);
    m_recorders.clear();
    delete m_clipMaker;
    delete m_renderPool;
}

bool KEmuFleet::start()
{
    bool ok = true;
    for (KEmuRecorder *r : qAsConst(m_recorders)) {
        if (!r->start())
            ok = false;
    }
    return ok;
}

QList<KEmuRecorder *> KEmuFleet::match(const QString &target) const
{
    QList<KEmuRecorder *> found;
    for (KEmuRecorder *r : m_recorders) {
        if (target == QLatin1String("all") || target == r->config().host || target == r->endpoint())
            found << r;
    }
    return found;
}
