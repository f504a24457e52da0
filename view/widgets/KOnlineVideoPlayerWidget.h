#pragma once

#include "KAbstractVideoPlayerWidget.h"

class QComboBox;

// The live player of the online tab, with the choice of the main or sub stream, or "Авто":
// the sub stream in grids of four windows and more, the main stream in smaller ones and in a
// blown-up tile (tiles that do not fit and play on hidden take the sub stream).
class KOnlineVideoPlayerWidget : public KAbstractVideoPlayerWidget
{
    Q_OBJECT

public:
    enum StreamChoice { MainStream = 0, SubStream = 1, AutoStream = 2 };

    explicit KOnlineVideoPlayerWidget(QWidget *parent = nullptr);
    ~KOnlineVideoPlayerWidget() override;

    QComboBox *streamSelector() const { return m_streamSelector; }

public slots:
    void play() override;

protected:
    void setControlsEnabled(bool enabled) override;
    void prepareView(KAbstractVideoView *view, const KChannelData &channel) override;

private slots:
    // The selector's index (a StreamChoice).
    void setStreamType(int type);

private:
    // The stream the choice gives the tile at index.
    int streamFor(int index) const;
    void applyStreams();

    QComboBox *m_streamSelector = nullptr;
};
