#pragma once

#include "KAbstractConnectionWorker.h"

#include <QSize>
#include <QString>

class KObjectHandler_HIKVISION;

// Connection job for recorders driven through the recorder SDK: login (activating a
// factory-new recorder on the way), device information, channel list and clock.
class KConnectionWorker_HIKVISION : public KAbstractConnectionWorker
{
    Q_OBJECT

public:
    // Activations tried within one login before a recorder that keeps answering "not
    // activated" is given up on.
    static constexpr int maximumActivations = 3;

    explicit KConnectionWorker_HIKVISION(KObjectHandler_HIKVISION *object,
                                         QObject *parent = nullptr);
    ~KConnectionWorker_HIKVISION() override;

    // Picture size of a main-stream resolution code; unknown codes give 960 x 582.
    static QSize pictureSize(int resolutionCode);
    // "V5.4.0 build 160105" from the software version and its build date.
    static QString firmwareVersionText(quint32 version, quint32 buildDate);
    // "V2.1 build 160105" from the DSP version and its build date.
    static QString dspVersionText(quint32 version, quint32 buildDate);

protected:
    bool login() override;
    bool updateDeviceTime() override;
    bool updateDeviceInfo() override;
    bool updateChannels() override;
    bool isLoginLost() const override { return m_loginLost; }

private:
    static QString buildDateText(quint32 buildDate);
    // The picture size of channel c, or an invalid size when it could not be read.
    QSize readPictureSize(int loginID, int channel) const;
    KObjectHandler_HIKVISION *hikObject() const;

    bool m_loginLost = false;
};
