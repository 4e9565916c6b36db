#include "archive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(Archive, StringsRoundTripInAllThreeLengthForms)
{
    const std::string shortText(254, 's');
    const std::string mediumText(255, 'm');       // first length needing the 0xFF marker
    const std::string mediumTop(0xFFFD, 'n');     // longest 16-bit length
    const std::string longText(0xFFFE, 'l');      // first length needing the 32-bit form
    ArchiveWriter w;
    w.WriteString("");
    w.WriteString(shortText);
    w.WriteString(mediumText);
    w.WriteString(mediumTop);
    w.WriteString(longText);

    const auto& b = w.Bytes();
    ASSERT_EQ(b[0], 0);
    ASSERT_EQ(b[1], 254);
    const size_t m = 1 + 1 + 254;
    EXPECT_EQ(b[m], 0xFF);
    EXPECT_EQ(b[m + 1], 0xFF);  // 255 little-endian
    EXPECT_EQ(b[m + 2], 0x00);
    const size_t l = m + 3 + 255 + 3 + 0xFFFD;
    EXPECT_EQ(b[l], 0xFF);
    EXPECT_EQ(b[l + 1], 0xFF);
    EXPECT_EQ(b[l + 2], 0xFF);
    EXPECT_EQ(b[l + 3], 0xFE);
    EXPECT_EQ(b[l + 4], 0xFF);
    EXPECT_EQ(b[l + 5], 0x00);
    EXPECT_EQ(b.size(), l + 7 + 0xFFFE);

    ArchiveReader r(b);
    EXPECT_EQ(r.ReadString(), "");
    EXPECT_EQ(r.ReadString(), shortText);
    EXPECT_EQ(r.ReadString(), mediumText);
    EXPECT_EQ(r.ReadString(), mediumTop);
    EXPECT_EQ(r.ReadString(), longText);
    EXPECT_TRUE(r.AtEnd());
}

TEST(Archive, NumbersCountsAndDatesAreLittleEndian)
{
    ArchiveWriter w;
    w.WriteU16(0x1234);
    w.WriteI32(-2);
    w.WriteCount(3);
    w.WriteCount(70000);
    w.WriteDate({0, 36526.5});
    const std::vector<uint8_t> head(w.Bytes().begin(), w.Bytes().begin() + 6);
    EXPECT_EQ(head, (std::vector<uint8_t>{0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF}));
    ArchiveReader r(w.Bytes());
    EXPECT_EQ(r.ReadU16(), 0x1234);
    EXPECT_EQ(r.ReadI32(), -2);
    EXPECT_EQ(r.ReadCount(), 3u);
    EXPECT_EQ(r.ReadCount(), 70000u);
    ArchiveDate d = r.ReadDate();
    EXPECT_EQ(d.status, 0);
    EXPECT_DOUBLE_EQ(d.days, 36526.5);
    EXPECT_TRUE(r.AtEnd());
}

TEST(Archive, MalformedInputIsAnErrorNeverAnOverrun)
{
    // A length prefix that claims more than the input holds.
    std::vector<uint8_t> claim = {10, 'a', 'b'};
    EXPECT_THROW(ArchiveReader(claim).ReadString(), ArchiveError);
    std::vector<uint8_t> claim16 = {0xFF, 0x00, 0x10, 'x'};
    EXPECT_THROW(ArchiveReader(claim16).ReadString(), ArchiveError);
    std::vector<uint8_t> claim32 = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'x'};
    EXPECT_THROW(ArchiveReader(claim32).ReadString(), ArchiveError);
    // A marker cut off in its middle.
    std::vector<uint8_t> cut = {0xFF, 0x01};
    EXPECT_THROW(ArchiveReader(cut).ReadString(), ArchiveError);
    // The wide-string marker is not readable.
    std::vector<uint8_t> wide = {0xFF, 0xFE, 0xFF, 0x01, 'a', 0};
    EXPECT_THROW(ArchiveReader(wide).ReadString(), ArchiveError);
    // A count larger than the caller allows.
    std::vector<uint8_t> count = {0xFF, 0xFF, 0x00, 0x00, 0x00, 0x40};
    EXPECT_THROW(ArchiveReader(count).ReadCount(1000), ArchiveError);
    std::vector<uint8_t> empty;
    EXPECT_THROW(ArchiveReader(empty).ReadU8(), ArchiveError);
}

class Note : public ArchiveObject {
public:
    const char* ArchiveClassName() const override { return "CNote"; }
    uint16_t ArchiveSchema() const override { return 3; }
    void Store(ArchiveWriter& ar) const override { ar.WriteString(text); }
    void Load(ArchiveReader& ar, uint16_t schema) override
    {
        text = ar.ReadString();
        loadedSchema = schema;
    }
    std::string text;
    uint16_t loadedSchema = 0;
};

TEST(Archive, ClassTaggedObjectsShareTheIndexMap)
{
    Note a, b;
    a.text = "first";
    b.text = "second";
    ArchiveWriter w;
    w.WriteObject(&a);  // new class (index 1), object index 2
    w.WriteObject(&b);  // known class tag 0x8001, object index 3
    w.WriteObject(&a);  // reference to index 2
    w.WriteObject(nullptr);
    const auto& bytes = w.Bytes();
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(bytes[2], 3);  // schema
    const size_t second = 2 + 2 + 2 + 5 + 1 + 5;
    EXPECT_EQ(bytes[second], 0x01);
    EXPECT_EQ(bytes[second + 1], 0x80);

    ArchiveReader r(bytes);
    r.RegisterClass("CNote", [] { return std::make_unique<Note>(); });
    auto o1 = r.ReadObject();
    auto o2 = r.ReadObject();
    auto o3 = r.ReadObject();
    auto o4 = r.ReadObject();
    ASSERT_TRUE(o1 && o2 && o3);
    EXPECT_EQ(static_cast<Note*>(o1.get())->text, "first");
    EXPECT_EQ(static_cast<Note*>(o1.get())->loadedSchema, 3);
    EXPECT_EQ(static_cast<Note*>(o2.get())->text, "second");
    EXPECT_EQ(o3.get(), o1.get());
    EXPECT_EQ(o4, nullptr);
    EXPECT_TRUE(r.AtEnd());
}

TEST(Archive, BadObjectTagsAreRefused)
{
    const std::vector<uint8_t> ref = {0x05, 0x00};
    ArchiveReader unknownRef(ref);
    EXPECT_THROW(unknownRef.ReadObject(), ArchiveError);
    const std::vector<uint8_t> cls = {0x03, 0x80};
    ArchiveReader unknownClass(cls);
    EXPECT_THROW(unknownClass.ReadObject(), ArchiveError);
    std::vector<uint8_t> unregistered = {0xFF, 0xFF, 1, 0, 3, 0, 'C', 'X', 'Y'};
    ArchiveReader r(unregistered);
    EXPECT_THROW(r.ReadObject(), ArchiveError);
    std::vector<uint8_t> nameCut = {0xFF, 0xFF, 1, 0, 40, 0, 'C'};
    ArchiveReader r2(nameCut);
    r2.RegisterClass("C", [] { return std::make_unique<Note>(); });
    EXPECT_THROW(r2.ReadObject(), ArchiveError);
}

}  // namespace

namespace {
// An object that holds another of its kind: the shape of a hostile file that
// nests objects without end.
struct Nest : ArchiveObject {
    std::shared_ptr<ArchiveObject> child;
    void Load(ArchiveReader& ar, uint16_t) override { child = ar.ReadObject(); }
    void Store(ArchiveWriter&) const override {}
    const char* ArchiveClassName() const override { return "CNest"; }
};

std::vector<uint8_t> NestedObjects(size_t levels)
{
    std::vector<uint8_t> b = {0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00, 'C', 'N', 'e', 's', 't'};
    for (size_t i = 1; i < levels; ++i) {
        b.push_back(0x01);  // known class, index 1
        b.push_back(0x80);
    }
    b.push_back(0x00);  // the innermost object holds nothing
    b.push_back(0x00);
    return b;
}
}  // namespace

TEST(Archive, NestingIsBoundedNotAStackOverflow)
{
    const std::vector<uint8_t> ten = NestedObjects(10);
    ArchiveReader shallow(ten);
    shallow.RegisterClass("CNest", [] { return std::make_unique<Nest>(); });
    auto top = shallow.ReadObject();
    int levels = 0;
    for (auto* o = top.get(); o; o = static_cast<Nest*>(o)->child.get())
        ++levels;
    EXPECT_EQ(levels, 10);
    EXPECT_TRUE(shallow.AtEnd());

    const std::vector<uint8_t> deep = NestedObjects(200000);
    ArchiveReader hostile(deep);
    hostile.RegisterClass("CNest", [] { return std::make_unique<Nest>(); });
    EXPECT_THROW(hostile.ReadObject(), ArchiveError);
}
