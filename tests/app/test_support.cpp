#include "test_support.h"

#include "dlgmessagebox.h"

namespace zorqtest {

int RecordingApp::RunMessageDialog(CDlgMessageBox& dlg)
{
    ExpectFinished(dlg.m_strText);
    shown.push_back({false, dlg.m_strText, 0, nullptr, dlg.m_strCaption});
    return dialogResult;
}

}  // namespace zorqtest
