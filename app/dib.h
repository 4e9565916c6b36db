// Device-independent bitmaps read from ".BMP" files, drawn stretched into a
// window or as a dialog-unit part of the screen backgrounds, and the colour
// table of such a bitmap as a palette.
#pragma once

#include <QImage>
#include <QVector>

#include <cstdint>
#include <memory>

class QIODevice;
class QPainter;
class QWidget;

// The 40-byte header kept in front of the colour table (a 12-byte core
// header is widened to this form when read).
struct DibInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 8;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

class CDib {
public:
    // The backgrounds are drawn from parts given in dialog units of a form of
    // this size, taken from a picture of this size.
    static constexpr int kFormDluWidth = 419, kFormDluHeight = 278;
    static constexpr int kPictureWidth = 629, kPictureHeight = 452;

    CDib();
    virtual ~CDib();
    CDib(const CDib&) = delete;
    CDib& operator=(const CDib&) = delete;

    // A width x height 8-bit picture with a grey ramp, all black.
    virtual bool Create(int width, int height);
    // Reads a bitmap file from the device's current position. On success the
    // picture is replaced; on failure it is left as it was. The size is
    // given back as soon as the header has been read.
    virtual bool ReadFile(QIODevice& file, int* width = nullptr, int* height = nullptr);
    // The whole picture stretched to the window's client area at (x, y).
    virtual void Draw(QPainter& painter, const QWidget* window, int x, int y) const;
    // The part of the picture under a dialog-unit rectangle of the form,
    // drawn into that rectangle's pixels.
    virtual void DrawPart(QPainter& painter, int x, int y, int width, int height) const;
    virtual int GetWidth() const { return m_header.biWidth; }
    virtual int GetHeight() const { return m_header.biHeight; }

    // Entries of the colour table.
    int NumColors() const;
    const DibInfoHeader& Header() const { return m_header; }
    const QVector<uint32_t>& ColorTable() const { return m_colors; }  // 0x00RRGGBB
    const std::vector<uint8_t>& Bits() const { return m_bits; }
    // The picture as an image (built once per picture).
    const QImage& Image() const;

private:
    DibInfoHeader m_header;
    QVector<uint32_t> m_colors;
    std::vector<uint8_t> m_bits;
    mutable QImage m_image;
};

// The palette of a bitmap: one entry per colour-table entry.
class CDibPalette {
public:
    // False (and no entries) for a bitmap without a colour table.
    bool Create(const CDib& dib);
    const QVector<QRgb>& Entries() const { return m_entries; }
    int Size() const { return m_entries.size(); }

private:
    QVector<QRgb> m_entries;
};
