#pragma once

#include <QObject>
#include <QString>

// Receives the operator's actions (kind 0 or 1 and a text). Keeps no record.
class KUserLogHandler : public QObject
{
    Q_OBJECT

public:
    static KUserLogHandler *instance();
    ~KUserLogHandler() override;

    void write(int kind, const QString &text);

private:
    KUserLogHandler();
};
