#pragma once

#include "KEmuOptions.h"

#include <QList>
#include <QObject>

class KEmuClipMaker;
class KEmuRecorder;
class KEmuRenderPool;

// Every recorder of the process and the services they share.
class KEmuFleet : public QObject
{
    Q_OBJECT
public:
    explicit KEmuFleet(const KEmuOptions &options, QObject *parent = nullptr);
    ~KEmuFleet() override;

    // Starts listening; false when a reachable recorder could not listen.
    bool start();
    const QList<KEmuRecorder *> &recorders() const { return m_recorders; }
    // Recorders a control target names: "all", an address, or address:port.
    QList<KEmuRecorder *> match(const QString &target) const;
    KEmuClipMaker *clipMaker() const { return m_clipMaker; }

private:
    KEmuRenderPool *m_renderPool;
    KEmuClipMaker *m_clipMaker;
    QList<KEmuRecorder *> m_recorders;
};
