// Cards as today's phones and address books write them: every number,
// address and name must land in one of the twenty fields, never be dropped
// while a field it may take is free.
#include "vcard.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CVCard Read(const std::string& text)
{
    CVCard c;
    EXPECT_TRUE(c.ReadFromText(text)) << text;
    return c;
}

CVCard Card(const std::string& body, const char* version = nullptr)
{
    std::string text = "BEGIN:VCARD\r\n";
    if (version)
        text += std::string("VERSION:") + version + "\r\n";
    return Read(text + body + "END:VCARD\r\n");
}

struct Numbers {
    std::string work, home, cell, pager, workFax, homeFax;
};

Numbers NumbersOf(const CVCard& c)
{
    return {c.GetWorkVoice(), c.GetHomeVoice(), c.GetCellVoice(),
            c.GetPagerVoice(), c.GetWorkFax(), c.GetHomeFax()};
}

std::string Show(const Numbers& n)
{
    return "work=" + n.work + " home=" + n.home + " cell=" + n.cell + " pager=" + n.pager +
           " workFax=" + n.workFax + " homeFax=" + n.homeFax;
}

void ExpectNumbers(const CVCard& c, const Numbers& want, const std::string& what)
{
    const Numbers got = NumbersOf(c);
    EXPECT_EQ(Show(got), Show(want)) << what;
}

}  // namespace

// A phone that exports version 2.1: quoted-printable UTF-8 names, the
// preferred mobile number marked CELL;PREF, bare location words.
TEST(VCardExportersTest, AndroidVersion21)
{
    const CVCard c = Read(
        "BEGIN:VCARD\r\n"
        "VERSION:2.1\r\n"
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=BCrgen;;;\r\n"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller\r\n"
        "TEL;CELL;PREF:+4915111111111\r\n"
        "TEL;WORK;PREF:+49302222222\r\n"
        "TEL;HOME:+49303333333\r\n"
        "EMAIL;HOME;PREF:jm@example.de\r\n"
        "EMAIL;X-Privat:jm@private.example\r\n"
        "END:VCARD\r\n");
    EXPECT_EQ(c.GetFamilyName(), "M\xFCller");
    EXPECT_EQ(c.GetGivenName(), "J\xFCrgen");
    EXPECT_EQ(c.GetFormattedName(), "J\xFCrgen M\xFCller");
    ExpectNumbers(c, {"+49302222222", "+49303333333", "+4915111111111", "", "", ""}, "android");
    EXPECT_EQ(c.GetHomeEmail(), "jm@example.de");
    // A type of its own: the generic address field is still free for it.
    EXPECT_EQ(c.GetEmail(), "jm@private.example");

    // Two mobile numbers: the second finds the first free voice field.
    const CVCard two = Card("TEL;CELL:+4915100000001\r\nTEL;CELL:+4915100000002\r\n", "2.1");
    ExpectNumbers(two, {"+4915100000002", "", "+4915100000001", "", "", ""}, "two mobiles");

    // An address written quoted-printable is still an address.
    const CVCard qpMail = Card("EMAIL;ENCODING=QUOTED-PRINTABLE:a=2Eb@example.org\r\n", "2.1");
    EXPECT_EQ(qpMail.GetEmail(), "a.b@example.org");
    const CVCard qpHome = Card("EMAIL;HOME;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:h@example.org\r\n", "2.1");
    EXPECT_EQ(qpHome.GetHomeEmail(), "h@example.org");
}

// Version 3.0 with CR CR LF line ends, "type=" lists, grouped items and
// types of its own (IPHONE, MAIN).
TEST(VCardExportersTest, IosVersion30)
{
    const CVCard c = Read(
        "BEGIN:VCARD\r\r\n"
        "VERSION:3.0\r\r\n"
        "N:Appleseed;Johnny;;;\r\r\n"
        "FN:Johnny Appleseed\r\r\n"
        "ORG:Example Inc.;\r\r\n"
        "item1.EMAIL;type=INTERNET;type=pref:johnny@example.com\r\r\n"
        "item1.X-ABLabel:_$!<Other>!$_\r\r\n"
        "TEL;type=CELL;type=VOICE;type=pref:+1 (408) 555-0101\r\r\n"
        "TEL;type=IPHONE;type=CELL;type=VOICE:+1 (408) 555-0102\r\r\n"
        "TEL;type=HOME;type=VOICE:+1 (408) 555-0103\r\r\n"
        "TEL;type=WORK;type=FAX:+1 (408) 555-0104\r\r\n"
        "TEL;type=MAIN:+1 (408) 555-0105\r\r\n"
        "item2.ADR;type=HOME;type=pref:;;1 Infinite Loop;Cupertino;CA;95014;USA\r\r\n"
        "END:VCARD\r\r\n");
    EXPECT_EQ(c.GetFamilyName(), "Appleseed");
    EXPECT_EQ(c.GetGivenName(), "Johnny");
    EXPECT_EQ(c.GetOrgName(), "Example Inc.");
    EXPECT_EQ(c.GetEmail(), "johnny@example.com");
    ExpectNumbers(c,
                  {"+1 (408) 555-0102", "+1 (408) 555-0103", "+1 (408) 555-0101",
                   "+1 (408) 555-0105", "+1 (408) 555-0104", ""},
                  "ios");
    EXPECT_EQ(c.GetHomeStreet(), "1 Infinite Loop Cupertino CA 95014 USA");
}

// Version 2.1 as a desktop mail program writes it: quoted-printable notes
// with encoded line breaks and tabs, language parameters, labels.
TEST(VCardExportersTest, OutlookVersion21)
{
    const CVCard c = Read(
        "BEGIN:VCARD\r\n"
        "VERSION:2.1\r\n"
        "N;LANGUAGE=en-us:Brown;Anna\r\n"
        "FN:Anna Brown\r\n"
        "ORG:Contoso;Sales\r\n"
        "TITLE:Manager\r\n"
        "NOTE;ENCODING=QUOTED-PRINTABLE:Line one=0D=0A=09indented\tline=0D=0A=\r\n"
        "Line three\r\n"
        "TEL;WORK;VOICE:(425) 555-0100\r\n"
        "TEL;HOME;VOICE:(425) 555-0101\r\n"
        "TEL;CELL;VOICE:(425) 555-0102\r\n"
        "TEL;WORK;FAX:(425) 555-0103\r\n"
        "TEL;HOME;FAX:(425) 555-0104\r\n"
        "TEL;PAGER;MSG:(425) 555-0105\r\n"
        "ADR;WORK;PREF:;;One Microsoft Way;Redmond;WA;98052;United States of America\r\n"
        "LABEL;WORK;PREF;ENCODING=QUOTED-PRINTABLE:One Microsoft Way=0D=0A=\r\n"
        "Redmond, WA 98052\r\n"
        "EMAIL;PREF;INTERNET:anna@contoso.example\r\n"
        "REV:20260101T120000Z\r\n"
        "END:VCARD\r\n");
    EXPECT_EQ(c.GetFamilyName(), "Brown");
    EXPECT_EQ(c.GetGivenName(), "Anna");
    EXPECT_EQ(c.GetOrgName(), "Contoso");
    EXPECT_EQ(c.GetOrgUnit(), "Sales");
    EXPECT_EQ(c.GetTitle(), "Manager");
    EXPECT_EQ(c.GetNote(), "Line one\r\n\tindented\tline\r\nLine three");
    ExpectNumbers(c,
                  {"(425) 555-0100", "(425) 555-0101", "(425) 555-0102", "(425) 555-0105",
                   "(425) 555-0103", "(425) 555-0104"},
                  "outlook");
    EXPECT_EQ(c.GetWorkStreet(), "One Microsoft Way Redmond WA 98052 United States of America");
    EXPECT_EQ(c.GetEmail(), "anna@contoso.example");
}

// Version 4.0: quoted parameter values holding "," ";" and ":", PREF=1,
// numbers as tel: addresses with their own parameters.
TEST(VCardExportersTest, Version40QuotedParametersAndTelAddresses)
{
    const CVCard c = Read(
        "BEGIN:VCARD\r\n"
        "VERSION:4.0\r\n"
        "FN:Simon Perreault\r\n"
        "N:Perreault;Simon;;;ing. jr,M.Sc.\r\n"
        "TEL;VALUE=uri;TYPE=\"work,voice\";PREF=1:tel:+1-418-656-9254;ext=102\r\n"
        "TEL;VALUE=uri;TYPE=\"work,cell,voice,video,text\":tel:+1-418-262-6501\r\n"
        "TEL;TYPE=\"home\";LABEL=\"Home; after 6:00 pm\":+1-418-555-0199\r\n"
        "EMAIL;TYPE=work:simon.perreault@example.ca\r\n"
        "ADR;TYPE=work;LABEL=\"Office: 2875 boul. Laurier, suite D2-630\":;;2875 boul. Laurier\\, suite "
        "D2-630;Quebec;QC;G1V 2M2;Canada\r\n"
        "END:VCARD\r\n");
    EXPECT_EQ(c.GetFamilyName(), "Perreault");
    EXPECT_EQ(c.GetGivenName(), "Simon");
    ExpectNumbers(c, {"+1-418-656-9254", "+1-418-555-0199", "+1-418-262-6501", "", "", ""}, "4.0");
    EXPECT_EQ(c.GetWorkEmail(), "simon.perreault@example.ca");
    EXPECT_EQ(c.GetWorkStreet(), "2875 boul. Laurier, suite D2-630 Quebec QC G1V 2M2 Canada");
    EXPECT_EQ(c.GetWorkExtended(), "");
}

// A Japanese phone's card in SHIFT_JIS: the second byte of a character may
// be the byte of a backslash, and must not escape the separator after it.
// Characters outside the PC set read as "?", the others as themselves.
TEST(VCardExportersTest, CharsetsOtherThanUtf8)
{
    // "Tanaka" + KATAKANA SO (0x83 0x5C) ; "Taro" + KANJI (0x91 0xBE)
    const CVCard sjis = Read(
        "BEGIN:VCARD\r\nVERSION:2.1\r\n"
        "N;CHARSET=SHIFT_JIS:Tanaka\x83\x5C;Taro\x91\xBE\r\n"
        "FN;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=83=5C=83=6A=81=5B\r\n"
        "TEL;CELL:09011112222\r\n"
        "END:VCARD\r\n");
    EXPECT_EQ(sjis.GetFamilyName(), "Tanaka?");
    EXPECT_EQ(sjis.GetGivenName(), "Taro?");
    EXPECT_EQ(sjis.GetFormattedName(), "???");
    EXPECT_EQ(sjis.GetCellVoice(), "09011112222");

    // Central European: L with stroke and z with acute have no PC character.
    const CVCard cp1250 = Card("FN;CHARSET=WINDOWS-1250:\xA3\xF3\x64\x9F\r\n", "2.1");
    EXPECT_EQ(cp1250.GetFormattedName(), "?\xF3\x64?");
    const CVCard cp1251 = Card("N;CHARSET=windows-1251:\xC8\xE2\xE0\xED\xEE\xE2;Ivan\r\n", "2.1");
    EXPECT_EQ(cp1251.GetFamilyName(), "??????");
    EXPECT_EQ(cp1251.GetGivenName(), "Ivan");
    const CVCard latin9 = Card("FN;CHARSET=ISO-8859-15:5 \xA4\r\n", "2.1");
    EXPECT_EQ(latin9.GetFormattedName(), "5 \x80");  // the euro sign of the PC set
    // A character set nobody knows is read as UTF-8.
    const CVCard unknown = Card("FN;CHARSET=X-NO-SUCH-SET:Jos\xC3\xA9\r\n", "2.1");
    EXPECT_EQ(unknown.GetFormattedName(), "Jos\xE9");
}

// Backslashes of version 2.1 compound values: "\\;" is a backslash ending a
// component, "\;" a semicolon inside one.
TEST(VCardExportersTest, Version21Backslashes)
{
    const CVCard c = Card("N:Back\\\\;Slash\\;ed;Mid\r\nORG:C:\\Dept;Unit\r\n", "2.1");
    EXPECT_EQ(c.GetFamilyName(), "Back\\");
    EXPECT_EQ(c.GetGivenName(), "Slash;ed");
    EXPECT_EQ(c.GetMiddleName(), "Mid");
    EXPECT_EQ(c.GetOrgName(), "C:\\Dept");  // a lone backslash is kept
    EXPECT_EQ(c.GetOrgUnit(), "Unit");
}

// Every telephone type a number may carry; each alone on a card lands in
// the field the location rules give.
TEST(VCardExportersTest, EveryTelephoneTypeFindsAField)
{
    struct Case {
        const char* line;
        Numbers want;
    } cases[] = {
        {"TEL;CELL;PREF:1", {"", "", "1", "", "", ""}},
        {"TEL;WORK;PREF:1", {"1", "", "", "", "", ""}},
        {"TEL;PREF:1", {"1", "", "", "", "", ""}},
        {"TEL;VOICE:1", {"1", "", "", "", "", ""}},
        {"TEL;TYPE=cell,pref:1", {"", "", "1", "", "", ""}},
        {"TEL;TYPE=mobile:1", {"", "", "1", "", "", ""}},
        {"TEL;X-CUSTOM:1", {"1", "", "", "", "", ""}},
        {"TEL;MODEM:1", {"1", "", "", "", "", ""}},
        {"TEL;ISDN:1", {"1", "", "", "", "", ""}},
        {"TEL;PAGER;MSG:1", {"", "", "", "1", "", ""}},
        {"TEL;HOME;MSG;VIDEO:1", {"", "1", "", "", "", ""}},
        {"TEL;WORK;FAX;VOICE:1", {"1", "", "", "", "1", ""}},
        {"TEL;HOME;FAX:1", {"", "", "", "", "", "1"}},
        {"TEL;FAX;PREF:1", {"", "", "", "", "1", ""}},
        {"TEL;ENCODING=QUOTED-PRINTABLE:=2B33=201", {"+33 1", "", "", "", "", ""}},
        {"TEL:tel:+33-1-23;phone-context=example", {"+33-1-23", "", "", "", "", ""}},
    };
    for (const Case& c : cases)
        ExpectNumbers(Card(std::string(c.line) + "\r\n", "2.1"), c.want, c.line);

    // Untyped numbers fill the voice fields in the order work, home, cell,
    // pager; only the fifth finds none free.
    const CVCard five = Card("TEL:1\r\nTEL:2\r\nTEL:3\r\nTEL:4\r\nTEL:5\r\n", "3.0");
    ExpectNumbers(five, {"1", "2", "3", "4", "", ""}, "five untyped");
    // Three faxes: the third finds both fax fields full and is the only loss.
    const CVCard faxes = Card("TEL;FAX:1\r\nTEL;FAX:2\r\nTEL;WORK;FAX:3\r\n", "2.1");
    ExpectNumbers(faxes, {"", "", "", "", "1", "2"}, "three faxes");
    // A preferred number takes its location; the one it displaces moves on.
    const CVCard pref = Card("TEL;HOME:1\r\nTEL;HOME;PREF:2\r\n", "2.1");
    ExpectNumbers(pref, {"1", "2", "", "", "", ""}, "preferred home");
}

// The reader is a reader only: a card the program wrote goes out byte for
// byte as before and comes back field for field.
TEST(VCardExportersTest, ProgramCardsRoundTripUnchanged)
{
    CVCard card;
    card.SetFamilyName("Dupr\xE9;Fils");
    card.SetGivenName("Ren\xE9");
    card.SetFormattedName("Ren\xE9 Dupr\xE9");
    card.SetOrgName("Acme");
    card.SetOrgUnit("R&D");
    card.SetTitle("Chef");
    card.SetNote("Line 1\r\n\tLine 2 = end");
    card.SetWorkVoice("+33 1 23");
    card.SetHomeVoice("0145");
    card.SetCellVoice("0611");
    card.SetPagerVoice("0800");
    card.SetWorkFax("0146");
    card.SetHomeFax("0147");
    card.SetWorkStreet("1 Rue Haute");
    card.SetWorkExtended("B\xE2t. 2");
    card.SetHomeStreet("2 Rue Basse\r\n75001 Paris");
    card.SetEmail("r@example.fr");
    card.SetHomeEmail("r@example.fr");
    const std::string expected =
        "BEGIN:VCARD\r\n"
        "N;CHARSET=UTF-8:Dupr\xC3\xA9\\;Fils;Ren\xC3\xA9;\r\n"
        "FN;CHARSET=UTF-8:Ren\xC3\xA9 Dupr\xC3\xA9\r\n"
        "ORG:Acme;R&D\r\n"
        "TITLE:Chef\r\n"
        "NOTE;QUOTED-PRINTABLE:Line 1=0D=0A=\r\n"
        "=09Line 2 =3D end\r\n"
        "TEL;WORK;VOICE:+33 1 23\r\n"
        "TEL;HOME;VOICE:0145\r\n"
        "TEL;CELL;VOICE:0611\r\n"
        "TEL;PAGER;VOICE:0800\r\n"
        "TEL;WORK;FAX:0146\r\n"
        "TEL;HOME;FAX:0147\r\n"
        "ADR;WORK;CHARSET=UTF-8:;B\xC3\xA2t. 2;1 Rue Haute\r\n"
        "ADR;HOME;QUOTED-PRINTABLE:;;2 Rue Basse=0D=0A=\r\n"
        "75001 Paris\r\n"
        "EMAIL;PREF;INTERNET;HOME:r@example.fr\r\n"
        "END:VCARD\r\n\r\n";
    EXPECT_EQ(card.ToText(), expected);
    EXPECT_TRUE(Read(card.ToText()) == card);
}
