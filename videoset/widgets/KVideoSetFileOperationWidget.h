#pragma once

#include "KToolWindow.h"
#include "KVideoSetFileOperationHandler.h"

class QProgressBar;
class QPushButton;
class QThread;

// The progress window of a file operation on video sets: it runs its handler in a thread of
// its own from construction on, shows the current file and the bytes done, and can cancel the
// work. It closes itself when the work is cancelled and after the result message; it is
// deleted on close, so "destroyed" means "done".
class KVideoSetFileOperationWidget : public KToolWindow
{
    Q_OBJECT

public:
    // The bar counts in steps of total / barSteps, so sizes above 2 GiB fit.
    static constexpr int barSteps = 10000;

    ~KVideoSetFileOperationWidget() override;

    KVideoSetFileOperationHandler *handler() const { return m_handler; }
    QLabel *nameLabel() const { return m_nameLabel; }
    QLabel *progressLabel() const { return m_progressLabel; }
    QProgressBar *progressBar() const { return m_progressBar; }
    QPushButton *cancelButton() const { return m_cancelButton; }

signals:
    void startRequested();
    void stopRequested();

public slots:
    void setName(const QString &name);
    void setProgressStagesCount(qint64 count);
    void setProgressStage(qint64 stage);
    void showSuccessMessage();
    void showErrorMessage();

protected:
    struct Texts
    {
        QString window;
        QString heading;
        QString success;
        QString error;
    };

    // Takes the handler, moves it to the thread and starts the work.
    KVideoSetFileOperationWidget(KVideoSetFileOperationHandler *handler, const Texts &texts,
                                 QWidget *parent);
    // Runs when the work is done, before the success message.
    virtual void succeeded() {}

private:
    void showResult(int kind, const QString &text);

    Texts m_texts;
    KVideoSetFileOperationHandler *m_handler = nullptr;
    QThread *m_thread = nullptr;
    QLabel *m_nameLabel = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_progressLabel = nullptr;
    QPushButton *m_cancelButton = nullptr;
    qint64 m_total = 0;
    // Why the work failed, when the handler knows.
    QString m_reason;
};
