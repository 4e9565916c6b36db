#include "dib.h"

#include "test_support.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstring>

namespace {

void Put16(QByteArray& b, int v) { b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); }
void Put32(QByteArray& b, int64_t v)
{
    Put16(b, int(v & 0xFFFF));
    Put16(b, int((v >> 16) & 0xFFFF));
}

// A bitmap file with an info header: `colors` table entries (the header's
// count `clrUsed`), rows of `bpp` bits, the bits where `offset` says.
struct BmpSpec {
    int width = 4, height = 2, bpp = 8, colors = 2, clrUsed = 2, compression = 0;
    int64_t offsetAdjust = 0;  // added to the true offset of the bits
    int rowsMissing = 0;       // rows left out of the file
};

QByteArray MakeBmp(const BmpSpec& s)
{
    const int stride = ((s.width * s.bpp + 31) / 32) * 4;
    const int64_t offset = 14 + 40 + int64_t(s.colors) * 4 + s.offsetAdjust;
    QByteArray b("BM");
    Put32(b, offset + int64_t(stride) * s.height);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, s.width);
    Put32(b, s.height);
    Put16(b, 1);
    Put16(b, s.bpp);
    Put32(b, s.compression);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, s.clrUsed);
    Put32(b, 0);
    for (int i = 0; i < s.colors; ++i)
        b.append(char(i * 16)).append(char(i * 8)).append(char(i)).append(char(0));
    while (b.size() < offset)
        b.append('\0');
    for (int r = 0; r < s.height - s.rowsMissing; ++r)
        b.append(QByteArray(stride, char(r % 2)));
    return b;
}

bool Read(CDib& dib, const QByteArray& bytes, int* w = nullptr, int* h = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return dib.ReadFile(buffer, w, h);
}

TEST(DibTest, NewPictureIsA16By16GreyRamp)
{
    CDib dib;
    EXPECT_EQ(dib.GetWidth(), 16);
    EXPECT_EQ(dib.GetHeight(), 16);
    EXPECT_EQ(dib.NumColors(), 256);
    EXPECT_EQ(dib.ColorTable()[200], 0xC8C8C8u);
    EXPECT_EQ(dib.Bits().size(), 16u * 16u);
}

TEST(DibTest, ColourCountsAndPalettes)
{
    CDib dib;
    BmpSpec sixteen;
    sixteen.bpp = 4;
    sixteen.colors = 16;
    sixteen.clrUsed = 0;  // no count: the depth says 16
    ASSERT_TRUE(Read(dib, MakeBmp(sixteen)));
    EXPECT_EQ(dib.NumColors(), 16);
    CDibPalette palette;
    ASSERT_TRUE(palette.Create(dib));
    EXPECT_EQ(palette.Size(), 16);
    EXPECT_EQ(palette.Entries()[3], qRgb(3, 24, 48));  // the file stores blue, green, red

    BmpSpec truecolour;
    truecolour.bpp = 24;
    truecolour.colors = 0;
    truecolour.clrUsed = 0;
    ASSERT_TRUE(Read(dib, MakeBmp(truecolour)));
    EXPECT_EQ(dib.NumColors(), 0);
    EXPECT_FALSE(palette.Create(dib));
}

TEST(DibTest, CoreHeaderEntriesAreWidened)
{
    QByteArray b("BM");
    const int offset = 14 + 12 + 2 * 3;
    Put32(b, offset + 4);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 12);
    Put16(b, 2);
    Put16(b, 1);
    Put16(b, 1);
    Put16(b, 1);  // 1 bit a pixel: two colours
    b.append(char(0x10)).append(char(0x20)).append(char(0x30));  // blue, green, red
    b.append(char(0x40)).append(char(0x50)).append(char(0x60));
    b.append(QByteArray(4, '\0'));
    CDib dib;
    int w = 0, h = 0;
    ASSERT_TRUE(Read(dib, b, &w, &h));
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(dib.Header().biSize, 40u);
    EXPECT_EQ(dib.NumColors(), 2);  // a core header has no count: the depth's
    EXPECT_EQ(dib.ColorTable().size(), 2);
    EXPECT_EQ(dib.ColorTable()[1], 0x605040u);
}

// A file that does not add up is refused and the picture stays as it was.
TEST(DibTest, BadFilesLeaveThePictureAsItWas)
{
    CDib dib;
    ASSERT_TRUE(Read(dib, MakeBmp(BmpSpec{})));
    const QImage before = dib.Image();

    QByteArray notBm = MakeBmp(BmpSpec{});
    notBm[0] = 'X';
    BmpSpec tooManyColours;
    tooManyColours.clrUsed = 100000;  // would run past a 256-entry table
    BmpSpec moreThanTheDepth;
    moreThanTheDepth.bpp = 1;
    moreThanTheDepth.colors = 4;
    moreThanTheDepth.clrUsed = 4;
    BmpSpec shortRows;
    shortRows.rowsMissing = 1;
    BmpSpec offsetInsideTable;
    offsetInsideTable.offsetAdjust = -6;
    BmpSpec compressed;
    compressed.compression = 1;
    BmpSpec huge;
    huge.width = 100000;
    huge.rowsMissing = huge.height;
    BmpSpec negative;
    negative.height = -2;
    negative.rowsMissing = -2;

    const std::pair<const char*, QByteArray> bad[] = {
        {"not BM", notBm},
        {"too many colours", MakeBmp(tooManyColours)},
        {"more colours than the depth", MakeBmp(moreThanTheDepth)},
        {"short rows", MakeBmp(shortRows)},
        {"offset inside the table", MakeBmp(offsetInsideTable)},
        {"compressed", MakeBmp(compressed)},
        {"huge", MakeBmp(huge)},
        {"top-down", MakeBmp(negative)},
        {"cut header", MakeBmp(BmpSpec{}).left(30)},
        {"empty", QByteArray()},
    };
    for (const auto& [what, bytes] : bad) {
        EXPECT_FALSE(Read(dib, bytes)) << what;
        EXPECT_EQ(dib.GetWidth(), 4) << what;
        EXPECT_EQ(dib.Image(), before) << what;
    }
}

TEST(DibTest, BuiltBackgroundsReadWithTheirPalette)
{
    for (const char* name : {"backenu.BMP", "pbback.bmp", "smsback.bmp", "SPLASH.BMP"}) {
        QFile file(QString::fromStdString(zorqtest::BuiltProgramDir() + "/Res/" + name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        CDib dib;
        ASSERT_TRUE(dib.ReadFile(file)) << name;
        CDibPalette palette;
        EXPECT_TRUE(palette.Create(dib)) << name;  // the splash needs one
        if (std::strcmp(name, "SPLASH.BMP") != 0) {
            EXPECT_EQ(dib.GetWidth(), CDib::kPictureWidth);
            EXPECT_EQ(dib.GetHeight(), CDib::kPictureHeight);
        }
    }
}

TEST(DibTest, RowsAreStoredBottomUpAndPartsMapFromDialogUnits)
{
    // A 629 x 452 picture whose top half is colour 1 and bottom half colour 2.
    BmpSpec s;
    s.width = CDib::kPictureWidth;
    s.height = CDib::kPictureHeight;
    s.colors = s.clrUsed = 3;
    s.rowsMissing = s.height;
    QByteArray bytes = MakeBmp(s);
    const int stride = (s.width + 3) & ~3;
    for (int row = 0; row < s.height; ++row)  // file rows: bottom first
        bytes.append(QByteArray(stride, char(row < s.height / 2 ? 2 : 1)));
    CDib dib;
    ASSERT_TRUE(Read(dib, bytes));
    EXPECT_EQ(dib.Image().pixel(10, 5), 0xFF000000u | 0x010810u);
    EXPECT_EQ(dib.Image().pixel(10, 440), 0xFF000000u | 0x021020u);

    // A part in the lower half, drawn where its dialog units say.
    QImage target(640, 460, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter p(&target);
    dib.DrawPart(p, 10, 200, 20, 20);  // pixels (15, 325) to (45, 357)
    p.end();
    EXPECT_EQ(target.pixel(20, 330), 0xFF000000u | 0x021020u);
    EXPECT_EQ(target.pixel(20, 320), 0xFFFFFFFFu);
    EXPECT_EQ(target.pixel(50, 330), 0xFFFFFFFFu);
}

}  // namespace
