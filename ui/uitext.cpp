#include "uitext.h"

#include "uiservices.h"

namespace {
// Matches the application's product name (the message boxes' caption).
const char kProduct[] = "Pellard Tarvel Data";
}

QString UiReplaceAppName(QString text)
{
    return text.replace(QLatin1String("[APP_NAME]"), QLatin1String(kProduct));
}

QString UiLoadAppString(int id) { return UiReplaceAppName(UiLoadString(id)); }
