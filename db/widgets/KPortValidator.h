#pragma once

#include <QIntValidator>

// Port field: digits only, 0 to 65535. Unlike QIntValidator, a value above the range is refused
// outright instead of being accepted as an intermediate state. An empty field is allowed (it
// counts as port 0).
class KPortValidator : public QIntValidator
{
    Q_OBJECT

public:
    explicit KPortValidator(QObject *parent = nullptr);

    State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
};
