#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

class KSdkFrameStore;

// Gathers the surfaces' repaint requests on the GUI thread and hands them to Qt together a few
// milliseconds later: sixteen streams then cost one paint pass for several new pictures
// instead of one pass per picture. No picture waits longer than one interval.
class KSdkRepaintPacer : public QObject
{
public:
    // GUI thread only.
    static void request(const std::shared_ptr<KSdkFrameStore> &store);

private:
    KSdkRepaintPacer();
    void flush();

    static constexpr int IntervalMs = 8;
    QTimer m_timer;
    std::vector<std::shared_ptr<KSdkFrameStore>> m_pending;
};
