#pragma once

#include <QString>
#include <QStringList>

// The application's theme style sheet, built from the 20 theme colours.
class KStyleSheet
{
public:
    // colours[0] is theme colour 1, ..., colours[19] theme colour 20. Missing entries take the
    // default theme colours.
    static QString build(const QStringList &colours);

    // Registers build() as the settings object's style sheet builder and registers the picture
    // bundle the style sheet refers to. Call it before the settings object is first used (the
    // settings object applies the sheet when it is created). Safe to call more than once.
    static void install();

    // The default theme colours, colour 1 first.
    static QStringList defaultColours();
};
