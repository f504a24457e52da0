#include "KObjectDownloadWidget.h"

#include "KArchiveInfoAdvancedWidget.h"
#include "KArchiveInfoCalendarWidget.h"
#include "KCheckBoxHeaderView.h"
#include "KDownloadHandler.h"
#include "KFormat.h"
#include "KMessageWidget.h"
#include "KObjectHandler.h"
#include "KSettings.h"
#include "KUserLogHandler.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kWaiting = QStringLiteral("Ожидание загрузки");

QLabel *centredLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("background: transparent;"));
    return label;
}

QPushButton *toolButton(const QString &icon, const QString &disabledIcon, const QString &toolTip)
{
    auto *button = new QPushButton;
    button->setFixedSize(35, 35);
    button->setToolTip(toolTip);
    QIcon pictures;
    pictures.addFile(icon, QSize(), QIcon::Normal);
    pictures.addFile(disabledIcon, QSize(), QIcon::Disabled);
    button->setIcon(pictures);
    button->setIconSize(QSize(31, 31));
    return button;
}

void addShortcuts(QWidget *owner, const QList<QKeySequence> &keys, QPushButton *button)
{
    for (const QKeySequence &key : keys) {
        auto *shortcut = new QShortcut(key, owner);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
    }
}

// The progress bar text and whether the speed is cleared, by channel state.
struct ChannelLook
{
    int state;
    const char *format;
    bool clearsSpeed;
};

const ChannelLook kChannelLooks[] = {
    {2, "Загрузка [%p%]", false},
    {3, "Перекодирование...", true},
    {4, "Подсчет пассажиропотока [%p%]", true},
    {6, "Загрузка завершена", true},
    {7, "Остановка загрузки...", false},
    {8, "Загрузка остановлена", true},
    {9, "Ошибка загрузки", true},
    {10, "Файл не найден", true},
    {11, "Ошибка перекодирования", true},
    {12, "Ошибка подсчета пассажиропотока", true},
    {13, "Нет свободного места на диске", true},
    {16, "Ошибка файловой системы", true},
    {17, "Записи заблокированы", true},
    {18, "Ошибка записи на диск", true},
    {19, "Ошибка поиска на ВР", true},
    {20, "Нет программы ffmpeg", true},
};

// Channel states that are failures: the job is not complete.
bool isFailure(int state)
{
    return state == 9 || (state >= 11 && state <= 13) || state == 16 || state >= 18;
}

const ChannelLook *channelLook(int state)
{
    for (const ChannelLook &look : kChannelLooks) {
        if (look.state == state)
            return &look;
    }
    return nullptr;
}

} // namespace

KObjectDownloadWidget::KObjectDownloadWidget(QWidget *parent) : QWidget(parent)
{
    m_table = new QTableWidget(0, 6);
    m_table->setObjectName(QStringLiteral("downloadTable"));
    m_header = new KCheckBoxHeaderView(Qt::Horizontal, m_table);
    m_table->setHorizontalHeader(m_header);
    m_table->setHorizontalHeaderLabels({QString(), QStringLiteral("Канал"),
                                        QStringLiteral("Статус"), QStringLiteral("Загружено"),
                                        QStringLiteral("Скорость"), QStringLiteral("Время")});
    m_header->setDefaultAlignment(Qt::AlignCenter);
    m_header->setSectionResizeMode(QHeaderView::Fixed);
    m_header->setSectionResizeMode(StatusColumn, QHeaderView::Stretch);
    const int widths[] = {20, 200, 0, 100, 100, 80};
    for (int column = 0; column < 6; ++column) {
        if (column != StatusColumn)
            m_table->setColumnWidth(column, widths[column]);
    }
    m_header->setCheckboxShown(CheckColumn, true);
    m_header->setCheckboxChecked(CheckColumn, true);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(50);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setFocusPolicy(Qt::NoFocus);
    // Tab and the arrows go from check box to check box, not from cell to cell of a table
    // without selection.
    m_table->setTabKeyNavigation(false);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(m_header, &KCheckBoxHeaderView::checkboxClicked, this,
            &KObjectDownloadWidget::setTableCheckBoxesState);

    m_startButton = toolButton(QStringLiteral(":/download.png"), QStringLiteral(":/download_d.png"),
                               QStringLiteral("Начать закачку (Ctrl+Enter)"));
    m_stopButton = toolButton(QStringLiteral(":/stop.png"), QStringLiteral(":/stop_d.png"),
                              QStringLiteral("Остановить закачку (Esc)"));
    addShortcuts(this,
                 {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)},
                 m_startButton);
    addShortcuts(this, {QKeySequence(Qt::Key_Escape)}, m_stopButton);
    connect(m_startButton, &QPushButton::clicked, this, &KObjectDownloadWidget::download);
    connect(m_stopButton, &QPushButton::clicked, this, &KObjectDownloadWidget::cancel);

    const QLocale russian(QLocale::Russian, QLocale::Russia);
    m_calendar = new KArchiveInfoCalendarWidget;
    m_calendar->setLocale(russian);
    m_dateEdit = new QDateEdit(QDate::currentDate());
    m_dateEdit->setLocale(russian);
    m_dateEdit->setDisplayFormat(QStringLiteral("dd MMMM yyyy"));
    m_dateEdit->setCalendarPopup(true);
    m_dateEdit->setCalendarWidget(m_calendar);
    m_fromTimeEdit = new QTimeEdit(QTime(12, 0));
    m_toTimeEdit = new QTimeEdit(QTime(12, 10));
    for (QTimeEdit *edit : {m_fromTimeEdit, m_toTimeEdit}) {
        edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        edit->setFixedWidth(80);
    }
    auto *separator = new QFrame;
    separator->setFrameShape(QFrame::VLine);

    auto *row = new QHBoxLayout;
    row->addWidget(m_startButton);
    row->addWidget(m_stopButton);
    row->addWidget(separator);
    row->addWidget(m_dateEdit);
    row->addWidget(new QLabel(QStringLiteral("с")));
    row->addWidget(m_fromTimeEdit);
    row->addWidget(new QLabel(QStringLiteral("по")));
    row->addWidget(m_toTimeEdit);
    row->addStretch();

    m_timeLine = new KArchiveInfoAdvancedWidget;
    m_timeLine->setLowerTime(m_fromTimeEdit->time());
    m_timeLine->setUpperTime(m_toTimeEdit->time());

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addLayout(row);
    layout->addWidget(m_timeLine);

    connect(m_dateEdit, &QDateEdit::dateChanged, m_timeLine,
            &KArchiveInfoAdvancedWidget::collectInfo);
    // Editors and time-line follow each other; the strip knows whole minutes only, so seconds
    // typed into an editor stay while its handle stays in their minute.
    const auto couple = [this](QTimeEdit *edit, bool lower,
                               void (KArchiveInfoAdvancedWidget::*timeChanged)(QTime)) {
        connect(edit, &QTimeEdit::timeChanged, this, [this, lower](QTime time) {
            if (m_syncing)
                return;
            m_syncing = true;
            if (lower)
                m_timeLine->setLowerTime(time);
            else
                m_timeLine->setUpperTime(time);
            m_syncing = false;
        });
        connect(m_timeLine, timeChanged, this, [this, edit](QTime time) {
            const QTime shown = edit->time();
            if (m_syncing || !time.isValid() ||
                (time.hour() == shown.hour() && time.minute() == shown.minute()))
                return;
            m_syncing = true;
            edit->setTime(time);
            m_syncing = false;
        });
    };
    couple(m_fromTimeEdit, true, &KArchiveInfoAdvancedWidget::lowerTimeChanged);
    couple(m_toTimeEdit, false, &KArchiveInfoAdvancedWidget::upperTimeChanged);

    KDownloadHandler *handler = KDownloadHandler::instance();
    connect(handler, &KDownloadHandler::stateChanged, this,
            &KObjectDownloadWidget::setDownloadState);
    connect(handler, &KDownloadHandler::channelStateChanged, this,
            &KObjectDownloadWidget::setChannelDownloadState);
    connect(handler, &KDownloadHandler::progressStageCompleted, this,
            &KObjectDownloadWidget::setProgressStage);
    connect(handler, &KDownloadHandler::progressStagesCountChanged, this,
            &KObjectDownloadWidget::setProgressStagesCount);
    connect(handler, &KDownloadHandler::fragmentProgressChanged, this,
            &KObjectDownloadWidget::setFragmentProgress);
    connect(handler, &KDownloadHandler::downloadSpeedChanged, this,
            &KObjectDownloadWidget::setDownloadSpeedLabel);
    connect(handler, &KDownloadHandler::currentDownloadTimeChanged, this,
            &KObjectDownloadWidget::setDownloadTimeLabel);
    connect(handler, &KDownloadHandler::currentDownloadSizeChanged, this,
            &KObjectDownloadWidget::setDownloadSizeLabel);
    connect(handler, &KDownloadHandler::intervalChanged, this,
            &KObjectDownloadWidget::setDownloadIntervalLabel);

    setEnabled(false);
}

KObjectDownloadWidget::~KObjectDownloadWidget()
{
    KDownloadHandler::instance()->cancelJob(m_jobID);
    if (m_object)
        m_object->requireConnection(false);
}

KObjectHandler *KObjectDownloadWidget::object() const
{
    return m_object;
}

QCheckBox *KObjectDownloadWidget::checkBox(const QString &channelID) const
{
    return m_rows.value(channelID).checkBox;
}

QProgressBar *KObjectDownloadWidget::progressBar(const QString &channelID) const
{
    return m_rows.value(channelID).progress;
}

QLabel *KObjectDownloadWidget::intervalLabel(const QString &channelID) const
{
    return m_rows.value(channelID).interval;
}

QLabel *KObjectDownloadWidget::sizeLabel(const QString &channelID) const
{
    return m_rows.value(channelID).size;
}

QLabel *KObjectDownloadWidget::speedLabel(const QString &channelID) const
{
    return m_rows.value(channelID).speed;
}

QLabel *KObjectDownloadWidget::timeLabel(const QString &channelID) const
{
    return m_rows.value(channelID).time;
}

QString KObjectDownloadWidget::objectName() const
{
    return m_object ? m_object->name() : QString();
}

void KObjectDownloadWidget::setObject(KObjectHandler *const objectHandler)
{
    // A running job keeps its object.
    if (objectHandler == m_object || m_downloading)
        return;
    setEnabled(false);
    if (m_object) {
        m_object->requireConnection(false);
        disconnect(m_object, &KObjectHandler::connectionStateChanged, this,
                   &KObjectDownloadWidget::populate);
    }
    m_object = objectHandler;
    if (m_object) {
        m_object->requireConnection(true);
        connect(m_object, &KObjectHandler::connectionStateChanged, this,
                &KObjectDownloadWidget::populate);
    }
    m_timeLine->setObject(m_object);
    m_timeLine->collectInfo(m_dateEdit->date());
    m_calendar->setObject(m_object);
    m_populated = false;
    populate();
}

void KObjectDownloadWidget::populate()
{
    if (!m_object || !m_object->isConnected() || m_populated)
        return;
    const QMap<QString, KChannelData> channels = m_object->channels();
    if (channels.isEmpty())
        return;
    m_table->setRowCount(0);
    m_rows.clear();
    for (const KChannelData &channel : channels) {
        if (channel.available)
            addRow(channel.name, channel.title);
    }
    m_header->setCheckboxChecked(CheckColumn, true);
    // Tab leads from the last channel on to the interval.
    if (!m_rows.isEmpty()) {
        QWidget::setTabOrder(m_rows.last().checkBox, m_dateEdit);
        QWidget::setTabOrder(m_dateEdit, m_fromTimeEdit);
        QWidget::setTabOrder(m_fromTimeEdit, m_toTimeEdit);
    }
    setEnabled(true);
    m_populated = true;
    emit populated();
    // The channel list takes the keyboard: Up and Down go from channel to channel, Space
    // checks or unchecks one, Tab leads on to the interval.
    QWidget *focus = QApplication::focusWidget();
    if (isVisible() && !(focus && isAncestorOf(focus)))
        setFocus(Qt::OtherFocusReason);
}

void KObjectDownloadWidget::focusInEvent(QFocusEvent *event)
{
    // Given the keyboard (its tab came up), the widget hands it to the first channel.
    if (!m_rows.isEmpty())
        m_rows.first().checkBox->setFocus(event->reason());
    else
        QWidget::focusInEvent(event);
}

void KObjectDownloadWidget::addRow(const QString &channelID, const QString &title)
{
    const int index = m_table->rowCount();
    m_table->insertRow(index);
    Row row;

    auto *checkCell = new QWidget;
    auto *checkLayout = new QHBoxLayout(checkCell);
    checkLayout->setContentsMargins(0, 0, 0, 0);
    row.checkBox = new QCheckBox;
    row.checkBox->setChecked(true);
    checkLayout->addWidget(row.checkBox, 0, Qt::AlignCenter);
    m_table->setCellWidget(index, CheckColumn, checkCell);

    auto *channelCell = new QWidget;
    auto *channelLayout = new QVBoxLayout(channelCell);
    channelLayout->setContentsMargins(2, 2, 2, 2);
    channelLayout->setSpacing(0);
    QLabel *name = centredLabel(channelID);
    name->setObjectName(QStringLiteral("titleLabel_S"));
    channelLayout->addWidget(name);
    if (!title.isEmpty())
        channelLayout->addWidget(centredLabel(title));
    m_table->setCellWidget(index, ChannelColumn, channelCell);

    auto *statusCell = new QWidget;
    auto *statusLayout = new QVBoxLayout(statusCell);
    statusLayout->setContentsMargins(4, 2, 4, 2);
    statusLayout->setSpacing(2);
    row.interval = centredLabel(QStringLiteral("-"));
    row.progress = new QProgressBar;
    row.progress->setRange(0, 1);
    row.progress->setValue(0);
    row.progress->setTextVisible(true);
    row.progress->setAlignment(Qt::AlignCenter);
    row.progress->setFormat(kWaiting);
    statusLayout->addWidget(row.interval);
    statusLayout->addWidget(row.progress);
    m_table->setCellWidget(index, StatusColumn, statusCell);

    row.size = centredLabel(QStringLiteral("-"));
    row.speed = centredLabel(QStringLiteral("-"));
    row.time = centredLabel(QStringLiteral("-"));
    m_table->setCellWidget(index, SizeColumn, row.size);
    m_table->setCellWidget(index, SpeedColumn, row.speed);
    m_table->setCellWidget(index, TimeColumn, row.time);
    m_rows.insert(channelID, row);
}

void KObjectDownloadWidget::setDateTime(QDateTime dateTime)
{
    if (!dateTime.isValid())
        return;
    m_dateEdit->setDate(dateTime.date());
    const QTime from = dateTime.time();
    const QTime to = from.addSecs(600);
    // Moving later, the end goes first, so that the beginning never passes the end on the way.
    if (from > m_toTimeEdit->time()) {
        m_toTimeEdit->setTime(to);
        m_fromTimeEdit->setTime(from);
    } else {
        m_fromTimeEdit->setTime(from);
        m_toTimeEdit->setTime(to);
    }
}

void KObjectDownloadWidget::setTableCheckBoxesState(int, bool state)
{
    for (const Row &row : qAsConst(m_rows))
        row.checkBox->setChecked(state);
}

void KObjectDownloadWidget::setCheckBoxesEnabled(bool enabled)
{
    for (const Row &row : qAsConst(m_rows))
        row.checkBox->setEnabled(enabled);
    m_header->setCheckboxEnabled(CheckColumn, enabled);
}

void KObjectDownloadWidget::download()
{
    if (!m_object || m_downloading)
        return;
    const QDate date = m_dateEdit->date();
    const QDateTime begin(date, m_fromTimeEdit->time());
    const QDateTime end(date, m_toTimeEdit->time());
    if (!(begin < end)) {
        KMessageWidget::execMessage(KMessageWidget::Warning, QStringLiteral("Неверный интервал!"),
                                    window());
        return;
    }

    setCheckBoxesEnabled(false);
    KDownloadChannelMap channels;
    QStringList names;
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it) {
        if (it->checkBox->isChecked()) {
            channels.insert(it.key(), KPasCountSettingsData());
            names << QString(it.key()).remove(QStringLiteral("CAM"));
        }
    }
    if (channels.isEmpty()) {
        KMessageWidget::execMessage(KMessageWidget::Warning,
                                    QStringLiteral("Не выбран ни один канал!"), window());
        setCheckBoxesEnabled(true);
        return;
    }

    m_stopButton->setEnabled(true);
    m_startButton->setEnabled(false);
    for (QAbstractSpinBox *edit : {static_cast<QAbstractSpinBox *>(m_dateEdit),
                                   static_cast<QAbstractSpinBox *>(m_fromTimeEdit),
                                   static_cast<QAbstractSpinBox *>(m_toTimeEdit)})
        edit->setReadOnly(true);
    m_timeLine->setEnabled(false);
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it) {
        it->progress->setFormat(it->checkBox->isChecked() ? kWaiting
                                                          : QStringLiteral("Загрузка отменена"));
        it->progress->setStyleSheet(QString());
        it->progress->setRange(0, 1);
        it->progress->setValue(0);
        for (QLabel *label : {it->interval, it->size, it->speed, it->time})
            label->setText(QStringLiteral("-"));
    }
    m_channelStates.clear();

    m_jobID = KDownloadHandler::instance()->addJob({m_object, channels, begin, end, 0});
    if (m_jobID < 1) {
        // A refused job must not leave the window waiting for an end that never comes.
        endDownloading();
        KMessageWidget::execMessage(KMessageWidget::Error,
                                    objectName() + QStringLiteral(": ошибка загрузки!"), window());
        return;
    }
    m_downloading = true;
    KUserLogHandler::instance()->write(
        0, QStringLiteral("Загрузка видеоархива\n\nКаналы: ") + names.join(QStringLiteral(", ")) +
               QStringLiteral("\nИнтервал: ") + date.toString(QStringLiteral("dd.MM.yyyy")) +
               QLatin1Char(' ') + begin.time().toString(QStringLiteral("hh:mm")) +
               QStringLiteral(" - ") + end.time().toString(QStringLiteral("hh:mm")));
}

void KObjectDownloadWidget::cancel()
{
    KDownloadHandler::instance()->cancelJob(m_jobID);
    m_stopButton->setEnabled(false);
}

void KObjectDownloadWidget::setEnabled(bool state)
{
    QWidget::setEnabled(state);
    if (state)
        m_stopButton->setEnabled(m_downloading);
}

void KObjectDownloadWidget::endDownloading()
{
    m_stopButton->setEnabled(false);
    m_startButton->setEnabled(true);
    for (QAbstractSpinBox *edit : {static_cast<QAbstractSpinBox *>(m_dateEdit),
                                   static_cast<QAbstractSpinBox *>(m_fromTimeEdit),
                                   static_cast<QAbstractSpinBox *>(m_toTimeEdit)})
        edit->setReadOnly(false);
    m_timeLine->setEnabled(true);
    setCheckBoxesEnabled(true);
    m_downloading = false;
}

QString KObjectDownloadWidget::channelReport() const
{
    QStringList failed;
    QStringList locked;
    for (auto it = m_channelStates.cbegin(); it != m_channelStates.cend(); ++it) {
        const ChannelLook *look = channelLook(it.value());
        if (isFailure(it.value()) && look)
            failed << it.key() + QStringLiteral(" (") + QString::fromUtf8(look->format) +
                          QLatin1Char(')');
        else if (it.value() == 17)
            locked << it.key();
    }
    QString report;
    if (!failed.isEmpty())
        report += QStringLiteral("\nОшибки каналов: ") + failed.join(QStringLiteral(", "));
    if (!locked.isEmpty())
        report +=
            QStringLiteral("\nЗаписи заблокированы на ВР: ") + locked.join(QStringLiteral(", "));
    return report;
}

void KObjectDownloadWidget::setDownloadState(int jobID, int state)
{
    if (jobID != m_jobID || !m_downloading)
        return;
    bool failed = false;
    // A job whose every channel found nothing (or only locked files) has nothing to show.
    bool nothingFound = !m_channelStates.isEmpty();
    for (int channelState : qAsConst(m_channelStates)) {
        failed = failed || isFailure(channelState);
        nothingFound = nothingFound && (channelState == 10 || channelState == 17);
    }
    // Never "complete" while a channel failed.
    if (state == 6 && failed)
        state = 9;
    else if (state == 6 && nothingFound)
        state = 10;
    QString text;
    int kind = KMessageWidget::Error;
    switch (state) {
    case 6:
        text = QStringLiteral(": загрузка завершена!");
        // Locked recordings were left on the recorder: done, but not all that was asked for.
        kind = m_channelStates.values().contains(17) ? KMessageWidget::Warning
                                                     : KMessageWidget::Success;
        break;
    case 9:
        text = QStringLiteral(": ошибка загрузки!");
        break;
    case 10:
        text = QStringLiteral(": видеозаписи не обнаружены!");
        break;
    case 16:
        text = QStringLiteral(": ошибка файловой системы!");
        break;
    case 8:
        break;
    default:
        return;
    }
    endDownloading();
    if (!text.isEmpty())
        text += channelReport();
    // The message runs its own event loop; nothing of this widget is touched after it.
    if (!text.isEmpty())
        KMessageWidget::execMessage(kind, objectName() + text, window());
}

void KObjectDownloadWidget::setChannelDownloadState(int jobID, QString channelID, int state)
{
    const ChannelLook *look = channelLook(state);
    if (jobID != m_jobID || !m_rows.contains(channelID) || state < 2 || (!look && state != 5))
        return;
    m_channelStates.insert(channelID, state);
    if (!look)
        return;
    const Row &row = m_rows[channelID];
    row.progress->setFormat(QString::fromUtf8(look->format));
    if (look->clearsSpeed)
        row.speed->setText(QStringLiteral("-"));
    const QString colour = KSettings::instance()->themeColor(state <= 8 ? 19 : 20);
    row.progress->setStyleSheet(QStringLiteral("QProgressBar::chunk{background-color: ") + colour +
                                QStringLiteral(";}"));
}

void KObjectDownloadWidget::setDownloadSizeLabel(int jobID, QString channelID, qlonglong size)
{
    if (jobID == m_jobID && m_rows.contains(channelID))
        m_rows[channelID].size->setText(KFormat::byteSizeText(size));
}

void KObjectDownloadWidget::setDownloadSpeedLabel(int jobID, QString channelID, qlonglong speed)
{
    if (jobID == m_jobID && m_rows.contains(channelID))
        m_rows[channelID].speed->setText(KFormat::bitRateText(speed) + QStringLiteral("/c"));
}

void KObjectDownloadWidget::setDownloadTimeLabel(int jobID, QString channelID, int seconds)
{
    if (jobID == m_jobID && m_rows.contains(channelID))
        m_rows[channelID].time->setText(
            QTime(0, 0).addSecs(seconds).toString(QStringLiteral("HH:mm:ss")));
}

void KObjectDownloadWidget::setDownloadIntervalLabel(int jobID, QString channelID,
                                                     QDateTime startTime, QDateTime stopTime)
{
    if (jobID == m_jobID && m_rows.contains(channelID))
        m_rows[channelID].interval->setText(
            startTime.toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(", ") +
            startTime.toString(QStringLiteral("hh.mm.ss")) + QLatin1Char('-') +
            stopTime.toString(QStringLiteral("hh.mm.ss")));
}

void KObjectDownloadWidget::setProgressStagesCount(int jobID, QString channelID, int count)
{
    if (jobID != m_jobID || !m_rows.contains(channelID))
        return;
    m_rows[channelID].progress->setRange(0, count * fragmentSteps);
    m_rows[channelID].progress->setValue(0);
}

void KObjectDownloadWidget::setProgressStage(int jobID, QString channelID, int stage)
{
    if (jobID == m_jobID && m_rows.contains(channelID))
        m_rows[channelID].progress->setValue(stage * fragmentSteps);
}

void KObjectDownloadWidget::setFragmentProgress(int jobID, QString channelID, int percent)
{
    if (jobID != m_jobID || !m_rows.contains(channelID) || percent < 0 || percent >= fragmentSteps)
        return;
    QProgressBar *bar = m_rows[channelID].progress;
    const int done = bar->value() / fragmentSteps * fragmentSteps;
    bar->setValue(std::max(bar->value(), std::min(bar->maximum(), done + percent)));
}
