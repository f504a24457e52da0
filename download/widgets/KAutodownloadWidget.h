#pragma once

#include <QMap>
#include <QWidget>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;
class QTimeEdit;
class QTimer;
class KAutodownloadTaskFilter;
class KAutodownloadTaskModel;
class KObjectHandler;

// The automatic download tasks tab: new tasks for one or several objects over an interval
// with chosen channels (or every channel), and the fleet's tasks with their state and the
// workstation holding them, filtered by state and object; selected tasks are cancelled,
// retried or deleted. The table follows changes live: this workstation's progress, and on a
// database server what every workstation does.
class KAutodownloadWidget : public QWidget
{
    Q_OBJECT

public:
    // How often the table is read again while shown, for other workstations' progress.
    static constexpr int refreshInterval = 2000;

    explicit KAutodownloadWidget(QWidget *parent = nullptr);
    ~KAutodownloadWidget() override;

    // The objects tasks can be made for and whose names the table shows.
    void setObjects(const QMap<int, KObjectHandler *> &objects);
    // Channel IDs from an operator's text: "1, 2" or "ACAM01 DCAM02"; empty for every
    // channel. False, with the word that does not read, on a bad entry.
    static bool parseChannels(const QString &text, QStringList *channels, QString *bad);

    KAutodownloadTaskModel *model() const { return m_model; }
    KAutodownloadTaskFilter *filter() const { return m_filter; }
    QTableView *table() const { return m_table; }
    QListWidget *objectList() const { return m_objectList; }
    QDateEdit *dateEdit() const { return m_dateEdit; }
    QTimeEdit *fromEdit() const { return m_fromEdit; }
    QTimeEdit *toEdit() const { return m_toEdit; }
    QLineEdit *channelsEdit() const { return m_channelsEdit; }
    QComboBox *stateFilterBox() const { return m_stateBox; }
    QComboBox *objectFilterBox() const { return m_objectBox; }
    QLabel *statusLabel() const { return m_statusLabel; }
    // Create, cancel, retry, delete, refresh.
    QList<QPushButton *> buttons() const;

public slots:
    void refresh();
    // Tasks from the form, one per checked object.
    void createTasks();
    void cancelTasks();
    void retryTasks();
    void deleteTasks();
    void resetFilters();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void refreshSoon();
    QList<int> selectedIds() const;
    void selectIds(const QList<int> &ids);
    void fillObjectFilter();
    void applyFilters();
    void report(const QString &text);

    QMap<int, KObjectHandler *> m_objects;
    KAutodownloadTaskModel *m_model = nullptr;
    KAutodownloadTaskFilter *m_filter = nullptr;
    QTableView *m_table = nullptr;
    QListWidget *m_objectList = nullptr;
    QDateEdit *m_dateEdit = nullptr;
    QTimeEdit *m_fromEdit = nullptr;
    QTimeEdit *m_toEdit = nullptr;
    QLineEdit *m_channelsEdit = nullptr;
    QComboBox *m_stateBox = nullptr;
    QComboBox *m_objectBox = nullptr;
    QLabel *m_statusLabel = nullptr;
    QLabel *m_countLabel = nullptr;
    QPushButton *m_createButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QPushButton *m_retryButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPushButton *m_refreshButton = nullptr;
    QTimer *m_timer = nullptr;
    bool m_refreshPending = false;
};
