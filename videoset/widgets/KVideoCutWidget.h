#pragma once

#include "KToolWindow.h"
#include "KVideoSetData.h"

class QPushButton;
class QTimeEdit;
class KSelectChannelsWidget;
class KVideoSetCutWidget;

// The cut dialog: a shorter interval of chosen channels of a set becomes a new set beside it.
class KVideoCutWidget : public KToolWindow
{
    Q_OBJECT

public:
    explicit KVideoCutWidget(const KVideoSetData &videoSetData, QWidget *parent = nullptr);

    KVideoSetData source() const { return m_source; }
    KVideoSetData destination() const { return m_destination; }
    KSelectChannelsWidget *channelsWidget() const { return m_channels; }
    QTimeEdit *fromEdit() const { return m_fromEdit; }
    QTimeEdit *toEdit() const { return m_toEdit; }
    QPushButton *cutButton() const { return m_cutButton; }
    // The progress window of the running cut, if any.
    KVideoSetCutWidget *cutWindow() const { return m_cutWindow; }

signals:
    void completed(const KVideoSetData &videoSetData);

public slots:
    void cut();
    void complete();

private:
    KVideoSetData m_source;
    KVideoSetData m_destination;
    KSelectChannelsWidget *m_channels = nullptr;
    QTimeEdit *m_fromEdit = nullptr;
    QTimeEdit *m_toEdit = nullptr;
    QPushButton *m_cutButton = nullptr;
    KVideoSetCutWidget *m_cutWindow = nullptr;
};
