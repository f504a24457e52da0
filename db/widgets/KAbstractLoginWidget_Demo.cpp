#include "KAbstractLoginWidget_Demo.h"

#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KMessageWidget.h"
#include "KPasswordCipher.h"
#include "KPortValidator.h"
#include "KSettings.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

namespace {

const int demoRecorderType = 1;
const int demoObjectId = 1;
const int demoGroupId = 0;
const QString demoGroupName = QStringLiteral("DVR");

} // namespace

KAbstractLoginWidget_Demo::KAbstractLoginWidget_Demo(QWidget *parent) : KAbstractLoginWidget(parent)
{
    KSettings *settings = KSettings::instance();
    QWidget *page = formLayout()->parentWidget();

    m_addressEdit = new QLineEdit(settings->recorderHost(), page);
    m_addressEdit->setObjectName(QStringLiteral("addressEdit"));
    m_portEdit = new QLineEdit(QString::number(settings->recorderPort()), page);
    m_portEdit->setObjectName(QStringLiteral("portEdit"));
    m_portEdit->setValidator(new KPortValidator(m_portEdit));
    m_portEdit->setMaxLength(5);
    m_loginEdit = new QLineEdit(settings->recorderLogin(), page);
    m_loginEdit->setObjectName(QStringLiteral("loginEdit"));
    m_passwordEdit = new QLineEdit(KPasswordCipher::decipher(settings->recorderPassword()), page);
    m_passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    m_passwordEdit->setEchoMode(QLineEdit::Password);

    const QList<QPair<QString, QLineEdit *>> rows = {{QStringLiteral("IP-адрес:"), m_addressEdit},
                                                     {QStringLiteral("Порт:"), m_portEdit},
                                                     {QStringLiteral("Логин:"), m_loginEdit},
                                                     {QStringLiteral("Пароль:"), m_passwordEdit}};
    int row = 1;
    for (const auto &entry : rows) {
        formLayout()->addWidget(new QLabel(entry.first, page), row, 0);
        formLayout()->addWidget(entry.second, row, 1, 1, 2);
        // Enter in any field is the same as pressing "Вход".
        connect(entry.second, &QLineEdit::returnPressed, loginButton(), &QPushButton::click);
        ++row;
    }

    // The buttons were created first; the fields come first for the operator.
    setTabOrder(m_addressEdit, m_portEdit);
    setTabOrder(m_portEdit, m_loginEdit);
    setTabOrder(m_loginEdit, m_passwordEdit);
    setTabOrder(m_passwordEdit, loginButton());
    setTabOrder(loginButton(), cancelButton());
    initialFocusWidget()->setFocus();
}

KAbstractLoginWidget_Demo::~KAbstractLoginWidget_Demo() = default;

QWidget *KAbstractLoginWidget_Demo::initialFocusWidget() const
{
    for (QLineEdit *edit : {m_addressEdit, m_portEdit, m_loginEdit, m_passwordEdit}) {
        if (edit->text().isEmpty())
            return edit;
    }
    return loginButton();
}

void KAbstractLoginWidget_Demo::show()
{
    KAbstractLoginWidget::show();
    if (currentPage() == FormPage)
        initialFocusWidget()->setFocus();
}

void KAbstractLoginWidget_Demo::login()
{
    // A second Enter while the first login is still connecting must not start another one.
    if (m_loggingIn || currentPage() != FormPage)
        return;
    m_loggingIn = true;

    showProgress(QStringLiteral("Подключение к БД..."));
    QCoreApplication::processEvents();

    KDBHandler *handler = KDBHandler::instance();
    // "demo.db" beside the program, or the fleet database on its server.
    if (!handler->open(handler->configuredConnection())) {
        showForm();
        KMessageWidget::execMessage(KMessageWidget::Error,
                                    QStringLiteral("Подключение к БД не удалось!"), this);
        m_loggingIn = false;
        initialFocusWidget()->setFocus();
        return;
    }

    KUserData user;
    user.login = QStringLiteral("Demo");
    user.role = 4;
    user.group.id = demoGroupId;
    user.group.name = demoGroupName;
    KSettings *settings = KSettings::instance();
    settings->setCurrentUser(user);

    const QString host = m_addressEdit->text();
    const int port = m_portEdit->text().toInt();
    const QString password = KPasswordCipher::encipher(m_passwordEdit->text());
    settings->setRecorderType(demoRecorderType);
    settings->setRecorderHost(host);
    settings->setRecorderPort(port);
    settings->setRecorderLogin(m_loginEdit->text());
    settings->setRecorderPassword(password);

    KObjectData object;
    object.kind = 1;
    object.id = demoObjectId;
    object.name = host;
    object.group.id = demoGroupId;
    object.group.name = demoGroupName;
    object.host = host;
    object.recorder.type = demoRecorderType;
    object.recorder.port = port;
    object.recorder.login = m_loginEdit->text();
    object.recorder.password = password;
    // The result is not reported: the object list shows whatever the database holds. The
    // other workstations of a fleet database hear of the change.
    if (KDBWorker *worker = handler->worker(QThread::currentThread())) {
        bool updated = false;
        worker->updateObject(object, &updated);
        if (updated)
            worker->notifySystemUpdate();
    }

    m_loggingIn = false;
    startApp();
}
