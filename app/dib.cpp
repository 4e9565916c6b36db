#include "dib.h"

#include "dialog.h"

#include <QIODevice>
#include <QPainter>
#include <QWidget>

#include <cstring>

namespace {

// Bitmaps larger than this are refused rather than allocated.
constexpr int64_t kMaxDimension = 16384;
constexpr int64_t kMaxImageBytes = 256 * 1024 * 1024;

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool ReadExactly(QIODevice& file, void* into, qint64 count)
{
    return file.read(static_cast<char*>(into), count) == count;
}

int ColorsFor(const DibInfoHeader& h)
{
    if (h.biSize != 12 && h.biClrUsed != 0)
        return h.biClrUsed > 0x7FFFFFFFu ? -1 : int(h.biClrUsed);
    switch (h.biBitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

int64_t RowBytes(const DibInfoHeader& h)
{
    return ((int64_t(h.biWidth) * h.biBitCount + 31) / 32) * 4;
}

}  // namespace

CDib::CDib() { Create(16, 16); }

CDib::~CDib() = default;

bool CDib::Create(int width, int height)
{
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension)
        return false;
    DibInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = 8;
    m_header = h;
    m_colors.resize(256);
    for (int i = 0; i < 256; ++i)
        m_colors[i] = uint32_t(i) << 16 | uint32_t(i) << 8 | uint32_t(i);
    m_bits.assign(size_t(RowBytes(h) * height), 0);
    m_image = QImage();
    return true;
}

int CDib::NumColors() const { return ColorsFor(m_header); }

// Every field is checked against what the file holds: the colour count
// against the 256 entries a table has room for, the pixel rows against the
// rows the header announces, and the offset of the bits against the file.
// A file that does not add up is refused and the picture stays as it was.
bool CDib::ReadFile(QIODevice& file, int* width, int* height)
{
    const qint64 start = file.pos();
    uint8_t fh[14];
    if (!ReadExactly(file, fh, sizeof fh) || Le16(fh) != 0x4D42)
        return false;
    const uint32_t offBits = Le32(fh + 10);

    uint8_t ih[40];
    DibInfoHeader h;
    uint8_t first[4];
    if (!ReadExactly(file, first, 4))
        return false;
    const uint32_t size = Le32(first);
    bool core = false;
    if (size == 40) {
        std::memcpy(ih, first, 4);
        if (!ReadExactly(file, ih + 4, 36))
            return false;
        h.biSize = 40;
        h.biWidth = int32_t(Le32(ih + 4));
        h.biHeight = int32_t(Le32(ih + 8));
        h.biPlanes = Le16(ih + 12);
        h.biBitCount = Le16(ih + 14);
        h.biCompression = Le32(ih + 16);
        h.biSizeImage = Le32(ih + 20);
        h.biXPelsPerMeter = int32_t(Le32(ih + 24));
        h.biYPelsPerMeter = int32_t(Le32(ih + 28));
        h.biClrUsed = Le32(ih + 32);
        h.biClrImportant = Le32(ih + 36);
    } else if (size == 12) {
        core = true;
        std::memcpy(ih, first, 4);
        if (!ReadExactly(file, ih + 4, 8))
            return false;
        h.biSize = 12;
        h.biWidth = Le16(ih + 4);
        h.biHeight = Le16(ih + 6);
        h.biPlanes = Le16(ih + 8);
        h.biBitCount = Le16(ih + 10);
    } else {
        return false;
    }
    if (width)
        *width = h.biWidth;
    if (height)
        *height = h.biHeight;

    // Only uncompressed bottom-up pictures of the usual depths are drawn.
    if (h.biPlanes != 1 || h.biCompression != 0)
        return false;
    switch (h.biBitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return false;
    }
    if (h.biWidth <= 0 || h.biHeight <= 0 || h.biWidth > kMaxDimension || h.biHeight > kMaxDimension)
        return false;
    const int colors = ColorsFor(h);
    if (colors < 0 || colors > 256)
        return false;
    if (h.biBitCount <= 8 && colors > (1 << h.biBitCount))
        return false;

    QVector<uint32_t> table(colors);
    const int entry = core ? 3 : 4;
    std::vector<uint8_t> raw(size_t(colors) * size_t(entry));
    if (!raw.empty() && !ReadExactly(file, raw.data(), qint64(raw.size())))
        return false;
    for (int i = 0; i < colors; ++i) {
        const uint8_t* e = raw.data() + size_t(i) * size_t(entry);
        table[i] = uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0];
    }

    const int64_t tableEnd = 14 + int64_t(size) + int64_t(colors) * entry;
    const int64_t imageBytes = RowBytes(h) * h.biHeight;
    if (imageBytes <= 0 || imageBytes > kMaxImageBytes || int64_t(offBits) < tableEnd)
        return false;
    if (file.size() > 0 && start + int64_t(offBits) + imageBytes > file.size())
        return false;
    std::vector<uint8_t> bits(static_cast<size_t>(imageBytes));
    if (!file.seek(start + offBits) || !ReadExactly(file, bits.data(), imageBytes))
        return false;

    if (core)
        h.biSize = 40;
    m_header = h;
    m_colors = std::move(table);
    m_bits = std::move(bits);
    m_image = QImage();
    return true;
}

const QImage& CDib::Image() const
{
    if (!m_image.isNull())
        return m_image;
    const int w = m_header.biWidth, h = m_header.biHeight;
    const int64_t stride = RowBytes(m_header);
    QImage img(w, h, QImage::Format_RGB32);
    auto color = [this](int index) -> QRgb {
        return index < m_colors.size() ? (m_colors[index] | 0xFF000000u) : qRgb(0, 0, 0);
    };
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = m_bits.data() + (h - 1 - y) * stride;
        auto* out = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            switch (m_header.biBitCount) {
            case 1: out[x] = color((row[x / 8] >> (7 - x % 8)) & 1); break;
            case 4: out[x] = color((row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F); break;
            case 8: out[x] = color(row[x]); break;
            case 16: {
                const uint16_t v = Le16(row + 2 * x);
                out[x] = qRgb(((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31);
                break;
            }
            case 24: out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]); break;
            default: out[x] = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]); break;
            }
        }
    }
    m_image = img;
    return m_image;
}

void CDib::Draw(QPainter& painter, const QWidget* window, int x, int y) const
{
    const QSize size = window ? window->size() : QSize(GetWidth(), GetHeight());
    painter.drawImage(QRect(QPoint(x, y), size), Image());
}

void CDib::DrawPart(QPainter& painter, int x, int y, int width, int height) const
{
    const QRect dest = DluToPixels(QRect(x, y, width, height));
    const QRect source(x * kPictureWidth / kFormDluWidth, y * kPictureHeight / kFormDluHeight,
                       width * kPictureWidth / kFormDluWidth,
                       height * kPictureHeight / kFormDluHeight);
    painter.drawImage(dest, Image(), source);
}

bool CDibPalette::Create(const CDib& dib)
{
    m_entries.clear();
    const int n = dib.NumColors();
    if (n <= 0)
        return false;
    for (int i = 0; i < n; ++i)
        m_entries.append(i < dib.ColorTable().size() ? (dib.ColorTable()[i] | 0xFF000000u)
                                                     : qRgb(0, 0, 0));
    return true;
}
