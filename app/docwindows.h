// What the document needs of the windows: the active screen, the deferred
// refresh after a link change, the call-status window, the progress window
// of a foreground phonebook reading, and the switch to received messages.
#pragma once

#include "zorqmmidoc.h"

#include <memory>

class CDlgConnectionStatus;
class CDlgProgressText;

class CAppDocWindows : public CDocWindows {
public:
    CAppDocWindows();
    ~CAppDocWindows() override;

    QObject* GetActiveView() override;
    // Only noted: the refresh runs from the loop once no request waits.
    bool RefreshActiveView() override;
    void OpenStatusDlg(const std::string& name) override;
    void ShowStatusDlg(int step) override;
    void CloseStatusDlg() override;
    void StartProgress(int titleId, int range, int x, int y) override;
    void SetProgressPos(int pos) override;
    void EndProgress(bool success) override;
    bool IsProgressRunning() override;
    bool NoticesWait() override;
    void NoticeBoxShown(int stringId, bool shown) override;
    void ActivateMainWindow() override;
    void ShowSMSMT() override;

    // Takes the noted refresh (true once per note).
    bool TakeRefresh();
    bool RefreshPending() const { return m_bRefresh; }

private:
    std::unique_ptr<CDlgConnectionStatus> m_pStatus;
    std::unique_ptr<CDlgProgressText> m_pProgress;
    bool m_bRefresh = false;
    bool m_bSmsBox = false, m_bReportBox = false;  // our notice boxes that stand
};
