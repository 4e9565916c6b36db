#include "jetdatabase.h"

#include "debugtrace.h"
#include "utilities.h"
#include "uiservices.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

int gv_bJetLoaded = 0;

void CJetDatabase::Open(const std::string& path, bool exclusive, bool readOnly,
                        const std::string& connect)
{
    if (!gv_bJetLoaded) {
        if (CheckSqliteEngine())
            gv_bJetLoaded = 1;
        else
            throw CDaoException("the database engine does not work");  // tried again next open
    }
    CDaoDatabase::Open(path, exclusive, readOnly, connect);
}

std::string GetPBDatabaseName(int code)
{
    UiServices* ui = GetUiServices();
    std::string path = ui ? ui->GetWorkDirectory() : std::string();
    switch (code) {
    case 1: case 5: return path + "PBimSIM.mdb";
    case 2: case 6: return path + "PBimSFDN.mdb";
    case 3: case 7: return path + "PBimE2P.mdb";
    default: return path;
    }
}

int CJetDatabase::OpenPBMirror(int code)
{
    if (code < 1 || code > 7 || code == 4)
        return -1;
    Open(GetPBDatabaseName(code), false, false, "");
    return IsOpen() ? 1 : 0;
}

bool CreateLocationIndex(CDaoDatabase& db, const std::string& table)
{
    try {
        db.CreateIndex(table, "indLoc", "Location", true, true);
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("Couldn't create Index--Exception: ", e.what());
        return false;
    }
}

namespace {

const char* BaseTypeName(unsigned vt)
{
    switch (vt) {
    case VT_EMPTY: return "VT_EMPTY";
    case VT_NULL: return "VT_NULL";
    case VT_I2: return "VT_I2";
    case VT_I4: return "VT_I4";
    case VT_R4: return "VT_R4";
    case VT_R8: return "VT_R8";
    case VT_CY: return "VT_CY";
    case VT_DATE: return "VT_DATE";
    case VT_BSTR: return "VT_BSTR";
    case VT_BOOL: return "VT_BOOL";
    case VT_UI1: return "VT_UI1";
    case VT_DISPATCH: return "VT_DISPATCH";
    case VT_ERROR: return "VT_ERROR";
    case VT_VARIANT: return "VT_VARIANT";
    case VT_UNKNOWN: return "VT_UNKNOWN";
    case VT_I1: return "VT_I1";
    case VT_UI2: return "VT_UI2";
    case VT_UI4: return "VT_UI4";
    case VT_I8: return "VT_I8";
    case VT_UI8: return "VT_UI8";
    case VT_INT: return "VT_INT";
    case VT_UINT: return "VT_UINT";
    case VT_VOID: return "VT_VOID";
    case VT_HRESULT: return "VT_HRESULT";
    case VT_PTR: return "VT_PTR";
    case VT_SAFEARRAY: return "VT_SAFEARRAY";
    case VT_CARRAY: return "VT_CARRAY";
    case VT_USERDEFINED: return "VT_USERDEFINED";
    case VT_LPSTR: return "VT_LPSTR";
    case VT_LPWSTR: return "VT_LPWSTR";
    case VT_FILETIME: return "VT_FILETIME";
    case VT_BLOB: return "VT_BLOB";
    case VT_STREAM: return "VT_STREAM";
    case VT_STORAGE: return "VT_STORAGE";
    case VT_STREAMED_OBJECT: return "VT_STREAMED_OBJECT";
    case VT_STORED_OBJECT: return "VT_STORED_OBJECT";
    case VT_BLOB_OBJECT: return "VT_BLOB_OBJECT";
    case VT_CF: return "VT_CF";
    case VT_CLSID: return "VT_CLSID";
    default: return nullptr;
    }
}

}  // namespace

std::string VariantToText(const CVariant& value)
{
    const unsigned vt = value.vt;
    const unsigned base = vt & ~static_cast<unsigned>(VT_ARRAY | VT_BYREF);
    char buf[64];
    std::string text;
    switch (base) {
    case VT_EMPTY: case VT_NULL:
        text = "NULL";
        break;
    case VT_I2:
        std::snprintf(buf, sizeof buf, "%hd", static_cast<short>(value.lVal));
        text = buf;
        break;
    case VT_I4:
        std::snprintf(buf, sizeof buf, "%d", static_cast<int>(value.lVal));
        text = buf;
        break;
    case VT_R4: case VT_R8:
        std::snprintf(buf, sizeof buf, "%e", value.dblVal);
        text = buf;
        break;
    case VT_CY: {
        // Currency is stored in ten-thousandths.
        std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(value.lVal) / 10000.0);
        text = FormatCurrencyText(buf, ProgramLangId());
        break;
    }
    case VT_DATE: {
        text = FormatDateTimeText(value.dblVal, ProgramLangId());
        break;
    }
    case VT_BSTR:
        text = value.strVal;
        break;
    case VT_BOOL:
        return value.lVal ? "TRUE" : "FALSE";
    case VT_UI1:
        std::snprintf(buf, sizeof buf, "0x%02hX", static_cast<unsigned short>(value.lVal & 0xFF));
        text = buf;
        break;
    default: {
        const char* name = BaseTypeName(base);
        text = name ? name : "Fish";
        break;
    }
    }
    // A flagged value is described by its type, not its content.
    if (vt & (VT_ARRAY | VT_BYREF)) {
        text = (vt & VT_ARRAY) ? "Array of " : "";
        if (vt & VT_BYREF)
            text += "Pointer to ";
        const char* name = BaseTypeName(base);
        text += name ? name : "Fish";
    }
    return text;
}

bool HasField(const CDaoRecordset& rs, const std::string& name)
{
    for (int i = 0; i < rs.GetFieldCount(); ++i)
        if (rs.GetFieldName(i) == name)
            return true;
    return false;
}

void CheckDatabaseStructure(CDaoDatabase& db)
{
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db.Handle(), "PRAGMA quick_check(1)", -1, &st, nullptr);
    std::string verdict;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(st, 0);
            verdict = text ? reinterpret_cast<const char*>(text) : "";
            rc = SQLITE_OK;
        }
    }
    const std::string error = rc == SQLITE_OK ? std::string() : sqlite3_errmsg(db.Handle());
    sqlite3_finalize(st);
    if (rc != SQLITE_OK)
        throw CDaoException(error + ": " + db.GetName(), rc);
    if (verdict != "ok")
        throw CDaoException("damaged database (" + verdict + "): " + db.GetName(), SQLITE_CORRUPT);
}

void ShowPathMessage(int stringId, const std::string& path)
{
    if (UiServices* ui = GetUiServices())
        ui->DoMessageBox(ui->FormatString(stringId, {QString::fromStdString(path)}), MB_OK, 0);
}

void ReportDatabaseNotOpened(const std::string& path)
{
    // The program opens its databases at the phone's detection, on the
    // screens and at the end: a file that cannot be opened is told the first
    // time only, whatever the cause, and is left as it is.
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT)
        UiReportFileOnce(kDatabaseNotFound, path);
    else
        UiReportFileOnce(kDatabaseNotOpened, path);
}

bool ConvertThroughTempFile(CJetDatabase& old, const std::string& tmp,
                            bool (*create)(const std::string&),
                            const std::function<void(CJetDatabase& cvt)>& fill,
                            const char* traceName)
{
    ShowWaitWindow(1);
    bool result = false;
    DeleteFileIfExists(tmp);
    if (create(tmp)) {
        try {
            CJetDatabase cvt;
            cvt.Open(tmp, false, false, "");
            cvt.BeginTrans();
            fill(cvt);
            cvt.CommitTrans();
            cvt.Close();
            const std::string name = old.GetName();
            old.Close();
            // The rebuilt file is the user's old file: it keeps its mode.
            struct stat st;
            if (::stat(name.c_str(), &st) == 0)
                ::chmod(tmp.c_str(), st.st_mode & 07777);
            result = std::rename(tmp.c_str(), name.c_str()) == 0;
            if (!result)
                WriteDebug(std::string(traceName) + " -> cannot replace ", name);
        } catch (const CDaoException& e) {
            WriteDebug(std::string(traceName) + " -> conversion failed: ", e.what());
        }
    }
    ShowWaitWindow(0);
    return result;
}
