// libFuzzer target of the bitmap reader: arbitrary bytes as a bitmap file;
// what reads must convert and give its palette without reading out of
// bounds.
#include "dib.h"

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    CDib dib;
    int width = 0, height = 0;
    if (dib.ReadFile(buffer, &width, &height)) {
        const QImage& image = dib.Image();
        if (image.width() != dib.GetWidth() || image.height() != dib.GetHeight())
            __builtin_trap();
        CDibPalette palette;
        palette.Create(dib);
    }
    return 0;
}
