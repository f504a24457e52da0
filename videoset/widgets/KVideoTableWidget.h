#pragma once

#include "KToolWindow.h"
#include "KVideoSetData.h"
#include "KVideoSetFileOperationHandler.h"

#include <QSet>

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTimeEdit;
class KVideoTableView;

// The table of downloaded video sets of the local and the remote store, with filters, and the
// operations on the selected sets: play, copy to the other store, delete, open folder, edit the
// comment, cut.
class KVideoTableWidget : public KToolWindow
{
    Q_OBJECT

public:
    explicit KVideoTableWidget(QWidget *parent = nullptr);

    KVideoTableView *localView() const { return m_localView; }
    KVideoTableView *remoteView() const { return m_remoteView; }
    KVideoTableView *currentView() const;
    QTabWidget *tabWidget() const { return m_tabWidget; }
    // The copy button that the current tab shows.
    QPushButton *copyButton() const;
    QPushButton *button(const QString &text) const;

    QCheckBox *nameFilterBox() const { return m_nameBox; }
    QLineEdit *nameFilterEdit() const { return m_nameEdit; }
    QCheckBox *startFilterBox() const { return m_startBox; }
    QDateEdit *startDateEdit() const { return m_startDate; }
    QTimeEdit *startTimeEdit() const { return m_startTime; }
    QCheckBox *endFilterBox() const { return m_endBox; }
    QDateEdit *endDateEdit() const { return m_endDate; }
    QTimeEdit *endTimeEdit() const { return m_endTime; }
    QCheckBox *commentFilterBox() const { return m_commentBox; }
    QLineEdit *commentFilterEdit() const { return m_commentEdit; }

    // The context menu's entries for the current tab, as built by showCustomContextMenu().
    QStringList contextMenuTexts() const;

signals:
    void videoSelected(const KVideoSetData &videoSetInfo);
    void videoOpened(const KVideoSetData &videoSetInfo);

public slots:
    void refreshFiles();
    // Shows the window with the first row of the current tab selected and the table focused.
    void show() override;
    void close() override;

private slots:
    void acceptFilter();
    void discardFilter();
    void nameFilterChecked(bool state);
    void startDateFilterChecked(bool state);
    void endDateFilterChecked(bool state);
    void commentFilterChecked(bool state);
    void playFiles();
    void playFiles(const QModelIndex &index);
    // Asks for the local or the remote store's folder and shows what it holds; false when
    // none was chosen.
    bool changeVideoPath(bool local);
    void copyFiles();
    void deleteFiles();
    void openFolders();
    void editComment();
    void cutFile();
    void showCustomContextMenu(const QPoint &point);
    void focusNameFilter();
    // Says once which data files were too large to read.
    void warnOversized();

private:
    QWidget *createButtons();
    QWidget *createStores();
    QWidget *createFilters();
    bool isLocalTab() const;
    // The current tab's selected model rows; a warning and nothing when there are none.
    QList<int> checkedSelection();
    // "Объект: ...Интервал: ..." followed by the location line, for the user log.
    static QString logBlock(const KVideoSetData &set, const QString &locationLabel,
                            const QString &location);
    void play(int row);

    QTabWidget *m_tabWidget = nullptr;
    KVideoTableView *m_localView = nullptr;
    KVideoTableView *m_remoteView = nullptr;
    QStackedWidget *m_copyButtons = nullptr;
    QLineEdit *m_localPathEdit = nullptr;
    QLineEdit *m_remotePathEdit = nullptr;
    QCheckBox *m_nameBox = nullptr;
    QLineEdit *m_nameEdit = nullptr;
    QCheckBox *m_startBox = nullptr;
    QDateEdit *m_startDate = nullptr;
    QTimeEdit *m_startTime = nullptr;
    QCheckBox *m_endBox = nullptr;
    QDateEdit *m_endDate = nullptr;
    QTimeEdit *m_endTime = nullptr;
    QCheckBox *m_commentBox = nullptr;
    QLineEdit *m_commentEdit = nullptr;
    QSet<QString> m_warnedOversized;
};
