#pragma once

#include "KToolWindow.h"

class QComboBox;
class QLineEdit;
class QPushButton;

// The application settings window: the three storage paths and the download reliability mode.
// Nothing is stored before "Принять".
class KAppSettingsWidget : public KToolWindow
{
    Q_OBJECT

public:
    explicit KAppSettingsWidget(QWidget *parent = nullptr);

    QLineEdit *localVideoPathEdit() const { return m_localVideoPathEdit; }
    QLineEdit *remoteVideoPathEdit() const { return m_remoteVideoPathEdit; }
    QLineEdit *snapshotPathEdit() const { return m_snapshotPathEdit; }
    QComboBox *reliabilityBox() const { return m_reliabilityBox; }
    QPushButton *acceptButton() const { return m_acceptButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    QPushButton *localVideoPathButton() const { return m_localVideoPathButton; }
    QPushButton *remoteVideoPathButton() const { return m_remoteVideoPathButton; }
    QPushButton *snapshotPathButton() const { return m_snapshotPathButton; }

public slots:
    void changeLocalVideoPath();
    void changeRemoteVideoPath();
    void changeSnapshotPath();
    void confirm();

private:
    void choose(QLineEdit *edit, const QString &caption);
    QPushButton *makeChangeButton();

    QPushButton *m_acceptButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QLineEdit *m_localVideoPathEdit = nullptr;
    QLineEdit *m_remoteVideoPathEdit = nullptr;
    QLineEdit *m_snapshotPathEdit = nullptr;
    QPushButton *m_localVideoPathButton = nullptr;
    QPushButton *m_remoteVideoPathButton = nullptr;
    QPushButton *m_snapshotPathButton = nullptr;
    QComboBox *m_reliabilityBox = nullptr;
};
