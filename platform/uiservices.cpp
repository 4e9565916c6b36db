#include "uiservices.h"

namespace {
UiServices* g_services = nullptr;
constexpr int kIdCancel = 2;
}

UiServices* GetUiServices() { return g_services; }
void SetUiServices(UiServices* services) { g_services = services; }

QString UiLoadString(int id) { return g_services ? g_services->LoadString(id) : QString(); }

QString UiFormatString(int id, const QStringList& inserts)
{
    return g_services ? g_services->FormatString(id, inserts) : QString();
}

int UiMessageBox(const QString& text, unsigned type, unsigned helpId)
{
    return g_services ? g_services->DoMessageBox(text, type, helpId) : kIdCancel;
}

int UiMessageBoxId(int stringId, unsigned type, unsigned helpId)
{
    return g_services ? g_services->ShowMessageBox(stringId, type, helpId) : kIdCancel;
}

CLanguageBundle* UiResources() { return g_services ? g_services->GetResources() : nullptr; }
