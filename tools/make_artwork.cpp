// Writes the tuner's artwork as 24-bit BMP files: the logo with its opacity picture, the two
// glyph strips (colour amount + bevel), the printed scale and the needle hub.
//
//   make_artwork <font-directory> <output-directory>
//
// Everything is drawn from vector shapes and the DejaVu fonts (Debian fonts-dejavu-core), as
// filled paths with the same antialiasing on every run, so every build writes the same bytes.

#include "display/BmpFile.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRadialGradient>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

QString g_family;

// Outline of a text at the origin (baseline at y 0), scaled to the requested pixel size
// independent of the screen's resolution.
QPainterPath TextPath(const QString& text, double pixelSize, bool bold = true) {
    QFont font(g_family);
    font.setPixelSize(100);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    QPainterPath path;
    path.addText(0, 0, font, text);
    QTransform scale;
    scale.scale(pixelSize / 100.0, pixelSize / 100.0);
    return scale.map(path);
}

QImage Coverage(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

double Alpha(const QImage& coverage, int x, int y) {
    if (x < 0 || y < 0 || x >= coverage.width() || y >= coverage.height())
        return 0.0;
    return qAlpha(coverage.pixel(x, y)) / 255.0;
}

QRgb Grey(int v) {
    v = std::clamp(v, 0, 255);
    return qRgb(v, v, v);
}

// ---- glyph strips -------------------------------------------------------------------------

constexpr int kStripHeight = 27;
constexpr double kBaseline = 23.5;
constexpr double kCapHeight = 21.0;

// Fills path into its cell, ink centred on centreX, bottom of the ink on the baseline and the
// ink scaled to the given height (0 keeps the font's size).
void PlaceGlyph(QPainter& painter, QPainterPath path, double centreX, double inkHeight,
                double bottom = kBaseline) {
    QRectF box = path.boundingRect();
    if (inkHeight > 0.0) {
        const double s = inkHeight / box.height();
        QTransform t;
        t.scale(s, s);
        path = t.map(path);
        box = path.boundingRect();
    }
    path.translate(centreX - box.center().x(), bottom - box.bottom());
    painter.fillPath(path, Qt::white);
}

void FillRounded(QPainter& painter, const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    painter.fillPath(path, Qt::white);
}

// Turns glyph coverage into the colour-amount picture (blue 0 = text colour, 255 = white)
// and the bevel picture (a raised face lit from the top left: light edges keep the colour,
// the face is a little darker, edges facing away fall into shadow).
void WriteStrip(const QImage& coverage, const std::string& amountFile,
                const std::string& bevelFile) {
    const int w = coverage.width();
    const int h = coverage.height();
    std::vector<double> a(static_cast<std::size_t>(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            a[static_cast<std::size_t>(y * w + x)] = Alpha(coverage, x, y);
    auto at = [&](const std::vector<double>& v, int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return 0.0;
        return v[static_cast<std::size_t>(y * w + x)];
    };
    // A softened height field: 3 x 3 box blur of the coverage.
    std::vector<double> height(a.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double sum = 0.0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    sum += at(a, x + dx, y + dy);
            height[static_cast<std::size_t>(y * w + x)] = sum / 9.0;
        }
    QImage amount(w, h, QImage::Format_RGB32);
    QImage bevel(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double c = at(a, x, y);
            // Slope towards the light: positive on edges facing the top left.
            const double slope = at(height, x + 1, y + 1) - at(height, x - 1, y - 1);
            const double face = std::clamp(206.0 + 170.0 * slope, 70.0, 255.0);
            amount.setPixel(x, y, Grey(static_cast<int>(std::lround(255.0 * (1.0 - c)))));
            bevel.setPixel(x, y, Grey(static_cast<int>(std::lround(255.0 * (1.0 - c) + face * c))));
        }
    if (!bmp::Write(amount, amountFile) || !bmp::Write(bevel, bevelFile)) {
        std::fprintf(stderr, "make_artwork: cannot write %s\n", amountFile.c_str());
        std::exit(1);
    }
}

// The font's music signs are drawn with hairlines; the accidentals here are built with the
// same stroke weight as the bold letters.
QPainterPath SharpPath(double c) {
    QPainterPath path;
    const double stem = 2.8;
    path.addRect(QRectF(c - 4.0 - stem / 2.0, 4.0, stem, 19.5));
    path.addRect(QRectF(c + 3.0 - stem / 2.0, 2.5, stem, 19.5));
    for (double y : {9.5, 16.5}) {
        QPainterPath bar;
        bar.moveTo(c - 8.5, y + 2.0);
        bar.lineTo(c + 7.5, y - 2.0);
        bar.lineTo(c + 7.5, y + 2.2);
        bar.lineTo(c - 8.5, y + 6.2);
        bar.closeSubpath();
        path = path.united(bar);
    }
    return path.united(path); // merge overlaps so the fill has no seams
}

QPainterPath FlatPath(double c) {
    QPainterPath stem;
    stem.addRect(QRectF(c - 6.5, 2.0, 3.2, 21.5));
    QPainterPath bowl;
    bowl.moveTo(c - 5.0, 15.0);
    bowl.cubicTo(c - 1.0, 10.5, c + 7.0, 11.0, c + 5.2, 16.2);
    bowl.cubicTo(c + 4.2, 19.4, c, 21.6, c - 5.0, 22.2);
    QPainterPathStroker stroker;
    stroker.setWidth(3.4);
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stem.united(stroker.createStroke(bowl));
}

void MakeNotes(const std::string& dir) {
    const std::array<int, 10> edges = {0, 32, 60, 90, 119, 146, 170, 200, 225, 249};
    const std::array<QString, 9> text = {
        "A", "B", "C", "D", "E", "F", "G", QString(QChar(0x266F)), QString(QChar(0x266D))};
    QImage coverage = Coverage(edges.back(), kStripHeight);
    QPainter painter(&coverage);
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (std::size_t k = 0; k + 1 < edges.size(); ++k) {
        const double centre = (edges[k] + edges[k + 1]) / 2.0;
        painter.save();
        painter.setClipRect(QRect(edges[k], 0, edges[k + 1] - edges[k], kStripHeight));
        if (k < 7)
            PlaceGlyph(painter, TextPath(text[k], 28.0), centre, kCapHeight);
        else if (k == 7)
            painter.fillPath(SharpPath(centre), Qt::white);
        else
            painter.fillPath(FlatPath(centre), Qt::white);
        painter.restore();
    }
    painter.end();
    WriteStrip(coverage, dir + "/NotesClr.bmp", dir + "/NotesBev.bmp");
}

void MakeDigits(const std::string& dir) {
    const std::array<int, 14> edges = {0,   26,  50,  75,  99,  125, 150,
                                       175, 200, 225, 250, 286, 299, 321};
    QImage coverage = Coverage(edges.back(), kStripHeight);
    QPainter painter(&coverage);
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (int d = 0; d < 10; ++d) {
        painter.save();
        painter.setClipRect(QRect(edges[d], 0, edges[d + 1] - edges[d], kStripHeight));
        // Every digit centred on the same offset, since the number area sets digits on a
        // 25-pixel pitch; the ink stays inside the narrowest (24-pixel) cell.
        PlaceGlyph(painter, TextPath(QString::number(d), 28.0), edges[d] + 11.5, kCapHeight);
        painter.restore();
    }
    // Percent sign.
    painter.save();
    painter.setClipRect(QRect(edges[10], 0, edges[11] - edges[10], kStripHeight));
    PlaceGlyph(painter, TextPath("%", 28.0), (edges[10] + edges[11]) / 2.0, kCapHeight);
    painter.restore();
    // Minus and plus share one bar so that the sign changes in place. The plus keeps its ink
    // below row 20 inside the minus's columns, where a change to minus paints over it.
    const double barTop = 11.0;
    const double barHeight = 4.5;
    FillRounded(painter, QRectF(edges[11] + 1.5, barTop, 10.0, barHeight), 1.0);
    FillRounded(painter, QRectF(edges[12] + 2.0, barTop, 18.0, barHeight), 1.0);
    FillRounded(painter, QRectF(edges[12] + 8.75, barTop + barHeight / 2.0 - 9.0, barHeight, 18.0),
                1.0);
    painter.end();
    WriteStrip(coverage, dir + "/NumClr.bmp", dir + "/NumBev.bmp");
}

// ---- scale label --------------------------------------------------------------------------

// The label lies at panel (2, 59); the needle pivots at panel (120, 270), so at (118, 211) in
// label coordinates, and its tip reaches radius 182 (184.5 with the pen's round cap).
constexpr double kPivotX = 118.0;
constexpr double kPivotY = 211.0;

QPointF Polar(double percent, double radius) {
    const double phi = percent * 0.6 * kPi / 180.0;
    return {kPivotX + radius * std::sin(phi), kPivotY - radius * std::cos(phi)};
}

void MakeLabel(const std::string& dir) {
    QImage image(236, 70, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QColor ink(58, 62, 72);
    const QColor soft(128, 132, 140);
    const QColor inTune(46, 160, 67);

    // The in-tune zone, +-5 percent, as a green band just outside the needle's reach.
    {
        QPainterPath band;
        const double r0 = 187.0;
        const double r1 = 192.0;
        band.moveTo(Polar(-5, r0));
        for (int i = -50; i <= 50; ++i)
            band.lineTo(Polar(i / 10.0, r0));
        for (int i = 50; i >= -50; --i)
            band.lineTo(Polar(i / 10.0, r1));
        band.closeSubpath();
        painter.fillPath(band, QColor(120, 200, 130));
    }
    // Base arc.
    {
        QPainterPath arc;
        arc.moveTo(Polar(-50, 187.0));
        for (int i = -500; i <= 500; ++i)
            arc.lineTo(Polar(i / 10.0, 187.0));
        painter.strokePath(arc, QPen(soft, 1.2));
    }
    // Ticks: every 5 percent, longer every 10, longest at 0.
    for (int p = -50; p <= 50; p += 5) {
        double r1 = 193.0;
        double width = 1.2;
        QColor colour = soft;
        if (p % 10 == 0) {
            r1 = 197.0;
            width = 1.8;
            colour = ink;
        }
        if (p == 0) {
            r1 = 199.0;
            width = 2.4;
            colour = inTune.darker(120);
        }
        painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(Polar(p, 187.0), Polar(p, r1));
    }
    // Numbers at every 10 percent, signed, centred on their tick's direction.
    for (int p = -50; p <= 50; p += 10) {
        const QString text =
            p == 0 ? QString("0") : (p > 0 ? QString("+%1").arg(p) : QString("%1").arg(p));
        QPainterPath path = TextPath(text, p == 0 ? 10.0 : 9.0);
        const QPointF centre = Polar(p, 205.0);
        const QRectF box = path.boundingRect();
        path.translate(centre - box.center());
        painter.fillPath(path, p == 0 ? inTune.darker(120) : ink);
    }
    // Flat and sharp at the two ends say which way to turn the peg.
    {
        QTransform t;
        t.scale(0.6, 0.6);
        QPainterPath flat = t.map(FlatPath(12.0));
        flat.translate(QPointF(10.0, 60.0) - flat.boundingRect().center());
        painter.fillPath(flat, soft);
        QPainterPath sharp = t.map(SharpPath(12.0));
        sharp.translate(QPointF(226.0, 60.0) - sharp.boundingRect().center());
        painter.fillPath(sharp, soft);
    }
    painter.end();
    if (!bmp::Write(image, dir + "/Label.bmp")) {
        std::fprintf(stderr, "make_artwork: cannot write Label.bmp\n");
        std::exit(1);
    }
}

// ---- hub ----------------------------------------------------------------------------------

// Drawn at panel (91, 232); white is transparent. The dome's centre lies at panel (120, 261),
// so it covers the needle's inner end (radius 30 from the pivot) at every angle, and it stops
// above the panel's two-pixel edge (rows 255, 256).
void MakeHub(const std::string& dir) {
    QImage image(58, 23, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QPointF centre(29.0, 29.0);
    const double radius = 26.5;
    QRadialGradient shade(centre + QPointF(-9.0, -14.0), radius * 1.25);
    shade.setColorAt(0.0, QColor(236, 238, 242));
    shade.setColorAt(0.55, QColor(150, 156, 166));
    shade.setColorAt(1.0, QColor(72, 76, 86));
    painter.setPen(QPen(QColor(60, 64, 72), 1.2));
    painter.setBrush(shade);
    painter.drawEllipse(centre, radius, radius);
    painter.end();
    // Keep pure white for "transparent": no hub pixel may read as white by accident.
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const double dx = x + 0.5 - centre.x();
            const double dy = y + 0.5 - centre.y();
            if (dx * dx + dy * dy > (radius + 1.0) * (radius + 1.0))
                image.setPixel(x, y, qRgb(255, 255, 255));
            else if (image.pixel(x, y) == qRgb(255, 255, 255))
                image.setPixel(x, y, qRgb(254, 254, 254));
        }
    if (!bmp::Write(image, dir + "/Circle.bmp")) {
        std::fprintf(stderr, "make_artwork: cannot write Circle.bmp\n");
        std::exit(1);
    }
}

// ---- logo ---------------------------------------------------------------------------------

// 121 x 37, drawn at window (170, 5). The picture holds the colours; the opacity picture is
// blue 0 where the logo is solid and 255 where the window's face shows through.
void MakeLogo(const std::string& dir) {
    constexpr int kW = 121;
    constexpr int kH = 37;
    QImage layer(kW, kH, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QPainter painter(&layer);
    painter.setRenderHint(QPainter::Antialiasing, true);

    // Emblem: a small dial with a needle just right of centre.
    const QPointF c(18.0, 18.5);
    QRadialGradient face(c + QPointF(-5.0, -6.0), 20.0);
    face.setColorAt(0.0, QColor(52, 110, 196));
    face.setColorAt(1.0, QColor(18, 52, 112));
    painter.setPen(Qt::NoPen);
    painter.setBrush(face);
    painter.drawEllipse(c, 16.5, 16.5);
    painter.setPen(QPen(QColor(255, 255, 255, 230), 1.4, Qt::SolidLine, Qt::RoundCap));
    for (int p = -50; p <= 50; p += 25) {
        const double phi = p * 1.2 * kPi / 180.0;
        const QPointF dir(std::sin(phi), -std::cos(phi));
        painter.drawLine(c + dir * 10.5, c + dir * (p == 0 ? 14.5 : 13.5));
    }
    const double needle = 12.0 * 1.2 * kPi / 180.0;
    painter.setPen(QPen(QColor(255, 190, 60), 2.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(c + QPointF(0.0, 5.0),
                     c + QPointF(std::sin(needle), -std::cos(needle)) * 12.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255));
    painter.drawEllipse(c + QPointF(0.0, 5.0), 2.4, 2.4);

    // Name and line.
    QPainterPath name = TextPath("Tarvo", 22.0);
    name.translate(39.0 - name.boundingRect().left(), 20.0);
    painter.fillPath(name, QColor(24, 42, 78));
    QPainterPath line = TextPath("Instrument Tuner", 10.0, false);
    {
        // Fit the line under the name, within the logo.
        const QRectF box = line.boundingRect();
        const double s = std::min(1.0, 79.0 / box.width());
        QTransform t;
        t.scale(s, s);
        line = t.map(line);
    }
    line.translate(40.0 - line.boundingRect().left(), 32.0);
    painter.fillPath(line, QColor(70, 84, 110));
    painter.end();

    QImage picture(kW, kH, QImage::Format_RGB32);
    QImage opacity(kW, kH, QImage::Format_RGB32);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const QRgb p = layer.pixel(x, y); // unpremultiplied by pixel()
            const int a = qAlpha(p);
            picture.setPixel(x, y,
                             a == 0 ? qRgb(255, 255, 255) : qRgb(qRed(p), qGreen(p), qBlue(p)));
            opacity.setPixel(x, y, Grey(255 - a));
        }
    if (!bmp::Write(picture, dir + "/TarvoLogo.bmp") ||
        !bmp::Write(opacity, dir + "/TarvoLogoOp.bmp")) {
        std::fprintf(stderr, "make_artwork: cannot write the logo\n");
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_artwork <font-directory> <output-directory>\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString fontDir = QString::fromLocal8Bit(argv[1]);
    const std::string outDir = argv[2];
    const int regular = QFontDatabase::addApplicationFont(fontDir + "/DejaVuSans.ttf");
    const int bold = QFontDatabase::addApplicationFont(fontDir + "/DejaVuSans-Bold.ttf");
    if (regular < 0 || bold < 0) {
        std::fprintf(stderr, "make_artwork: cannot load the DejaVu fonts from %s\n", argv[1]);
        return 1;
    }
    g_family = QFontDatabase::applicationFontFamilies(bold).value(0);
    MakeNotes(outDir);
    MakeDigits(outDir);
    MakeLabel(outDir);
    MakeHub(outDir);
    MakeLogo(outDir);
    return 0;
}
