#pragma once

#include <QColor>
#include <QPainterPath>

class QPainter;

// The glyphs of the picture bundle. Every glyph draws in the painter's current coordinates on a
// square design grid whose size the glyph states (most use 32 units; the catalog scales the
// painter to the picture size). ink is the glyph colour, accent a second colour some glyphs use.
class KIconPainter
{
public:
    struct Tone
    {
        QColor ink;
        QColor accent;
    };

    // Shared palette of the set.
    static QColor inkColour();
    static QColor disabledColour();
    static QColor accentColour();
    static QColor hoverColour();
    static QColor redColour();
    static QColor greenColour();
    static QColor amberColour();

    static Tone normalTone();
    static Tone disabledTone();
    static Tone hoverTone();

    // 32-unit glyphs.
    static void play(QPainter &p, const Tone &t);
    static void pause(QPainter &p, const Tone &t);
    static void stop(QPainter &p, const Tone &t);
    static void playFaster(QPainter &p, const Tone &t);
    static void playSlower(QPainter &p, const Tone &t);
    static void snapshot(QPainter &p, const Tone &t);
    static void sound(QPainter &p, const Tone &t);
    static void soundMuted(QPainter &p, const Tone &t);
    static void fullscreen(QPainter &p, const Tone &t);
    static void enlarge(QPainter &p, const Tone &t);
    static void reduce(QPainter &p, const Tone &t);
    static void views(QPainter &p, const Tone &t, int columns, int rows);
    static void download(QPainter &p, const Tone &t);
    static void cut(QPainter &p, const Tone &t);
    static void mark(QPainter &p, const Tone &t);
    static void folder(QPainter &p, const Tone &t);
    static void openVideoSet(QPainter &p, const Tone &t);
    static void trash(QPainter &p, const Tone &t);
    static void add(QPainter &p, const Tone &t);
    static void edit(QPainter &p, const Tone &t);
    static void update(QPainter &p, const Tone &t);
    static void comment(QPainter &p, const Tone &t);
    static void importExport(QPainter &p, const Tone &t);
    static void objectPreview(QPainter &p, const Tone &t);
    static void objectPlayback(QPainter &p, const Tone &t);
    static void objectDownload(QPainter &p, const Tone &t);
    static void autodownload(QPainter &p, const Tone &t);
    static void videoPlayer(QPainter &p, const Tone &t);
    static void settings(QPainter &p, const Tone &t);

    // 40-unit message icons.
    static void question(QPainter &p);
    static void warning(QPainter &p);
    static void critical(QPainter &p);
    static void success(QPainter &p);

    // 35-unit spinner: frame 0 is the resting picture, 1..7 the animation.
    static void spinner(QPainter &p, int frame);

    // 20-unit title bar buttons.
    static void windowClose(QPainter &p, const QColor &ink);
    static void windowMaximize(QPainter &p, const QColor &ink);
    static void windowMinimize(QPainter &p, const QColor &ink);
    static void appInfo(QPainter &p, const QColor &ink);

    // 12-unit check mark; 10-unit arrows (direction: 0 right, 1 down, 2 left, 3 up).
    static void check(QPainter &p, const QColor &ink);
    static void arrow(QPainter &p, const QColor &ink, int direction);
    // 16-unit glyphs: drop-down arrow of the channel selector, magnifier of search fields.
    static void listOpen(QPainter &p, const QColor &ink);
    static void search(QPainter &p, const QColor &ink);

    // 64-unit application icon.
    static void application(QPainter &p);

private:
    static QPainterPath polygonPath(std::initializer_list<QPointF> points);
    static void strokeLine(QPainter &p, const QColor &colour, qreal width,
                           std::initializer_list<QPointF> points);
    static QPainterPath camcorder(const QRectF &body);
};
