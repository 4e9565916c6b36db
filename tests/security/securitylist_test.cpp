// The security-code list filled from the phone simulator: facilities, lock
// states and code lengths; switching a lock.
#include "engine_fixture.h"
#include "securitylist.h"
#include "test_support.h"

#include "mtr_gen.h"
#include "mtr_sec.h"
#include "wndmsg.h"

#include <QObject>

using namespace engine_test;

namespace {

// A window that hands the facility messages to the list, as the screen does.
class Owner : public QObject {
public:
    explicit Owner(CSecurityList& list) : list_(list) {}
    bool event(QEvent* e) override
    {
        if (e->type() != CWndMsgEvent::EventType())
            return QObject::event(e);
        auto* m = static_cast<CWndMsgEvent*>(e);
        if (m->message() == CSecurityList::kLockFacilityMessage)
            list_.AddLockFacility(static_cast<int>(m->wParam()));
        else if (m->message() == CSecurityList::kPasswordFacilityMessage)
            list_.AddPasswordFacility(static_cast<int>(m->wParam()), static_cast<int>(m->lParam()));
        ++handled;
        return true;
    }
    int handled = 0;

private:
    CSecurityList& list_;
};

struct Row {
    int facility, state;
    bool known;
    int minimum, maximum;
    bool operator==(const Row&) const = default;
};

std::vector<Row> Rows(CSecurityList& list)
{
    std::vector<Row> rows;
    for (int i = 0; i < list.GetCount(); ++i) {
        const CSecurityCode* c = list.GetCode(i);
        rows.push_back({c->GetFacility(), c->GetLockState(), c->IsStateKnown(), c->GetMinLength(), c->GetMaxLength()});
    }
    return rows;
}

class SecurityListTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        app.SetDataDirectories(zorqtest::BuiltProgramDir() + "/zorqmmi");
        ASSERT_TRUE(app.LoadResourceLibrary("enu"));
    }
    zorqtest::RecordingApp app;
    CSecurityList list;
    Owner owner{list};
};

TEST(SecurityCode, ShownFacilitiesNamesAndTests)
{
    zorqtest::RecordingApp app;
    app.SetDataDirectories(zorqtest::BuiltProgramDir() + "/zorqmmi");
    ASSERT_TRUE(app.LoadResourceLibrary("enu"));
    for (int f = 0; f <= 21; ++f)
        EXPECT_EQ(CSecurityCode::IsShownFacility(f), f == 5 || f == 6 || f >= 14) << f;

    CSecurityCode sc(MTR_FAC_SC);
    EXPECT_EQ(sc.GetName().toStdString(), "PIN code (SC)");
    EXPECT_EQ(sc.GetImage(), MTR_FAC_SC);
    EXPECT_FALSE(sc.CanTrash());
    EXPECT_FALSE(sc.CanModify());  // lengths unknown
    sc.SetLengths(4, 8);
    EXPECT_TRUE(sc.CanModify());
    sc.SetLastCode("1234");
    sc.Reset();
    EXPECT_EQ(sc.GetFacility(), -1);
    EXPECT_TRUE(sc.GetLastCode().isEmpty());
    EXPECT_FALSE(sc.CanModify());
}

TEST_F(SecurityListTest, LockAndPasswordFacilitiesOfThePhone)
{
    Phone("lock FD on\n");
    ASSERT_EQ(list.AskFacilities(&owner), MTR_DONE);
    // The lock list gives SC, FD and PS (the barrings are left out), in the
    // phone's order with their states; the password list adds the lengths
    // and P2, whose state is not known.
    const std::vector<Row> want = {
        {MTR_FAC_SC, 0, true, 4, 8},
        {MTR_FAC_FD, 1, true, -1, -1},
        {MTR_FAC_PS, 0, true, 4, 8},
        {MTR_FAC_P2, 0, false, 4, 8},
    };
    EXPECT_EQ(Rows(list), want);
    EXPECT_EQ(owner.handled, 11 + 7);  // every facility message reached the window
    EXPECT_FALSE(list.GetCode(1)->CanModify());
    EXPECT_TRUE(list.GetCode(3)->CanModify());
    // A facility listed twice stays one row.
    EXPECT_EQ(list.AddLockFacility(MTR_FAC_SC), -1);
    EXPECT_EQ(list.AddLockFacility(MTR_FAC_AO), -1);
    EXPECT_EQ(list.GetCount(), 4);
}

TEST_F(SecurityListTest, SwitchTheSimLockWrongThenRightCode)
{
    phonesim::Process& phone = Phone();
    ASSERT_EQ(list.AskFacilities(&owner), MTR_DONE);
    CSecurityCode* sc = list.FindFacility(MTR_FAC_SC);
    ASSERT_NE(sc, nullptr);
    ASSERT_EQ(sc->GetLockState(), 0);

    EXPECT_EQ(list.SetLock(sc, "1111").result, 16);  // incorrect password
    EXPECT_EQ(sc->GetLockState(), 0);
    EXPECT_TRUE(sc->GetLastCode().isEmpty());
    int attempts = 0;
    ASSERT_EQ(mtr_GEN_get_facility_code_info(MTR_FAC_SC, &attempts), MTR_DONE);
    EXPECT_EQ(attempts, 2);

    EXPECT_TRUE(list.SetLock(sc, "1234").Done());
    EXPECT_EQ(sc->GetLockState(), 1);
    EXPECT_EQ(sc->GetLastCode().toStdString(), "1234");
    EXPECT_NE(dump_lines(phone, "lock SC").find("on"), std::string::npos);

    // Without a code the last one serves; without either nothing is sent.
    EXPECT_TRUE(list.SetLock(sc, "").Done());
    EXPECT_EQ(sc->GetLockState(), 0);
    EXPECT_NE(dump_lines(phone, "lock SC").find("off"), std::string::npos);
    CSecurityCode* ps = list.FindFacility(MTR_FAC_PS);
    ASSERT_NE(ps, nullptr);
    EXPECT_TRUE(list.SetLock(ps, "").Refused());
    EXPECT_TRUE(list.SetLock(nullptr, "1234").Refused());
}

TEST_F(SecurityListTest, AFailedPasswordListIsAFailure)
{
    // A phone that lists its locks but refuses the password list: the
    // request's result is the list's, and it is no success.
    ScriptedPhone phone([](const std::string& l) -> std::string {
        if (l == "AT+CLCK=?")
            return "\r\n+CLCK: (\"SC\",\"PS\")\r\n\r\nOK\r\n";
        if (l.rfind("AT+CLCK=", 0) == 0)
            return "\r\n+CLCK: 0\r\n\r\nOK\r\n";
        if (l == "AT+CPWD=?")
            return "\r\n+CME ERROR: 3\r\n";
        return "\r\nOK\r\n";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    EXPECT_EQ(list.AskFacilities(&owner), 3);
    EXPECT_EQ(list.GetCount(), 2);
}

}  // namespace
