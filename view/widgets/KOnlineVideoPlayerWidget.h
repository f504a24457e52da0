#pragma once

#include "KAbstractVideoPlayerWidget.h"

class QComboBox;

// The live player of the online tab, with the choice of the main or sub stream.
class KOnlineVideoPlayerWidget : public KAbstractVideoPlayerWidget
{
    Q_OBJECT

public:
    explicit KOnlineVideoPlayerWidget(QWidget *parent = nullptr);
    ~KOnlineVideoPlayerWidget() override;

    QComboBox *streamSelector() const { return m_streamSelector; }

public slots:
    void play() override;

protected:
    void setControlsEnabled(bool enabled) override;
    void prepareView(KAbstractVideoView *view, const KChannelData &channel) override;

private slots:
    void setStreamType(int type);

private:
    QComboBox *m_streamSelector = nullptr;
};
