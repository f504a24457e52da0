#include "KVideoTableWidget.h"

#include "KCommentEditorWidget.h"
#include "KMessageWidget.h"
#include "KSettings.h"
#include "KUserLogHandler.h"
#include "KVideoCutWidget.h"
#include "KVideoSetCopyWidget.h"
#include "KVideoSetDeleteWidget.h"
#include "KVideoTableProxyModel.h"
#include "KVideoTableView.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTimeEdit>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString kNoSelection = QStringLiteral("Не выбран ни один видеонабор!");

// A key given is the button's own and is named in its tool tip; a hidden button's key is idle.
QPushButton *toolButton(const QString &text, const QString &icon, const QString &toolTip,
                        QWidget *parent, const QKeySequence &key = QKeySequence())
{
    auto *button = new QPushButton(QIcon(icon), text, parent);
    button->setShortcut(key);
    button->setToolTip(key.isEmpty()
                           ? toolTip
                           : toolTip + QStringLiteral(" (") +
                                 key.toString(QKeySequence::PortableText) + QLatin1Char(')'));
    button->setFixedSize(125, 22);
    button->setStyleSheet(QStringLiteral("text-align: left;"));
    return button;
}

void enableAll(bool enabled, std::initializer_list<QWidget *> widgets)
{
    for (QWidget *widget : widgets)
        widget->setEnabled(enabled);
}

} // namespace

KVideoTableWidget::KVideoTableWidget(QWidget *parent) : KToolWindow(parent)
{
    setTitle(QStringLiteral("Открыть набор видеофайлов"));

    m_tabWidget = new QTabWidget(this);
    m_localView = new KVideoTableView(m_tabWidget);
    m_remoteView = new KVideoTableView(m_tabWidget);
    m_tabWidget->addTab(m_localView, QStringLiteral("Локальный видеоархив"));
    m_tabWidget->addTab(m_remoteView, QStringLiteral("Удаленный видеоархив"));

    auto *top = new QHBoxLayout;
    top->addWidget(m_tabWidget, 1);
    top->addWidget(createButtons());
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(createStores(), 1);
    bottom->addWidget(createFilters(), 1);
    auto *layout = new QVBoxLayout(contentWidget());
    layout->addLayout(top, 1);
    layout->addLayout(bottom);

    for (KVideoTableView *view : {m_localView, m_remoteView}) {
        connect(view, &KVideoTableView::doubleClicked, this,
                qOverload<const QModelIndex &>(&KVideoTableWidget::playFiles));
        connect(view, &KVideoTableView::customContextMenuRequested, this,
                &KVideoTableWidget::showCustomContextMenu);
        connect(view, &KVideoTableView::populated, this, &KVideoTableWidget::warnOversized);
        // Keys of the table itself, as in file managers.
        for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter)})
            connect(new QShortcut(QKeySequence(key), view->table(), nullptr, nullptr,
                                  Qt::WidgetShortcut),
                    &QShortcut::activated, this, qOverload<>(&KVideoTableWidget::playFiles));
        connect(new QShortcut(QKeySequence::Delete, view->table(), nullptr, nullptr,
                              Qt::WidgetShortcut),
                &QShortcut::activated, this, &KVideoTableWidget::deleteFiles);
    }
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this,
            &KVideoTableWidget::refreshFiles);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this), &QShortcut::activated, this,
            &KVideoTableWidget::focusNameFilter);
    connect(m_tabWidget, &QTabWidget::currentChanged, m_copyButtons,
            &QStackedWidget::setCurrentIndex);
    // The keys act on the table of the tab shown.
    connect(m_tabWidget, &QTabWidget::currentChanged, this, [this] {
        if (isVisible())
            currentView()->table()->setFocus();
    });
    m_localView->setNoStoreText(QStringLiteral("Локальный видеоархив не задан"));
    m_remoteView->setNoStoreText(QStringLiteral("Удаленный видеоархив не задан"));
    resize(KSettings::instance()->windowRect().size());
}

QWidget *KVideoTableWidget::createButtons()
{
    auto *panel = new QWidget(this);
    auto *play = toolButton(QStringLiteral("Воспроизвести"), QStringLiteral(":/play.png"),
                            QStringLiteral("Воспроизвести (Enter)"), panel);
    auto *refresh = new QPushButton(QIcon(QStringLiteral(":/update.png")), QString(), panel);
    refresh->setFixedSize(22, 22);
    refresh->setToolTip(QStringLiteral("Обновить таблицу (F5)"));
    m_copyButtons = new QStackedWidget(panel);
    m_copyButtons->setFixedSize(125, 22);
    for (const QString &text :
         {QStringLiteral("Экспортировать"), QStringLiteral("Импортировать")}) {
        // F6 as in two-pane file managers: to the other side (F5 is taken by the refresh).
        auto *copy = toolButton(text, QStringLiteral(":/import_export.png"), text, m_copyButtons,
                                QKeySequence(Qt::Key_F6));
        connect(copy, &QPushButton::clicked, this, &KVideoTableWidget::copyFiles);
        m_copyButtons->addWidget(copy);
    }
    auto *remove = toolButton(QStringLiteral("Удалить"), QStringLiteral(":/delete.png"),
                              QStringLiteral("Удалить (Delete)"), panel);
    auto *folders =
        toolButton(QStringLiteral("Открыть папку"), QStringLiteral(":/folder.png"),
                   QStringLiteral("Открыть папку"), panel, QKeySequence(Qt::CTRL | Qt::Key_O));
    auto *comment = toolButton(QStringLiteral("Комментарий..."), QStringLiteral(":/comment.png"),
                               QStringLiteral("Комментарий..."), panel, QKeySequence(Qt::Key_F2));
    auto *cut =
        toolButton(QStringLiteral("Обрезать..."), QStringLiteral(":/cut.png"),
                   QStringLiteral("Обрезать..."), panel, QKeySequence(Qt::CTRL | Qt::Key_T));
    QIcon cutIcon(QStringLiteral(":/cut.png"));
    cutIcon.addFile(QStringLiteral(":/cut_d.png"), QSize(), QIcon::Disabled);
    cut->setIcon(cutIcon);
    auto *closeButton = new QPushButton(QStringLiteral("Закрыть"), panel);
    closeButton->setFixedSize(100, 22);
    closeButton->setToolTip(QStringLiteral("Закрыть (Esc)"));
    closeButton->setShortcut(QKeySequence(Qt::Key_Escape));

    connect(play, &QPushButton::clicked, this, qOverload<>(&KVideoTableWidget::playFiles));
    connect(refresh, &QPushButton::clicked, this, &KVideoTableWidget::refreshFiles);
    connect(remove, &QPushButton::clicked, this, &KVideoTableWidget::deleteFiles);
    connect(folders, &QPushButton::clicked, this, &KVideoTableWidget::openFolders);
    connect(comment, &QPushButton::clicked, this, &KVideoTableWidget::editComment);
    connect(cut, &QPushButton::clicked, this, &KVideoTableWidget::cutFile);
    connect(closeButton, &QPushButton::clicked, this, &KVideoTableWidget::close);

    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *playRow = new QHBoxLayout;
    playRow->addWidget(play);
    playRow->addWidget(refresh);
    layout->addLayout(playRow);
    for (QWidget *widget :
         std::initializer_list<QWidget *>{m_copyButtons, remove, folders, comment, cut})
        layout->addWidget(widget);
    layout->addStretch();
    layout->addWidget(closeButton);
    return panel;
}

QWidget *KVideoTableWidget::createStores()
{
    auto *group = new QGroupBox(QStringLiteral("Видеоархивы"), this);
    auto *layout = new QGridLayout(group);
    KSettings *settings = KSettings::instance();
    const auto addRow = [&](int row, const QString &label, const QString &path, bool local) {
        auto *edit = new QLineEdit(path, group);
        edit->setReadOnly(true);
        auto *button = new QPushButton(QIcon(QStringLiteral(":/edit.png")), QString(), group);
        button->setFixedSize(22, 22);
        button->setToolTip(QStringLiteral("Изменить..."));
        connect(button, &QPushButton::clicked, this, [this, local] { changeVideoPath(local); });
        layout->addWidget(new QLabel(label, group), row, 0);
        layout->addWidget(edit, row, 1);
        layout->addWidget(button, row, 2);
        return edit;
    };
    m_localPathEdit =
        addRow(0, QStringLiteral("Локальный видеоархив:"), settings->localVideoPath(), true);
    m_remotePathEdit =
        addRow(1, QStringLiteral("Удаленный видеоархив:"), settings->remoteVideoPath(), false);
    layout->setRowStretch(2, 1);
    return group;
}

QWidget *KVideoTableWidget::createFilters()
{
    auto *group = new QGroupBox(QStringLiteral("Фильтры"), this);
    auto *layout = new QGridLayout(group);
    const auto dateEdit = [group] {
        auto *edit = new QDateEdit(QDate::currentDate(), group);
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("dd MMMM yyyy"));
        edit->setEnabled(false);
        return edit;
    };
    const auto timeEdit = [group] {
        auto *edit = new QTimeEdit(QTime(12, 0), group);
        edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        edit->setFixedWidth(80);
        edit->setEnabled(false);
        return edit;
    };
    m_nameBox = new QCheckBox(QStringLiteral("Объект:"), group);
    m_nameBox->setToolTip(QStringLiteral("Объект (Ctrl+F)"));
    m_nameEdit = new QLineEdit(group);
    m_nameEdit->setPlaceholderText(QStringLiteral("Введите часть названия"));
    m_nameEdit->setEnabled(false);
    m_startBox = new QCheckBox(QStringLiteral("Начало:"), group);
    m_startDate = dateEdit();
    m_startTime = timeEdit();
    m_endBox = new QCheckBox(QStringLiteral("Конец:"), group);
    m_endDate = dateEdit();
    m_endTime = timeEdit();
    m_commentBox = new QCheckBox(QStringLiteral("Комментарий:"), group);
    m_commentEdit = new QLineEdit(group);
    m_commentEdit->setPlaceholderText(QStringLiteral("Введите часть текста"));
    m_commentEdit->setEnabled(false);
    auto *accept = new QPushButton(QStringLiteral("Применить"), group);
    accept->setToolTip(QStringLiteral("Применить (Enter в поле фильтра)"));
    auto *discard = new QPushButton(QStringLiteral("Сбросить"), group);
    discard->setToolTip(QStringLiteral("Сбросить (Ctrl+Shift+F)"));
    discard->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));

    layout->addWidget(m_nameBox, 0, 0);
    layout->addWidget(m_nameEdit, 0, 1, 1, 2);
    layout->addWidget(m_startBox, 1, 0);
    layout->addWidget(m_startDate, 1, 1);
    layout->addWidget(m_startTime, 1, 2);
    layout->addWidget(m_endBox, 2, 0);
    layout->addWidget(m_endDate, 2, 1);
    layout->addWidget(m_endTime, 2, 2);
    layout->addWidget(m_commentBox, 3, 0);
    layout->addWidget(m_commentEdit, 3, 1, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(accept);
    buttons->addWidget(discard);
    layout->addLayout(buttons, 4, 0, 1, 3);

    connect(m_nameBox, &QCheckBox::toggled, this, &KVideoTableWidget::nameFilterChecked);
    connect(m_startBox, &QCheckBox::toggled, this, &KVideoTableWidget::startDateFilterChecked);
    connect(m_endBox, &QCheckBox::toggled, this, &KVideoTableWidget::endDateFilterChecked);
    connect(m_commentBox, &QCheckBox::toggled, this, &KVideoTableWidget::commentFilterChecked);
    connect(accept, &QPushButton::clicked, this, &KVideoTableWidget::acceptFilter);
    connect(discard, &QPushButton::clicked, this, &KVideoTableWidget::discardFilter);
    connect(m_nameEdit, &QLineEdit::returnPressed, this, &KVideoTableWidget::acceptFilter);
    connect(m_commentEdit, &QLineEdit::returnPressed, this, &KVideoTableWidget::acceptFilter);
    return group;
}

KVideoTableView *KVideoTableWidget::currentView() const
{
    return isLocalTab() ? m_localView : m_remoteView;
}

QPushButton *KVideoTableWidget::copyButton() const
{
    return qobject_cast<QPushButton *>(m_copyButtons->currentWidget());
}

QPushButton *KVideoTableWidget::button(const QString &text) const
{
    const QList<QPushButton *> buttons = findChildren<QPushButton *>();
    for (QPushButton *button : buttons)
        if (button->text() == text)
            return button;
    return nullptr;
}

bool KVideoTableWidget::isLocalTab() const
{
    return m_tabWidget->currentIndex() == 0;
}

void KVideoTableWidget::refreshFiles()
{
    KSettings *settings = KSettings::instance();
    m_localView->populate(settings->localVideoPath());
    m_remoteView->populate(settings->remoteVideoPath());
}

void KVideoTableWidget::show()
{
    KToolWindow::show();
    KVideoTableView *view = currentView();
    // Rows still being read get their selection when they arrive.
    if (view->selectedRows().isEmpty())
        view->restoreSelection();
    view->table()->setFocus();
    warnOversized();
}

void KVideoTableWidget::warnOversized()
{
    if (!isVisible())
        return;
    QStringList fresh;
    for (KVideoTableView *view : {m_localView, m_remoteView}) {
        for (const QString &path : view->oversizedDataFiles()) {
            if (!m_warnedOversized.contains(path))
                fresh << path;
        }
    }
    if (fresh.isEmpty())
        return;
    for (const QString &path : qAsConst(fresh))
        m_warnedOversized.insert(path);
    KMessageWidget::execMessage(
        KMessageWidget::Warning,
        QStringLiteral("Файл данных видеонабора больше 1 Мб и не прочитан, метки и комментарий "
                       "набора не показаны:\n") +
            fresh.join(QLatin1Char('\n')),
        this);
}

void KVideoTableWidget::close()
{
    KToolWindow::close();
}

void KVideoTableWidget::acceptFilter()
{
    discardFilter();
    for (KVideoTableView *view : {m_localView, m_remoteView}) {
        KVideoTableProxyModel *proxy = view->proxy();
        if (m_nameBox->isChecked())
            proxy->setNameFilter(m_nameEdit->text());
        if (m_startBox->isChecked())
            proxy->setMinDateTime(QDateTime(m_startDate->date(), m_startTime->time()));
        if (m_endBox->isChecked())
            proxy->setMaxDateTime(QDateTime(m_endDate->date(), m_endTime->time()));
        if (m_commentBox->isChecked())
            proxy->setCommentFilter(m_commentEdit->text());
        view->applyFilter();
    }
}

void KVideoTableWidget::discardFilter()
{
    for (KVideoTableView *view : {m_localView, m_remoteView}) {
        view->proxy()->clearFilters();
        view->applyFilter();
    }
}

void KVideoTableWidget::nameFilterChecked(bool state)
{
    m_nameEdit->setEnabled(state);
}

void KVideoTableWidget::startDateFilterChecked(bool state)
{
    enableAll(state, {m_startDate, m_startTime});
}

void KVideoTableWidget::endDateFilterChecked(bool state)
{
    enableAll(state, {m_endDate, m_endTime});
}

void KVideoTableWidget::commentFilterChecked(bool state)
{
    m_commentEdit->setEnabled(state);
}

void KVideoTableWidget::focusNameFilter()
{
    m_nameBox->setChecked(true);
    m_nameEdit->setFocus();
    m_nameEdit->selectAll();
}

QList<int> KVideoTableWidget::checkedSelection()
{
    const QList<int> rows = currentView()->selectedRows();
    if (rows.isEmpty())
        KMessageWidget::execMessage(KMessageWidget::Warning, kNoSelection, this);
    return rows;
}

void KVideoTableWidget::play(int row)
{
    const KVideoSetData set = currentView()->set(row);
    if (set.path.isEmpty())
        return;
    emit videoSelected(KVideoSetData::fromFolder(set.path));
    close();
}

void KVideoTableWidget::playFiles()
{
    const QList<int> rows = checkedSelection();
    if (!rows.isEmpty())
        play(rows.first());
}

void KVideoTableWidget::playFiles(const QModelIndex &index)
{
    play(currentView()->modelRow(index));
}

bool KVideoTableWidget::changeVideoPath(bool local)
{
    KSettings *settings = KSettings::instance();
    QFileDialog dialog(this,
                       local ? QStringLiteral("Локальный каталог видеофайлов")
                             : QStringLiteral("Удаленный каталог видеофайлов"),
                       local ? settings->localVideoPath() : settings->remoteVideoPath());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    const QString path = dialog.exec() ? dialog.selectedFiles().value(0) : QString();
    if (path.isEmpty())
        return false;
    if (local)
        settings->setLocalVideoPath(path);
    else
        settings->setRemoteVideoPath(path);
    (local ? m_localPathEdit : m_remotePathEdit)->setText(path);
    (local ? m_localView : m_remoteView)->populate(path);
    return true;
}

QString KVideoTableWidget::logBlock(const KVideoSetData &set, const QString &locationLabel,
                                    const QString &location)
{
    return QStringLiteral("Объект: ") + set.objectName + QStringLiteral("Интервал: ") +
           set.beginDateTime.toString(QStringLiteral("dd.MM.yyyy")) + QLatin1Char(' ') +
           set.beginDateTime.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" - ") +
           set.endDateTime.toString(QStringLiteral("HH:mm:ss")) + QLatin1Char('\n') +
           locationLabel + location + QLatin1Char('\n');
}

void KVideoTableWidget::copyFiles()
{
    const QList<int> rows = checkedSelection();
    if (rows.isEmpty())
        return;
    auto *question =
        new KMessageWidget(KMessageWidget::Question, QStringLiteral("Вы уверены?"), this);
    question->setHeading(QStringLiteral("Загрузка видеонаборов"));
    if (!question->exec())
        return;
    KSettings *settings = KSettings::instance();
    // Without the other store's folder there is nowhere to copy to (an empty path would name
    // the working folder): the operator chooses one.
    const bool toRemote = isLocalTab();
    if ((toRemote ? settings->remoteVideoPath() : settings->localVideoPath()).isEmpty() &&
        !changeVideoPath(!toRemote))
        return;
    const QString target = toRemote ? settings->remoteVideoPath() : settings->localVideoPath();
    QList<KVideoSetPair> pairs;
    QString log = QStringLiteral("Копирование видеонаборов\n\n");
    for (int row : rows) {
        const KVideoSetData source = currentView()->set(row);
        KVideoSetData destination = source;
        destination.path =
            QDir(target).filePath(KVideoSetData::objectFolderName(source.objectName) +
                                  QLatin1Char('/') + QFileInfo(source.path).fileName());
        pairs.append({source, destination});
        log += logBlock(source, QStringLiteral("Новое расположение: "), destination.path);
    }
    KUserLogHandler::instance()->write(0, log);
    auto *window = new KVideoSetCopyWidget(pairs, this);
    connect(window, &QObject::destroyed, this, &KVideoTableWidget::refreshFiles);
    window->show();
}

void KVideoTableWidget::deleteFiles()
{
    const QList<int> rows = checkedSelection();
    if (rows.isEmpty())
        return;
    auto *question =
        new KMessageWidget(KMessageWidget::Question, QStringLiteral("Вы уверены?"), this);
    question->setHeading(QStringLiteral("Удаление видеонаборов"));
    if (!question->exec())
        return;
    QList<KVideoSetPair> pairs;
    QString log = QStringLiteral("Удаление видеонаборов\n\n");
    for (int row : rows) {
        const KVideoSetData set = currentView()->set(row);
        pairs.append({set, set});
        log += logBlock(set, QStringLiteral("Расположение: "), set.path);
    }
    KUserLogHandler::instance()->write(0, log);
    auto *window = new KVideoSetDeleteWidget(pairs, this);
    connect(window, &QObject::destroyed, this, &KVideoTableWidget::refreshFiles);
    window->show();
}

void KVideoTableWidget::openFolders()
{
    for (int row : checkedSelection())
        QDesktopServices::openUrl(QUrl::fromLocalFile(currentView()->set(row).path));
}

void KVideoTableWidget::editComment()
{
    const QList<int> rows = checkedSelection();
    if (rows.isEmpty())
        return;
    KVideoTableView *view = currentView();
    const KVideoSetData set = view->set(rows.first());
    auto *editor = new KCommentEditorWidget(rows.first(), set.comment, this);
    // By folder: the rows may have been read anew while the editor was open.
    connect(editor, &KCommentEditorWidget::textChanged, this,
            [this, view, path = set.path](int, const QString &text) {
                if (!view->setComment(view->rowOf(path), text))
                    KMessageWidget::execMessage(KMessageWidget::Error,
                                                QStringLiteral("Не удалось сохранить комментарий!"),
                                                this);
            });
    editor->show();
}

void KVideoTableWidget::cutFile()
{
    const QList<int> rows = checkedSelection();
    if (rows.isEmpty())
        return;
    auto *cut =
        new KVideoCutWidget(KVideoSetData::fromFolder(currentView()->set(rows.first()).path), this);
    connect(cut, &KVideoCutWidget::completed, this, &KVideoTableWidget::refreshFiles);
    cut->show();
}

QStringList KVideoTableWidget::contextMenuTexts() const
{
    return {QStringLiteral("Воспроизвести наборы"),
            QStringLiteral("Открыть папку"),
            QStringLiteral("Удалить наборы"),
            isLocalTab() ? QStringLiteral("Экспортировать наборы")
                         : QStringLiteral("Импортировать наборы"),
            QStringLiteral("Редактировать комментарий..."),
            QStringLiteral("Обрезать видеонабор...")};
}

void KVideoTableWidget::showCustomContextMenu(const QPoint &)
{
    const QStringList texts = contextMenuTexts();
    QMenu menu(this);
    menu.addAction(QIcon(QStringLiteral(":/play.png")), texts[0], this,
                   qOverload<>(&KVideoTableWidget::playFiles));
    menu.addSeparator();
    menu.addAction(QIcon(QStringLiteral(":/folder.png")), texts[1], this,
                   &KVideoTableWidget::openFolders);
    menu.addSeparator();
    menu.addAction(QIcon(QStringLiteral(":/delete.png")), texts[2], this,
                   &KVideoTableWidget::deleteFiles);
    menu.addAction(QIcon(QStringLiteral(":/import_export.png")), texts[3], this,
                   &KVideoTableWidget::copyFiles);
    menu.addSeparator();
    menu.addAction(QIcon(QStringLiteral(":/comment.png")), texts[4], this,
                   &KVideoTableWidget::editComment);
    menu.addSeparator();
    menu.addAction(QIcon(QStringLiteral(":/cut.png")), texts[5], this, &KVideoTableWidget::cutFile);
    menu.exec(QCursor::pos());
}
