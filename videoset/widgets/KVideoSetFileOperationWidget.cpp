#include "KVideoSetFileOperationWidget.h"

#include "KFormat.h"
#include "KMessageWidget.h"

#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

KVideoSetFileOperationWidget::KVideoSetFileOperationWidget(KVideoSetFileOperationHandler *handler,
                                                           const Texts &texts, QWidget *parent)
    : KToolWindow(parent), m_texts(texts), m_handler(handler), m_thread(new QThread(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setTitle(texts.window);
    setMinimumWidth(400);

    m_nameLabel = new QLabel(this);
    m_progressBar = new QProgressBar(this);
    m_progressBar->setRange(0, barSteps);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);
    m_progressLabel = new QLabel(this);
    m_cancelButton = new QPushButton(QStringLiteral("Отменить"), this);
    m_cancelButton->setFixedWidth(100);
    m_cancelButton->setToolTip(QStringLiteral("Отменить (Esc)"));
    m_cancelButton->setShortcut(QKeySequence(Qt::Key_Escape));

    auto *layout = new QVBoxLayout(contentWidget());
    layout->addWidget(m_nameLabel);
    layout->addWidget(m_progressBar);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_progressLabel, 1);
    bottom->addWidget(m_cancelButton);
    layout->addLayout(bottom);

    connect(m_cancelButton, &QPushButton::clicked, this,
            &KVideoSetFileOperationWidget::stopRequested);
    connect(this, &KVideoSetFileOperationWidget::startRequested, m_handler,
            &KVideoSetFileOperationHandler::start, Qt::QueuedConnection);
    connect(this, &KVideoSetFileOperationWidget::stopRequested, m_handler,
            &KVideoSetFileOperationHandler::stop, Qt::DirectConnection);
    connect(m_handler, &KVideoSetFileOperationHandler::progressStagesCountChanged, this,
            &KVideoSetFileOperationWidget::setProgressStagesCount);
    connect(m_handler, &KVideoSetFileOperationHandler::progressStageCompleted, this,
            &KVideoSetFileOperationWidget::setProgressStage);
    connect(m_handler, &KVideoSetFileOperationHandler::completed, this,
            &KVideoSetFileOperationWidget::showSuccessMessage);
    connect(m_handler, &KVideoSetFileOperationHandler::failed, this,
            [this](const QString &reason) { m_reason = reason; });
    connect(m_handler, &KVideoSetFileOperationHandler::error, this,
            &KVideoSetFileOperationWidget::showErrorMessage);
    connect(m_handler, &KVideoSetFileOperationHandler::cancelled, this,
            &KVideoSetFileOperationWidget::close);
    connect(m_handler, &KVideoSetFileOperationHandler::started, this,
            &KVideoSetFileOperationWidget::setName);
    connect(m_thread, &QThread::finished, m_handler, &QObject::deleteLater);

    m_handler->moveToThread(m_thread);
    m_thread->start(QThread::InheritPriority);
    emit startRequested();
}

KVideoSetFileOperationWidget::~KVideoSetFileOperationWidget()
{
    // The handler notices the flag before its next chunk or file and returns.
    m_handler->stop();
    m_thread->quit();
    m_thread->wait();
}

void KVideoSetFileOperationWidget::setName(const QString &name)
{
    m_nameLabel->setText(QStringLiteral("Имя: ") + name);
}

void KVideoSetFileOperationWidget::setProgressStagesCount(qint64 count)
{
    m_total = count;
    m_progressBar->setValue(0);
}

void KVideoSetFileOperationWidget::setProgressStage(qint64 stage)
{
    const qint64 value = m_total > 0 ? qBound<qint64>(0, stage * barSteps / m_total, barSteps) : 0;
    m_progressBar->setValue(int(value));
    m_progressLabel->setText(QStringLiteral("Выполнено: ") + KFormat::byteSizeText(stage) +
                             QStringLiteral(" из ") + KFormat::byteSizeText(m_total));
}

void KVideoSetFileOperationWidget::showSuccessMessage()
{
    succeeded();
    showResult(KMessageWidget::Success, m_texts.success);
}

void KVideoSetFileOperationWidget::showErrorMessage()
{
    showResult(KMessageWidget::Error,
               m_reason.isEmpty() ? m_texts.error : m_texts.error + QLatin1Char('\n') + m_reason);
}

void KVideoSetFileOperationWidget::showResult(int kind, const QString &text)
{
    m_cancelButton->setEnabled(false);
    KMessageWidget::execMessage(kind, text, parentWidget() ? parentWidget() : this,
                                m_texts.heading);
    close();
}
