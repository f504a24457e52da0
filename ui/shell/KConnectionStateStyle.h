#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

class KConnectionData;

// How a connection state is shown to the operator: a short text and a theme colour (green
// connected, yellow reachable without login, red unreachable, neutral otherwise).
class KConnectionStateStyle
{
public:
    static QString text(int state);
    static QColor colour(int state);
    // A round marker in the state colour.
    static QIcon icon(int state, int size = 12);
    // Check time and response time, or that the object was never checked.
    static QString details(const KConnectionData &connection);
};
