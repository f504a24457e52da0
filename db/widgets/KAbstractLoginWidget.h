#pragma once

#include "KToolWindow.h"

#include <QPointer>

class QGridLayout;
class QPushButton;
class QStackedLayout;
class KProgressWidget;

// The login window frame: a form page with "Вход" and "Отмена" and a progress page. Starts
// the database handler at construction and closes the databases at destruction. Subclasses
// supply the form and login(); KLoginWidget starts and stops the application around the main
// window.
class KAbstractLoginWidget : public KToolWindow
{
    Q_OBJECT

public:
    enum Page { FormPage = 0, ProgressPage = 1 };

    explicit KAbstractLoginWidget(QWidget *parent = nullptr);
    ~KAbstractLoginWidget() override;

    QPushButton *loginButton() const { return m_loginButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    KProgressWidget *progressWidget() const { return m_progressWidget; }
    int currentPage() const;
    // The main window while the application runs, otherwise null.
    KToolWindow *mainWidget() const { return m_mainWidget.data(); }

protected:
    // Builds the main window and starts what it needs; sets the main widget.
    virtual void startApplication() = 0;
    // Stops what startApplication() started and deletes the main widget.
    virtual void stopApplication() = 0;

    void setMainWidget(KToolWindow *widget) { m_mainWidget = widget; }
    QGridLayout *formLayout() const { return m_formLayout; }
    // Shows text on the progress page and switches to it.
    void showProgress(const QString &text);
    void showForm();

public slots:
    virtual void login() = 0;
    // Shows "Загрузка...", starts the application, shows the main window, hides this one.
    void startApp();
    // Shows "Завершение работы...", stops the application and quits the event loop.
    void closeApp();
    virtual void updateApp();

private:
    QGridLayout *m_formLayout = nullptr;
    QPushButton *m_loginButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QStackedLayout *m_stackedLayout = nullptr;
    KProgressWidget *m_progressWidget = nullptr;
    QPointer<KToolWindow> m_mainWidget;
    bool m_closing = false;
};
