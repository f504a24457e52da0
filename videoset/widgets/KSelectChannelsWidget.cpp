#include "KSelectChannelsWidget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

KSelectChannelsWidget::KSelectChannelsWidget(const QMap<QString, KChannelData> &channels,
                                             QWidget *parent)
    : QGroupBox(QStringLiteral("Каналы"), parent)
{
    auto *grid = new QGridLayout;
    grid->setSpacing(10);
    int index = 0;
    for (auto it = channels.cbegin(); it != channels.cend(); ++it, ++index) {
        const QString text = it->title.isEmpty()
                                 ? it.key()
                                 : it.key() + QStringLiteral(" (") + it->title + QLatin1Char(')');
        auto *box = new QCheckBox(text, this);
        box->setChecked(true);
        m_checkBoxes.insert(it.key(), box);
        grid->addWidget(box, index / columns, index % columns);
    }

    auto *all = new QPushButton(QStringLiteral("Выбрать все"), this);
    auto *none = new QPushButton(QStringLiteral("Сбросить все"), this);
    all->setFixedWidth(100);
    none->setFixedWidth(100);
    connect(all, &QPushButton::clicked, this, &KSelectChannelsWidget::selectAll);
    connect(none, &QPushButton::clicked, this, &KSelectChannelsWidget::selectNone);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(all);
    buttons->addWidget(none);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
}

QStringList KSelectChannelsWidget::checkedChannels() const
{
    QStringList ids;
    for (auto it = m_checkBoxes.cbegin(); it != m_checkBoxes.cend(); ++it)
        if (it.value()->isChecked())
            ids.append(it.key());
    return ids;
}

void KSelectChannelsWidget::selectAll()
{
    setAllChecked(true);
}

void KSelectChannelsWidget::selectNone()
{
    setAllChecked(false);
}

void KSelectChannelsWidget::setAllChecked(bool checked)
{
    for (QCheckBox *box : qAsConst(m_checkBoxes))
        box->setChecked(checked);
}
