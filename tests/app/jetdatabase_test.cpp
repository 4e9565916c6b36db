#include "jetdatabase.h"

#include "test_support.h"

#include <gtest/gtest.h>

using zorqtest::TempProgramDir;

namespace {

TEST(JetDatabase, MirrorNamesAndCodesWithoutAMirror)
{
    TempProgramDir dir;
    zorqtest::RecordingApp app;
    app.SetDataDirectories(dir.path() + "zorqmmi");
    EXPECT_EQ(GetPBDatabaseName(1), dir.path() + "Work/PBimSIM.mdb");
    EXPECT_EQ(GetPBDatabaseName(6), dir.path() + "Work/PBimSFDN.mdb");
    EXPECT_EQ(GetPBDatabaseName(7), dir.path() + "Work/PBimE2P.mdb");
    EXPECT_EQ(GetPBDatabaseName(0), dir.path() + "Work/");
    EXPECT_EQ(GetPBDatabaseName(8), dir.path() + "Work/");

    CJetDatabase db;
    EXPECT_EQ(db.OpenPBMirror(4), -1);
    EXPECT_EQ(db.OpenPBMirror(0), -1);
    EXPECT_EQ(db.OpenPBMirror(8), -1);
    EXPECT_FALSE(db.IsOpen());
    // A mirror that does not exist yet is an error from the open.
    EXPECT_THROW(db.OpenPBMirror(1), CDaoException);
}

TEST(JetDatabase, OpenChecksTheEngineOnce)
{
    TempProgramDir dir;
    {
        CDaoDatabase create;
        create.Create(dir.path() + "a.mdb");
    }
    gv_bJetLoaded = 0;
    CJetDatabase db;
    db.Open(dir.path() + "a.mdb");
    EXPECT_TRUE(db.IsOpen());
    EXPECT_EQ(gv_bJetLoaded, 1);
}

TEST(JetDatabase, VariantToText)
{
    EXPECT_EQ(VariantToText(CVariant::Null()), "NULL");
    EXPECT_EQ(VariantToText(CVariant()), "NULL");
    EXPECT_EQ(VariantToText(CVariant::Short(-3)), "-3");
    EXPECT_EQ(VariantToText(CVariant::Long(70000)), "70000");
    EXPECT_EQ(VariantToText(CVariant::Double(1.5)), "1.500000e+00");
    EXPECT_EQ(VariantToText(CVariant::Text("abc")), "abc");
    EXPECT_EQ(VariantToText(CVariant::Bool(true)), "TRUE");
    EXPECT_EQ(VariantToText(CVariant::Byte(10)), "0x0A");
    CVariant ref = CVariant::Long(4);
    ref.vt = VT_I4 | VT_BYREF;
    EXPECT_EQ(VariantToText(ref), "Pointer to VT_I4");
    CVariant arr = CVariant::Text("x");
    arr.vt = VT_BSTR | VT_ARRAY;
    EXPECT_EQ(VariantToText(arr), "Array of VT_BSTR");
    CVariant boolArr = CVariant::Bool(false);
    boolArr.vt = VT_BOOL | VT_ARRAY;
    EXPECT_EQ(VariantToText(boolArr), "FALSE");  // booleans get nothing added
    CVariant odd;
    odd.vt = VT_CLSID;
    EXPECT_EQ(VariantToText(odd), "VT_CLSID");
    odd.vt = 99;
    EXPECT_EQ(VariantToText(odd), "Fish");
    zorqtest::RecordingApp app;  // language "enu" is the default format
    EXPECT_EQ(VariantToText(CVariant::Date(36526.5)), "1/1/2000 12:00 PM");
}

}  // namespace
