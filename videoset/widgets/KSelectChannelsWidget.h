#pragma once

#include "KChannelData.h"

#include <QGroupBox>
#include <QMap>
#include <QStringList>

class QCheckBox;
class QPushButton;

// One check box per channel, four per row, all checked at first.
class KSelectChannelsWidget : public QGroupBox
{
    Q_OBJECT

public:
    static constexpr int columns = 4;

    explicit KSelectChannelsWidget(const QMap<QString, KChannelData> &channels,
                                   QWidget *parent = nullptr);

    // The IDs of the checked channels, in key order.
    QStringList checkedChannels() const;
    QCheckBox *checkBox(const QString &channelID) const { return m_checkBoxes.value(channelID); }

public slots:
    void selectAll();
    void selectNone();

private:
    void setAllChecked(bool checked);

    QMap<QString, QCheckBox *> m_checkBoxes;
};
