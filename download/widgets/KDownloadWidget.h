#pragma once

#include <QDateTime>
#include <QWidget>

class QStackedLayout;
class KObjectDownloadWidget;
class KObjectHandler;
class KProgressWidget;

// The archive download tab: a message page while no object is shown or its recorder is not
// connected yet, and the object's download window once it is.
class KDownloadWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KDownloadWidget(QWidget *parent = nullptr);
    ~KDownloadWidget() override;

    KObjectHandler *object() const;
    bool isDownloading() const;
    bool isProgressShown() const;
    KProgressWidget *progressWidget() const { return m_progressWidget; }
    KObjectDownloadWidget *objectDownloadWidget() const { return m_objectWidget; }

signals:
    void prepareDownloadRequested(KObjectHandler *const objectHandler, QDateTime dateTime);

public slots:
    void setObject(KObjectHandler *const objectHandler);
    void setDateTime(QDateTime dateTime);
    void showProgress(const QString &text, bool enabled);
    void hideProgress();

private:
    KProgressWidget *m_progressWidget = nullptr;
    KObjectDownloadWidget *m_objectWidget = nullptr;
    QStackedLayout *m_stack = nullptr;
};
