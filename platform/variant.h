// A typed field value. Its type codes are the usual variant numbers, so that
// the display and trace code (VariantToText) can name any value's type,
// including kinds this program never stores.
#pragma once

#include <cstdint>
#include <string>

enum VarType : uint16_t {
    VT_EMPTY = 0, VT_NULL = 1, VT_I2 = 2, VT_I4 = 3, VT_R4 = 4, VT_R8 = 5,
    VT_CY = 6, VT_DATE = 7, VT_BSTR = 8, VT_DISPATCH = 9, VT_ERROR = 10,
    VT_BOOL = 11, VT_VARIANT = 12, VT_UNKNOWN = 13, VT_I1 = 16, VT_UI1 = 17,
    VT_UI2 = 18, VT_UI4 = 19, VT_I8 = 20, VT_UI8 = 21, VT_INT = 22, VT_UINT = 23,
    VT_VOID = 24, VT_HRESULT = 25, VT_PTR = 26, VT_SAFEARRAY = 27, VT_CARRAY = 28,
    VT_USERDEFINED = 29, VT_LPSTR = 30, VT_LPWSTR = 31, VT_FILETIME = 64,
    VT_BLOB = 65, VT_STREAM = 66, VT_STORAGE = 67, VT_STREAMED_OBJECT = 68,
    VT_STORED_OBJECT = 69, VT_BLOB_OBJECT = 70, VT_CF = 71, VT_CLSID = 72,
    VT_ARRAY = 0x2000, VT_BYREF = 0x4000,
};

struct CVariant {
    uint16_t vt = VT_EMPTY;
    int64_t lVal = 0;      // VT_I2, VT_I4, VT_UI1, VT_BOOL (0 or -1), VT_CY (x 10000)
    double dblVal = 0.0;   // VT_R4, VT_R8, VT_DATE (days since 30 Dec 1899)
    std::string strVal;    // VT_BSTR

    static CVariant Null() { CVariant v; v.vt = VT_NULL; return v; }
    static CVariant Short(int16_t n) { CVariant v; v.vt = VT_I2; v.lVal = n; return v; }
    static CVariant Long(int32_t n) { CVariant v; v.vt = VT_I4; v.lVal = n; return v; }
    static CVariant Double(double d) { CVariant v; v.vt = VT_R8; v.dblVal = d; return v; }
    static CVariant Date(double d) { CVariant v; v.vt = VT_DATE; v.dblVal = d; return v; }
    static CVariant Text(std::string s) { CVariant v; v.vt = VT_BSTR; v.strVal = std::move(s); return v; }
    static CVariant Bool(bool b) { CVariant v; v.vt = VT_BOOL; v.lVal = b ? -1 : 0; return v; }
    static CVariant Byte(uint8_t b) { CVariant v; v.vt = VT_UI1; v.lVal = b; return v; }

    bool IsNull() const { return vt == VT_NULL || vt == VT_EMPTY; }
    // The value as a number (0 for null or text that is not a number).
    int64_t AsInt() const;
    double AsDouble() const;
    // The value as text: numbers in decimal, null as empty.
    std::string AsText() const;
};
