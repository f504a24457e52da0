#include "KAutodownloadStateDelegate.h"

#include "KAutodownloadTaskModel.h"
#include "KSettings.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionProgressBar>

KAutodownloadStateDelegate::KAutodownloadStateDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{}

KAutodownloadStateDelegate::~KAutodownloadStateDelegate() = default;

void KAutodownloadStateDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                       const QModelIndex &index) const
{
    const auto state =
        KAutodownloadTaskModel::State(index.data(KAutodownloadTaskModel::StateRole).toInt());
    const int progress = index.data(KAutodownloadTaskModel::ProgressRole).toInt();
    // A bar while something is being or has been fetched; the text otherwise.
    if (state != KAutodownloadTaskModel::DownloadingState &&
        !(state == KAutodownloadTaskModel::WaitingState && progress > 0)) {
        QStyleOptionViewItem look = option;
        initStyleOption(&look, index);
        if (state == KAutodownloadTaskModel::DoneState)
            look.palette.setColor(QPalette::Text, QColor(KSettings::instance()->themeColor(19)));
        else if (state != KAutodownloadTaskModel::CancelledState &&
                 state != KAutodownloadTaskModel::WaitingState)
            look.palette.setColor(QPalette::Text, QColor(KSettings::instance()->themeColor(20)));
        QStyledItemDelegate::paint(painter, look, index);
        return;
    }
    if (option.state & QStyle::State_Selected)
        painter->fillRect(option.rect, option.palette.highlight());
    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(3, 3, -3, -3);
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = progress;
    bar.text = index.data(Qt::DisplayRole).toString();
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    bar.state = option.state | QStyle::State_Horizontal;
    QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, painter);
}
