#pragma once

#include "KAbstractLoginWidget.h"

class QLineEdit;

// The direct login to one recorder: address, port, user name and password. A successful login
// opens "demo.db", makes the fixed demonstration user current, stores the entries for the next
// start (password enciphered) and writes the recorder into object 1.
class KAbstractLoginWidget_Demo : public KAbstractLoginWidget
{
    Q_OBJECT

public:
    explicit KAbstractLoginWidget_Demo(QWidget *parent = nullptr);
    ~KAbstractLoginWidget_Demo() override;

    QLineEdit *addressEdit() const { return m_addressEdit; }
    QLineEdit *portEdit() const { return m_portEdit; }
    QLineEdit *loginEdit() const { return m_loginEdit; }
    QLineEdit *passwordEdit() const { return m_passwordEdit; }

public slots:
    void login() override;
    void show() override;

private:
    // The first empty field, or the login button when every field is filled.
    QWidget *initialFocusWidget() const;

    QLineEdit *m_addressEdit = nullptr;
    QLineEdit *m_portEdit = nullptr;
    QLineEdit *m_loginEdit = nullptr;
    QLineEdit *m_passwordEdit = nullptr;
    bool m_loggingIn = false;
};
