#pragma once

#include "KToolWindow.h"

#include <QPoint>
#include <QRect>

class QComboBox;
class QLabel;
class QPushButton;

// The frame of the main window: a fixed-size tool window whose title bar carries the database
// state, the window-size box and the minimise, maximise and about buttons. The size and the
// maximised state are kept in the per-user settings.
class KMainWindow : public KToolWindow
{
    Q_OBJECT

public:
    explicit KMainWindow(QWidget *parent = nullptr);
    ~KMainWindow() override;

    bool isFullScreenMode() const { return m_fullScreen; }
    bool isMaximizedMode() const { return m_maximized; }

    QPushButton *minimizeButton() const { return m_minimizeButton; }
    QPushButton *maximizeButton() const { return m_maximizeButton; }
    QPushButton *appInfoButton() const { return m_appInfoButton; }
    QComboBox *windowSizeBox() const { return m_windowSizeBox; }
    QLabel *windowSizeLabel() const { return m_windowSizeLabel; }
    QLabel *dbStateIconLabel() const { return m_dbStateIconLabel; }
    QLabel *dbStateTextLabel() const { return m_dbStateTextLabel; }

public slots:
    void show() override;
    void showFullScreen();
    // Asks "Вы уверены?" and emits closed() only on "Да".
    void close() override;
    void minimize();
    void maximize();
    void skipMaximize();
    void showAppInfo();
    void setWindowSize(QRect size);
    void setWindowSize(int index);
    void setDBConnectionState(bool state);

private:
    void applyFixedSize(const QSize &size);

    bool m_fullScreen = false;
    bool m_maximized = false;
    bool m_asking = false;
    QPoint m_normalPosition;
    QPushButton *m_minimizeButton = nullptr;
    QPushButton *m_maximizeButton = nullptr;
    QPushButton *m_appInfoButton = nullptr;
    QLabel *m_windowSizeLabel = nullptr;
    QComboBox *m_windowSizeBox = nullptr;
    QLabel *m_dbStateIconLabel = nullptr;
    QLabel *m_dbStateTextLabel = nullptr;
};
