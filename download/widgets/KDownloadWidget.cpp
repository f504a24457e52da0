#include "KDownloadWidget.h"

#include "KObjectDownloadWidget.h"
#include "KObjectHandler.h"
#include "KProgressWidget.h"

#include <QStackedLayout>

KDownloadWidget::KDownloadWidget(QWidget *parent) : QWidget(parent)
{
    m_objectWidget = new KObjectDownloadWidget;
    m_progressWidget = new KProgressWidget;
    m_stack = new QStackedLayout(this);
    m_stack->addWidget(m_objectWidget);
    m_stack->addWidget(m_progressWidget);
    connect(m_objectWidget, &KObjectDownloadWidget::populated, this,
            &KDownloadWidget::hideProgress);
    showProgress(QStringLiteral("Объект в/н не выбран"), false);
    setFocusProxy(m_objectWidget);
}

KDownloadWidget::~KDownloadWidget() = default;

KObjectHandler *KDownloadWidget::object() const
{
    return m_objectWidget->object();
}

bool KDownloadWidget::isDownloading() const
{
    return m_objectWidget->isDownloading();
}

bool KDownloadWidget::isProgressShown() const
{
    return m_stack->currentWidget() == m_progressWidget;
}

void KDownloadWidget::setObject(KObjectHandler *const objectHandler)
{
    if (objectHandler == object() || isDownloading())
        return;
    if (!objectHandler)
        showProgress(QStringLiteral("Объект в/н не выбран"), false);
    else if (objectHandler->recorderType() != 0)
        showProgress(objectHandler->name() + QStringLiteral(" - подключение к ВР..."), true);
    else
        showProgress(objectHandler->name() + QStringLiteral(" - ВР не поддерживается"), false);
    m_objectWidget->setObject(objectHandler);
}

void KDownloadWidget::setDateTime(QDateTime dateTime)
{
    m_objectWidget->setDateTime(dateTime);
}

void KDownloadWidget::showProgress(const QString &text, bool enabled)
{
    m_progressWidget->setText(text);
    m_progressWidget->setEnabled(enabled);
    m_progressWidget->setPictureVisible(enabled);
    m_progressWidget->setAnimated(enabled);
    m_stack->setCurrentWidget(m_progressWidget);
}

void KDownloadWidget::hideProgress()
{
    m_progressWidget->setAnimated(false);
    m_stack->setCurrentWidget(m_objectWidget);
}
