#include "vcard.h"

#include "../app/test_support.h"
#include "pccharset.h"
#include "strutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>

using zorqtest::ReadFile;
using zorqtest::TempProgramDir;
using zorqtest::WriteFile;

namespace {

// Physical lines of a text, without their CR LF.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t e = text.find("\r\n", pos);
        out.push_back(text.substr(pos, e - pos));
        if (e == std::string::npos)
            break;
        pos = e + 2;
    }
    return out;
}

CVCard Read(const std::string& text)
{
    CVCard c;
    EXPECT_TRUE(c.ReadFromText(text)) << text;
    return c;
}

class VCardFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = std::getenv("TMPDIR");
        oldTmp_ = old ? old : "";
        hadTmp_ = old != nullptr;
        setenv("TMPDIR", dir_.path().c_str(), 1);
        temp_ = GetTempDirectory();
    }
    void TearDown() override
    {
        if (hadTmp_)
            setenv("TMPDIR", oldTmp_.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    std::vector<std::string> FilesInTemp() const
    {
        std::vector<std::string> names;
        if (DIR* d = opendir(temp_.c_str())) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.')
                    names.push_back(e->d_name);
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempProgramDir dir_;
    std::string temp_;
    std::string oldTmp_;
    bool hadTmp_ = false;
};

}  // namespace

TEST(VCardTest, FoldedQuotedPrintableNoteIsWrittenAndReadBack)
{
    const std::string line1 = "The quick brown fox jumps over the lazy dog near the river..";
    const std::string line2 = "Second line of the note with several words to fold it once..";
    ASSERT_EQ(line1.size(), 60u);
    ASSERT_EQ(line2.size(), 60u);
    CVCard card;
    card.SetFormattedName("Smith");
    card.SetNote(line1 + "\r\n" + line2);
    const std::string text = card.ToText();

    const auto lines = Lines(text);
    size_t noteStart = 0;
    while (noteStart < lines.size() && lines[noteStart].rfind("NOTE", 0) != 0)
        ++noteStart;
    ASSERT_LT(noteStart + 2, lines.size());
    EXPECT_EQ(lines[noteStart].rfind("NOTE;QUOTED-PRINTABLE:", 0), 0u);
    // One fold at a space (soft break), one after the encoded line break.
    EXPECT_EQ(lines[noteStart].back(), '=');
    EXPECT_EQ(lines[noteStart][lines[noteStart].size() - 2], ' ');
    EXPECT_NE(lines[noteStart + 1].find("=0D=0A="), std::string::npos);
    EXPECT_EQ(lines[noteStart + 2], line2);
    for (size_t i = noteStart; i <= noteStart + 2; ++i)
        EXPECT_LE(lines[i].size(), 76u) << lines[i];

    EXPECT_EQ(Read(text).GetNote(), line1 + "\r\n" + line2);
}

TEST(VCardTest, LongPlainNotesReadBackWhole)
{
    for (size_t length : {150u, 300u, 2000u}) {
        std::string note;
        for (size_t i = 0; i < length; ++i)
            note += static_cast<char>('a' + i % 26);
        CVCard card;
        card.SetNote(note);
        card.SetWorkVoice("123");
        const std::string text = card.ToText();
        EXPECT_NE(text.find("\r\nNOTE:" + note + "\r\n"), std::string::npos);
        const CVCard back = Read(text);
        EXPECT_EQ(back.GetNote(), note) << length;
        // The tail of a long line never becomes a property of its own.
        EXPECT_EQ(back.GetWorkVoice(), "123");
    }
}

TEST(VCardTest, WorkedExamplesOfTheWriter)
{
    CVCard x;
    x.SetFamilyName("X;Y;Z");
    x.SetGivenName("Jo");
    EXPECT_NE(x.ToText().find("\r\nN:X\\;Y\\;Z;Jo;\r\n"), std::string::npos);
    const CVCard xb = Read(x.ToText());
    EXPECT_EQ(xb.GetFamilyName(), "X;Y;Z");
    EXPECT_EQ(xb.GetGivenName(), "Jo");
    EXPECT_EQ(xb.GetMiddleName(), "");

    CVCard smith;
    smith.SetFormattedName("Smith");
    EXPECT_EQ(smith.ToText(), "BEGIN:VCARD\r\nN:Smith\r\nFN:Smith\r\nEND:VCARD\r\n\r\n");

    // An empty card still has its N line.
    EXPECT_EQ(CVCard().ToText(), "BEGIN:VCARD\r\nN:\r\nEND:VCARD\r\n\r\n");

    // The PC e-mail goes out once, as the home or work address.
    CVCard mail;
    mail.SetEmail("a@b");
    mail.SetWorkEmail("a@b");
    const std::string t = mail.ToText();
    EXPECT_NE(t.find("EMAIL;PREF;INTERNET;WORK:a@b\r\n"), std::string::npos);
    EXPECT_EQ(t.find("EMAIL;PREF;INTERNET:"), std::string::npos);
    const CVCard mb = Read(t);
    EXPECT_EQ(mb.GetEmail(), "a@b");
    EXPECT_EQ(mb.GetWorkEmail(), "a@b");
}

TEST(VCardTest, TelephonePreferenceRules)
{
    struct Case {
        const char* lines;
        const char* work;
        const char* home;
        const char* workFax;
        const char* cell;
    } cases[] = {
        {"TEL:123\r\nTEL;WORK;VOICE:456\r\n", "123", "456", "", ""},
        {"TEL:123\r\nTEL;PREF;WORK;VOICE:456\r\n", "456", "123", "", ""},
        {"TEL;PREF;WORK:456\r\n", "456", "", "", ""},
        {"TEL;WORK;FAX:789\r\n", "", "", "789", ""},
        {"TEL;FAX:789\r\n", "", "", "789", ""},
        {"TEL;VOICE:1\r\nTEL;PREF:2\r\n", "1", "2", "", ""},
        {"TEL;CELL:55\r\n", "", "", "", "55"},
        {"TEL;CELL;VOICE:55\r\nTEL;CELL;VOICE:66\r\n", "66", "", "", "55"},
    };
    for (const Case& c : cases) {
        const CVCard card = Read(std::string("BEGIN:VCARD\r\n") + c.lines + "END:VCARD\r\n");
        EXPECT_EQ(card.GetWorkVoice(), c.work) << c.lines;
        EXPECT_EQ(card.GetHomeVoice(), c.home) << c.lines;
        EXPECT_EQ(card.GetWorkFax(), c.workFax) << c.lines;
        EXPECT_EQ(card.GetCellVoice(), c.cell) << c.lines;
    }
}

TEST(VCardTest, AddressComponents)
{
    const CVCard full = Read("BEGIN:VCARD\r\nADR;WORK:PO;Floor 2;1 Main St;Town;;Zip;Land\r\nEND:VCARD\r\n");
    EXPECT_EQ(full.GetWorkExtended(), "Floor 2");
    EXPECT_EQ(full.GetWorkStreet(), "1 Main St Town  Zip Land");

    const CVCard shortAdr =
        Read("BEGIN:VCARD\r\nADR;WORK:;x;old\r\nADR;WORK:PO;Floor 2\r\nEND:VCARD\r\n");
    EXPECT_EQ(shortAdr.GetWorkExtended(), "");
    EXPECT_EQ(shortAdr.GetWorkStreet(), "");

    CVCard home;
    home.SetHomeStreet("12 Rue Haute\r\n75001 Paris");
    const CVCard back = Read(home.ToText());
    EXPECT_EQ(back.GetHomeStreet(), "12 Rue Haute\r\n75001 Paris");
    EXPECT_EQ(back.GetWorkStreet(), "");
}

TEST(VCardTest, QuotedPrintableDecoding)
{
    EXPECT_EQ(QPDecode("caf=E9"), "caf\xE9");
    EXPECT_EQ(QPDecode("caf=e9"), "caf\xE9");
    // A malformed escape stays as written and swallows nothing.
    EXPECT_EQ(QPDecode("a=4"), "a=4");
    EXPECT_EQ(QPDecode("a=ZZb"), "a=ZZb");
    EXPECT_EQ(QPDecode("a=4gb"), "a=4gb");
    EXPECT_EQ(QPDecode("a= b"), "a= b");
    EXPECT_EQ(QPDecode("a=").size(), 1u);  // a soft break at the end
    EXPECT_EQ(QPEncode("a=b\tc\r\nd\re\x80"), "a=3Db=09c=0D=0A=\r\nd=0De=80");
}

TEST(VCardTest, SplittingStartsOnlyAtCardLines)
{
    CVCard a, b;
    a.SetFormattedName("Alpha");
    a.SetNote("BEGIN the note with BEGIN\r\nBEGIN:VCARD is not a line start here");
    b.SetFormattedName("Beta");
    const std::string clip = "junk\r\n" + a.ToText() + b.ToText();
    const auto pieces = SplitVCardText(clip);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(Read(pieces[0]).GetNote(), a.GetNote());
    EXPECT_EQ(Read(pieces[1]).GetFormattedName(), "Beta");

    EXPECT_EQ(SplitVCardText("").size(), 0u);
    ASSERT_EQ(SplitVCardText("not a card").size(), 1u);
    CVCard bad;
    EXPECT_FALSE(bad.ReadFromText("not a card"));
    // Nothing but empty lines: an empty card.
    EXPECT_TRUE(bad.ReadFromText("\r\n\r\n"));
}

TEST(VCardTest, TextOutsideAsciiTravelsAsUtf8)
{
    CVCard card;
    card.SetFamilyName("M\xFCller");  // PC bytes
    card.SetGivenName("Zo\xEB");
    card.SetNote("Caf\xE9\r\n\x80 5");
    card.SetWorkVoice("+33 1");
    const std::string text = card.ToText();
    EXPECT_NE(text.find("N;CHARSET=UTF-8:M\xC3\xBCller;Zo\xC3\xAB;\r\n"), std::string::npos);
    EXPECT_NE(text.find("NOTE;CHARSET=UTF-8;QUOTED-PRINTABLE:Caf=C3=A9=0D=0A="), std::string::npos);
    EXPECT_NE(text.find("TEL;WORK;VOICE:+33 1\r\n"), std::string::npos);  // ASCII stays plain
    EXPECT_TRUE(Read(text) == card);

    // Cards of other programs: an explicit character set, the default of
    // later versions, and plain PC bytes.
    const CVCard explicitUtf8 = Read("BEGIN:VCARD\r\nN;CHARSET=UTF-8:J\xC3\xB8rgen;\xC3\x85sa\r\nEND:VCARD\r\n");
    EXPECT_EQ(explicitUtf8.GetFamilyName(), "J\xF8rgen");
    EXPECT_EQ(explicitUtf8.GetGivenName(), "\xC5sa");
    const CVCard v3 = Read("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:\xC5\x81ukasz \xE2\x82\xAC\r\nEND:VCARD\r\n");
    EXPECT_EQ(v3.GetFormattedName(), "?ukasz \x80");  // no PC character for the L with stroke
    const CVCard pc = Read("BEGIN:VCARD\r\nFN:Andr\xE9\r\nEND:VCARD\r\n");
    EXPECT_EQ(pc.GetFormattedName(), "Andr\xE9");
    const CVCard latin = Read("BEGIN:VCARD\r\nFN;CHARSET=ISO-8859-1:Andr\xE9\r\nEND:VCARD\r\n");
    EXPECT_EQ(latin.GetFormattedName(), "Andr\xE9");
}

TEST(VCardTest, CardsOfOtherProgramsImport)
{
    const std::string v21 =
        "BEGIN:VCARD\r\nVERSION:2.1\r\n"
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Dupr=C3=A9;Ren=C3=A9;;;\r\n"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Ren=C3=A9 Dupr=C3=A9\r\n"
        "TEL;CELL;PREF:+33611223344\r\nTEL;HOME:0145678901\r\n"
        "NOTE;ENCODING=QUOTED-PRINTABLE:first=0D=0A=\r\nsecond\r\n"
        "PHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n /9j/4AAQSkZJRgABAQ\r\n AAAQABAAD\r\n\r\n"
        "END:VCARD\r\n";
    const CVCard a = Read(v21);
    EXPECT_EQ(a.GetFamilyName(), "Dupr\xE9");
    EXPECT_EQ(a.GetGivenName(), "Ren\xE9");
    EXPECT_EQ(a.GetHomeVoice(), "0145678901");
    EXPECT_EQ(a.GetNote(), "first\r\nsecond");

    const std::string v30 =
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Smith;John;;;\r\nFN:John Smith\r\n"
        "ORG:Acme\\, Inc.;Sales\r\n"
        "TEL;TYPE=CELL:+1 555 0100\r\nTEL;TYPE=WORK,VOICE:+1 555 0200\r\n"
        "TEL;TYPE=HOME;TYPE=PREF:+1 555 0300\r\nTEL;TYPE=FAX,WORK:+1 555 0400\r\n"
        "EMAIL;TYPE=INTERNET,HOME:john@example.org\r\n"
        "NOTE:A long note that was folded by the writing progr\r\n am at seventy-five characters.\r\n"
        "item1.ADR;TYPE=HOME:;;1 Elm St;Springfield;;12345;\r\n"
        "END:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jane\r\nTEL:+1 555 0500\r\nEND:VCARD\r\n";
    const auto pieces = SplitVCardText(v30);
    ASSERT_EQ(pieces.size(), 2u);
    const CVCard b = Read(pieces[0]);
    EXPECT_EQ(b.GetFamilyName(), "Smith");
    EXPECT_EQ(b.GetGivenName(), "John");
    EXPECT_EQ(b.GetOrgName(), "Acme, Inc.");
    EXPECT_EQ(b.GetOrgUnit(), "Sales");
    EXPECT_EQ(b.GetCellVoice(), "+1 555 0100");
    EXPECT_EQ(b.GetWorkVoice(), "+1 555 0200");
    EXPECT_EQ(b.GetHomeVoice(), "+1 555 0300");
    EXPECT_EQ(b.GetWorkFax(), "+1 555 0400");
    EXPECT_EQ(b.GetHomeEmail(), "john@example.org");
    EXPECT_EQ(b.GetEmail(), "john@example.org");
    EXPECT_EQ(b.GetNote(), "A long note that was folded by the writing program at seventy-five characters.");
    EXPECT_EQ(b.GetHomeStreet(), "1 Elm St Springfield  12345");
    const CVCard c = Read(pieces[1]);
    EXPECT_EQ(c.GetFamilyName(), "Doe");
    EXPECT_EQ(c.GetWorkVoice(), "+1 555 0500");

    const std::string v40 =
        "BEGIN:VCARD\nVERSION:4.0\nFN:Ana \xC3\x9Ari\xC3\xB1\x61\nN:\xC3\x9Ari\xC3\xB1\x61;Ana;;;\n"
        "TEL;VALUE=uri;TYPE=\"cell,voice\";PREF=1:tel:+34-600-111-222\n"
        "TEL;VALUE=uri;TYPE=work:tel:+34-91-000\nEMAIL;TYPE=work:ana@example.es\nEND:VCARD\n";
    const CVCard d = Read(v40);
    EXPECT_EQ(d.GetFamilyName(), "\xDAri\xF1\x61");
    EXPECT_EQ(d.GetFormattedName(), "Ana \xDAri\xF1\x61");
    EXPECT_EQ(d.GetCellVoice(), "+34-600-111-222");
    EXPECT_EQ(d.GetWorkVoice(), "+34-91-000");
    EXPECT_EQ(d.GetWorkEmail(), "ana@example.es");
}

TEST_F(VCardFileTest, WritingToTheTemporaryFolderPicksFreeCleanNames)
{
    CVCard smith;
    smith.SetFormattedName("Smith");
    std::string first, second;
    ASSERT_TRUE(smith.WriteToFile(first));
    ASSERT_TRUE(smith.WriteToFile(second));
    EXPECT_EQ(first, temp_ + "Smith.VCF");
    EXPECT_EQ(second, temp_ + "Smith2.VCF");
    EXPECT_EQ(ReadFile(first), smith.ToText());

    CVCard anonymous, hostile, accented;
    hostile.SetFormattedName("../../etc/pass\x01wd\\..");
    accented.SetFormattedName("Jos\xE9");
    std::string p1, p2, p3;
    ASSERT_TRUE(anonymous.WriteToFile(p1));
    ASSERT_TRUE(hostile.WriteToFile(p2));
    ASSERT_TRUE(accented.WriteToFile(p3));
    EXPECT_EQ(p1, temp_ + "VCARD.VCF");
    EXPECT_EQ(p2, temp_ + "_.._etc_pass_wd_.VCF");
    EXPECT_EQ(p3, temp_ + "Jos\xC3\xA9.VCF");
    EXPECT_EQ(FilesInTemp().size(), 5u);  // nothing landed outside the folder
    EXPECT_EQ(CleanVCardBaseName(".."), "VCARD");

    CVCard back;
    ASSERT_TRUE(back.ReadFromFile(p2));
    EXPECT_EQ(back.GetFormattedName(), "../../etc/passwd\\..");  // control bytes are not read
}

TEST_F(VCardFileTest, ReadingNeedsACardFileName)
{
    CVCard smith;
    smith.SetFormattedName("Smith");
    for (const char* name : {"CARD.VCF", "x.vcf", "card.txt"})
        WriteFile(temp_ + name, smith.ToText());
    CVCard c;
    EXPECT_TRUE(c.ReadFromFile(temp_ + "CARD.VCF"));
    EXPECT_EQ(c.GetFormattedName(), "Smith");
    EXPECT_TRUE(c.ReadFromFile(temp_ + "x.vcf"));
    EXPECT_FALSE(c.ReadFromFile(temp_ + "card.txt"));
    EXPECT_FALSE(c.ReadFromFile(""));
    EXPECT_FALSE(c.ReadFromFile(temp_ + "missing.vcf"));

    // A card that ends without END keeps what was read.
    WriteFile(temp_ + "cut.vcf", "BEGIN:VCARD\r\nFN:Cut\r\n");
    EXPECT_TRUE(c.ReadFromFile(temp_ + "cut.vcf"));
    EXPECT_EQ(c.GetFormattedName(), "Cut");

    // Several cards in one file; a UTF-16 file of another program.
    WriteFile(temp_ + "two.vcf", smith.ToText() + "BEGIN:VCARD\r\nFN:Other\r\nEND:VCARD\r\n");
    std::vector<CVCard> cards;
    ASSERT_TRUE(ReadVCardsFromFile(temp_ + "two.vcf", cards));
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[1].GetFormattedName(), "Other");
    const std::u16string wide = u"BEGIN:VCARD\r\nFN:Zo\u00EB\r\nEND:VCARD\r\n";
    std::string le = "\xFF\xFE";
    for (char16_t ch : wide) {
        le += static_cast<char>(ch & 0xFF);
        le += static_cast<char>(ch >> 8);
    }
    WriteFile(temp_ + "wide.vcf", le);
    ASSERT_TRUE(c.ReadFromFile(temp_ + "wide.vcf"));
    EXPECT_EQ(c.GetFormattedName(), "Zo\xEB");
}
