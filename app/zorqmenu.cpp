#include "zorqmenu.h"

#include "debugtrace.h"
#include "utilities.h"
#include "viewframe.h"
#include "zorqapp.h"

#include "zorqmmidoc.h"

#include <QApplication>
#include <QCloseEvent>

namespace {
struct MenuDefaults {
    const char* section;
    int ulx, uly, lrx, lry;
};
constexpr MenuDefaults kMenus[6] = {
    {"Menu1", 3, 29, 81, 57},   {"Menu2", 3, 65, 81, 93},   {"Menu3", 3, 101, 81, 129},
    {"Menu4", 3, 138, 81, 166}, {"Menu5", 3, 174, 81, 202}, {"Menu6", 3, 211, 81, 239},
};
}  // namespace

CZorqMenu::CZorqMenu(QWidget* parent) : CMainView(kTemplateId, parent)
{
    m_bClosing = 1;
    m_nViewKind = VIEW_MENU;
}

int CZorqMenu::TitleStringOf(int picture)
{
    switch (picture) {
    case 1: return 31204;
    case 2: return 31205;
    case 3: return 31641;
    case 4: return 31854;
    case 5: return 31207;
    default: return 0;
    }
}

void CZorqMenu::OnInitialUpdate()
{
    CMainView::OnInitialUpdate();
    for (int i = 0; i < 6; ++i) {
        const MenuDefaults& d = kMenus[i];
        m_rgnMenu[i] = ReadClickRegion(d.section, d.ulx, d.uly, d.lrx, d.lry);
    }
    if (CViewFrame* frame = GetViewFrame()) {
        QString title = QString::fromLatin1(kProductName);
        if (gv_bDebug)
            title += QStringLiteral(" (Debug Mode)");
        frame->SetFrameTitle(title);
    }
}

void CZorqMenu::OnQuitView()
{
    // The frame asks whether to quit; only its close ends the program.
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    if (QWidget* main = app ? app->m_pMainWnd : nullptr)
        main->close();
}

void CZorqMenu::OpenScreen(int picture)
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    const QString title = app ? app->LoadString(TitleStringOf(picture)) : QString();
    // A screen that cannot be created leaves the menu as it was, its
    // closing flag included, so closing the program still shuts down.
    SwitchToScreen(picture, 0, title);
}

void CZorqMenu::OnLButtonDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                              const QPoint& point)
{
    CMainView::OnLButtonDown(buttons, modifiers, point);
    if (buttons != Qt::LeftButton || modifiers != Qt::NoModifier)
        return;
    for (int picture = 1; picture <= 5; ++picture) {
        if (m_rgnMenu[picture - 1].contains(point)) {
            OpenScreen(picture);
            return;
        }
    }
    if (m_rgnMenu[5].contains(point))
        OnHelp();
}

void CZorqMenu::OnMouseMove(const QPoint& point)
{
    SetHovered(0);
    for (int picture = 1; picture <= 6; ++picture)
        if (m_rgnMenu[picture - 1].contains(point))
            SetHovered(picture);
    CMainView::OnMouseMove(point);
}
