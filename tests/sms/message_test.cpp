// The message model: length rules at their limits, concatenated status,
// joining parts, the concatenation list's identity and its file form.
#include "../app/test_support.h"
#include "at_charset.h"
#include "message.h"
#include "smsdatabase.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

CMessage WithText(const std::string& text, int dcs)
{
    CMessage m;
    m.SetDcs(dcs);
    m.SetText(text);
    return m;
}

std::vector<std::string> Blocks(CMessage m)
{
    std::vector<std::string> out;
    for (std::string b = m.GetNextBlock(); !b.empty(); b = m.GetNextBlock())
        out.push_back(b);
    return out;
}

std::string Temp(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / ("zorq-msg-" + std::to_string(getpid()) + "-" + name)).string();
}

}  // namespace

TEST(MessageLength, LimitsOfEachCoding)
{
    EXPECT_FALSE(WithText(std::string(160, 'a'), 0).IsLong());
    EXPECT_TRUE(WithText(std::string(161, 'a'), 0).IsLong());
    EXPECT_EQ(WithText(std::string(161, 'a'), 0).ComputeNbBlocks(), 2);
    auto b = Blocks(WithText(std::string(161, 'a'), 0));
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].size(), 153u);
    EXPECT_EQ(b[1].size(), 8u);

    EXPECT_FALSE(WithText(std::string(140, 'a'), 1).IsLong());
    EXPECT_TRUE(WithText(std::string(141, 'a'), 1).IsLong());
    EXPECT_EQ(WithText(std::string(141, 'a'), 1).ComputeNbBlocks(), 2);
    EXPECT_EQ(Blocks(WithText(std::string(141, 'a'), 1))[0].size(), 134u);

    EXPECT_FALSE(WithText(std::string(70, 'a'), 2).IsLong());
    EXPECT_TRUE(WithText(std::string(71, 'a'), 2).IsLong());
    EXPECT_EQ(WithText(std::string(134, 'a'), 2).ComputeNbBlocks(), 2);
    EXPECT_EQ(WithText(std::string(135, 'a'), 2).ComputeNbBlocks(), 3);

    // A coding outside 0-2 has no limits: every text is long, none is cut.
    CMessage odd = WithText("x", 3);
    EXPECT_EQ(odd.GetSMSMaxNbChar(), 0);
    EXPECT_TRUE(odd.IsLong());
    EXPECT_EQ(odd.ComputeNbBlocks(), 0);
}

TEST(MessageLength, ExtensionCharactersTakeTwoSeptets)
{
    // 80 euro signs are 160 septets: one message; one more character is not.
    const std::string euros(80, '\x80');
    EXPECT_FALSE(WithText(euros, 0).IsLong());
    EXPECT_TRUE(WithText(euros + "a", 0).IsLong());
    EXPECT_TRUE(WithText(std::string(159, 'a') + "[", 0).IsLong());
    EXPECT_FALSE(WithText(std::string(158, 'a') + "]", 0).IsLong());
    EXPECT_EQ(CountSeptets("{}\\~^|a"), 13u);

    // A block never exceeds 153 septets and never splits an escape pair.
    auto b = Blocks(WithText(std::string(152, 'a') + "{" + std::string(10, 'b'), 0));
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0], std::string(152, 'a'));
    EXPECT_EQ(b[1], "{" + std::string(10, 'b'));
    for (const auto& block : Blocks(WithText(std::string(400, '\x80'), 0)))
        EXPECT_LE(CountSeptets(block), 153u);
    EXPECT_EQ(WithText(std::string(400, '\x80'), 0).ComputeNbBlocks(), 6);  // 76 per block

    // 8-bit and UCS2 texts are counted in characters.
    EXPECT_FALSE(WithText(std::string(140, '['), 1).IsLong());
}

// What fits the 7-bit alphabet agrees with the built conversion tables: a
// PC character fits exactly when it comes back from its 7-bit code, or is
// one of the extension table's characters.
TEST(MessageCoding, SevenBitFitAgreesWithTheConversionTables)
{
    std::string failed;
    ASSERT_TRUE(at_load_conversion_tables(zorqtest::BuiltProgramDir() + "/Files/", &failed)) << failed;
    for (int c = 1; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        const uint8_t code = at_win_to_gsm(static_cast<uint8_t>(c));
        const bool back = code < 128 && at_gsm_to_win(code) == c;
        EXPECT_EQ(FitsGsm7(std::string(1, ch)), back || IsGsmExtensionChar(ch)) << c;
    }
    // Back to the tables other tests of this program expect (identity).
    uint8_t g2w[128], w2g[256];
    for (int i = 0; i < 256; ++i) {
        w2g[i] = static_cast<uint8_t>(i);
        if (i < 128)
            g2w[i] = static_cast<uint8_t>(i);
    }
    at_set_conversion_tables(g2w, w2g);
}

// A 7-bit message that 7-bit cannot carry becomes UCS2 (and is measured as
// such); 8-bit and UCS2 keep their coding whatever their text.
TEST(MessageCoding, OnlySevenBitTextsThatDoNotFitBecomeUcs2)
{
    CMessage plain = WithText("Caf\xE9 @ 5\xA3 [ok]", 0);
    plain.AdaptCoding();
    EXPECT_EQ(plain.GetDcs(), 0);
    CMessage accented = WithText(std::string(70, 'a') + "\xEA", 0);
    EXPECT_FALSE(accented.IsLong());
    accented.AdaptCoding();
    EXPECT_EQ(accented.GetDcs(), 2);
    EXPECT_TRUE(accented.IsLong());  // 71 UCS2 characters
    EXPECT_EQ(accented.ComputeNbBlocks(), 2);
    CMessage backquote = WithText("`", 0);
    backquote.AdaptCoding();
    EXPECT_EQ(backquote.GetDcs(), 2);
    for (int dcs : {1, 2}) {
        CMessage kept = WithText("plain", dcs);
        kept.AdaptCoding();
        EXPECT_EQ(kept.GetDcs(), dcs);
        CMessage data = WithText("\x01\xEA\x9F", dcs);
        data.AdaptCoding();
        EXPECT_EQ(data.GetDcs(), dcs);
    }
}

// The coding goes into a database row and comes back with the message; a
// value no coding has reads as 7-bit.
TEST(MessageCoding, RowsKeepTheCoding)
{
    for (int dcs : {0, 1, 2}) {
        CEntrySMSRecordset rs(nullptr);
        rs.SetFromMessage(WithText("x", dcs), false);
        EXPECT_EQ(rs.Coding, dcs);
        CMessage back;
        back.SetDcs(dcs == 0 ? 2 : 0);
        back.SetFromRecord(rs);
        EXPECT_EQ(back.GetDcs(), dcs);
    }
    CEntrySMSRecordset odd(nullptr);
    odd.Coding = 3;
    CMessage m;
    m.SetDcs(2);
    m.SetFromRecord(odd);
    EXPECT_EQ(m.GetDcs(), 0);
}

TEST(MessageStatus, ConcatenatedTriplesAndReading)
{
    CMessage m;
    m.SetNbBlocks(3);
    m.SetConcatStatus(0);
    EXPECT_EQ(m.GetStatus(), 5);
    m.AddBlock(new CBlock("a", 1, 1));
    m.UpdateConcatStatus(0);
    EXPECT_EQ(m.GetStatus(), 6);
    m.AddBlock(new CBlock("b", 2, 2));
    m.UpdateConcatStatus(0);  // two held, the third arrives
    EXPECT_EQ(m.GetStatus(), 7);

    // Reading keeps the number of parts held: 5 -> 8, 6 -> 9, 7 -> 10.
    for (auto [from, to] : {std::pair{5, 8}, {6, 9}, {7, 10}, {0, 1}}) {
        m.SetStatus(from);
        EXPECT_TRUE(m.SetStatusToRead());
        EXPECT_EQ(m.GetStatus(), to);
    }
    m.SetStatus(3);
    EXPECT_FALSE(m.SetStatusToRead());
    EXPECT_EQ(m.GetStatus(), 3);

    m.SetStatus(14);
    m.RecomputeConcatStatus();  // two of three parts held
    EXPECT_EQ(m.GetStatus(), 15);
}

TEST(MessageParts, OrderDuplicatesAndJoining)
{
    CMessage m;
    m.SetMsgType2(1);
    m.SetNbBlocks(4);
    EXPECT_EQ(m.AddBlock(new CBlock("three", 7, 3)), 0);
    EXPECT_EQ(m.AddBlock(new CBlock("one", 5, 1)), 0);
    EXPECT_EQ(m.AddBlock(new CBlock("one", 5, 1)), -1);  // the same part twice
    m.AssembleText();
    EXPECT_EQ(m.GetText(), "[Incomplete] one...three...");
    EXPECT_TRUE(m.HasPendingParts());
    EXPECT_EQ(m.CountStoredParts(), 2);

    // Remove needs an equal block; the sequence alone is RemoveBySeqNum.
    CBlock other("other text", 5, 1);
    EXPECT_EQ(m.RemoveBlock(&other), 0);
    EXPECT_EQ(m.RemoveBlockBySeqNum(1), 1);
    EXPECT_EQ(m.GetBlockList().GetCount(), 1);

    m.AddBlock(new CBlock("one", 0, 1));
    m.AddBlock(new CBlock("two", 0, 2));
    m.AddBlock(new CBlock("four", 0, 4));
    m.AssembleText();
    EXPECT_EQ(m.GetText(), "onetwothreefour");
    m.SetStatus(11);
    m.PurgeStoredParts();  // "three" is still in the phone
    EXPECT_EQ(m.GetBlockList().GetCount(), 3);
    EXPECT_EQ(m.GetStatus(), 12);
}

TEST(MessageList, IdentityIsSenderTypeReferenceAndBlocks)
{
    auto make = [](const std::string& sender, uint8_t ref, uint8_t blocks) {
        auto* m = new CMessage;
        m->SetMsgType2(1);
        if (!sender.empty())
            m->AddAddress("", sender);
        m->SetConcatRef(ref);
        m->SetNbBlocks(blocks);
        return m;
    };
    CMessageList list;
    EXPECT_EQ(list.AddMessage(make("+331", 7, 3)), 0);
    EXPECT_EQ(list.AddMessage(make("+332", 7, 3)), 1);   // another sender
    EXPECT_EQ(list.AddMessage(make("+331", 8, 3)), 2);   // another reference
    EXPECT_EQ(list.AddMessage(make("+331", 7, 4)), 3);   // another part count
    EXPECT_EQ(list.AddMessage(make("+331", 7, 3)), -1);  // the first one again
    EXPECT_EQ(list.FindConcatenated("+332", 1, 7, 3), 1);
    EXPECT_EQ(list.FindConcatenated("+332", 2, 7, 3), -1);
    // A message received without a sender matches any sender.
    CMessageList anon;
    anon.AddMessage(make("", 9, 2));
    EXPECT_EQ(anon.FindConcatenated("+339", 1, 9, 2), 0);
}

TEST(MessageList, FileRoundTripAndLayout)
{
    CMessageList list;
    for (int i = 0; i < 300; ++i) {
        auto* m = new CMessage;
        m->SetMsgType2(1);
        m->AddAddress("Name", "+33" + std::to_string(i));
        m->SetConcatRef(static_cast<uint8_t>(i));
        m->SetNbBlocks(2);
        m->SetDate(45000.5);
        m->SetServiceCentre("+33689004000");
        m->AddBlock(new CBlock("part \x80 [" + std::to_string(i), static_cast<uint8_t>(i % 30), 1));
        m->SetConcatStatus(1);
        ASSERT_GE(list.AddMessage(m), 0);
    }
    const std::string path = Temp("round.lst");
    ASSERT_TRUE(list.Save(path));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    // 300 fits the 16-bit count; the first message names its class.
    EXPECT_EQ(bytes[0] | bytes[1] << 8, 300);
    EXPECT_EQ(bytes[2] | bytes[3] << 8, 0xFFFF);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "CMessage");

    CMessageList back;
    ASSERT_TRUE(back.Load(path));
    ASSERT_EQ(back.GetCount(), 300);
    EXPECT_EQ(back.GetAt(299)->GetOnlyRecipientNumber(), "+33299");
    EXPECT_EQ(back.GetAt(5)->GetBlockList().GetAt(0)->GetText(), "part \x80 [5");
    EXPECT_EQ(back.GetAt(5)->GetStatus(), 8);
    EXPECT_EQ(back.GetAt(5)->GetDays(), 45000.5);
    const std::string again = Temp("again.lst");
    ASSERT_TRUE(back.Save(again));
    std::vector<uint8_t> bytes2;
    ASSERT_TRUE(ReadWholeFile(again, bytes2));
    EXPECT_EQ(bytes, bytes2);

    // Loading appends; a truncated file throws and changes nothing.
    ASSERT_TRUE(back.Load(path));
    EXPECT_EQ(back.GetCount(), 600);
    bytes.resize(bytes.size() / 2);
    ASSERT_TRUE(WriteFileAtomically(path, bytes));
    CMessageList broken;
    broken.AddMessage(new CMessage);
    EXPECT_THROW(broken.Load(path), ArchiveError);
    EXPECT_EQ(broken.GetCount(), 1);

    // A file of two bytes holds nothing; an empty list deletes its file.
    ASSERT_TRUE(WriteFileAtomically(path, {0, 0}));
    EXPECT_TRUE(broken.Load(path));
    EXPECT_EQ(broken.GetCount(), 1);
    CMessageList empty;
    EXPECT_FALSE(empty.Save(path));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(empty.Load(path));
    std::remove(again.c_str());
}

TEST(MessageList, PurgeDropsMessagesLeftWithoutParts)
{
    CMessageList list;
    auto* m = new CMessage;
    m->SetMsgType2(1);
    m->SetNbBlocks(2);
    m->AddBlock(new CBlock("in the SIM", 4, 1));
    list.AddMessage(m);
    auto* kept = new CMessage;
    kept->SetMsgType2(1);
    kept->SetConcatRef(1);
    kept->SetNbBlocks(2);
    kept->AddBlock(new CBlock("read", 0, 2));
    list.AddMessage(kept);
    EXPECT_TRUE(list.HasPendingParts());
    list.PurgeStoredParts();
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0)->GetConcatRef(), 1);
    EXPECT_FALSE(list.HasPendingParts());
}

TEST(AddressListColumn, EntriesParseAndFollowTheSentFlags)
{
    CEntrySMSRecordset rs(nullptr);
    rs.AddrList = "Ann@+331\r\nBob@+332\r\n+333";
    CAddressList list;
    rs.GetAddrList(list);
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetAt(1)->GetName(), "Bob");
    EXPECT_EQ(list.GetAt(1)->GetNumber(), "+332");
    // No "@": an empty name; no line end: an empty number, the rest dropped.
    EXPECT_EQ(list.GetAt(2)->GetName(), "");
    EXPECT_EQ(list.GetAt(2)->GetNumber(), "");

    CMessage m;
    m.AddAddress("A@x", "+1");
    m.AddAddress("B", "+2");
    m.GetAddressList().GetAt(1)->SetSent(true);
    m.SetText("hello");
    m.SetMsgType2(1);
    m.SetConcatRef(9);
    rs.SetFromMessage(m, false);
    EXPECT_EQ(rs.AddrList, "Ax@+1\r\n");
    EXPECT_EQ(rs.MsgRef, 9);
    rs.SetFromMessage(m, true);
    EXPECT_EQ(rs.AddrList, "B@+2\r\n");
    rs.SetAddrList(nullptr);
    EXPECT_EQ(rs.AddrList, "");
}
