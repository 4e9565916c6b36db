#include "variant.h"

#include <cstdlib>
#include <cstdio>

int64_t CVariant::AsInt() const
{
    switch (vt) {
    case VT_R4: case VT_R8: case VT_DATE:
        return static_cast<int64_t>(dblVal);
    case VT_BSTR:
        return std::strtoll(strVal.c_str(), nullptr, 10);
    case VT_NULL: case VT_EMPTY:
        return 0;
    default:
        return lVal;
    }
}

double CVariant::AsDouble() const
{
    switch (vt) {
    case VT_R4: case VT_R8: case VT_DATE:
        return dblVal;
    case VT_BSTR:
        return std::strtod(strVal.c_str(), nullptr);
    case VT_NULL: case VT_EMPTY:
        return 0.0;
    default:
        return static_cast<double>(lVal);
    }
}

std::string CVariant::AsText() const
{
    switch (vt) {
    case VT_NULL: case VT_EMPTY:
        return std::string();
    case VT_BSTR:
        return strVal;
    case VT_R4: case VT_R8: case VT_DATE: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15g", dblVal);
        return buf;
    }
    default:
        return std::to_string(lVal);
    }
}
