#pragma once

#include "KVideoSetData.h"

#include <QWidget>

class QLabel;
class QPushButton;
class KVideoTableWidget;

// The page of a tab whose section is not built yet: its name and "Раздел в разработке".
class KUnavailableSectionWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KUnavailableSectionWidget(const QString &section, QWidget *parent = nullptr);

    QString section() const { return m_section; }
    QLabel *messageLabel() const { return m_messageLabel; }
    QLabel *detailLabel() const { return m_detailLabel; }

protected:
    void setDetail(const QString &text);

private:
    QString m_section;
    QLabel *m_messageLabel = nullptr;
    QLabel *m_detailLabel = nullptr;
};

// Local video player tab page until the player lands: "Открыть набор" opens the table of
// video sets, and the set chosen there is named on the page.
class KVideoStandInWidget : public KUnavailableSectionWidget
{
    Q_OBJECT

public:
    explicit KVideoStandInWidget(QWidget *parent = nullptr);

    QPushButton *openButton() const { return m_openButton; }
    // Null until the table was first opened.
    KVideoTableWidget *videoTable() const { return m_videoTable; }

signals:
    void videoSelected(const KVideoSetData &videoSetData);

public slots:
    // Nothing plays here yet; the tab area pauses the player of a tab it leaves.
    void pause() {}
    void openVideoTableWindow();

private:
    void showSet(const KVideoSetData &videoSetData);

    QPushButton *m_openButton = nullptr;
    KVideoTableWidget *m_videoTable = nullptr;
};
