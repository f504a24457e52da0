#include "KIconPainter.h"

#include <QPainter>
#include <QPolygonF>
#include <QtMath>

namespace {

QPainterPath roundedRect(qreal x, qreal y, qreal w, qreal h, qreal r)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), r, r);
    return path;
}

QPainterPath rect(qreal x, qreal y, qreal w, qreal h)
{
    QPainterPath path;
    path.addRect(QRectF(x, y, w, h));
    return path;
}

QPainterPath circle(qreal cx, qreal cy, qreal r)
{
    QPainterPath path;
    path.addEllipse(QPointF(cx, cy), r, r);
    return path;
}

// Filled shape with slightly rounded corners: fill plus a thin stroke of the same colour.
void fillSoft(QPainter &p, const QPainterPath &path, const QColor &colour, qreal round = 1.5)
{
    p.save();
    p.setPen(QPen(colour, round, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(colour);
    p.drawPath(path);
    p.restore();
}

void fill(QPainter &p, const QPainterPath &path, const QColor &colour)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
    p.restore();
}

void strokePath(QPainter &p, const QPainterPath &path, const QColor &colour, qreal width,
                Qt::PenCapStyle cap = Qt::RoundCap)
{
    p.save();
    p.setPen(QPen(colour, width, Qt::SolidLine, cap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.restore();
}

// An arc on a circle, angles in degrees counter-clockwise from 3 o'clock (Qt's convention).
QPainterPath arc(const QPointF &centre, qreal r, qreal startDeg, qreal sweepDeg)
{
    const QRectF box(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
    QPainterPath path;
    path.arcMoveTo(box, startDeg);
    path.arcTo(box, startDeg, sweepDeg);
    return path;
}

QPointF onCircle(const QPointF &centre, qreal r, qreal deg)
{
    const qreal a = qDegreesToRadians(deg);
    return {centre.x() + r * qCos(a), centre.y() - r * qSin(a)};
}

// A filled arrow head whose tip is at tip, pointing along direction deg.
QPainterPath arrowHead(const QPointF &tip, qreal deg, qreal length, qreal halfWidth)
{
    const qreal a = qDegreesToRadians(deg);
    const QPointF dir(qCos(a), -qSin(a));
    const QPointF normal(-dir.y(), dir.x());
    const QPointF base = tip - dir * length;
    QPainterPath path;
    path.moveTo(tip);
    path.lineTo(base + normal * halfWidth);
    path.lineTo(base - normal * halfWidth);
    path.closeSubpath();
    return path;
}

} // namespace

QColor KIconPainter::inkColour()
{
    return QColor(0x3b, 0x44, 0x50);
}
QColor KIconPainter::disabledColour()
{
    return QColor(0xb3, 0xb7, 0xbd);
}
QColor KIconPainter::accentColour()
{
    return QColor(0x2a, 0x7f, 0xd8);
}
QColor KIconPainter::hoverColour()
{
    return QColor(0x15, 0x65, 0xc0);
}
QColor KIconPainter::redColour()
{
    return QColor(0xd9, 0x44, 0x3c);
}
QColor KIconPainter::greenColour()
{
    return QColor(0x2f, 0x9e, 0x4f);
}
QColor KIconPainter::amberColour()
{
    return QColor(0xf2, 0xa5, 0x16);
}

KIconPainter::Tone KIconPainter::normalTone()
{
    return {inkColour(), accentColour()};
}
KIconPainter::Tone KIconPainter::disabledTone()
{
    return {disabledColour(), QColor(0xc6, 0xd3, 0xe0)};
}
KIconPainter::Tone KIconPainter::hoverTone()
{
    return {hoverColour(), hoverColour()};
}

QPainterPath KIconPainter::polygonPath(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    path.addPolygon(QPolygonF(QVector<QPointF>(points)));
    path.closeSubpath();
    return path;
}

void KIconPainter::strokeLine(QPainter &p, const QColor &colour, qreal width,
                              std::initializer_list<QPointF> points)
{
    QPainterPath path;
    bool first = true;
    for (const QPointF &point : points) {
        if (first)
            path.moveTo(point);
        else
            path.lineTo(point);
        first = false;
    }
    strokePath(p, path, colour, width);
}

QPainterPath KIconPainter::camcorder(const QRectF &body)
{
    // Body plus the lens wedge on the right, 40 % of the body's width.
    const qreal wedge = body.width() * 0.4;
    QPainterPath path =
        roundedRect(body.x(), body.y(), body.width(), body.height(), body.height() * 0.18);
    const qreal cy = body.center().y();
    const qreal x0 = body.right() + 1;
    path = path.united(polygonPath({{x0, cy - body.height() * 0.18},
                                    {x0 + wedge, cy - body.height() * 0.5},
                                    {x0 + wedge, cy + body.height() * 0.5},
                                    {x0, cy + body.height() * 0.18}}));
    return path;
}

// --- player controls -------------------------------------------------------------------------

void KIconPainter::play(QPainter &p, const Tone &t)
{
    fillSoft(p, polygonPath({{11, 7}, {11, 25}, {25, 16}}), t.ink, 2.0);
}

void KIconPainter::pause(QPainter &p, const Tone &t)
{
    fill(p, roundedRect(8.5, 7, 5.5, 18, 1.2).united(roundedRect(18, 7, 5.5, 18, 1.2)), t.ink);
}

void KIconPainter::stop(QPainter &p, const Tone &t)
{
    fill(p, roundedRect(8, 8, 16, 16, 2), t.ink);
}

void KIconPainter::playFaster(QPainter &p, const Tone &t)
{
    fillSoft(p, polygonPath({{5, 9}, {5, 23}, {15.5, 16}}), t.ink);
    fillSoft(p, polygonPath({{16, 9}, {16, 23}, {26.5, 16}}), t.ink);
}

void KIconPainter::playSlower(QPainter &p, const Tone &t)
{
    fillSoft(p, polygonPath({{27, 9}, {27, 23}, {16.5, 16}}), t.ink);
    fillSoft(p, polygonPath({{16, 9}, {16, 23}, {5.5, 16}}), t.ink);
}

void KIconPainter::snapshot(QPainter &p, const Tone &t)
{
    QPainterPath body = roundedRect(4, 10, 24, 16, 3).united(roundedRect(11, 6.5, 10, 5, 1.5));
    body = body.subtracted(circle(16, 18, 6));
    body = body.subtracted(rect(22, 12.5, 3, 2));
    fill(p, body, t.ink);
    fill(p, circle(16, 18, 3.4), t.ink);
}

void KIconPainter::sound(QPainter &p, const Tone &t)
{
    fillSoft(
        p, polygonPath({{4.5, 12.5}, {9.5, 12.5}, {15.5, 7}, {15.5, 25}, {9.5, 19.5}, {4.5, 19.5}}),
        t.ink);
    const QPointF centre(15.5, 16);
    strokePath(p, arc(centre, 5, -45, 90), t.ink, 2.3);
    strokePath(p, arc(centre, 10, -48, 96), t.ink, 2.3);
}

void KIconPainter::soundMuted(QPainter &p, const Tone &t)
{
    fillSoft(
        p, polygonPath({{4.5, 12.5}, {9.5, 12.5}, {15.5, 7}, {15.5, 25}, {9.5, 19.5}, {4.5, 19.5}}),
        t.ink);
    strokeLine(p, t.accent, 2.6, {{20, 12}, {27, 20}});
    strokeLine(p, t.accent, 2.6, {{27, 12}, {20, 20}});
}

void KIconPainter::fullscreen(QPainter &p, const Tone &t)
{
    const qreal a = 6, b = 26, l = 7, w = 2.6;
    strokeLine(p, t.ink, w, {{a, a + l}, {a, a}, {a + l, a}});
    strokeLine(p, t.ink, w, {{b - l, a}, {b, a}, {b, a + l}});
    strokeLine(p, t.ink, w, {{b, b - l}, {b, b}, {b - l, b}});
    strokeLine(p, t.ink, w, {{a + l, b}, {a, b}, {a, b - l}});
}

void KIconPainter::enlarge(QPainter &p, const Tone &t)
{
    const qreal w = 2.4;
    strokeLine(p, t.ink, w, {{18, 14}, {25, 7}});
    strokeLine(p, t.ink, w, {{18.5, 7}, {25, 7}, {25, 13.5}});
    strokeLine(p, t.ink, w, {{14, 18}, {7, 25}});
    strokeLine(p, t.ink, w, {{7, 18.5}, {7, 25}, {13.5, 25}});
}

void KIconPainter::reduce(QPainter &p, const Tone &t)
{
    const qreal w = 2.4;
    strokeLine(p, t.ink, w, {{25, 7}, {18, 14}});
    strokeLine(p, t.ink, w, {{18, 7.5}, {18, 14}, {24.5, 14}});
    strokeLine(p, t.ink, w, {{7, 25}, {14, 18}});
    strokeLine(p, t.ink, w, {{7.5, 18}, {14, 18}, {14, 24.5}});
}

void KIconPainter::views(QPainter &p, const Tone &t, int columns, int rows)
{
    // A 4:3 screen split into the grid; cells are whole pixels on the 32 grid.
    const int left = 4, top = 7, width = 24, height = 18;
    const int gap = columns > 4 ? 1 : 2;
    const qreal cellW = qreal(width - gap * (columns - 1)) / columns;
    const qreal cellH = qreal(height - gap * (rows - 1)) / rows;
    QPainterPath cells;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            cells.addRoundedRect(
                QRectF(left + c * (cellW + gap), top + r * (cellH + gap), cellW, cellH), 0.8, 0.8);
        }
    }
    fill(p, cells, t.ink);
}

// --- files and editing -----------------------------------------------------------------------

void KIconPainter::download(QPainter &p, const Tone &t)
{
    fill(p, rect(13.5, 4, 5, 10).united(polygonPath({{7.5, 12.5}, {24.5, 12.5}, {16, 21.5}})),
         t.ink);
    strokeLine(p, t.ink, 2.6, {{5.5, 20}, {5.5, 26.5}, {26.5, 26.5}, {26.5, 20}});
}

void KIconPainter::cut(QPainter &p, const Tone &t)
{
    strokePath(p, circle(9.5, 23, 3.8), t.ink, 2.3);
    strokePath(p, circle(22.5, 23, 3.8), t.ink, 2.3);
    strokeLine(p, t.ink, 2.6, {{12, 20}, {22, 5}});
    strokeLine(p, t.ink, 2.6, {{20, 20}, {10, 5}});
}

void KIconPainter::mark(QPainter &p, const Tone &t)
{
    fillSoft(p, polygonPath({{9, 5}, {23, 5}, {23, 27}, {16, 21}, {9, 27}}), t.ink);
}

namespace {
QPainterPath folderPath()
{
    QPainterPath tab = roundedRect(4, 7, 11, 6, 1.5);
    QPainterPath body = roundedRect(4, 10, 24, 16, 2);
    return tab.united(body).subtracted(rect(4, 12.5, 24, 1.4));
}
} // namespace

void KIconPainter::folder(QPainter &p, const Tone &t)
{
    fill(p, folderPath(), t.ink);
}

void KIconPainter::openVideoSet(QPainter &p, const Tone &t)
{
    fill(p, folderPath().subtracted(polygonPath({{13, 15}, {13, 24}, {20.5, 19.5}})), t.ink);
}

void KIconPainter::trash(QPainter &p, const Tone &t)
{
    fill(p, roundedRect(6, 7, 20, 3, 1), t.ink);
    strokePath(p, roundedRect(12.5, 4, 7, 4, 1), t.ink, 1.8);
    QPainterPath body = polygonPath({{8.5, 11.5}, {23.5, 11.5}, {22, 27.5}, {10, 27.5}});
    for (qreal x : {12.6, 15.7, 18.8})
        body = body.subtracted(roundedRect(x, 14.5, 1.7, 10, 0.8));
    fill(p, body, t.ink);
}

void KIconPainter::add(QPainter &p, const Tone &t)
{
    fill(p, roundedRect(13.5, 6, 5, 20, 1).united(roundedRect(6, 13.5, 20, 5, 1)), t.ink);
}

void KIconPainter::edit(QPainter &p, const Tone &t)
{
    // A pencil lying along the diagonal, tip at the bottom left.
    QPainterPath pencil;
    pencil.addRoundedRect(QRectF(2, -3.2, 15, 6.4), 0.6, 0.6);
    pencil = pencil.united(polygonPath({{0.8, -3.2}, {0.8, 3.2}, {-5.5, 0}}));
    pencil = pencil.united(roundedRect(18.2, -3.2, 4.5, 6.4, 1.2));
    QTransform transform;
    transform.translate(7.5, 24.5);
    transform.rotate(-45);
    fill(p, transform.map(pencil), t.ink);
}

void KIconPainter::update(QPainter &p, const Tone &t)
{
    const QPointF c(16, 16);
    const qreal r = 9.5;
    strokePath(p, arc(c, r, 30, 140), t.ink, 2.6, Qt::FlatCap);
    strokePath(p, arc(c, r, 210, 140), t.ink, 2.6, Qt::FlatCap);
    // Heads at the ends of each arc, pointing along the turning direction.
    fill(p, arrowHead(onCircle(c, r, 170) + QPointF(0, 4.2), 270, 6.5, 4.5), t.ink);
    fill(p, arrowHead(onCircle(c, r, 350) + QPointF(0, -4.2), 90, 6.5, 4.5), t.ink);
}

void KIconPainter::comment(QPainter &p, const Tone &t)
{
    QPainterPath bubble = roundedRect(4.5, 5.5, 23, 16, 3);
    bubble = bubble.united(polygonPath({{9, 20}, {9, 27.5}, {16.5, 20}}));
    bubble = bubble.subtracted(roundedRect(9, 10, 14, 2.2, 1));
    bubble = bubble.subtracted(roundedRect(9, 14.5, 9.5, 2.2, 1));
    fill(p, bubble, t.ink);
}

void KIconPainter::importExport(QPainter &p, const Tone &t)
{
    fill(p, rect(8.8, 11, 4.4, 16).united(polygonPath({{4, 12.5}, {18, 12.5}, {11, 4.5}})), t.ink);
    fill(p, rect(18.8, 5, 4.4, 16).united(polygonPath({{14, 19.5}, {28, 19.5}, {21, 27.5}})),
         t.ink);
}

// --- main tool bar ---------------------------------------------------------------------------

void KIconPainter::objectPreview(QPainter &p, const Tone &t)
{
    fill(p, camcorder(QRectF(3, 9.5, 18, 13)), t.ink);
    // The live dot.
    fill(p, circle(8, 14.5, 2.4), t.accent == accentColour() ? redColour() : t.accent);
}

void KIconPainter::objectPlayback(QPainter &p, const Tone &t)
{
    // A clock with a backward arrow around it: the recorded past.
    const QPointF c(16, 16.5);
    strokePath(p, arc(c, 10.5, 110, 285), t.ink, 2.6, Qt::FlatCap);
    fill(p, arrowHead(onCircle(c, 10.5, 110) + QPointF(-2.5, -1), 200, 6.5, 4.2), t.ink);
    strokeLine(p, t.accent, 2.4, {{16, 10.5}, {16, 16.5}, {20.5, 19.5}});
}

void KIconPainter::objectDownload(QPainter &p, const Tone &t)
{
    // A disk drive receiving a download.
    fill(p, rect(13.8, 3.5, 4.4, 8).united(polygonPath({{9, 11}, {23, 11}, {16, 18}})), t.accent);
    QPainterPath drive = roundedRect(4, 19.5, 24, 9, 2);
    drive = drive.subtracted(circle(23, 24, 1.6));
    drive = drive.subtracted(roundedRect(7.5, 23.2, 9, 1.6, 0.8));
    fill(p, drive, t.ink);
}

void KIconPainter::autodownload(QPainter &p, const Tone &t)
{
    // A queue of tasks, fetched one after another into the drive below.
    for (int i = 0; i < 3; ++i)
        fill(p, roundedRect(3.5, 5 + i * 6.5, 14, 3.6, 1.2), t.ink);
    fill(p, rect(22.3, 3.5, 3.4, 9).united(polygonPath({{18.5, 12}, {29.5, 12}, {24, 18.5}})),
         t.accent);
    QPainterPath drive = roundedRect(3.5, 21, 25, 7.5, 2);
    drive = drive.subtracted(circle(24, 24.75, 1.4));
    fill(p, drive, t.ink);
}

void KIconPainter::videoPlayer(QPainter &p, const Tone &t)
{
    QPainterPath strip = roundedRect(4, 5, 24, 22, 2);
    for (int i = 0; i < 5; ++i) {
        const qreal y = 7 + i * 3.8;
        strip = strip.subtracted(rect(5.6, y, 2.4, 2.2));
        strip = strip.subtracted(rect(24, y, 2.4, 2.2));
    }
    strip = strip.subtracted(roundedRect(9.5, 7, 13, 18, 1));
    fill(p, strip, t.ink);
    fillSoft(p, polygonPath({{13.5, 11.5}, {13.5, 20.5}, {20, 16}}), t.accent, 1.2);
}

void KIconPainter::settings(QPainter &p, const Tone &t)
{
    // A gear with eight teeth.
    const QPointF c(16, 16);
    const int teeth = 8;
    QPolygonF outline;
    for (int i = 0; i < teeth; ++i) {
        const qreal base = i * 360.0 / teeth;
        outline << onCircle(c, 9.5, base - 17) << onCircle(c, 12.5, base - 10)
                << onCircle(c, 12.5, base + 10) << onCircle(c, 9.5, base + 17);
    }
    QPainterPath gear;
    gear.addPolygon(outline);
    gear.closeSubpath();
    gear = gear.subtracted(circle(16, 16, 4.2));
    fillSoft(p, gear, t.ink, 1.0);
    strokePath(p, circle(16, 16, 4.2), t.accent, 1.6);
}

// --- message icons (40 units) ----------------------------------------------------------------

void KIconPainter::question(QPainter &p)
{
    fill(p, circle(20, 20, 18), accentColour());
    QPainterPath mark = arc(QPointF(20, 15.5), 5.5, 165, -255);
    mark.lineTo(20, 24);
    strokePath(p, mark, Qt::white, 3.6);
    fill(p, circle(20, 30, 2.3), Qt::white);
}

void KIconPainter::warning(QPainter &p)
{
    fillSoft(p, polygonPath({{20, 3.5}, {37.5, 34.5}, {2.5, 34.5}}), amberColour(), 3.0);
    strokeLine(p, inkColour(), 3.6, {{20, 14}, {20, 24.5}});
    fill(p, circle(20, 30, 2.3), inkColour());
}

void KIconPainter::critical(QPainter &p)
{
    fill(p, circle(20, 20, 18), redColour());
    strokeLine(p, Qt::white, 3.8, {{13.5, 13.5}, {26.5, 26.5}});
    strokeLine(p, Qt::white, 3.8, {{26.5, 13.5}, {13.5, 26.5}});
}

void KIconPainter::success(QPainter &p)
{
    fill(p, circle(20, 20, 18), greenColour());
    strokeLine(p, Qt::white, 3.8, {{11.5, 20.5}, {17.5, 26.5}, {28.5, 14}});
}

// --- spinner (35 units) ----------------------------------------------------------------------

void KIconPainter::spinner(QPainter &p, int frame)
{
    const int dots = 7;
    const QPointF c(17.5, 17.5);
    const QColor rest(0xc4, 0xc9, 0xcf);
    for (int i = 0; i < dots; ++i) {
        // Dot i sits clockwise from 12 o'clock.
        const qreal deg = 90 - i * 360.0 / dots;
        QColor colour = rest;
        qreal radius = 3.0;
        if (frame > 0) {
            // How many steps dot i lags behind the head of the frame.
            const int lag = ((frame - 1) - i + dots) % dots;
            const qreal strength[] = {1.0, 0.7, 0.45, 0.25};
            if (lag < 4) {
                const qreal s = strength[lag];
                const QColor a = accentColour();
                colour = QColor::fromRgbF(rest.redF() + (a.redF() - rest.redF()) * s,
                                          rest.greenF() + (a.greenF() - rest.greenF()) * s,
                                          rest.blueF() + (a.blueF() - rest.blueF()) * s);
                radius = 3.0 + 0.9 * s;
            }
        }
        fill(p, circle(onCircle(c, 11, deg).x(), onCircle(c, 11, deg).y(), radius), colour);
    }
}

// --- title bar (20 units) --------------------------------------------------------------------

void KIconPainter::windowClose(QPainter &p, const QColor &ink)
{
    strokeLine(p, ink, 1.8, {{5.5, 5.5}, {14.5, 14.5}});
    strokeLine(p, ink, 1.8, {{14.5, 5.5}, {5.5, 14.5}});
}

void KIconPainter::windowMaximize(QPainter &p, const QColor &ink)
{
    p.save();
    p.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(5, 5.5, 10, 9));
    p.restore();
    fill(p, rect(4.3, 4.8, 11.4, 2.6), ink);
}

void KIconPainter::windowMinimize(QPainter &p, const QColor &ink)
{
    fill(p, rect(5, 13, 10, 2), ink);
}

void KIconPainter::appInfo(QPainter &p, const QColor &ink)
{
    strokePath(p, circle(10, 10, 7), ink, 1.5);
    fill(p, circle(10, 6.6, 1.2), ink);
    fill(p, roundedRect(9.1, 8.8, 1.8, 5.4, 0.5), ink);
}

// --- small glyphs ----------------------------------------------------------------------------

void KIconPainter::check(QPainter &p, const QColor &ink)
{
    strokeLine(p, ink, 2.0, {{2.3, 6.3}, {4.9, 8.9}, {9.8, 3.3}});
}

void KIconPainter::arrow(QPainter &p, const QColor &ink, int direction)
{
    // A small filled triangle on the 10 grid, pointing right, then rotated.
    p.save();
    p.translate(5, 5);
    p.rotate(90 * direction);
    fillSoft(p, polygonPath({{-1.9, -3.5}, {-1.9, 3.5}, {2.1, 0}}), ink, 0.8);
    p.restore();
}

void KIconPainter::listOpen(QPainter &p, const QColor &ink)
{
    fillSoft(p, polygonPath({{4, 6}, {12, 6}, {8, 10.5}}), ink, 1.0);
}

void KIconPainter::search(QPainter &p, const QColor &ink)
{
    strokePath(p, circle(6.5, 6.5, 4.3), ink, 1.8);
    strokeLine(p, ink, 2.4, {{9.8, 9.8}, {14, 14}});
}

// --- application icon (64 units) -------------------------------------------------------------

void KIconPainter::application(QPainter &p)
{
    QLinearGradient gradient(0, 0, 0, 64);
    gradient.setColorAt(0, QColor(0x3d, 0x93, 0xe6));
    gradient.setColorAt(1, QColor(0x1a, 0x5f, 0xae));
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(gradient);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 13, 13);
    p.restore();
    QPainterPath glyph = camcorder(QRectF(11, 20, 28, 22));
    glyph = glyph.subtracted(circle(20, 31, 6));
    fill(p, glyph, Qt::white);
    fill(p, circle(20, 31, 3.5), redColour());
}
