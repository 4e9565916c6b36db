#include "versiondoc.h"

#include "archive.h"
#include "diskfaults.h"
#include "test_support.h"

#include <gtest/gtest.h>

using zorqtest::TempProgramDir;
using zorqtest::WriteFile;

namespace {

std::string Archive(const std::string& a, const std::string& b, const std::string& c)
{
    ArchiveWriter w;
    w.WriteString(a);
    w.WriteString(b);
    w.WriteString(c);
    return std::string(w.Bytes().begin(), w.Bytes().end());
}

TEST(VersionFile, ReadsThreeStringsWithAnEmptyEdition)
{
    TempProgramDir dir;
    WriteFile(dir.path() + "$ZQ.VRS", Archive("1.2", "", "AT2.1"));
    CVersionDoc doc;
    ASSERT_TRUE(doc.LoadVersionFile(dir.path()));
    EXPECT_EQ(doc.m_VersionNumber, "1.2");
    EXPECT_EQ(doc.m_EditionNumber, "");
    EXPECT_EQ(doc.m_PellardATPVersion, "AT2.1");
    // The folder without its trailing slash finds the file as well.
    CVersionDoc again;
    std::string noSlash = dir.path();
    noSlash.pop_back();
    EXPECT_TRUE(again.LoadVersionFile(noSlash));
    EXPECT_EQ(again.m_PellardATPVersion, "AT2.1");
    EXPECT_FALSE(again.LoadVersionFile(""));
}

TEST(VersionFile, LongVersionUsesTheMarkerForm)
{
    TempProgramDir dir;
    const std::string longVersion(255, 'v');
    const std::string bytes = Archive(longVersion, "E", "");
    ASSERT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    WriteFile(dir.path() + "$ZQ.VRS", bytes);
    CVersionDoc doc;
    ASSERT_TRUE(doc.LoadVersionFile(dir.path()));
    EXPECT_EQ(doc.m_VersionNumber, longVersion);
    EXPECT_EQ(doc.m_EditionNumber, "E");
}

TEST(VersionFile, EmptyTruncatedHostileAndMissingFiles)
{
    TempProgramDir dir;
    const std::string path = dir.path() + "$ZQ.VRS";
    CVersionDoc doc;
    EXPECT_FALSE(doc.LoadVersionFile(dir.path()));  // missing

    WriteFile(path, "");
    EXPECT_TRUE(doc.LoadFile(path));  // two bytes or less: three empty strings
    EXPECT_EQ(doc.m_VersionNumber, "");
    WriteFile(path, std::string("\x01x", 2));
    EXPECT_TRUE(doc.LoadFile(path));
    EXPECT_EQ(doc.m_VersionNumber, "");

    const std::string good = Archive("1.0", "Std", "2");
    WriteFile(path, good.substr(0, good.size() - 1));  // truncated
    EXPECT_FALSE(doc.LoadFile(path));
    // A length prefix pointing far past the end of the file.
    WriteFile(path, std::string("\xFF\xFF\xFF\xFF\xFF\xFF\x7F" "abc", 10));
    EXPECT_FALSE(doc.LoadFile(path));
    WriteFile(path, std::string("\xFF\x00\xF0" "abc", 6));
    EXPECT_FALSE(doc.LoadFile(path));
    // The wide-string marker.
    WriteFile(path, std::string("\xFF\xFE\xFF\x03" "a\0b\0c\0", 10));
    EXPECT_FALSE(doc.LoadFile(path));
    EXPECT_EQ(doc.m_VersionNumber, "");
}

TEST(VersionFile, ApplicationKeepsTheStringsOrReportsFailure)
{
    TempProgramDir dir;
    zorqtest::RecordingApp app;
    app.SetDataDirectories(dir.path() + "zorqmmi");
    EXPECT_FALSE(app.RegisterVersionEditionNumber());
    WriteFile(dir.path() + "$ZQ.VRS", Archive("3.1", "Pro", "7"));
    ASSERT_TRUE(app.RegisterVersionEditionNumber());
    EXPECT_EQ(app.GetVersionNumber(), "3.1");
    EXPECT_EQ(app.GetEditionNumber(), "Pro");
    EXPECT_EQ(app.GetPellardATPVersion(), "7");
}

TEST(VersionFile, EveryDamagedShapeIsRefusedAndLeftAsItIs)
{
    TempProgramDir dir;
    const std::string good = Archive("1.0", "Standard edition", "2");
    for (const auto& d : zorqtest::WriteDamagedShapes(dir.path(), "$ZQ", ".VRS", good)) {
        SCOPED_TRACE(d.shape);
        const std::string before = zorqtest::ReadFile(d.path);
        CVersionDoc doc;
        // An empty file is an installation's empty strings; every other
        // shape is refused, and start-up then says so and stops.
        EXPECT_EQ(doc.LoadFile(d.path), d.shape == "empty");
        EXPECT_EQ(doc.m_VersionNumber, "");
        EXPECT_EQ(zorqtest::ReadFile(d.path), before);
    }
}

TEST(VersionFile, StoreWritesTheSameLayout)
{
    CVersionDoc doc;
    doc.m_VersionNumber = "1.0";
    doc.m_EditionNumber = std::string(300, 'e');
    doc.m_PellardATPVersion = "2";
    ArchiveWriter w;
    doc.Serialize(w);
    ArchiveReader r(w.Bytes());
    CVersionDoc back;
    back.Serialize(r);
    EXPECT_TRUE(r.AtEnd());
    EXPECT_EQ(back.m_EditionNumber, doc.m_EditionNumber);
}

}  // namespace

namespace {

TEST(VersionFile, TheBuiltProgramFolderHasAReadableVersionFile)
{
    CVersionDoc doc;
    ASSERT_TRUE(doc.LoadVersionFile(zorqtest::BuiltProgramDir()));
    EXPECT_EQ(doc.m_VersionNumber, "1.0");
    EXPECT_FALSE(doc.m_EditionNumber.empty());
    EXPECT_FALSE(doc.m_PellardATPVersion.empty());
}

}  // namespace
