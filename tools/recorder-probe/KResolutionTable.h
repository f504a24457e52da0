#pragma once

#include <QSize>

// Picture size of a recorder resolution code; unknown codes give 960 x 582.
class KResolutionTable
{
public:
    static QSize size(int code);
};
