#include "KVideoCutWidget.h"

#include "KMessageWidget.h"
#include "KSelectChannelsWidget.h"
#include "KUserLogHandler.h"
#include "KVideoSetCutHandler.h"
#include "KVideoSetCutWidget.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {

QTimeEdit *timeEdit(const QTime &time, QWidget *parent)
{
    auto *edit = new QTimeEdit(time, parent);
    edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    edit->setFixedWidth(80);
    return edit;
}

} // namespace

KVideoCutWidget::KVideoCutWidget(const KVideoSetData &videoSetData, QWidget *parent)
    : KToolWindow(parent), m_source(videoSetData)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedWidth(460);
    setTitle(QStringLiteral("Обрезка видеонабора: ") + m_source.objectName + QStringLiteral(", ") +
             m_source.beginDateTime.toString(QStringLiteral("dd.MM.yyyy")) + QLatin1Char(' ') +
             m_source.beginDateTime.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" - ") +
             m_source.endDateTime.toString(QStringLiteral("HH:mm:ss")));

    m_channels = new KSelectChannelsWidget(m_source.channels, this);

    auto *interval = new QGroupBox(QStringLiteral("Интервал"), this);
    m_fromEdit = timeEdit(m_source.beginDateTime.time(), interval);
    m_toEdit = timeEdit(m_source.endDateTime.time(), interval);
    auto *intervalLayout = new QHBoxLayout(interval);
    intervalLayout->addWidget(new QLabel(QStringLiteral("с"), interval));
    intervalLayout->addWidget(m_fromEdit);
    intervalLayout->addWidget(new QLabel(QStringLiteral("по"), interval));
    intervalLayout->addWidget(m_toEdit);
    intervalLayout->addStretch();

    m_cutButton = new QPushButton(QStringLiteral("Обрезать"), this);
    m_cutButton->setToolTip(QStringLiteral("Обрезать (Ctrl+Enter)"));
    m_cutButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    auto *closeButton = new QPushButton(QStringLiteral("Закрыть"), this);
    closeButton->setToolTip(QStringLiteral("Закрыть (Esc)"));
    closeButton->setShortcut(QKeySequence(Qt::Key_Escape));
    m_cutButton->setFixedWidth(100);
    closeButton->setFixedWidth(100);
    connect(m_cutButton, &QPushButton::clicked, this, &KVideoCutWidget::cut);
    connect(closeButton, &QPushButton::clicked, this, &KVideoCutWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cutButton);
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout(contentWidget());
    layout->addWidget(m_channels);
    layout->addWidget(interval);
    layout->addLayout(buttons);
}

void KVideoCutWidget::cut()
{
    const QTime from = m_fromEdit->time();
    const QTime to = m_toEdit->time();
    const QTime begin = m_source.beginDateTime.time();
    const QTime end = m_source.endDateTime.time();
    if (!begin.isValid() || !end.isValid() || !(from < to) || from < begin || to > end ||
        (from == begin && to == end)) {
        KMessageWidget::execMessage(KMessageWidget::Warning,
                                    QStringLiteral("Недопустимый интервал!"), this);
        return;
    }
    const QStringList checked = m_channels->checkedChannels();
    if (checked.isEmpty()) {
        KMessageWidget::execMessage(KMessageWidget::Warning,
                                    QStringLiteral("Не выбран ни один канал!"), this);
        return;
    }

    m_destination = m_source;
    m_destination.channels.clear();
    for (const QString &id : checked)
        m_destination.channels.insert(id, m_source.channels.value(id));
    m_destination.beginDateTime.setTime(from);
    m_destination.endDateTime.setTime(to);
    m_destination.comment.clear();
    m_destination.markers.clear();
    m_destination.path = KVideoSetCutHandler::cutFolderPath(m_source.path, from, to);
    // A set of that interval is the operator's: a cut never replaces or mixes into it.
    if (QFileInfo::exists(m_destination.path) || QFileInfo(m_destination.path).isSymLink()) {
        KMessageWidget::execMessage(KMessageWidget::Warning,
                                    QStringLiteral("Видеонабор с таким интервалом уже существует!"),
                                    this);
        return;
    }

    KUserLogHandler::instance()->write(
        0, QStringLiteral("Обрезка видеонабора\n\nОбъект: ") + m_source.objectName +
               QStringLiteral("\nИнтервал: ") +
               m_source.beginDateTime.toString(QStringLiteral("dd.MM.yyyy")) + QLatin1Char(' ') +
               from.toString(QStringLiteral("hh:mm")) + QStringLiteral(" - ") +
               to.toString(QStringLiteral("hh:mm")));

    m_cutWindow =
        new KVideoSetCutWidget({{m_source, m_destination}}, KVideoSetCutHandler::span(begin, from),
                               KVideoSetCutHandler::span(from, to), this);
    connect(m_cutWindow, &KVideoSetCutWidget::completed, this, &KVideoCutWidget::complete);
    m_cutWindow->show();
}

void KVideoCutWidget::complete()
{
    // The handler wrote the new set's data file before the set got its name.
    m_destination = KVideoSetData::fromFolder(m_destination.path);
    emit completed(m_destination);
}
