#include "KConnectionStateStyle.h"

#include "KConnectionData.h"
#include "KSettings.h"

#include <QPainter>
#include <QPixmap>

QString KConnectionStateStyle::text(int state)
{
    switch (state) {
    case 1:
        return QStringLiteral("Проверка не выполнена");
    case 2:
        return QStringLiteral("Подключен");
    case 3:
        return QStringLiteral("Доступен без входа");
    case 4:
        return QStringLiteral("Недоступен");
    default:
        return QStringLiteral("Не проверялся");
    }
}

QColor KConnectionStateStyle::colour(int state)
{
    KSettings *settings = KSettings::instance();
    switch (state) {
    case 2:
        return QColor(settings->themeColor(14));
    case 3:
        return QColor(settings->themeColor(15));
    case 4:
        return QColor(settings->themeColor(16));
    default:
        return QColor(settings->themeColor(6));
    }
}

QIcon KConnectionStateStyle::icon(int state, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(KSettings::instance()->themeColor(5)), 1));
    painter.setBrush(colour(state));
    painter.drawEllipse(QRectF(0.5, 0.5, size - 1.0, size - 1.0));
    painter.end();
    return QIcon(pixmap);
}

QString KConnectionStateStyle::details(const KConnectionData &connection)
{
    QString result = QStringLiteral("Состояние: ") + text(connection.state);
    if (connection.checkTime.isValid()) {
        result += QStringLiteral("\nВремя проверки: ") +
                  connection.checkTime.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
        result += QStringLiteral("\nВремя отклика: ") + QString::number(connection.responseTime) +
                  QStringLiteral(" мс");
    } else {
        result += QStringLiteral("\nПроверка еще не выполнялась");
    }
    return result;
}
