// The short-message requests against the phone simulator: a document and a
// message screen that record what reaches them, and a message model.
#pragma once

#include <unistd.h>

#include <cstring>

#include <memory>
#include <string>
#include <vector>

#include "link_fixture.h"
#include "mmi_doc_sms.h"
#include "mmi_sms.h"
#include "mtr_sms.h"
#include "phonesim_client.h"

namespace sms_test {

struct Received {
    int storage, index;
};
struct Report {
    int reference;
    std::string number;
    SMS_DATETIME stamp, discharge;
    int status;
};

class FakeDoc : public MmiDocSms {
public:
    void mmi_MNGT_sms_received(int storage, int index) override { received.push_back({storage, index}); }
    void mmi_MNGT_report_received(int reference, int, const char* number, const SMS_DATETIME& stamp,
                                  const SMS_DATETIME& discharge, int status) override
    {
        reports.push_back({reference, number, stamp, discharge, status});
    }
    bool IsSMSAvailable() const override { return sms; }
    bool IsSMSExtendedAvailable() const override { return extended; }
    bool IsST1Available() const override { return st1; }
    bool sms = true, extended = true, st1 = true;
    std::vector<Received> received;
    std::vector<Report> reports;
};

struct Entry {
    bool listed;
    int index;
    SMS_SETTINGS settings;
    std::string text, number, sca;
    SMS_DATETIME stamp;
};

class FakeScreen : public MmiShortMsg {
public:
    void mmi_SM_read_cnf(uint8_t index, const SMS_SETTINGS* s, const char* text, size_t len, const char* number,
                         const SMS_DATETIME& stamp, const char* sca) override
    {
        entries.push_back({false, index, *s, std::string(text, len), number, sca, stamp});
    }
    void mmi_SM_list_cnf(uint8_t index, const SMS_SETTINGS* s, const char* text, size_t len, const char* number,
                         const SMS_DATETIME& stamp, const char* sca) override
    {
        entries.push_back({true, index, *s, std::string(text, len), number, sca, stamp});
    }
    std::vector<Entry> entries;
};

class TestMessage : public SmsMessage {
public:
    int GetStatus() const override { return status; }
    std::string GetText() const override { return text; }
    int GetDcs() const override { return dcs; }
    SMS_DATETIME GetDate() const override { return date; }
    int CountRecipients() const override { return static_cast<int>(recipients.size()); }
    std::string GetRecipientNumber(int i) const override { return recipients.at(static_cast<size_t>(i)); }
    std::string GetServiceCentre() const override { return sca; }
    int GetFormat() const override { return format; }
    int GetValidity() const override { return validity; }
    int GetReplyPath() const override { return reply_path; }
    int GetStatusReport() const override { return report; }
    uint8_t GetConcatRef() const override { return ref; }
    int status = 2, dcs = 0, format = 0, validity = 2, reply_path = 0, report = 0;
    uint8_t ref = 0;
    std::string text, sca;
    SMS_DATETIME date;
    std::vector<std::string> recipients;
};

class TestProfile : public SmsProfile {
public:
    int GetIndex() const override { return index; }
    int GetFormat() const override { return format; }
    int GetValidity() const override { return validity; }
    std::string GetDialNumber() const override { return sms_dial_number(number); }
    void SetNumber(const std::string& n) override { number = n; }
    void SetParameters(const SMS_PARAMETERS& p) override
    {
        format = p.format;
        validity = p.validity;
        ++set_count;
    }
    int index = 1, format = 0, validity = 2, set_count = 0;
    std::string number;
};

class SmsTest : public link_test::LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        gv_pDocSms = &doc;
        gv_pShortMsg = &screen;
        mtr_set_poll_handler(poll);
    }
    void TearDown() override
    {
        gv_pDocSms = nullptr;
        gv_pShortMsg = nullptr;
        LinkTest::TearDown();
        sim.reset();
    }
    // Starts the simulator, opens it and runs the message set-up.
    void Start(const std::string& scenario = "", bool setup = true)
    {
        sim = std::make_unique<phonesim::Process>(scenario);
        ASSERT_EQ(Open(sim->device()), 1);
        if (setup) {
            ASSERT_EQ(mtr_SMS_setup(&info), MTR_DONE);
        }
    }
    static void poll(krn_msg* m) { mtr_SMS_indication(m); }
    // Lets unsolicited results that the simulator sent reach the document.
    void Settle(size_t want_received, size_t want_reports)
    {
        for (int k = 0; k < 40 && (doc.received.size() < want_received || doc.reports.size() < want_reports); ++k) {
            link_test::simple_request(AT_REQ_AT);
            usleep(20000);
        }
    }
    std::string Dump() { return sim->dump(); }

    FakeDoc doc;
    FakeScreen screen;
    SMS_STORAGE_INFO info;
    std::unique_ptr<phonesim::Process> sim;
};

}  // namespace sms_test
