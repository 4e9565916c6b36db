#include "dlgdataobj.h"

#include "uiservices.h"
#include "utilities.h"
#include "zorqapp.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

namespace {

constexpr int kName = 1142, kProgram = 1144, kDisplayHelp = 1145, kBrowse = 1108, kNext = 1005;
constexpr unsigned kWarn = MB_OK | MB_ICONEXCLAMATION;

}  // namespace

std::function<QString(QWidget*)> CDlgDataObj::s_browseHook;

CDlgDataObj::CDlgDataObj(QWidget* parent, CDataObj* entry, CDataObjList* list)
    : CDlgObjectItem(323, parent), m_bNew(entry == nullptr), m_bOwnsEntry(entry == nullptr), m_pEntry(entry),
      m_pList(list)
{
    ClearStyleFlag();
    if (!m_pEntry) {
        m_pEntry = new CDataObj;
        return;
    }
    m_strName = entry->GetName();
    m_strProgram = QuoteProgram(entry->GetFullExeName());
    if (!entry->GetCommandLine().isEmpty())
        m_strProgram += ' ' + entry->GetCommandLine();
    m_bDisplayHelp = entry->GetDisplayHelp() != 0 ? 1 : 0;
    m_nItem = list ? list->IndexOfName(entry->GetName()) : -1;
}

CDlgDataObj::~CDlgDataObj()
{
    if (m_bOwnsEntry)
        delete m_pEntry;
}

void CDlgDataObj::DoDataExchange(CDataExchange* pDX)
{
    CDlgObjectItem::DoDataExchange(pDX);
    DDX_Text(pDX, kName, m_strName);
    DDX_Text(pDX, kProgram, m_strProgram);
    DDX_Check(pDX, kDisplayHelp, m_bDisplayHelp);
}

bool CDlgDataObj::OnInitDialog()
{
    CDlgObjectItem::OnInitDialog();
    MoveCaretToEnd();
    if (auto* check = qobject_cast<QCheckBox*>(GetDlgItem(kDisplayHelp))) {
        check->setChecked(m_pEntry->GetType() == 0 && m_pEntry->GetDisplayHelp() != 0);
        check->setEnabled(m_pEntry->GetType() == 0);
    }
    return true;
}

void CDlgDataObj::MoveCaretToEnd()
{
    if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(kProgram)))
        edit->setCursorPosition(static_cast<int>(edit->text().size()));
}

void CDlgDataObj::OnCommand(int id)
{
    if (id == kBrowse)
        OnBrowse();
    else if (id == kNext)
        focusNextChild();
}

void CDlgDataObj::OnBrowse()
{
    QString path;
    if (s_browseHook) {
        path = s_browseHook(this);
    } else {
        QFileDialog dlg(this);
        dlg.setFileMode(QFileDialog::ExistingFile);
        dlg.setOption(QFileDialog::DontUseNativeDialog);
        if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
            path = dlg.selectedFiles().first();
    }
    if (path.isEmpty())
        return;
    path.remove(QLatin1Char('"'));
    SetDlgItemText(kProgram, QuoteProgram(path));
    MoveCaretToEnd();
}

void CDlgDataObj::OnCancel()
{
    CDlgObjectItem::OnCancel();
}

void CDlgDataObj::OnOK()
{
    UpdateData(true);
    m_strName = m_strName.trimmed();
    if (m_strName.isEmpty()) {
        UiMessageBoxId(31725, kWarn);
        if (QWidget* w = GetDlgItem(kName)) w->setFocus();
        return;
    }
    if (m_strProgram.trimmed().isEmpty()) {
        UiMessageBoxId(31857, kWarn);
        if (QWidget* w = GetDlgItem(kProgram)) w->setFocus();
        return;
    }
    QString program, arguments;
    SplitProgramText(m_strProgram, program, arguments);
    if (QFileInfo(program).fileName().compare(QLatin1String(kZorqExeName), Qt::CaseInsensitive) == 0 ||
        QFileInfo(program).completeBaseName().compare(QLatin1String(kZorqExeName), Qt::CaseInsensitive) == 0) {
        UiMessageBoxId(31859, kWarn);
        return;
    }
    if (m_pList) {
        const bool nameChanged = m_bNew || m_strName.compare(m_pEntry->GetName(), Qt::CaseInsensitive) != 0;
        const bool programChanged = m_bNew || program.compare(m_pEntry->GetFullExeName(), Qt::CaseInsensitive) != 0;
        if (nameChanged && m_pList->FindByName(m_strName)) {
            UiMessageBoxId(31690, kWarn);
            return;
        }
        if (programChanged && m_pList->FindByProgram(program)) {
            UiMessageBoxId(31861, kWarn);
            return;
        }
    }
    const bool renamed = !m_bNew && m_strName != m_pEntry->GetName();
    CDataObj before;
    before.CopyFrom(*m_pEntry);
    m_pEntry->SetName(m_strName, true);
    m_pEntry->SetFullExeName(program);
    m_pEntry->SetCommandLine(arguments);
    m_pEntry->SetDisplayHelp(m_bDisplayHelp ? 1 : 0);
    if (m_bNew)
        m_pEntry->SetFilePath(QString());  // saved under its name in the files folder
    QString target;
    if (m_bNew && CZorqMMIApp::Instance()) {
        // Under its name, unless that file belongs to another entry: then
        // under a new unique name.
        target = QString::fromLocal8Bit(CZorqMMIApp::Instance()->GetFilesDir().c_str()) +
                 CDataObj::MakeFileSafeName(m_pEntry->GetName()) + ".DFA";
        if (QFileInfo::exists(target))
            target.clear();
    }
    if (!m_pEntry->Save(target)) {
        UiMessageBoxId(31726, kWarn);
        if (!m_bNew) {
            // The file still holds the entry as it was: so does the list.
            m_pEntry->CopyFrom(before);
            EndDialog(IDCANCEL);
            return;
        }
    }

    if (m_pList) {
        if (m_bNew) {
            m_nItem = m_pList->AddSorted(m_pEntry);
            if (m_nItem >= 0)
                m_bOwnsEntry = false;
        } else if (renamed) {
            // The entry moves to its new place in the order. Should it not
            // fit back, the original returns: its file is never removed
            // while an item still owns it.
            CDataObj* original = m_pEntry;
            m_pList->Detach(original);
            auto* copy = new CDataObj;
            copy->CopyFrom(*original);
            m_nItem = copy->LocateProgram() ? m_pList->AddSorted(copy) : -1;
            if (m_nItem >= 0) {
                delete original;
                m_pEntry = copy;
            } else {
                delete copy;
                m_nItem = m_pList->AddSorted(original);
            }
        } else {
            m_nItem = m_pList->IndexOfName(m_pEntry->GetName());
        }
    }
    EndDialog(IDOK);
}
