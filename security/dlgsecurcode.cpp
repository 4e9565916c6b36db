#include "dlgsecurcode.h"

#include "uiservices.h"

#include "mtr_gen.h"
#include "mtr_sec.h"
#include "phonechange.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QTimer>

namespace {

constexpr int kCodeEdit = 1121;
constexpr int kNewCodeEdit = 1122;
constexpr int kPromptText = 1124;
constexpr int kOldEdit = 1131;
constexpr int kNewEdit = 1132;
constexpr int kConfirmEdit = 1133;
constexpr int kNextButton = 1005;
constexpr int kMtrDone = -35;
constexpr unsigned kMbOk = 0;
constexpr unsigned kMbIconExclamation = 0x30;
constexpr int kLastAttemptNote = 31852;
constexpr int kTitleBarChrome = 112;  // a title bar's icon, buttons and margins

// Engine PIN states (the sorted +CPIN list).
enum { PH_SIM_PIN = 0, READY = 1, SIM_PIN = 2, SIM_PIN2 = 3, SIM_PUK = 4, SIM_PUK2 = 5 };

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

QLineEdit* Edit(CDialog* dlg, int id) { return qobject_cast<QLineEdit*>(dlg->GetDlgItem(id)); }

}  // namespace

bool CDlgSecurCode::s_bSwitching = false;

CDlgSecurCode::CDlgSecurCode(QWidget* parent, int kind, int mode, int twoCodes, int counter)
    : CDlgBase(twoCodes ? TEMPLATE_TWO : TEMPLATE_ONE, parent), m_nKind(kind), m_nMode(mode),
      m_bTwoCodes(twoCodes != 0), m_nCounter(counter)
{
    ClearStyleFlag();
}

void CDlgSecurCode::ReadCodeInfo()
{
    if (m_nMode == MODE_FACILITY)
        mtr_GEN_get_facility_code_info(static_cast<uint8_t>(m_nKind == 6 ? 14 : m_nKind), &m_nCounter);
    else
        mtr_GEN_get_code_info(static_cast<uint32_t>(m_nKind), &m_nCounter);
}

int CDlgSecurCode::AdjustToCodeState()
{
    ReadCodeInfo();
    if (m_nCounter > 0)
        return 0;
    uint32_t state = READY;
    {
        WaitCursor wait;
        mtr_GEN_get_code_state(&state, &m_nCounter);
    }
    if (state == READY)
        return 0;
    m_nMode = MODE_PHONE;
    switch (state) {
    case PH_SIM_PIN:
        if (m_nKind != 0 && m_nKind != 19)
            m_nKind = PH_SIM_PIN;
        return 0;
    case SIM_PIN:
        if (m_nKind != 2 && m_nKind != 21)
            m_nKind = SIM_PIN;
        return 0;
    case SIM_PIN2:
        if (m_nKind != 3 && m_nKind != 6 && m_nKind != 14)
            m_nKind = SIM_PIN2;
        return 0;
    case SIM_PUK:
    case SIM_PUK2: {
        const bool puk = state == SIM_PUK;
        if (m_nCounter <= 0) {
            UiMessageBoxId(puk ? 31782 : 31884, kMbOk);
            m_bClosing = true;
            // Closed once the caller's modal run has begun (or at once).
            QTimer::singleShot(0, this, [this] { EndDialog(0); });
            EndDialog(0);
            return 0;
        }
        UiMessageBoxId(puk ? 31780 : 31781, kMbOk);
        const int want = puk ? SIM_PUK : SIM_PUK2;
        if (m_nKind != want) {
            m_nKind = want;
            return 1;
        }
        return 0;
    }
    default:
        return 0;
    }
}

void CDlgSecurCode::SwitchToTwoCodes()
{
    s_bSwitching = true;
    m_bTwoCodes = true;
    ReplaceTemplate(TEMPLATE_TWO);
    s_bSwitching = false;
    OnInitDialog();
}

void CDlgSecurCode::SetTexts()
{
    int title = 31834;
    if (m_nMode == MODE_PHONE) {
        switch (m_nKind) {
        case 0: title = 31779; break;
        case 2: title = 31772; break;
        case 3: title = 31773; break;
        case 4: title = 31774; break;
        case 5: title = 31775; break;
        default: break;
        }
    } else {
        switch (m_nKind) {
        case 5: title = 31779; break;
        case 6:
        case 14: title = 31773; break;
        case 21: title = 31772; break;
        default: break;
        }
    }
    QString text = UiLoadString(title);
    if (m_nCounter == 1)
        text += QLatin1Char(' ') + UiLoadString(kLastAttemptNote);
    setWindowTitle(text);
    // The title is the only place that says which code is asked and that
    // this is the last attempt: the dialog is made wide enough for its
    // title bar to show it whole (the title in the bold font title bars
    // use, beside the bar's icon and three buttons).
    QFont bold = QApplication::font();
    bold.setBold(true);
    const int need = QFontMetrics(bold).horizontalAdvance(text) + kTitleBarChrome;
    if (need > width())
        resize(need, height());
    if (m_bTwoCodes)
        m_strPrompt = UiLoadString(m_nKind == 5 ? 31771 : 31770);
}

void CDlgSecurCode::WireControls()
{
    QAbstractButton* ok = qobject_cast<QAbstractButton*>(GetDlgItem(1));
    const int watched = m_bTwoCodes ? kNewCodeEdit : kCodeEdit;
    const int minimum = m_bTwoCodes ? 4 : 4;
    if (QLineEdit* e = Edit(this, watched))
        connect(e, &QLineEdit::textChanged, this, [ok, minimum](const QString& t) {
            if (ok)
                ok->setEnabled(t.size() >= minimum);
        });
    for (int id : {kCodeEdit, kNewCodeEdit})
        if (QLineEdit* e = Edit(this, id))
            e->setMaxLength(8);
}

bool CDlgSecurCode::OnInitDialog()
{
    CDlgBase::OnInitDialog();
    // In either mode the phone's count of attempts is read first: the title
    // announces the last attempt, and a blocked code asks for its PUK.
    if (!s_bSwitching && AdjustToCodeState() == 1 && !m_bTwoCodes) {
        SwitchToTwoCodes();
        return true;
    }
    SetTexts();
    m_strCode.clear();
    m_strNewCode.clear();
    WireControls();
    if (auto* ok = GetDlgItem(1))
        ok->setEnabled(false);
    CenterWindow();
    UpdateData(false);
    return true;
}

void CDlgSecurCode::FocusEdit(int id)
{
    if (QLineEdit* e = Edit(this, id)) {
        e->setFocus();
        e->selectAll();
    }
}

bool CDlgSecurCode::MinChars(CDataExchange* pDX, int id, const QString& text, int minimum)
{
    if (!pDX->m_bSaveAndValidate || text.size() >= minimum)
        return true;
    UiMessageBox(UiFormatString(31807, {QString::number(minimum)}), kMbOk | kMbIconExclamation, 31807);
    FocusEdit(id);
    pDX->m_bFailed = true;
    return false;
}

void CDlgSecurCode::DoDataExchange(CDataExchange* pDX)
{
    CDlgBase::DoDataExchange(pDX);
    DDX_Text(pDX, kCodeEdit, m_strCode);
    if (m_bTwoCodes) {
        DDX_Text(pDX, kPromptText, m_strPrompt);
        DDX_Text(pDX, kNewCodeEdit, m_strNewCode);
    }
    if (!pDX->m_bSaveAndValidate || pDX->m_bFailed)
        return;
    // An empty field has its own message (in OnOK).
    if (!m_strCode.isEmpty() && !MinChars(pDX, kCodeEdit, m_strCode, m_bTwoCodes ? 8 : 4))
        return;
    if (m_bTwoCodes && !m_strNewCode.isEmpty())
        MinChars(pDX, kNewCodeEdit, m_strNewCode, 4);
}

void CDlgSecurCode::ShowAttempts()
{
    if (m_nCounter == 1)
        UiMessageBoxId(31778, kMbOk);
    else
        UiMessageBox(UiFormatString(31777, {m_nCounter >= 0 ? QString::number(m_nCounter) : QStringLiteral("?")}),
                     kMbOk, 0);
}

void CDlgSecurCode::OnOK()
{
    if (!UpdateData(true))
        return;
    if (m_strCode.isEmpty()) {
        UiMessageBoxId(31776, kMbOk);
        FocusEdit(kCodeEdit);
        return;
    }
    if (m_bTwoCodes && m_strNewCode.isEmpty()) {
        UiMessageBoxId(31776, kMbOk);
        FocusEdit(kNewCodeEdit);
        return;
    }
    if (m_nMode == MODE_FACILITY) {
        if (!m_strNewCode.isEmpty())
            m_strCode = m_strNewCode;
        EndDialog(IDOK);
        return;
    }
    // Asked again after a silence, a phone that no longer waits for any
    // code took this one; one that still waits for a code did not.
    const PhoneChangeResult entered = RunPhoneChange(
        "the security code entered",
        [this] { return mtr_GEN_enter_code(m_nKind, 0, m_strCode.toStdString(), m_strNewCode.toStdString()); },
        [] {
            uint32_t state = READY;
            if (mtr_GEN_get_code_state(&state) != kMtrDone)
                return PhoneHolds::Unknown;
            return state == READY ? PhoneHolds::Change : PhoneHolds::Before;
        });
    if (entered.Landed()) {
        if (entered.Unanswered())
            UiMessageBoxId(31956, kMbOk);
        if (!m_strNewCode.isEmpty())
            m_strCode = m_strNewCode;
        EndDialog(IDOK);
        return;
    }
    const MTR_RESULT r = entered.result;
    bool toTwoCodes = false;
    if (entered.Unanswered()) {
        // Not a refusal: nothing tells that an attempt was used. A phone
        // that answered again and now wants another code (the PUK after
        // the last attempt) gets the form that code needs.
        UiMessageBoxId(entered.Known() ? 31957 : 31958, kMbOk);
        if (entered.Known() && AdjustToCodeState() == 1)
            toTwoCodes = true;
    } else {
        switch (r) {
        case 5:
            ReadCodeInfo();
            ShowAttempts();
            if (m_nKind != 0 && m_nKind != 19)
                m_nKind = PH_SIM_PIN;
            break;
        case 11:
            ReadCodeInfo();
            ShowAttempts();
            if (m_nKind != 2 && m_nKind != 21)
                m_nKind = SIM_PIN;
            break;
        case 12:
            UiMessageBoxId(31780, kMbOk);
            if (m_nKind != SIM_PUK) {
                m_nKind = SIM_PUK;
                toTwoCodes = true;
            }
            break;
        case 16:
            if (AdjustToCodeState() == 1)
                toTwoCodes = true;
            else if (!m_bClosing)
                ShowAttempts();
            break;
        case 17:
            ReadCodeInfo();
            ShowAttempts();
            if (m_nKind != 3 && m_nKind != 6 && m_nKind != 14)
                m_nKind = SIM_PIN2;
            break;
        case 18:
            UiMessageBoxId(31781, kMbOk);
            if (m_nKind != SIM_PUK2) {
                m_nKind = SIM_PUK2;
                SwitchToTwoCodes();
            }
            return;
        default:
            if (AdjustToCodeState() == 1)
                toTwoCodes = true;
            else if (!m_bClosing)
                UiMessageBoxId(31783, kMbOk);
            break;
        }
    }
    if (m_bClosing)
        return;
    if (toTwoCodes && !m_bTwoCodes) {
        SwitchToTwoCodes();
        return;
    }
    SetTexts();
    m_strCode.clear();
    m_strNewCode.clear();
    UpdateData(false);
    FocusEdit(kCodeEdit);
}

// ---- CDlgChangeSecurCode ------------------------------------------------------------------

CDlgChangeSecurCode::CDlgChangeSecurCode(int facility, int maxLength, QWidget* parent)
    : CDlgBase(312, parent), m_nFacility(facility), m_nMaxLength(maxLength)
{
    ClearStyleFlag();
}

bool CDlgChangeSecurCode::OnInitDialog()
{
    CDlgBase::OnInitDialog();
    for (int id : {kOldEdit, kNewEdit, kConfirmEdit})
        if (QLineEdit* e = Edit(this, id); e && m_nMaxLength > 0)
            e->setMaxLength(m_nMaxLength);
    QAbstractButton* ok = qobject_cast<QAbstractButton*>(GetDlgItem(1));
    if (QLineEdit* e = Edit(this, kConfirmEdit))
        connect(e, &QLineEdit::textChanged, this, [ok](const QString& t) {
            if (ok)
                ok->setEnabled(t.size() >= 4);
        });
    if (m_nFacility != -1)
        CheckBlockedCode();
    if (ok)
        ok->setEnabled(false);
    return true;
}

void CDlgChangeSecurCode::DoDataExchange(CDataExchange* pDX)
{
    CDlgBase::DoDataExchange(pDX);
    DDX_Text(pDX, kOldEdit, m_strOld);
    DDX_Text(pDX, kNewEdit, m_strNew);
    DDX_Text(pDX, kConfirmEdit, m_strConfirm);
    if (!pDX->m_bSaveAndValidate || pDX->m_bFailed)
        return;
    // Each code of at least 4 characters (an empty one has its own message).
    for (auto [id, text] : {std::pair<int, QString*>{kOldEdit, &m_strOld}, {kNewEdit, &m_strNew},
                            {kConfirmEdit, &m_strConfirm}}) {
        if (!text->isEmpty() && text->size() < 4) {
            UiMessageBox(UiFormatString(31807, {QStringLiteral("4")}), kMbOk | kMbIconExclamation, 31807);
            if (QLineEdit* e = Edit(this, id)) {
                e->setFocus();
                e->selectAll();
            }
            pDX->m_bFailed = true;
            return;
        }
    }
}

void CDlgChangeSecurCode::Refuse(int stringId, int editId)
{
    UiMessageBoxId(stringId, kMbOk);
    if (QLineEdit* e = Edit(this, editId)) {
        e->setFocus();
        e->selectAll();
    }
}

void CDlgChangeSecurCode::OnCommand(int id)
{
    if (id != kNextButton)
        return;
    QWidget* focus = focusWidget();
    if (focus == GetDlgItem(kConfirmEdit)) {
        OnOK();
        return;
    }
    focusNextChild();
}

void CDlgChangeSecurCode::OnOK()
{
    if (!UpdateData(true))
        return;
    if (m_strOld.isEmpty())
        return Refuse(31805, kOldEdit);
    if (m_strNew.isEmpty())
        return Refuse(31805, kNewEdit);
    if (m_strOld == m_strNew)
        return Refuse(31803, kNewEdit);
    if (m_strConfirm.isEmpty())
        return Refuse(31805, kConfirmEdit);
    if (m_strNew != m_strConfirm)
        return Refuse(31804, kConfirmEdit);
    if (m_nFacility == -1) {
        EndDialog(IDOK);
        return;
    }
    PhoneChangeResult change;
    {
        WaitCursor wait;
        // A code cannot be read back: after a silence the phone is looked
        // for again, and whether it took the new code stays unknown.
        change = RunPhoneChange(
            "code change",
            [&] {
                return mtr_FAC_change_password(static_cast<uint8_t>(m_nFacility), m_strOld.toStdString(),
                                               m_strNew.toStdString());
            },
            [] { return PhoneHolds::Unknown; });
    }
    const MTR_RESULT r = change.result;
    if (change.Done()) {
        UiMessageBoxId(31837, kMbOk);
        EndDialog(IDOK);
    } else if (change.Unanswered()) {
        // Another try with the old code could count against a code that is
        // no longer in force: the dialog closes.
        UiMessageBox(UiFormatString(31950, {UiLoadString(31812 + m_nFacility)}), kMbOk, 0);
        EndDialog(IDOK);
    } else if (r == 16) {
        // The phone has counted the wrong code: say how many tries are left.
        int counter = -1;
        const bool known = ReadCounter(counter) && counter >= 0;
        UiMessageBox(UiFormatString(31777, {known ? QString::number(counter) : QStringLiteral("?")}), kMbOk, 0);
        if (known)
            OnCounter(counter);
    } else {
        UiMessageBoxId(31806, kMbOk);
    }
}

bool CDlgChangeSecurCode::ReadCounter(int& counter)
{
    WaitCursor wait;
    return mtr_GEN_get_facility_code_info(static_cast<uint8_t>(m_nFacility), &counter) == kMtrDone;
}

void CDlgChangeSecurCode::CheckBlockedCode()
{
    int counter = -1;
    if (ReadCounter(counter))
        OnCounter(counter);
}

void CDlgChangeSecurCode::OnCounter(int counter)
{
    if (counter == 0) {
        // A blocked SIM PIN is unblocked on the phone with the PUK and a new
        // PIN; collecting them without sending them would leave the SIM
        // blocked while the form said OK.
        const bool simPin = m_nFacility == MTR_FAC_SC;
        CDlgSecurCode puk(this, simPin ? SIM_PUK : m_nFacility,
                          simPin ? CDlgSecurCode::MODE_PHONE : CDlgSecurCode::MODE_FACILITY, 1, -1);
        if (puk.DoModal() != IDOK) {
            QTimer::singleShot(0, this, [this] { EndDialog(0); });
            EndDialog(0);
        } else {
            CenterWindow();
        }
    } else if (counter == 1) {
        setWindowTitle(windowTitle() + QLatin1Char(' ') + UiLoadString(kLastAttemptNote));
    }
}
