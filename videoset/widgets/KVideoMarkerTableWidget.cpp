#include "KVideoMarkerTableWidget.h"

#include "KAbstractVideoView.h"
#include "KMarkerEditorWidget.h"
#include "KMessageWidget.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
const QString kTimeFormat = QStringLiteral("HH:mm:ss");
const QString kNoSelection = QStringLiteral("Не выбрана ни одна метка!");
} // namespace

KVideoMarkerTableWidget::KVideoMarkerTableWidget(QWidget *parent) : KToolWindow(parent)
{
    setTitle(QStringLiteral("Метки"));
    setWindowModality(Qt::NonModal);
    resize(420, 360);
    m_table = new QTableWidget(0, 2, this);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Время"), QStringLiteral("Комментарий")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);

    const struct
    {
        const char *icon;
        const char *toolTip;
        const char *key;
        int shortcut;
        void (KVideoMarkerTableWidget::*slot)();
    } actions[] = {
        {"play", "Перейти к метке", "Enter", Qt::Key_Return, &KVideoMarkerTableWidget::playEntry},
        {"add", "Добавить метку", "Ins", Qt::Key_Insert, &KVideoMarkerTableWidget::addEntry},
        {"edit", "Редактировать метку", "F2", Qt::Key_F2, &KVideoMarkerTableWidget::updateEntry},
        {"delete", "Удалить метку", "Del", Qt::Key_Delete, &KVideoMarkerTableWidget::deleteEntry},
    };
    auto *tools = new QHBoxLayout;
    for (const auto &action : actions) {
        const QString icon = QStringLiteral(":/") + QLatin1String(action.icon);
        auto *button = new QPushButton(
            KAbstractVideoView::modeIcon(icon + QStringLiteral(".png"), icon + "_d.png"), QString(),
            this);
        button->setFixedSize(28, 28);
        button->setIconSize(QSize(22, 22));
        button->setToolTip(QString::fromUtf8(action.toolTip) + QStringLiteral(" (") +
                           QLatin1String(action.key) + QLatin1Char(')'));
        button->setShortcut(QKeySequence(action.shortcut));
        connect(button, &QPushButton::clicked, this, action.slot);
        tools->addWidget(button);
        m_buttons << button;
    }
    tools->addStretch();
    // Closed by Escape like the other tool windows, the keyboard going back to the player.
    closeButton()->setToolTip(QStringLiteral("Закрыть (Esc)"));
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            [this] { close(); });
    auto *layout = new QVBoxLayout(contentWidget());
    layout->addLayout(tools);
    layout->addWidget(m_table);

    connect(m_table, &QTableWidget::doubleClicked, this,
            qOverload<QModelIndex>(&KVideoMarkerTableWidget::playEntry));
    connect(m_table, &QWidget::customContextMenuRequested, this,
            &KVideoMarkerTableWidget::showCustomContextMenu);
    QAbstractItemModel *model = m_table->model();
    connect(model, &QAbstractItemModel::rowsInserted, this,
            &KVideoMarkerTableWidget::markersChanged);
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            &KVideoMarkerTableWidget::markersChanged);
    connect(model, &QAbstractItemModel::modelReset, this, &KVideoMarkerTableWidget::markersChanged);
    connect(model, &QAbstractItemModel::dataChanged, this,
            &KVideoMarkerTableWidget::markersChanged);
}

KVideoMarkerTableWidget::~KVideoMarkerTableWidget()
{
    // The table's model resets while the table is destroyed, after this object is gone.
    disconnect(m_table->model(), nullptr, this, nullptr);
}

QPushButton *KVideoMarkerTableWidget::button(const QString &toolTip) const
{
    for (QPushButton *button : m_buttons) {
        if (button->toolTip().startsWith(toolTip))
            return button;
    }
    return nullptr;
}

void KVideoMarkerTableWidget::setVideoSet(const KVideoSetData &videoSet)
{
    m_videoSet = videoSet;
    m_currentTime = videoSet.beginDateTime.time();
    showMarkers(videoSet.markers);
    for (QPushButton *button : qAsConst(m_buttons))
        button->setEnabled(videoSet.beginDateTime.isValid());
}

void KVideoMarkerTableWidget::showMarkers(const QList<KVideoMarkerData> &markers)
{
    m_table->setRowCount(0);
    m_loading = true;
    for (const KVideoMarkerData &marker : markers)
        setEntry(m_table->rowCount(), marker.text, marker.time);
    m_loading = false;
}

QList<KVideoMarkerData> KVideoMarkerTableWidget::markers() const
{
    QList<KVideoMarkerData> markers;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        // A row being inserted has no items yet.
        if (!m_table->item(row, 0) || !m_table->item(row, 1))
            continue;
        KVideoMarkerData marker;
        marker.time = QTime::fromString(m_table->item(row, 0)->text(), kTimeFormat);
        marker.text = m_table->item(row, 1)->text();
        markers << marker;
    }
    return markers;
}

void KVideoMarkerTableWidget::playEntry(QModelIndex index)
{
    if (!index.isValid() || !m_videoSet.beginDateTime.isValid())
        return;
    const QTime time = QTime::fromString(m_table->item(index.row(), 0)->text(), kTimeFormat);
    emit play(qAbs(m_videoSet.beginDateTime.time().msecsTo(time)));
}

void KVideoMarkerTableWidget::playEntry()
{
    const QList<int> rows = selectedRows();
    if (!rows.isEmpty())
        playEntry(m_table->model()->index(rows.first(), 0));
}

void KVideoMarkerTableWidget::addEntry()
{
    if (!m_videoSet.beginDateTime.isValid())
        return;
    auto *editor = new KMarkerEditorWidget(m_table->rowCount(), QString(), m_currentTime,
                                           m_videoSet.beginDateTime.time(),
                                           m_videoSet.endDateTime.time(), this);
    editor->setTitle(QStringLiteral("Добавить метку"));
    connect(editor, &KMarkerEditorWidget::textChanged, this, &KVideoMarkerTableWidget::setEntry);
    editor->show();
}

void KVideoMarkerTableWidget::updateEntry()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    const int row = rows.first();
    auto *editor = new KMarkerEditorWidget(
        row, m_table->item(row, 1)->text(),
        QTime::fromString(m_table->item(row, 0)->text(), kTimeFormat),
        m_videoSet.beginDateTime.time(), m_videoSet.endDateTime.time(), this);
    editor->setTitle(QStringLiteral("Редактировать метку"));
    connect(editor, &KMarkerEditorWidget::textChanged, this, &KVideoMarkerTableWidget::setEntry);
    editor->show();
}

void KVideoMarkerTableWidget::deleteEntry()
{
    QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    if (!KMessageWidget::execMessage(KMessageWidget::Question, QStringLiteral("Вы уверены?"), this,
                                     QStringLiteral("Удаление меток")))
        return;
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : qAsConst(rows))
        m_table->removeRow(row);
    saveMarkers();
}

void KVideoMarkerTableWidget::setEntry(int row, QString text, QTime time)
{
    if (row >= m_table->rowCount()) {
        row = m_table->rowCount();
        m_table->insertRow(row);
        m_table->setItem(row, 0, new QTableWidgetItem);
        m_table->setItem(row, 1, new QTableWidgetItem);
    }
    m_table->item(row, 0)->setText(time.toString(kTimeFormat));
    m_table->item(row, 1)->setText(KVideoSetData::storableText(text));
    if (!m_loading)
        saveMarkers();
}

void KVideoMarkerTableWidget::saveMarkers()
{
    // Read the data file again: the comment may have been edited elsewhere since the set was
    // opened, and must not be written back as it was.
    KVideoSetData stored = m_videoSet;
    if (QFileInfo::exists(QDir(m_videoSet.path).filePath(KVideoSetData::dataFileName)))
        stored = KVideoSetData(m_videoSet.path);
    stored.markers = markers();
    if (stored.writeDataFile()) {
        m_videoSet.markers = stored.markers;
        return;
    }
    // The rows show what the file holds, not a change that was lost.
    showMarkers(m_videoSet.markers);
    KMessageWidget::execMessage(KMessageWidget::Error,
                                QStringLiteral("Не удалось сохранить метки!"), this);
}

QList<int> KVideoMarkerTableWidget::selectedRows()
{
    QList<int> rows;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty())
        KMessageWidget::execMessage(KMessageWidget::Warning, kNoSelection, this);
    return rows;
}

void KVideoMarkerTableWidget::showCustomContextMenu(QPoint point)
{
    QMenu menu(this);
    menu.addAction(QStringLiteral("Воспроизвести с метки"), this,
                   qOverload<>(&KVideoMarkerTableWidget::playEntry));
    menu.addAction(QStringLiteral("Добавить метку..."), this, &KVideoMarkerTableWidget::addEntry);
    menu.addAction(QStringLiteral("Редактировать метку..."), this,
                   &KVideoMarkerTableWidget::updateEntry);
    menu.addAction(QStringLiteral("Удалить метку"), this, &KVideoMarkerTableWidget::deleteEntry);
    menu.exec(m_table->viewport()->mapToGlobal(point));
}
