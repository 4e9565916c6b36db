// Short-message answers in text and PDU mode, status reports, PDU decoding.
#include <gtest/gtest.h>

#include <cstring>

#include "at_charset.h"
#include "at_sms.h"
#include "ati_harness.h"

namespace {

std::vector<uint8_t> hex_bytes(const std::string& hex)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<std::vector<uint8_t>> run_answer(AtiHarness& h, uint8_t req, const std::vector<uint8_t>& p,
                                             const std::string& answer)
{
    h.request(req, p);
    h.feed(answer);
    h.run();
    h.output();
    return h.confirms();
}

// A cursor over a confirm.
struct cur {
    const std::vector<uint8_t>& c;
    size_t i;
    uint8_t b() { return c.at(i++); }
    std::string text()
    {
        uint8_t n = b();
        std::string s(c.begin() + static_cast<long>(i), c.begin() + static_cast<long>(i + n));
        i += n;
        return s;
    }
};

const char* deliver_pdu = "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37";

}  // namespace

TEST(AtSms, TextModeListingWith7BitAndHexBodies)
{
    AtiHarness h;
    auto c = run_answer(h, AT_REQ_CMGL, {1},
                        "\r\n+CMGL: 1,\"REC READ\",\"+33612345678\",,\"08/12/24,07:05:09+04\",145,5\r\nHello\r\n"
                        "+CMGL: 2,\"REC UNREAD\",\"BANK ALERT\",\"Bank\",\"08/12/24,07:05:10+04\",208,4\r\n00E900FC\r\n"
                        "\r\nOK\r\n");
    ASSERT_EQ(c.size(), 3u);
    cur a{c[0], 2};
    EXPECT_EQ(a.b(), 1);  // index
    EXPECT_EQ(a.b(), 1);  // REC READ
    EXPECT_EQ(a.b(), 0);  // text mode
    EXPECT_EQ(a.text(), "+33612345678");
    EXPECT_EQ(a.b(), 145);
    EXPECT_EQ(a.b(), 0);  // no name
    EXPECT_EQ(a.b(), 1);  // time stamp
    for (int v : {8, 12, 24, 7, 5, 9, 0, 4})
        EXPECT_EQ(a.b(), v);
    EXPECT_EQ(a.text(), "Hello");
    EXPECT_EQ(a.b(), 0);

    cur b{c[1], 2};
    EXPECT_EQ(b.b(), 2);
    EXPECT_EQ(b.b(), 0);  // REC UNREAD
    b.b();
    EXPECT_EQ(b.text(), "BANK ALERT");  // an alphanumeric sender is kept as it is
    EXPECT_EQ(b.b(), 208);
    EXPECT_EQ(b.b(), 1);
    EXPECT_EQ(b.text(), "Bank");
    EXPECT_EQ(b.b(), 1);
    b.i += 8;
    // 8-bit / UCS2 bodies come as two hexadecimal characters an octet.
    EXPECT_EQ(b.text(), std::string("\x00\xe9\x00\xfc", 4));
    EXPECT_EQ(c[2][1], AT_CNF_OK);
}

TEST(AtSms, TextModeReadWithFullHeader)
{
    AtiHarness h;
    auto c = run_answer(h, AT_REQ_CMGR, {3},
                        "\r\n+CMGR: \"REC READ\",\"0612\",,\"08/12/24,07:05:09+04\",129,4,0,8,\"+3360\",145,2\r\n"
                        "0041\r\n\r\nOK\r\n");
    ASSERT_EQ(c.size(), 2u);
    cur r{c[0], 2};
    EXPECT_EQ(r.b(), 1);  // status
    EXPECT_EQ(r.b(), 0);  // no block
    EXPECT_EQ(r.text(), "0612");
    EXPECT_EQ(r.b(), 129);
    EXPECT_EQ(r.b(), 0);
    EXPECT_EQ(r.b(), 1);
    r.i += 8;
    EXPECT_EQ(r.b(), 4);  // fo
    EXPECT_EQ(r.b(), 0);  // pid
    EXPECT_EQ(r.b(), 8);  // dcs
    EXPECT_EQ(r.b(), 0);  // no validity
    EXPECT_EQ(r.text(), "+3360");
    EXPECT_EQ(r.b(), 145);
    EXPECT_EQ(r.b(), 0);  // no concatenation
    EXPECT_EQ(r.text(), std::string("\x00\x41", 2));
}

TEST(AtSms, TextModeBodyLongerThan160IsMalformed)
{
    AtiHarness h;
    auto c = run_answer(h, AT_REQ_CMGR, {3}, "\r\n+CMGR: \"REC READ\",\"0612\",,\"08/12/24,07:05:09+04\",129,161\r\n");
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0][1], AT_CNF_RESULT);
    EXPECT_EQ(c[0][2], AT_RESULT_SYNTAX);
}

TEST(AtSms, PduDecodeOfADeliver)
{
    auto pdu = hex_bytes(deliver_pdu);
    at_sms_fields f;
    ASSERT_TRUE(at_pdu_decode(pdu.data(), pdu.size(), true, &f));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.sca + 1), f.sca[0]), "+27381000015");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.number + 1), f.number[0]), "27838890001");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.text), f.text_len), "hellohello");
    EXPECT_TRUE(f.has_ts);
    EXPECT_EQ(f.ts[0], 99);
    EXPECT_EQ(f.ts[1], 3);
    EXPECT_EQ(f.ts[2], 29);
    // Every truncation of the PDU is refused, never read past its end.
    for (size_t n = 0; n < pdu.size(); ++n) {
        std::vector<uint8_t> cut(pdu.begin(), pdu.begin() + static_cast<long>(n));
        EXPECT_FALSE(at_pdu_decode(cut.data(), cut.size(), true, &f)) << n;
    }
}

TEST(AtSms, PduDecodeOfThePublishedSubmitExample)
{
    // The SMS-SUBMIT example found in GSM 03.40 tutorials: no service-centre
    // address, relative validity 0xAA (4 days), "hellohello" to +46708251358.
    auto pdu = hex_bytes("0011000B916407281553F80000AA0AE8329BFD4697D9EC37");
    at_sms_fields f;
    ASSERT_TRUE(at_pdu_decode(pdu.data(), pdu.size(), true, &f));
    EXPECT_EQ(f.sca[0], 0);
    EXPECT_EQ(f.fo, 0x11);
    EXPECT_TRUE(f.has_mr);
    EXPECT_EQ(f.mr, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.number + 1), f.number[0]), "+46708251358");
    EXPECT_EQ(f.number_type, 0x91);
    EXPECT_EQ(f.pid, 0);
    EXPECT_EQ(f.dcs, 0);
    EXPECT_EQ(f.vp_len, 1);
    EXPECT_EQ(f.vp[0], 0xAA);
    EXPECT_FALSE(f.has_ts);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.text), f.text_len), "hellohello");
}

TEST(AtSms, PduSubmitRoundTripWithConcatenation)
{
    const uint8_t sca[] = "+3360";
    const uint8_t da[] = "0612345";
    const uint8_t text[] = "Part one of two";
    const uint8_t vp[] = {167};
    at_sms_submit s;
    s.sca = sca;
    s.sca_len = 5;
    s.vp_len = 1;
    s.vp = vp;
    s.da = da;
    s.da_len = 7;
    s.concat = true;
    s.ref = 9;
    s.total = 2;
    s.seq = 1;
    s.text = text;
    s.text_len = 15;
    uint8_t out[AT_PDU_MAX];
    size_t tpdu = 0;
    size_t n = at_pdu_submit(s, out, &tpdu);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(n - tpdu, 4u);  // service-centre part: length, type, two octets
    at_sms_fields f;
    ASSERT_TRUE(at_pdu_decode(out, n, true, &f));
    EXPECT_EQ(f.fo & 0x43, 0x41);
    EXPECT_TRUE(f.has_concat);
    EXPECT_EQ(f.concat[0], 9);
    EXPECT_EQ(f.concat[1], 2);
    EXPECT_EQ(f.concat[2], 1);
    EXPECT_EQ(f.vp_len, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.number + 1), f.number[0]), "0612345");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.text), f.text_len), "Part one of two");

    // The largest submit fits its block: absolute validity, full addresses,
    // 140 octets of 8-bit data.
    std::vector<uint8_t> big(140, 'x');
    const uint8_t longnum[] = "+12345678901234567890";
    const uint8_t abs_vp[] = {8, 12, 24, 7, 5, 9, '+', 0};
    s.sca = longnum;
    s.sca_len = 21;
    s.da = longnum;
    s.da_len = 21;
    s.vp = abs_vp;
    s.vp_len = 8;
    s.dcs = 4;
    s.concat = false;
    s.text = big.data();
    s.text_len = 140;
    n = at_pdu_submit(s, out, &tpdu);
    EXPECT_EQ(n, 12u + 2 + 12 + 2 + 7 + 1 + 140);
    ASSERT_TRUE(at_pdu_decode(out, n, true, &f));
    EXPECT_EQ(f.vp_len, 8);
    EXPECT_EQ(f.vp[6], 0);  // '+' in the record is plus
    s.text_len = 141;
    EXPECT_EQ(at_pdu_submit(s, out, &tpdu), 0u);
}

TEST(AtSms, PduModeListingAndRead)
{
    AtiHarness h;
    ati_sms_mode = 0;
    std::string pdu = deliver_pdu;
    std::string len = std::to_string(pdu.size() / 2 - 8);
    auto c = run_answer(h, AT_REQ_CMGL, {1},
                        "\r\n+CMGL: 3,1,," + len + "\r\n" + pdu + "\r\n\r\nOK\r\n");
    ASSERT_EQ(c.size(), 2u);
    cur l{c[0], 2};
    EXPECT_EQ(l.b(), 3);
    EXPECT_EQ(l.b(), 1);
    EXPECT_EQ(l.b(), 1);  // PDU mode
    EXPECT_EQ(l.b(), 0);  // a deliver has no reference
    EXPECT_EQ(l.b(), 4);  // first octet
    EXPECT_EQ(l.b(), 0);
    EXPECT_EQ(l.b(), 0);
    EXPECT_EQ(l.b(), 0);  // no validity
    EXPECT_EQ(l.text(), "+27381000015");
    EXPECT_EQ(l.b(), 145);
    EXPECT_EQ(l.b(), 0);
    EXPECT_EQ(l.text(), "27838890001");
    EXPECT_EQ(l.b(), 0xC8);  // the sender's type as the phone gave it
    EXPECT_EQ(l.b(), 0);
    EXPECT_EQ(l.b(), 1);
    l.i += 8;
    EXPECT_EQ(l.text(), "hellohello");

    // A PDU whose user-data length runs past its end is malformed.
    std::string bad = pdu.substr(0, pdu.size() - 2);
    c = run_answer(h, AT_REQ_CMGR, {3}, "\r\n+CMGR: 1,," + len + "\r\n" + bad + "\r\n");
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0][2], AT_RESULT_SYNTAX);
}

// Answers of real phones that other readers take: a PDU line closed by a
// quote, a filler nibble counted in an address's length, and number types
// other than 129 and 145, which are kept (and written back) as given.
TEST(AtSms, APduLineClosedByAQuoteIsRead)
{
    AtiHarness h;
    ati_sms_mode = 0;
    const std::string pdu = deliver_pdu;
    const std::string len = std::to_string(pdu.size() / 2 - 8);
    for (const char* req : {"+CMGR: 1,,", "+CMGL: 3,1,,"}) {
        SCOPED_TRACE(req);
        const bool list = req[4] == 'L';
        auto c = run_answer(h, list ? AT_REQ_CMGL : AT_REQ_CMGR, {3},
                            std::string("\r\n") + req + len + "\r\n" + pdu + "\"\r\n\r\nOK\r\n");
        ASSERT_EQ(c.size(), 2u);
        EXPECT_EQ(c[0][1], list ? AT_CNF_CMGL : AT_CNF_CMGR);
        const std::string body(c[0].begin(), c[0].end());
        EXPECT_NE(body.find("hellohello"), std::string::npos);
    }
    // Hexadecimal after the quote is no PDU.
    // (Last: the AT task then drains the line.)
    auto c = run_answer(h, AT_REQ_CMGR, {3}, "\r\n+CMGR: 1,," + len + "\r\n" + pdu.substr(0, pdu.size() - 2) + "\"" +
                                                 pdu.substr(pdu.size() - 2) + "\r\n\r\nOK\r\n");
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c[0][1], AT_CNF_RESULT);
    EXPECT_EQ(c[0][2], AT_RESULT_SYNTAX);
}

TEST(AtSms, AFillerNibbleInsideAnAddresssLengthIsSkipped)
{
    at_sms_fields f;
    // +33612345678 with its filler counted: 12 semi-octets, the last an F.
    auto filler = hex_bytes("00040C913316325476F800009930925161958002C834");
    ASSERT_TRUE(at_pdu_decode(filler.data(), filler.size(), true, &f));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.number + 1), f.number[0]), "+33612345678");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.text), f.text_len), "Hi");
}

TEST(AtSms, NumberTypesAreKeptAsThePhoneGaveThem)
{
    AtiHarness h;
    ati_sms_mode = 0;
    at_sms_fields f;
    // A national sender (type 161) stays national.
    const std::string pdu2 = "00040AA1602143658700009930925161958002C834";
    auto national = hex_bytes(pdu2);
    ASSERT_TRUE(at_pdu_decode(national.data(), national.size(), true, &f));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.number + 1), f.number[0]), "0612345678");
    EXPECT_EQ(f.number_type, 161);
    auto r = run_answer(h, AT_REQ_CMGR, {3}, "\r\n+CMGR: 1,,20\r\n" + pdu2 + "\r\n\r\nOK\r\n");
    ASSERT_EQ(r.size(), 2u);
    const std::string confirm(r[0].begin(), r[0].end());
    const size_t at = confirm.find("0612345678");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(static_cast<uint8_t>(confirm[at + 10]), 161);

    // Written back: the given type, but 145 exactly when there is a '+'.
    const struct {
        const char* number;
        uint8_t given, written;
    } types[] = {{"0612345678", 161, 0xA1}, {"1234", 177, 0xB1}, {"0612", 145, 0x81}, {"+336", 161, 0x91}, {"0612", 0, 0x81}};
    for (const auto& t : types) {
        at_sms_submit s;
        s.da = reinterpret_cast<const uint8_t*>(t.number);
        s.da_len = std::strlen(t.number);
        s.da_type = t.given;
        s.text = reinterpret_cast<const uint8_t*>("x");
        s.text_len = 1;
        uint8_t out[AT_PDU_MAX];
        size_t tpdu = 0;
        ASSERT_GT(at_pdu_submit(s, out, &tpdu), 0u) << t.number;
        EXPECT_EQ(out[4], t.written) << t.number << " " << int(t.given);  // after sca 0, fo, mr, length
    }
}

TEST(AtSms, StatusReports)
{
    AtiHarness h;
    h.feed("\r\n+CDS: 6,17,\"+33612\",145,\"08/12/24,07:05:09+04\",\"08/12/24,07:06:00+04\",0\r\n");
    h.run();
    auto c = h.confirms();
    ASSERT_EQ(c.size(), 1u);
    std::vector<uint8_t> want = {0, 242, 6, 17, 1, 6, '+', '3', '3', '6', '1', '2', 145, 0, 1, 8, 12, 24, 7, 5, 9, 0, 4,
                                 1, 8, 12, 24, 7, 6, 0, 0, 4, 0};
    EXPECT_EQ(c[0], want);

    // The PDU form: service centre, fo 06, reference 17, recipient, two stamps, status 0.
    std::string pdu = "0006110B913316325476F8" "80422170509040" "80422170600040" "00";
    h.feed("\r\n+CDS: " + std::to_string(pdu.size() / 2 - 1) + "\r\n" + pdu + "\r\n");
    h.run();
    c = h.confirms();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0][3], 17);
    EXPECT_EQ(std::string(c[0].begin() + 6, c[0].begin() + 18), "+33612345678");
}

// UCS2 user data and PC text: every PC character goes and comes back; what
// the PC set has no character for reads as one '?' (a surrogate pair too);
// an odd last octet is dropped.
TEST(AtSms, Ucs2UserDataAndPcText)
{
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    const std::string ucs2 = at_win_to_ucs2(all);
    ASSERT_EQ(ucs2.size(), 512u);
    EXPECT_EQ(ucs2.substr(2 * 0x41, 2), std::string("\x00\x41", 2));
    EXPECT_EQ(ucs2.substr(2 * 0x80, 2), "\x20\xAC");  // euro sign
    EXPECT_EQ(ucs2.substr(2 * 0x97, 2), "\x20\x14");  // em dash
    EXPECT_EQ(ucs2.substr(2 * 0xE9, 2), std::string("\x00\xE9", 2));
    EXPECT_EQ(at_ucs2_to_win(ucs2), all);
    // Cyrillic Zhe, a surrogate pair, then 'A' and an odd octet.
    EXPECT_EQ(at_ucs2_to_win(std::string("\x04\x16\xD8\x3D\xDE\x00\x00\x41\x00", 9)), "??A");
    EXPECT_EQ(at_ucs2_to_win(""), "");
}

namespace {

// A 7-bit submit of `text` to a short number, as one part of three when
// `part`; the octet count (0 when refused) and the user data decoded back.
struct built {
    size_t n = 0;
    uint8_t udl = 0;
    std::vector<uint8_t> septets;  // user data after any header, one code a byte
    at_sms_fields f;
};

built submit_7bit(const std::string& text, bool part)
{
    const uint8_t da[] = "0612";
    at_sms_submit s;
    s.da = da;
    s.da_len = 4;
    s.concat = part;
    s.ref = 1;
    s.total = 3;
    s.seq = 2;
    s.text = reinterpret_cast<const uint8_t*>(text.data());
    s.text_len = text.size();
    built b;
    uint8_t out[AT_PDU_MAX];
    size_t tpdu = 0;
    b.n = at_pdu_submit(s, out, &tpdu);
    if (b.n == 0)
        return b;
    // No service centre, fo, mr, number length, type, 2 digit octets, pid,
    // dcs: the user-data length is at octet 9.
    b.udl = out[9];
    const size_t skip = part ? 7 : 0;
    for (size_t k = skip; k < b.udl; ++k) {
        size_t bit = k * 7;
        unsigned v = out[10 + bit / 8] >> (bit % 8);
        if (bit % 8 > 1)
            v |= out[10 + bit / 8 + 1] << (8 - bit % 8);
        b.septets.push_back(static_cast<uint8_t>(v & 0x7F));
    }
    EXPECT_TRUE(at_pdu_decode(out, b.n, true, &b.f));
    return b;
}

std::string text_of(const at_sms_fields& f) { return std::string(reinterpret_cast<const char*>(f.text), f.text_len); }

}  // namespace

TEST(AtSms, ExtensionCharactersGoAsEscapeAndCodeAndComeBack)
{
    // Euro sign, [ ] { } \ ^ ~ | and form feed, between plain letters.
    const std::string ext = "\x80[]{}\\^~|\f";
    const uint8_t codes[] = {0x65, 0x3C, 0x3E, 0x28, 0x29, 0x2F, 0x14, 0x3D, 0x40, 0x0A};
    built b = submit_7bit("a" + ext + "z", false);
    ASSERT_GT(b.n, 0u);
    EXPECT_EQ(b.udl, 2 + 2 * ext.size());
    ASSERT_EQ(b.septets.size(), b.udl);
    EXPECT_EQ(b.septets.front(), 'a');
    EXPECT_EQ(b.septets.back(), 'z');
    for (size_t k = 0; k < ext.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(b.septets[1 + 2 * k], 0x1B);
        EXPECT_EQ(b.septets[2 + 2 * k], codes[k]);
    }
    EXPECT_EQ(text_of(b.f), "a" + ext + "z");

    // The same with the built tables loaded: they hold look-alikes for these
    // characters, which must not be what goes out.
    std::string failed;
    ASSERT_TRUE(at_load_conversion_tables(ZORQ_TEST_PROGRAM_DIR "/Files/", &failed)) << failed;
    b = submit_7bit("\xE9" + ext, false);
    EXPECT_EQ(b.udl, 1 + 2 * ext.size());
    EXPECT_EQ(text_of(b.f), "\xE9" + ext);
    uint8_t g2w[128], w2g[256];
    for (int i = 0; i < 256; ++i) {
        if (i < 128)
            g2w[i] = static_cast<uint8_t>(i);
        w2g[i] = static_cast<uint8_t>(i);
    }
    at_set_conversion_tables(g2w, w2g);
}

TEST(AtSms, SevenBitLimitsCountTheEscape)
{
    // One message: 160 septets, an extension character last.
    built b = submit_7bit(std::string(158, 'x') + "\x80", false);
    ASSERT_GT(b.n, 0u);
    EXPECT_EQ(b.udl, 160);
    EXPECT_EQ(b.septets[158], 0x1B);
    EXPECT_EQ(b.septets[159], 0x65);
    EXPECT_EQ(text_of(b.f), std::string(158, 'x') + "\x80");
    // 159 characters, 161 septets: refused whole rather than cut after the
    // escape.
    EXPECT_EQ(submit_7bit(std::string(159, 'x') + "\x80", false).n, 0u);
    // A part: 153 septets after the header, 160 in all.
    b = submit_7bit(std::string(151, 'x') + "]", true);
    ASSERT_GT(b.n, 0u);
    EXPECT_EQ(b.udl, 160);
    EXPECT_EQ(text_of(b.f), std::string(151, 'x') + "]");
    EXPECT_TRUE(b.f.has_concat);
    EXPECT_EQ(submit_7bit(std::string(152, 'x') + "]", true).n, 0u);
}

TEST(AtSms, SevenBitCodesBackToPcText)
{
    auto back = [](const std::string& codes) {
        std::vector<uint8_t> out(codes.size());
        size_t n = at_gsm7_to_win(reinterpret_cast<const uint8_t*>(codes.data()), codes.size(), out.data());
        return std::string(out.begin(), out.begin() + static_cast<long>(n));
    };
    EXPECT_EQ(back("A\x1B\x65" "B\x1B\x0A"), "A\x80" "B\f");
    // An escape before a code with no extension character: the code as usual.
    EXPECT_EQ(back("\x1B" "A"), "A");
    // An escape with nothing after it stands for nothing.
    EXPECT_EQ(back("ab\x1B"), "ab");
    EXPECT_EQ(at_win_to_gsm7(reinterpret_cast<const uint8_t*>("{x}"), 3), "\x1B\x28x\x1B\x29");
}

TEST(AtSms, TextModeBodyInTheGsmSetReadsExtensionCharacters)
{
    AtiHarness h;
    ati_select_charset(0);
    // Seven codes: '5', escape 'e' (euro sign), space, escape '<' ('['), 'x'.
    auto c = run_answer(h, AT_REQ_CMGR, {3},
                        "\r\n+CMGR: \"REC READ\",\"0612\",,\"08/12/24,07:05:09+04\",129,7\r\n"
                        "5\x1B" "e \x1B<x\r\n\r\nOK\r\n");
    ASSERT_EQ(c.size(), 2u);
    cur r{c[0], 2};
    EXPECT_EQ(r.b(), 1);  // status
    EXPECT_EQ(r.b(), 0);  // no block
    EXPECT_EQ(r.text(), "0612");
    r.i += 3 + 8 + 4;     // type, name, stamp, fo, pid, dcs, no validity
    EXPECT_EQ(r.text(), "");
    r.i += 2;             // service-centre type, no concatenation
    EXPECT_EQ(r.text(), "5\x80 [x");
}
