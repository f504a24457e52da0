#pragma once

#include <QWidget>

class QLabel;

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

// Local video player tab page until the player lands.
class KVideoStandInWidget : public KUnavailableSectionWidget
{
    Q_OBJECT

public:
    explicit KVideoStandInWidget(QWidget *parent = nullptr);

public slots:
    // Nothing plays here yet; the tab area pauses the player of a tab it leaves.
    void pause() {}
};
