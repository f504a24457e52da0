#include "KPortValidator.h"

KPortValidator::KPortValidator(QObject *parent) : QIntValidator(0, 65535, parent) {}

QValidator::State KPortValidator::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos)
    if (input.isEmpty())
        return Intermediate;
    if (input.size() > 5)
        return Invalid;
    for (const QChar c : input) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return Invalid;
    }
    return input.toInt() <= top() ? Acceptable : Invalid;
}

void KPortValidator::fixup(QString &input) const
{
    if (input.isEmpty())
        input = QStringLiteral("0");
}
