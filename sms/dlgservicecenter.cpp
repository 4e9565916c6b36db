#include "dlgservicecenter.h"

#include "entrylistctrl.h"
#include "pccharset.h"
#include "profile.h"
#include "uiservices.h"
#include "utilities.h"
#include "zorqapp.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>

namespace {

constexpr int kNameEdit = 1012, kNumberEdit = 1011, kFormatCombo = 1020, kValidityCombo = 1021, kNext = 1005;
constexpr unsigned kWarn = MB_OK | MB_ICONEXCLAMATION;

std::string Local(const QString& path) { return path.toLocal8Bit().toStdString(); }
QString FromLocal(const std::string& path) { return QString::fromLocal8Bit(path.c_str()); }

std::string FilesFolder()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    return app ? app->GetFilesDir() : std::string();
}

}  // namespace

// ---- CServiceCenterListWnd -------------------------------------------------------------------

CServiceCenterListWnd::CServiceCenterListWnd(QWidget* owner) : CObjectListWnd(owner) {}

void CServiceCenterListWnd::SetColumns(bool)
{
    CEntryListCtrl* list = GetListCtrl();
    list->InsertColumn(UiLoadString(31731), 0, 0, false);
    list->header()->setStretchLastSection(true);
}

int CServiceCenterListWnd::GetSavedSelection()
{
    int row = -1;
    const int index = GetIniProfileInt("Pellard", "Model", -1);
    if (index != -1 && GetList()) {
        if (const CServiceCenter* p = GetList()->FindByIndex(index))
            row = GetList()->IndexOf(*p);
    }
    if (row < 0 && GetList())
        row = GetList()->GetFirstPhoneProfileRow();
    return row < 0 ? 0 : row;
}

void CServiceCenterListWnd::SaveSelection()
{
    if (GetListCtrl()->GetSelectedCount() != 1)
        return;
    if (const CServiceCenter* p = GetSelectedProfile())
        WriteIniProfileInt("Pellard", "Model", p->GetIndex());
}

void CServiceCenterListWnd::SelectSavedProfile()
{
    if (!GetList() || GetList()->GetCount() == 0)
        return;
    GetListCtrl()->DeselectAll();
    GetListCtrl()->SelectRow(GetSavedSelection());
    UpdateButtons();
}

bool CServiceCenterListWnd::NewProfile()
{
    if (!GetList())
        return false;
    CDlgServiceCenter dlg(m_pOwner, nullptr, GetList());
    const int before = GetList()->GetCount();
    NewItem(&dlg);
    return GetList()->GetCount() > before;
}

bool CServiceCenterListWnd::ModifySelectedProfile()
{
    CServiceCenter* p = GetSelectedProfile();
    if (!p || !GetList())
        return false;
    CDlgServiceCenter dlg(m_pOwner, p, GetList());
    if (dlg.DoModal() != IDOK)
        return false;
    // The profile may have moved in the order (a new name): the rows follow.
    FillList();
    const int row = GetList()->IndexOf(*dlg.GetProfile());
    GetListCtrl()->DeselectAll();
    if (row >= 0)
        GetListCtrl()->SelectRow(row);
    UpdateButtons();
    return true;
}

// ---- CDlgServiceCenter ------------------------------------------------------------------------

CDlgServiceCenter::CDlgServiceCenter(QWidget* parent, CServiceCenter* profile, CServiceCenterList* list)
    : CDlgObjectItem(295, parent), m_pProfile(profile), m_pList(list), m_bModify(profile != nullptr)
{
    ClearStyleFlag();
    if (!m_pProfile) {
        m_pProfile = new CServiceCenter;
        m_bOwnsProfile = true;
        return;
    }
    m_strName = profile->GetName();
    m_strNumber = PcToQString(profile->GetPhoneNumber());
    m_nItem = list ? list->IndexOf(*profile) : -1;
}

CDlgServiceCenter::~CDlgServiceCenter()
{
    if (m_bOwnsProfile)
        delete m_pProfile;
}

void CDlgServiceCenter::DoDataExchange(CDataExchange* pDX)
{
    CDlgObjectItem::DoDataExchange(pDX);
    DDX_Text(pDX, kNameEdit, m_strName);
    DDX_Text(pDX, kNumberEdit, m_strNumber);
}

bool CDlgServiceCenter::OnInitDialog()
{
    CDlgObjectItem::OnInitDialog();
    if (auto* combo = qobject_cast<QComboBox*>(GetDlgItem(kFormatCombo))) {
        combo->clear();
        for (int i = 0; i <= 5; ++i)
            combo->addItem(UiLoadString(31100 + i));
        const int f = m_pProfile->GetFormat();
        combo->setCurrentIndex(f >= 0 && f <= 5 ? f : 0);
    }
    if (auto* combo = qobject_cast<QComboBox*>(GetDlgItem(kValidityCombo))) {
        combo->clear();
        for (int i = 0; i <= 3; ++i)
            combo->addItem(UiLoadString(31281 + i));
        const int v = m_pProfile->GetValidity();
        combo->setCurrentIndex(v >= 0 && v <= 3 ? v : 0);
    }
    // A phone profile keeps the name the program gives it.
    if (QWidget* name = GetDlgItem(kNameEdit))
        name->setEnabled(!m_bModify || m_pProfile->GetType() == CServiceCenter::kPC);
    AddToolTip(kNameEdit, 31727);
    AddToolTip(kNumberEdit, 31357);
    AddToolTip(kFormatCombo, 31358);
    AddToolTip(kValidityCombo, 31359);
    return true;
}

void CDlgServiceCenter::OnCommand(int id)
{
    if (id == kNext)
        focusNextChild();
}

void CDlgServiceCenter::OnOK()
{
    UpdateData(true);
    m_strName = m_strName.trimmed();
    if (m_strName.isEmpty()) {
        UiMessageBoxId(31725, kWarn);
        if (QWidget* w = GetDlgItem(kNameEdit))
            w->setFocus();
        return;
    }
    std::string dial;
    FilterDialChars(QStringToPc(m_strNumber), dial);
    if (m_strNumber.trimmed().isEmpty() || dial.empty()) {
        if (!m_strNumber.trimmed().isEmpty())
            SetDlgItemText(kNumberEdit, QString());
        UiMessageBoxId(31732, kWarn);
        if (QWidget* w = GetDlgItem(kNumberEdit))
            w->setFocus();
        return;
    }
    if (m_pList) {
        const bool nameChanged = !m_bModify || m_strName.compare(m_pProfile->GetName(), Qt::CaseInsensitive) != 0;
        if (nameChanged && m_pList->FindByName(m_strName)) {
            UiMessageBoxId(31690, kWarn);
            return;
        }
    }
    int format = m_pProfile->GetFormat(), validity = m_pProfile->GetValidity();
    if (auto* combo = qobject_cast<QComboBox*>(GetDlgItem(kFormatCombo)); combo && combo->currentIndex() >= 0)
        format = combo->currentIndex();
    if (auto* combo = qobject_cast<QComboBox*>(GetDlgItem(kValidityCombo)); combo && combo->currentIndex() >= 0)
        validity = combo->currentIndex();

    // The values go into a copy first: a save that fails leaves the profile
    // (and the list that shows it) as it was, and the dialog stays open.
    CServiceCenter edited(*m_pProfile);
    edited.SetName(m_strName, true);
    edited.SetNumberText(QStringToPc(m_strNumber));
    edited.SetFormat(format);
    edited.SetValidity(validity);
    bool saved;
    if (!m_bModify) {
        // A new profile goes into the Files folder under its name, unless a
        // file of that name belongs to another profile.
        QString target;
        const std::string folder = FilesFolder();
        if (!folder.empty()) {
            target = FromLocal(folder) + edited.GetName() + ".SRV";
            if (QFileInfo::exists(target))
                target.clear();
        }
        edited.SetFilePath(QString());
        saved = edited.Save(target);
    } else {
        saved = edited.Save(QString());
    }
    if (!saved) {
        // The phone shows its own failure; a file failure is ours to show.
        if (edited.GetType() == CServiceCenter::kPC)
            UiMessageBoxId(31726, kWarn);
        return;
    }
    const bool renamed = m_bModify && edited.GetName() != m_pProfile->GetName();
    m_pProfile->Copy(edited);
    if (m_pList) {
        if (!m_bModify) {
            m_nItem = m_pList->Add(m_pProfile);
            if (m_nItem >= 0) {
                m_bOwnsProfile = false;
            } else {
                DeleteFileIfExists(Local(m_pProfile->GetFilePath()));
            }
        } else if (renamed) {
            // The profile moves to its new place in the order; should it not
            // fit back, it returns under its old place.
            m_pList->Detach(m_pProfile);
            m_nItem = m_pList->Add(m_pProfile);
            if (m_nItem < 0)
                m_nItem = m_pList->AddTail(m_pProfile) - 1;
        } else {
            m_nItem = m_pList->IndexOf(*m_pProfile);
        }
    }
    EndDialog(IDOK);
}
