#include "dlgdraganddrop.h"

#include "pccharset.h"
#include "profile.h"
#include "uiservices.h"

#include <QLineEdit>

namespace {

const char kSection[] = "DragAndDrop";

QString SuffixOrDefault(const char* key, int defaultString)
{
    const std::string v = GetIniProfileString(kSection, key, "");
    return v.empty() ? UiLoadString(defaultString) : PcToQString(v);
}

}  // namespace

CDlgDragAndDrop::CDlgDragAndDrop(QWidget* parent) : CDialog(333, parent) {}

bool CDlgDragAndDrop::OnInitDialog()
{
    m_bHome = GetIniProfileInt(kSection, "HomeVoiceNumber", 1);
    m_bWork = GetIniProfileInt(kSection, "WorkVoiceNumber", 1);
    m_bCell = GetIniProfileInt(kSection, "CellVoiceNumber", 1);
    m_strHomeExt = SuffixOrDefault("HomeVoiceExt", 31880);
    m_strWorkExt = SuffixOrDefault("WorkVoiceExt", 31881);
    m_strCellExt = SuffixOrDefault("CellVoiceExt", 31882);
    for (int id : {1152, 1153, 1154})
        if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(id)))
            edit->setMaxLength(1);
    return CDialog::OnInitDialog();
}

void CDlgDragAndDrop::DoDataExchange(CDataExchange* pDX)
{
    DDX_Check(pDX, 1149, m_bHome);
    DDX_Check(pDX, 1150, m_bWork);
    DDX_Check(pDX, 1151, m_bCell);
    DDX_Text(pDX, 1152, m_strHomeExt);
    DDX_Text(pDX, 1153, m_strWorkExt);
    DDX_Text(pDX, 1154, m_strCellExt);
    if (pDX->m_bSaveAndValidate) {
        m_strHomeExt.truncate(1);
        m_strWorkExt.truncate(1);
        m_strCellExt.truncate(1);
    }
}

void CDlgDragAndDrop::OnOK()
{
    UpdateData(true);
    if (!m_bHome && !m_bWork && !m_bCell) {
        UiMessageBoxId(31883);
        return;
    }
    WriteIniProfileInt(kSection, "HomeVoiceNumber", m_bHome ? 1 : 0);
    WriteIniProfileInt(kSection, "WorkVoiceNumber", m_bWork ? 1 : 0);
    WriteIniProfileInt(kSection, "CellVoiceNumber", m_bCell ? 1 : 0);
    WriteIniProfileString(kSection, "HomeVoiceExt", QStringToPc(m_strHomeExt));
    WriteIniProfileString(kSection, "WorkVoiceExt", QStringToPc(m_strWorkExt));
    WriteIniProfileString(kSection, "CellVoiceExt", QStringToPc(m_strCellExt));
    EndDialog(IDOK);
}
