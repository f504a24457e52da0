#include "KIconCatalog.h"

#include "KIconPainter.h"

#include <QBuffer>
#include <QDataStream>
#include <QHash>
#include <QPainter>

#include <functional>

namespace {

struct Picture
{
    int size = 32;   // pixels, square
    qreal grid = 32; // design units across
    std::function<void(QPainter &)> draw;
};

using Glyph = std::function<void(QPainter &, const KIconPainter::Tone &)>;
using SmallGlyph = std::function<void(QPainter &, const QColor &)>;

QHash<QString, Picture> buildCatalog()
{
    QHash<QString, Picture> catalog;
    const KIconPainter::Tone normal = KIconPainter::normalTone();
    const KIconPainter::Tone disabled = KIconPainter::disabledTone();
    const KIconPainter::Tone hover = KIconPainter::hoverTone();

    // A 32 px glyph with its variants; suffixes is e.g. {"", "_d"}.
    auto glyph = [&](const QString &base, const Glyph &draw, const QStringList &suffixes) {
        for (const QString &suffix : suffixes) {
            KIconPainter::Tone tone = normal;
            if (suffix == QLatin1String("_d") || suffix == QLatin1String("_cd"))
                tone = disabled;
            else if (suffix == QLatin1String("_h") || suffix == QLatin1String("_p"))
                tone = hover;
            catalog.insert(base + suffix + QLatin1String(".png"),
                           {32, 32, [draw, tone](QPainter &p) { draw(p, tone); }});
        }
    };
    auto small = [&](const QString &name, int size, qreal grid, const SmallGlyph &draw,
                     const QColor &colour) {
        catalog.insert(name + QLatin1String(".png"),
                       {size, grid, [draw, colour](QPainter &p) { draw(p, colour); }});
    };
    const QStringList plain{QString()};
    const QStringList withDisabled{QString(), QStringLiteral("_d")};

    glyph(QStringLiteral("play"), KIconPainter::play, withDisabled);
    glyph(QStringLiteral("pause"), KIconPainter::pause, withDisabled);
    glyph(QStringLiteral("stop"), KIconPainter::stop, withDisabled);
    glyph(QStringLiteral("playfaster"), KIconPainter::playFaster, withDisabled);
    glyph(QStringLiteral("playslower"), KIconPainter::playSlower, withDisabled);
    glyph(QStringLiteral("snapshot"), KIconPainter::snapshot, withDisabled);
    glyph(QStringLiteral("sound"), KIconPainter::sound, withDisabled);
    glyph(QStringLiteral("fullscreen"), KIconPainter::fullscreen, withDisabled);
    glyph(QStringLiteral("maximize"), KIconPainter::enlarge, withDisabled);
    glyph(QStringLiteral("minimize"), KIconPainter::reduce, withDisabled);
    glyph(QStringLiteral("download"), KIconPainter::download, withDisabled);
    glyph(QStringLiteral("cut"), KIconPainter::cut, withDisabled);
    glyph(QStringLiteral("mark"), KIconPainter::mark, withDisabled);
    glyph(QStringLiteral("folder"), KIconPainter::folder, withDisabled);
    glyph(QStringLiteral("openvideoset"), KIconPainter::openVideoSet, withDisabled);
    glyph(QStringLiteral("delete"), KIconPainter::trash, withDisabled);
    glyph(QStringLiteral("add"), KIconPainter::add, withDisabled);
    glyph(QStringLiteral("edit"), KIconPainter::edit, withDisabled);
    glyph(QStringLiteral("update"), KIconPainter::update,
          {QString(), QStringLiteral("_d"), QStringLiteral("_p")});
    glyph(QStringLiteral("comment"), KIconPainter::comment, plain);
    glyph(QStringLiteral("import_export"), KIconPainter::importExport, plain);
    glyph(QStringLiteral("object_preview"), KIconPainter::objectPreview, plain);
    glyph(QStringLiteral("object_playback"), KIconPainter::objectPlayback, plain);
    glyph(QStringLiteral("object_download"), KIconPainter::objectDownload, withDisabled);
    glyph(QStringLiteral("autodownload"), KIconPainter::autodownload, plain);
    glyph(QStringLiteral("videoplayer"), KIconPainter::videoPlayer, plain);
    glyph(QStringLiteral("system_settings"), KIconPainter::settings, plain);

    // Muted sound: the speaker crossed out in red (greyed when disabled).
    const KIconPainter::Tone muted{normal.ink, KIconPainter::redColour()};
    const KIconPainter::Tone mutedDisabled{disabled.ink, QColor(0xe2, 0xb4, 0xb1)};
    catalog.insert(QStringLiteral("sound_c.png"),
                   {32, 32, [muted](QPainter &p) { KIconPainter::soundMuted(p, muted); }});
    catalog.insert(QStringLiteral("sound_cd.png"), {32, 32, [mutedDisabled](QPainter &p) {
                                                        KIconPainter::soundMuted(p, mutedDisabled);
                                                    }});

    // Grid arrangements: columns x rows.
    const struct
    {
        const char *name;
        int columns;
        int rows;
    } arrangements[] = {{"1view", 1, 1},  {"2views", 2, 1},  {"4views", 2, 2},  {"6views", 3, 2},
                        {"8views", 4, 2}, {"12views", 4, 3}, {"16views", 4, 4}, {"24views", 6, 4}};
    for (const auto &a : arrangements) {
        const int columns = a.columns;
        const int rows = a.rows;
        glyph(
            QLatin1String(a.name),
            [columns, rows](QPainter &p, const KIconPainter::Tone &t) {
                KIconPainter::views(p, t, columns, rows);
            },
            withDisabled);
    }

    // Message icons, 40 px.
    catalog.insert(QStringLiteral("dialog.png"), {40, 40, KIconPainter::question});
    catalog.insert(QStringLiteral("warning.png"), {40, 40, KIconPainter::warning});
    catalog.insert(QStringLiteral("critical.png"), {40, 40, KIconPainter::critical});
    catalog.insert(QStringLiteral("success.png"), {40, 40, KIconPainter::success});

    // Spinner, 35 px: the resting picture and seven frames.
    catalog.insert(QStringLiteral("progress.png"),
                   {35, 35, [](QPainter &p) { KIconPainter::spinner(p, 0); }});
    for (int frame = 1; frame <= 7; ++frame) {
        catalog.insert(QStringLiteral("progress%1.png").arg(frame),
                       {35, 35, [frame](QPainter &p) { KIconPainter::spinner(p, frame); }});
    }

    // Title bar buttons, 20 px.
    const QColor ink = KIconPainter::inkColour();
    const QColor hoverInk = KIconPainter::hoverColour();
    small(QStringLiteral("window_close"), 20, 20, KIconPainter::windowClose, ink);
    small(QStringLiteral("window_close_h"), 20, 20, KIconPainter::windowClose,
          KIconPainter::redColour());
    small(QStringLiteral("window_maximize"), 20, 20, KIconPainter::windowMaximize, ink);
    small(QStringLiteral("window_maximize_h"), 20, 20, KIconPainter::windowMaximize, hoverInk);
    small(QStringLiteral("window_minimize"), 20, 20, KIconPainter::windowMinimize, ink);
    small(QStringLiteral("window_minimize_h"), 20, 20, KIconPainter::windowMinimize, hoverInk);
    small(QStringLiteral("appinfo"), 20, 20, KIconPainter::appInfo, ink);
    small(QStringLiteral("appinfo_h"), 20, 20, KIconPainter::appInfo, hoverInk);

    // Check marks of check boxes and table cells, 12 px.
    const QColor disabledInk = KIconPainter::disabledColour();
    small(QStringLiteral("check"), 12, 12, KIconPainter::check, ink);
    small(QStringLiteral("check_h"), 12, 12, KIconPainter::check, hoverInk);
    small(QStringLiteral("check_d"), 12, 12, KIconPainter::check, disabledInk);

    // Arrows of tree branches, drop-downs, spin boxes and tab scrolling, 10 px.
    auto arrow = [&](const QString &name, int direction, const QColor &colour) {
        small(
            name, 10, 10,
            [direction](QPainter &p, const QColor &c) { KIconPainter::arrow(p, c, direction); },
            colour);
    };
    arrow(QStringLiteral("branchopen"), 1, ink);
    arrow(QStringLiteral("branchopen_h"), 1, hoverInk);
    arrow(QStringLiteral("branchopen_d"), 1, disabledInk);
    arrow(QStringLiteral("branchclosed"), 0, ink);
    arrow(QStringLiteral("branchclosed_h"), 0, hoverInk);
    arrow(QStringLiteral("branchup"), 3, ink);
    arrow(QStringLiteral("branchup_d"), 3, disabledInk);
    arrow(QStringLiteral("scrollright"), 0, ink);
    arrow(QStringLiteral("scrollright_d"), 0, disabledInk);
    arrow(QStringLiteral("scrollleft"), 2, ink);
    arrow(QStringLiteral("scrollleft_d"), 2, disabledInk);

    // The channel selector sits on the selection colour: a white arrow.
    small(QStringLiteral("channellistopen"), 16, 16, KIconPainter::listOpen, Qt::white);
    small(QStringLiteral("channellistopen_d"), 16, 16, KIconPainter::listOpen,
          QColor(255, 255, 255, 120));
    // Background hint of search fields, drawn at its own size: keep it quiet.
    small(QStringLiteral("search"), 16, 16, KIconPainter::search, QColor(0x8a, 0x90, 0x99));
    return catalog;
}

const QHash<QString, Picture> &catalog()
{
    static const QHash<QString, Picture> pictures = buildCatalog();
    return pictures;
}

QImage paint(int size, qreal grid, const std::function<void(QPainter &)> &draw)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / grid, size / grid);
    draw(painter);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

QImage KIconCatalog::render(const QString &name)
{
    const auto it = catalog().constFind(name);
    if (it == catalog().constEnd())
        return QImage();
    return paint(it->size, it->grid, it->draw);
}

QImage KIconCatalog::applicationIcon(int size)
{
    return paint(size, 64, KIconPainter::application);
}

QByteArray KIconCatalog::icoFile(const QVector<int> &sizes)
{
    // ICO with uncompressed 32-bit entries: a BITMAPINFOHEADER, the BGRA rows bottom-up and an
    // all-zero AND mask (transparency comes from the alpha channel).
    QVector<QByteArray> entries;
    for (int size : sizes) {
        const QImage image = applicationIcon(size);
        QByteArray data;
        QDataStream out(&data, QIODevice::WriteOnly);
        out.setByteOrder(QDataStream::LittleEndian);
        const int maskStride = ((size + 31) / 32) * 4;
        out << quint32(40) << qint32(size) << qint32(size * 2) << quint16(1) << quint16(32)
            << quint32(0) << quint32(size * size * 4 + maskStride * size) << qint32(0) << qint32(0)
            << quint32(0) << quint32(0);
        for (int y = size - 1; y >= 0; --y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < size; ++x) {
                out << quint8(qBlue(line[x])) << quint8(qGreen(line[x])) << quint8(qRed(line[x]))
                    << quint8(qAlpha(line[x]));
            }
        }
        data.append(QByteArray(maskStride * size, '\0'));
        entries.append(data);
    }

    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(entries.size());
    quint32 offset = 6 + 16 * quint32(entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        const int size = sizes.at(i);
        out << quint8(size >= 256 ? 0 : size) << quint8(size >= 256 ? 0 : size) << quint8(0)
            << quint8(0) << quint16(1) << quint16(32) << quint32(entries.at(i).size()) << offset;
        offset += quint32(entries.at(i).size());
    }
    for (const QByteArray &entry : entries)
        out.writeRawData(entry.constData(), entry.size());
    return file;
}
