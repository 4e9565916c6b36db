// The recipient directory of the open sequence: a phonebook source pane on
// the left (PC, SIM, fixed-dialling and phone-memory phonebooks), the
// message's recipients on the right. Recipients are changed in the message
// itself, so going back or forward keeps them.
//
// Each recipient row remembers the address it shows: a row's texts may be
// the no-name text or repeat the number, so removing goes by that address,
// never by what the row displays.
#pragma once

#include "dialog.h"

#include <QElapsedTimer>
#include <QPointer>

#include <memory>
#include <vector>

class CAddress;
class CEntryListCtrl;
class CMessage;
class CQXPBSrcNewList;
class CZorqMMIDoc;
class QLineEdit;
class QPushButton;
struct PBEntry;

class CDlgMsgDirectory : public CDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 162;
    static constexpr int IDC_BACK = 1138;

    CDlgMsgDirectory(CMessage* msg, QWidget* parentView, CZorqMMIDoc* doc = nullptr);
    ~CDlgMsgDirectory() override;

    bool OnInitDialog() override;
    void OnOK() override;
    void OnCommand(int id) override;
    void OnTimer(int id) override;

    // The first load (done by the first tick of timer 2); tests call it
    // rather than waiting for the tick.
    void FirstLoad();
    void FillRecipients();
    // Adds the selected phonebook rows (button, double click, drop).
    void AddSelectedEntries();
    // Removes the selected recipient rows, each after its confirmation.
    void OnBRemoveRecipient();
    // Types a new phonebook entry into the pane's storage.
    void OnBAdd();
    void UpdateButtons();

    CQXPBSrcNewList* Pane() const { return m_pPane.get(); }
    CEntryListCtrl* RecipientList() const { return m_listRecipients; }
    // The address a recipient row shows (null for none).
    const CAddress* AddressOfRow(int row) const;

protected:
    // Drops of dragged phonebook rows on the recipient list.
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // How a phonebook set-up went: done; refused by the phone for good (told
    // with its number); the SIM still busy; the phone not answering.
    enum class SetUp { Done, Refused, SimBusy, Silent };
    SetUp SetUpPhonebooks();
    // The phone can take the dialog's requests now: no request waits, no
    // operation of the screen behind is under way (its progress disables
    // this dialog, its pauses run the loop between its requests).
    bool PhoneFree() const;
    // Sets up the phonebooks and opens the pane on its first phonebook. While
    // the phone does not answer or the SIM is busy, the pane offers what it
    // has and the load is pending: it is run again once the phone is linked
    // and free, until the phone's phonebooks are listed. What is wrong is
    // told once while it lasts, in words that need nothing of the user.
    void LoadPhonebooks(bool first);
    void LoadAgainWhenLinked();
    void TellOnce(SetUp why);
    void AppendRecipientRow(const CAddress* address);
    void SelectAllRecipients();

    QPushButton* m_bAddRecipient = nullptr;
    QPushButton* m_bRemoveRecipient = nullptr;
    CEntryListCtrl* m_listRecipients = nullptr;
    QWidget* m_static1099 = nullptr;
    std::unique_ptr<CQXPBSrcNewList> m_pPane;
    QWidget* m_pParentView;
    CZorqMMIDoc* m_pDoc;
    CMessage* m_pMsg;
    bool m_bFirstTimer = true;
    bool m_bLoadPending = false;
    bool m_bLoading = false;  // inside LoadPhonebooks
    bool m_bLinkedAtOpen = false;
    // What was last told of a pending load (Done: nothing told yet).
    SetUp m_told = SetUp::Done;
    // When the load was last tried: a busy SIM is asked again after a pause.
    QElapsedTimer m_lastTry;
    // When the dialog last looked for a phone it had lost.
    QElapsedTimer m_lastLook;
    // The box that tells what the dialog waits for, while it stands.
    QPointer<QWidget> m_notice;
    bool m_bBound = false;
    // Row location -> the address it shows. Locations are handed out once per
    // filling and never reused, so a deleted row cannot alias another.
    std::vector<const CAddress*> m_rowAddress;
};

// The small form of the add-entry button: a name and a number, written into
// the pane's current storage by the directory.
class CDlgNewEntry : public CDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 298;
    static constexpr int IDC_NAME = 1012;
    static constexpr int IDC_NUMBER = 1013;

    CDlgNewEntry(PBEntry* entry, CQXPBSrcNewList* pane, QWidget* parent = nullptr);

    bool OnInitDialog() override;
    void OnOK() override;

private:
    PBEntry* m_pEntry;
    CQXPBSrcNewList* m_pPane;
};
