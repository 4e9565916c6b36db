// Renders the program's pictures from their SVG sources at build time.
//
//   picgen <manifest> <source folder> <Res folder> <icon folder>
//
// Each manifest line names one output: where it goes ("res": the program's
// Res folder; "icon": the pictures compiled into the program), its file or
// icon name, the SVG source, the size in pixels and the form:
//   bmp8          8-bit bitmap with a colour table (what the bitmap reader
//                 and the palette code expect of backgrounds and the splash)
//   png           PNG with transparency
//   grey          PNG, the greyed (disabled) look of the source
//   cur X Y       cursor file with the hot spot at X, Y
// A source ending in ".svgpart" is a bare 16 x 16 symbol of sym/.
// Every source takes its colours, strokes and fonts from the shared palette
// (palette.css: one rule per class, used as class="..."), and
// <include href="part.svgpart"/> lines are replaced by that file, so the
// pictures share one set of colours, strokes and common parts.
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fail(const QString& text)
{
    std::fprintf(stderr, "picgen: %s\n", qPrintable(text));
    std::exit(1);
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("cannot read %1").arg(path));
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        Fail(QStringLiteral("cannot write %1").arg(path));
}

QByteArray Expand(const QString& folder, QByteArray text, int depth = 0)
{
    if (depth > 4)
        Fail(QStringLiteral("includes nested too deep in %1").arg(folder));
    static const QRegularExpression include(
        QStringLiteral("<include\\s+href=\"([^\"]+)\"\\s*/>"));
    QString s = QString::fromUtf8(text);
    QRegularExpressionMatch m;
    while ((m = include.match(s)).hasMatch()) {
        QByteArray part = Expand(folder, ReadAll(folder + '/' + m.captured(1)), depth + 1);
        s.replace(m.capturedStart(), m.capturedLength(), QString::fromUtf8(part));
    }
    return s.toUtf8();
}

// The palette's rules by class name ("navy" -> "fill: #1F3B5C;").
QHash<QString, QString> ParsePalette(const QByteArray& css)
{
    QHash<QString, QString> rules;
    QString text = QString::fromUtf8(css);
    text.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"),
                                   QRegularExpression::DotMatchesEverythingOption));
    static const QRegularExpression rule(QStringLiteral("\\.([A-Za-z0-9_-]+)\\s*\\{([^}]*)\\}"));
    for (auto it = rule.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        rules.insert(m.captured(1), m.captured(2).trimmed());
    }
    return rules;
}

// Writes each element's class rules into its style attribute (its own style
// after them, so it wins): the SVG renderer drops class rules on elements
// that also carry a style of their own.
QByteArray ApplyPalette(const QByteArray& svg, const QHash<QString, QString>& rules,
                        const QString& source)
{
    QString text = QString::fromUtf8(svg);
    static const QRegularExpression tag(QStringLiteral("<[A-Za-z][^>]*\\bclass=\"([^\"]*)\"[^>]*>"));
    static const QRegularExpression classAttr(QStringLiteral("\\s*\\bclass=\"[^\"]*\""));
    static const QRegularExpression styleAttr(QStringLiteral("\\bstyle=\"([^\"]*)\""));
    QString out;
    qsizetype last = 0;
    for (auto it = tag.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QString element = m.captured(0);
        QString style;
        for (const QString& name : m.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (!rules.contains(name))
                Fail(QStringLiteral("%1: no palette class \"%2\"").arg(source, name));
            style += rules.value(name);
            if (!style.endsWith(QLatin1Char(';')))
                style += QLatin1Char(';');
        }
        element.remove(classAttr);
        const QRegularExpressionMatch own = styleAttr.match(element);
        if (own.hasMatch()) {
            element.replace(own.capturedStart(), own.capturedLength(),
                            QStringLiteral("style=\"%1%2\"").arg(style, own.captured(1)));
        } else {
            const qsizetype end = element.endsWith(QLatin1String("/>")) ? element.size() - 2 : element.size() - 1;
            element.insert(end, QStringLiteral(" style=\"%1\"").arg(style));
        }
        out += text.mid(last, m.capturedStart() - last) + element;
        last = m.capturedEnd();
    }
    out += text.mid(last);
    return out.toUtf8();
}

QImage Render(const QString& folder, const QString& source, const QHash<QString, QString>& palette,
              int w, int h)
{
    QByteArray text = Expand(folder, ReadAll(folder + '/' + source));
    // A bare symbol (16 x 16 units) gets its picture frame here.
    if (source.endsWith(QLatin1String(".svgpart")))
        text = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\" "
               "viewBox=\"0 0 16 16\">" + text + "</svg>";
    if (!text.contains("<svg"))
        Fail(QStringLiteral("%1 is not an SVG file").arg(source));
    text = ApplyPalette(text, palette, source);
    QSvgRenderer renderer(text);
    if (!renderer.isValid())
        Fail(QStringLiteral("%1 does not parse").arg(source));
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    renderer.render(&p, QRectF(0, 0, w, h));
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

void Put16(QByteArray& b, quint16 v) { b.append(char(v & 0xFF)).append(char(v >> 8)); }
void Put32(QByteArray& b, quint32 v)
{
    Put16(b, quint16(v & 0xFFFF));
    Put16(b, quint16(v >> 16));
}

// Flat pictures use few colours: the 256 most frequent ones make the colour
// table and every pixel takes its nearest entry (no dithering noise on the
// flat areas; the rare edge shades fall to their nearest neighbour).
QImage Quantize(const QImage& rgb)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            ++counts[line[x] | 0xFF000000u];
    }
    QVector<QPair<int, QRgb>> byCount;
    byCount.reserve(counts.size());
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        byCount.append({it.value(), it.key()});
    std::sort(byCount.begin(), byCount.end(),
              [](const auto& a, const auto& b) { return a.first != b.first ? a.first > b.first : a.second < b.second; });
    QVector<QRgb> table;
    for (int i = 0; i < byCount.size() && i < 256; ++i)
        table.append(byCount[i].second);
    QImage out(rgb.size(), QImage::Format_Indexed8);
    out.setColorTable(table);
    QHash<QRgb, int> nearest;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* dst = out.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb c = line[x] | 0xFF000000u;
            auto it = nearest.constFind(c);
            if (it == nearest.cend()) {
                int best = 0, bestDist = INT_MAX;
                for (int i = 0; i < table.size(); ++i) {
                    const int dr = qRed(c) - qRed(table[i]), dg = qGreen(c) - qGreen(table[i]),
                              db = qBlue(c) - qBlue(table[i]);
                    const int d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
                    if (d < bestDist) {
                        bestDist = d;
                        best = i;
                    }
                }
                it = nearest.insert(c, best);
            }
            dst[x] = uchar(it.value());
        }
    }
    return out;
}

// A bottom-up 8-bit bitmap with a BITMAPINFOHEADER and a full colour table.
QByteArray Bitmap8(const QImage& argb)
{
    QImage opaque(argb.size(), QImage::Format_RGB32);
    opaque.fill(Qt::white);
    QPainter p(&opaque);
    p.drawImage(0, 0, argb);
    p.end();
    QImage idx = Quantize(opaque);
    const int w = idx.width(), h = idx.height();
    const int stride = (w + 3) & ~3;
    const quint32 offset = 14 + 40 + 256 * 4;
    const quint32 imageSize = quint32(stride) * quint32(h);
    QByteArray b;
    b.append("BM");
    Put32(b, offset + imageSize);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, quint32(w));
    Put32(b, quint32(h));
    Put16(b, 1);
    Put16(b, 8);
    Put32(b, 0);
    Put32(b, imageSize);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, 256);
    Put32(b, 0);
    const QVector<QRgb> table = idx.colorTable();
    for (int i = 0; i < 256; ++i) {
        QRgb c = i < table.size() ? table[i] : qRgb(0, 0, 0);
        b.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append(char(0));
    }
    for (int y = h - 1; y >= 0; --y) {
        b.append(reinterpret_cast<const char*>(idx.constScanLine(y)), w);
        b.append(QByteArray(stride - w, '\0'));
    }
    return b;
}

QByteArray Png(const QImage& image)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        Fail(QStringLiteral("PNG encoding failed"));
    return data;
}

// A cursor file (resource type 2) holding one PNG image.
QByteArray Cursor(const QImage& image, int hx, int hy)
{
    QByteArray png = Png(image);
    QByteArray b;
    Put16(b, 0);
    Put16(b, 2);
    Put16(b, 1);
    b.append(char(image.width() & 0xFF)).append(char(image.height() & 0xFF));
    b.append(char(0)).append(char(0));
    Put16(b, quint16(hx));
    Put16(b, quint16(hy));
    Put32(b, quint32(png.size()));
    Put32(b, 6 + 16);
    b.append(png);
    return b;
}

// The disabled look: the picture in light greys, its shapes kept.
QImage Greyed(const QImage& src)
{
    QImage out = src;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            QRgb c = line[x];
            int g = qGray(c);
            int v = 150 + g * 80 / 255;
            line[x] = qRgba(v, v, v + 6 > 255 ? 255 : v + 6, qAlpha(c) * 3 / 4);
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 5)
        Fail(QStringLiteral("usage: picgen <manifest> <source folder> <Res folder> <icon folder>"));
    const QString manifest = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const QString resDir = QString::fromLocal8Bit(argv[3]);
    const QString iconDir = QString::fromLocal8Bit(argv[4]);
    const QHash<QString, QString> palette = ParsePalette(ReadAll(folder + QStringLiteral("/palette.css")));

    const QList<QByteArray> lines = ReadAll(manifest).split('\n');
    int count = 0;
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = QString::fromUtf8(lines[n]).trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QStringList f = line.split(QRegularExpression(QStringLiteral("\\s+")));
        if (f.size() < 6)
            Fail(QStringLiteral("%1:%2: too few fields").arg(manifest).arg(n + 1));
        const QString& dest = f[0];
        const QString& name = f[1];
        bool okW = false, okH = false;
        const int w = f[3].toInt(&okW), h = f[4].toInt(&okH);
        if (!okW || !okH || w <= 0 || h <= 0 || w > 4096 || h > 4096)
            Fail(QStringLiteral("%1:%2: bad size").arg(manifest).arg(n + 1));
        const QString& form = f[5];
        QString out;
        if (dest == QLatin1String("res"))
            out = resDir + '/' + name;
        else if (dest == QLatin1String("icon"))
            out = iconDir + '/' + name + QStringLiteral(".png");
        else
            Fail(QStringLiteral("%1:%2: unknown destination %3").arg(manifest).arg(n + 1).arg(dest));
        const QImage image = Render(folder, f[2], palette, w, h);
        if (form == QLatin1String("bmp8"))
            WriteAll(out, Bitmap8(image));
        else if (form == QLatin1String("png"))
            WriteAll(out, Png(image));
        else if (form == QLatin1String("grey"))
            WriteAll(out, Png(Greyed(image)));
        else if (form == QLatin1String("cur") && f.size() == 8)
            WriteAll(out, Cursor(image, f[6].toInt(), f[7].toInt()));
        else
            Fail(QStringLiteral("%1:%2: unknown form %3").arg(manifest).arg(n + 1).arg(form));
        ++count;
    }
    std::printf("picgen: %d pictures\n", count);
    return 0;
}
