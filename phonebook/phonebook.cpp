#include "phonebook.h"

#include "debugtrace.h"
#include "dialog.h"
#include "dragdrop.h"
#include "entrylistctrl.h"
#include "mtr_gen.h"
#include "mtr_pb.h"
#include "pbtransfer.h"
#include "pccharset.h"
#include "profile.h"
#include "qxpbsrcnewlist.h"
#include "uimsg.h"
#include "uiservices.h"
#include "uiwidgets.h"
#include "utilities.h"
#include "vcard.h"
#include "viewframe.h"
#include "wndmsg.h"
#include "zorqmmidoc.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

constexpr int kDone = -35;
constexpr int kNotDeletedBecauseString = 31894;  // "%1" could not be deleted. %2 ...

// Control ids of the form.
enum {
    IDC_SRC_PC = 1001, IDC_TITLE = 1002, IDC_SRC_SIM = 1003, IDC_SRC_PHONE = 1004, IDC_SRC_FDN = 1006,
    IDC_LIST = 1009, IDC_NAME = 1012, IDC_NUMBER = 1013, IDC_ADDRESS = 1014, IDC_OTHER = 1016,
    IDC_FAX = 1017, IDC_EMAIL = 1018, IDC_COMPANY = 1019, IDC_NOTES = 1020, IDC_PRINT = 1024,
    IDC_OK = 1025, IDC_CANCEL = 1026, IDC_DELETE = 1027, IDC_HELP = 1029, IDC_SORT = 1030,
    IDC_FIND = 1032, IDC_NEW = 1069, IDC_ROOM = 1110, IDC_COPYTO = 1131,
};
// Commands of the context and PC menus.
enum {
    ID_NEW_PC_DB = 32771, ID_OPEN_PC_DB = 32772, ID_DIAL = 32773, ID_PRINT = 32776, ID_DELETE = 32777,
    ID_CHANGE_LOCATION = 32787, ID_COPY_PC = 32802, ID_COPY_SIM = 32803, ID_COPY_FDN = 32804,
    ID_COPY_PHONE = 32805, ID_COPY_NEW_PC = 32806, ID_COPY_EXISTING_PC = 32807,
};
// The screen's deferred first load and the document's request to let go of
// its databases.
constexpr unsigned kReleaseDatabases = 0x7F3;

// The longest multi-line text the form shows whole, in characters.
constexpr size_t kFormTextLimit = 32768;
constexpr int kCutTextString = 31991;  // what a field shown cut holds

const int kFields[] = {IDC_NAME, IDC_NUMBER, IDC_ADDRESS, IDC_OTHER, IDC_FAX, IDC_EMAIL, IDC_COMPANY, IDC_NOTES};
const char* const kSortColumns[] = {"Location", "Name", "Phone", "Otherphone", "Fax", "Email", "Company"};

struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

CPhoneBook::CPhoneBook(QWidget* parent) : CMainView(kTemplateId, parent)
{
    m_nViewKind = VIEW_PHONEBOOK;
    m_bClosing = 0;
    m_pPane = std::make_unique<CQXPBSrcNewList>(this);
    BindControls();
}

CPhoneBook::~CPhoneBook()
{
    // A location still being edited is committed when the window goes,
    // after the pane: the list must not call back into a pane that is gone.
    if (CEntryListCtrl* list = m_pPane ? m_pPane->GetListCtrl() : nullptr)
        list->SetEndEditHandler(nullptr);
}

void CPhoneBook::BindControls()
{
    m_pPane->BindPaneControls(GetDlgItem(IDC_SRC_PC), GetDlgItem(IDC_SRC_SIM), GetDlgItem(IDC_SRC_PHONE),
                              GetDlgItem(IDC_SRC_FDN), GetDlgItem(IDC_NEW), GetDlgItem(IDC_LIST),
                              GetDlgItem(IDC_TITLE), GetDlgItem(IDC_ROOM));
    connect(m_pPane->GetFourthButton(), &QPushButton::clicked, this, [this] { OnNewEntry(); });
    connect(m_pPane.get(), &CQXPBSrcNewList::listFilled, this, [this] { AfterSourceSwitch(); });
    // A left click on the PC button may open the PC-database menu (no PC
    // database yet): closing it without a database goes back to the source
    // shown before. A menu command that opened a database keeps the PC.
    connect(m_pPane->GetPCButton(), &QPushButton::pressed, this, [this] { m_nPCMenuContext = 0; });
    connect(m_pPane.get(), &CQXPBSrcNewList::sourceMenuDone, this, [this] { m_nPCMenuContext = 8; });
    m_pSort = qobject_cast<QComboBox*>(GetDlgItem(IDC_SORT));
    if (m_pSort)
        connect(m_pSort, qOverload<int>(&QComboBox::activated), this, [this](int) { OnSortChange(); });
    for (int id : kFields) {
        QWidget* w = GetDlgItem(id);
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            e->setMaxLength(250);
            connect(e, &QLineEdit::textEdited, this, [this, id] { OnFieldChanged(id); });
            // Enter: with only a name and a number to give (a phone
            // storage), Enter in the number saves the entry; otherwise it
            // moves on to the next field.
            connect(e, &QLineEdit::returnPressed, this, [this, id] {
                if (auto* a = GetDlgItem(IDC_ADDRESS); id == IDC_NUMBER && a && !a->isEnabled()) {
                    OnBAddOk();
                    m_pPane->GetFourthButton()->setFocus();
                    return;
                }
                focusNextChild();
            });
        } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
            connect(p, &QPlainTextEdit::textChanged, this, [this, id] { OnFieldChanged(id); });
        }
    }
    connect(m_pPane->GetListCtrl(), &CEntryListCtrl::selectionChangedRows, this, [this] {
        if (!m_bAddMode)
            SelectionToForm();
    });
}

QString CPhoneBook::FieldText(int id) const
{
    QWidget* w = GetDlgItem(id);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w))
        return p->toPlainText();
    return QString();
}

void CPhoneBook::SetFieldText(int id, const QString& text)
{
    QWidget* w = GetDlgItem(id);
    m_cutFields.erase(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(text);
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        p->setReadOnly(false);
        p->setPlainText(text);
    }
}

void CPhoneBook::ShowStoredText(int id, const std::string& stored)
{
    auto* p = qobject_cast<QPlainTextEdit*>(GetDlgItem(id));
    if (!p || stored.size() <= kFormTextLimit) {
        SetFieldText(id, PcToQString(stored));
        return;
    }
    // Laying out a text of a megabyte would hold the screen for minutes:
    // the field shows its beginning and says so, and is read-only, so the
    // text stays whole in the file whatever else of the entry is changed.
    p->setReadOnly(true);
    p->setPlainText(PcToQString(stored.substr(0, kFormTextLimit)) + QStringLiteral("\n\n") +
                    UiFormatString(kCutTextString, {QString::number(stored.size()), QString::number(kFormTextLimit)}));
    m_cutFields[id] = stored;
}

void CPhoneBook::EnableCtrl(int id, bool on)
{
    if (QWidget* w = GetDlgItem(id))
        w->setEnabled(on);
}

void CPhoneBook::OnInitialUpdate()
{
    CMainView::OnInitialUpdate();
    m_pPane->AttachDocument(GetDocument());
    m_pPane->SetPosition(73, 82);
    for (int id : {IDC_SORT, IDC_FIND, IDC_COPYTO, IDC_PRINT, IDC_DELETE})
        EnableCtrl(id, false);
    EnableFormFields(false);
    ShowOkCancel(false);
    // The action buttons show their pictures; their names are in the tool tips.
    const struct { int id; const char* icon; } pictures[] = {
        {IDC_DELETE, "211"}, {IDC_FIND, "164"}, {IDC_PRINT, "209"}, {IDC_COPYTO, "298"}, {IDC_HELP, "235"}};
    for (const auto& p : pictures) {
        auto* b = qobject_cast<QPushButton*>(GetDlgItem(p.id));
        const QIcon icon = UiLoadIcon(QLatin1String(p.icon));
        if (b && !icon.isNull()) {
            b->setIcon(icon);
            b->setText(QString());
        }
    }

    PlaceOkCancel();

    m_nSortSel = GetComboSort("PhoneBook", 7, 1);
    FillSortCombo();
    m_pPane->Data().SetSortColumn(kSortColumns[m_nSortSel]);
    m_pPane->Data().SetListKind(m_nSortSel == 0 ? 0 : 1);
    if (CEntryListCtrl* list = m_pPane->GetListCtrl()) {
        list->SetEditingAllowed(m_nSortSel == 0, 5);
        list->SetEndEditHandler([this](int row, const QString& text) {
            return m_pPane && m_pPane->Data().OnEndEditLabel(row, text);
        });
    }

    m_pPane->InitPane(true);
    m_pPane->SetDropOwner(this);
    for (int id : {IDC_COPYTO, IDC_PRINT, IDC_DELETE, IDC_SRC_FDN}) {
        auto* target = new CEntryDropTarget(this);
        target->SetOwner(this);
        target->Register(GetDlgItem(id));
        m_targets.push_back(target);
    }
    GetDropSource()->ClearDropRects();
    for (int id : {IDC_COPYTO, IDC_SRC_PC, IDC_SRC_SIM, IDC_SRC_PHONE, IDC_SRC_FDN, IDC_PRINT, IDC_DELETE})
        if (QWidget* w = GetDlgItem(id))
            GetDropSource()->AddDropPlace(w);
    m_pPane->Data().SetEditingEnabled(true);
    m_pPane->AddPaneToolTips();
    const struct { int id; int tip; } tips[] = {
        {IDC_LIST, 31235}, {IDC_SORT, 31227}, {IDC_OK, 31231}, {IDC_CANCEL, 31233}, {IDC_DELETE, 31236},
        {IDC_FIND, 31784}, {IDC_HELP, 31240}, {IDC_PRINT, 31244}, {IDC_COPYTO, 31245}};
    for (const auto& t : tips)
        if (QWidget* w = GetDlgItem(t.id))
            w->setToolTip(UiLoadString(t.tip));
    OnFrameMove();
    m_bInitDone = true;
    PostMessage(this, WM_MMI_DEFERRED_INIT, 0, 0);
}

void CPhoneBook::SetSideCodes()
{
    CZorqMMIDoc* doc = GetDocument();
    if (doc && doc->IsPBStorageAvailable(1)) {
        m_nSideSrc = 1;
        m_nCopyDst = 5;
    } else if (doc && doc->IsPBStorageAvailable(2)) {
        m_nSideSrc = 2;
        m_nCopyDst = 6;
    } else {
        m_nSideSrc = m_nCopyDst = 8;
    }
}

void CPhoneBook::OnDeferredInit()
{
    update();
    if (CZorqMMIDoc* doc = GetDocument())
        if (gv_SPIO_com_status == 2)
            doc->SetupPB();
    m_pPane->AttachDocument(GetDocument());
    m_pPane->UpdateButtons();
    SetSideCodes();
    m_pPane->SelectInitialSource();
    AfterSourceSwitch();
    if (CViewFrame* frame = GetViewFrame())
        frame->SetFrameTitle(UiLoadString(31204));
}

void CPhoneBook::AfterSourceSwitch()
{
    ResetForm();
    FillSortCombo();
    const bool rows = m_pPane->GetListCtrl() && m_pPane->GetListCtrl()->GetRowCount() > 0;
    EnableCtrl(IDC_SORT, rows);
    EnableCtrl(IDC_FIND, rows);
    if (auto* name = qobject_cast<QLineEdit*>(GetDlgItem(IDC_NAME)))
        name->setMaxLength(std::max(1, m_pPane->Data().GetMaxNameLength()));
    m_found.clear();
}

std::intptr_t CPhoneBook::DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (message) {
    case WM_LIST_FOCUS_ROW:
        if (!m_bAddMode)
            SelectionToForm();
        return 0;
    case WM_LIST_DELETE_KEY:
        OnBTrash();
        return 0;
    case WM_RBUTTONDOWN:
        OnContextMenu();
        return 0;
    case WM_MMI_DEFERRED_INIT:
        OnDeferredInit();
        return 0;
    case WM_SRC_CONTEXT_MENU:
        if (reinterpret_cast<QWidget*>(lParam) == m_pPane->GetPCButton()) {
            m_pPane->SetSource(0);
            m_nPCMenuContext = 0;
        }
        return 0;
    case WM_POPUP_MENU_CLOSED:
        if (m_nPCMenuContext == 0)
            m_pPane->RestorePreviousSource();
        return 0;
    case WM_SRC_CHANGED:
        SettlePendingEdit();
        return 0;
    case kReleaseDatabases:
        m_pPane->Data().CloseRecordset();
        return 0;
    default:
        return CMainView::DefWindowProc(message, wParam, lParam);
    }
}

void CPhoneBook::OnCommand(int id)
{
    switch (id) {
    case IDC_OK: OnBAddOk(); return;
    case IDC_CANCEL: OnCancelEdit(); return;
    case IDC_DELETE: case ID_DELETE: OnBTrash(); return;
    case IDC_NEW: OnNewEntry(); return;
    case IDC_HELP: OnHelp(); return;
    case ID_DIAL: OnDial(); return;
    case ID_CHANGE_LOCATION:
        if (m_pSort) {
            m_pSort->setCurrentIndex(0);
            OnSortChange();
        }
        if (CEntryListCtrl* list = m_pPane->GetListCtrl())
            list->EditSelected();
        return;
    case ID_COPY_PC: CopyToPC(); return;
    case ID_COPY_SIM: ClickDstMirrorDatabase(m_nCopyDst, nullptr); return;
    case ID_COPY_FDN: ClickDstMirrorDatabase(6, nullptr); return;
    case ID_COPY_PHONE: ClickDstMirrorDatabase(7, nullptr); return;
    case ID_COPY_NEW_PC: CopyToNewPCFile(); return;
    case ID_COPY_EXISTING_PC: CopyToExistingPCFile(); return;
    case ID_NEW_PC_DB:
    case ID_OPEN_PC_DB: {
        // The PC menu either switches the pane to another PC database or,
        // while it chooses a copy destination, copies into one.
        const int context = m_nPCMenuContext;
        m_nPCMenuContext = 8;
        if (context == 4) {
            if (id == ID_NEW_PC_DB)
                CopyToNewPCFile();
            else
                CopyToExistingPCFile();
        } else if (id == ID_NEW_PC_DB ? m_pPane->OnNewDatabase() : m_pPane->OnOpenDatabase()) {
            ResetForm();
        }
        return;
    }
    default:
        OnOtherCommand(id);
        return;
    }
}

// ---- form --------------------------------------------------------------------------------

void CPhoneBook::ShowOkCancel(bool show)
{
    for (int id : {IDC_OK, IDC_CANCEL}) {
        if (QWidget* w = GetDlgItem(id)) {
            w->setVisible(show);
            w->setEnabled(show && !(id == IDC_OK && IsCopying()));
        }
    }
    UpdateModeTips();
}

void CPhoneBook::PlaceOkCancel()
{
    auto* ok = qobject_cast<QPushButton*>(GetDlgItem(IDC_OK));
    auto* cancel = qobject_cast<QPushButton*>(GetDlgItem(IDC_CANCEL));
    QWidget* name = GetDlgItem(IDC_NAME);
    if (!ok || !cancel)
        return;
    ok->setIcon(DialogButtonPicture(IDOK, style()));
    cancel->setIcon(DialogButtonPicture(IDCANCEL, style()));
    // Wide enough for the text with its picture in any language; Cancel's
    // right edge on the fields' right edge, OK before it.
    auto widthOf = [](const QPushButton* b) {
        return std::max(b->width(), b->fontMetrics().horizontalAdvance(b->text()) + b->iconSize().width() + 24);
    };
    const int right = name ? name->geometry().right() : cancel->geometry().right();
    const int cancelWidth = widthOf(cancel), okWidth = widthOf(ok);
    cancel->setGeometry(right - cancelWidth + 1, cancel->y(), cancelWidth, cancel->height());
    ok->setGeometry(cancel->x() - 6 - okWidth, ok->y(), okWidth, ok->height());
}

void CPhoneBook::keyPressEvent(QKeyEvent* e)
{
    QWidget* cancel = GetDlgItem(IDC_CANCEL);
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier && (m_bAddMode || m_bModifyMode) && cancel &&
        cancel->isVisible() && cancel->isEnabled()) {
        e->accept();
        OnCancelEdit();
        return;
    }
    CMainView::keyPressEvent(e);
}

bool CPhoneBook::FormHasFocus() const
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus)
        return false;
    for (int id : {IDC_OK, IDC_CANCEL})
        if (focus == GetDlgItem(id))
            return true;
    for (int id : kFields)
        if (focus == GetDlgItem(id))
            return true;
    return false;
}

void CPhoneBook::FocusAfterForm()
{
    QWidget* fresh = m_pPane->GetFourthButton();
    QWidget* target = fresh && fresh->isEnabled() && fresh->isVisible() ? fresh : m_pPane->GetListCtrl();
    if (target && target->isEnabled() && target->isVisible())
        target->setFocus(Qt::OtherFocusReason);
}

void CPhoneBook::UpdateModeTips()
{
    if (QWidget* ok = GetDlgItem(IDC_OK))
        ok->setToolTip(UiLoadString(m_bModifyMode ? 31232 : 31231));
    if (QWidget* cancel = GetDlgItem(IDC_CANCEL))
        cancel->setToolTip(UiLoadString(m_bModifyMode ? 31234 : 31233));
    // The form's fields say whether they hold the selected entry being
    // changed or a new one; idle, they say nothing.
    const QString mode = m_bModifyMode ? UiLoadString(31237) : m_bAddMode ? UiLoadString(31238) : QString();
    for (int id : kFields)
        if (QWidget* w = GetDlgItem(id))
            w->setToolTip(mode);
}

void CPhoneBook::OnMouseMove(const QPoint& point)
{
    UpdateModeTips();
    CMainView::OnMouseMove(point);
}

void CPhoneBook::EnableFormFields(bool open)
{
    const bool usable = open && (m_pPane->Data().IsSrcPC() || gv_SPIO_com_status == 2);
    for (int id : kFields) {
        const bool phoneField = id == IDC_NAME || id == IDC_NUMBER;
        EnableCtrl(id, usable && (m_pPane->Data().IsSrcPC() || phoneField));
    }
    if (auto* name = qobject_cast<QLineEdit*>(GetDlgItem(IDC_NAME)))
        name->setPlaceholderText(usable ? m_pPane->Data().GetNameHint() : QString());
    if (auto* number = qobject_cast<QLineEdit*>(GetDlgItem(IDC_NUMBER)))
        number->setPlaceholderText(usable ? m_pPane->Data().GetNumberHint() : QString());
}

void CPhoneBook::ResetForm()
{
    m_bFilling = true;
    for (int id : kFields)
        SetFieldText(id, QString());
    m_bFilling = false;
    m_bAddMode = m_bModifyMode = m_bChanged = m_bNameChanged = m_bNumberChanged = false;
    m_nFormLocation = -1;
    EnableFormFields(false);
    ShowOkCancel(false);
    if (CEntryListCtrl* list = m_pPane->GetListCtrl())
        list->setEnabled(true);
    UpdateActionButtons();
}

void CPhoneBook::UpdateActionButtons()
{
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    const int selected = list ? list->GetSelectedCount() : 0;
    EnableCtrl(IDC_COPYTO, selected > 0 && !m_bAddMode);
    EnableCtrl(IDC_PRINT, selected > 0 && !m_bAddMode);
    EnableCtrl(IDC_DELETE, selected > 0 && !m_bAddMode && (m_pPane->Data().IsSrcPC() || gv_SPIO_com_status == 2));
    const bool rows = list && list->GetRowCount() > 0;
    EnableCtrl(IDC_FIND, rows && !m_bAddMode);
    EnableCtrl(IDC_SORT, rows && !m_bAddMode);
}

void CPhoneBook::SelectionToForm()
{
    if (m_bAddMode || m_bSettlingMove)
        return;
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    if (!list)
        return;
    const int row = list->GetSingleSelectedRow();
    const int location = row >= 0 ? static_cast<int>(list->GetLocation(row)) : -1;
    if (m_bModifyMode && m_bChanged) {
        // Refilling the form now would drop what the user typed without a
        // word. The list stays where the user put it; the question comes
        // once the click or key that moved it has been handled.
        if (location != m_nFormLocation)
            QTimer::singleShot(0, this, [this] { SettleEditOnMove(); });
        return;
    }
    PBEntry entry;
    m_bFilling = true;
    m_nFormLocation = -1;
    if (row >= 0 && m_pPane->Data().GetEntryAt(location, entry)) {
        m_nFormLocation = location;
        const std::string* values[] = {&entry.Name, &entry.Phone, &entry.Address, &entry.Otherphone,
                                       &entry.Fax, &entry.Email, &entry.Company, &entry.Notes};
        for (size_t i = 0; i < 8; ++i)
            ShowStoredText(kFields[i], *values[i]);
        m_bModifyMode = true;
        EnableFormFields(true);
    } else {
        for (int id : kFields)
            SetFieldText(id, QString());
        m_bModifyMode = false;
        EnableFormFields(false);
    }
    m_bFilling = false;
    m_bChanged = m_bNameChanged = m_bNumberChanged = false;
    ShowOkCancel(false);
    UpdateActionButtons();
}

void CPhoneBook::SettleEditOnMove()
{
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    if (!list || m_bSettlingMove || !m_bModifyMode || !m_bChanged)
        return;
    const int row = list->GetSingleSelectedRow();
    if ((row >= 0 ? static_cast<int>(list->GetLocation(row)) : -1) == m_nFormLocation)
        return;  // back on the changed entry: the form keeps the change
    std::vector<int32_t> chosen;
    for (int r : list->GetSelectedRows())
        chosen.push_back(list->GetLocation(r));
    m_bSettlingMove = true;
    if (UiMessageBoxId(31252, 0x24) == 6)
        OnBAddOk();  // writes the entry the form shows, not the one chosen
    else
        ResetForm();
    const bool settled = !(m_bModifyMode && m_bChanged);
    // A save refills the list; a failed one leaves the form on its entry,
    // and the list goes back to it so that both show the same entry.
    list->DeselectAll();
    if (settled) {
        for (int32_t location : chosen)
            list->SelectRow(list->FindRowByLocation(location));
    } else {
        list->SelectRow(list->FindRowByLocation(m_nFormLocation));
    }
    m_bSettlingMove = false;
    if (settled)
        SelectionToForm();
    UpdateActionButtons();
}

void CPhoneBook::OnFieldChanged(int id)
{
    if (m_bFilling)
        return;
    if (m_bAddMode || m_bModifyMode) {
        if (id == IDC_NAME)
            m_bNameChanged = true;
        if (id == IDC_NUMBER)
            m_bNumberChanged = true;
    }
    if (m_bModifyMode && !m_bChanged) {
        m_bChanged = true;
        ShowOkCancel(true);
    }
}

PBEntry CPhoneBook::EntryFromForm() const
{
    PBEntry e;
    e.Name = QStringToPc(FieldText(IDC_NAME));
    e.Phone = QStringToPc(FieldText(IDC_NUMBER));
    FilterDialChars(e.Phone, e.ShortPhone);
    e.Address = QStringToPc(FieldText(IDC_ADDRESS));
    e.Otherphone = QStringToPc(FieldText(IDC_OTHER));
    e.Fax = QStringToPc(FieldText(IDC_FAX));
    e.Email = QStringToPc(FieldText(IDC_EMAIL));
    e.Company = QStringToPc(FieldText(IDC_COMPANY));
    e.Notes = QStringToPc(FieldText(IDC_NOTES));
    // Line ends of the multi-line fields are stored as the PC writes them.
    for (std::string* s : {&e.Address, &e.Notes}) {
        std::string out;
        for (char c : *s) {
            if (c == '\n')
                out += '\r';
            out += c;
        }
        *s = out;
    }
    // A field shown cut keeps its stored text.
    for (const auto& [id, stored] : m_cutFields) {
        if (id == IDC_NOTES)
            e.Notes = stored;
        else if (id == IDC_ADDRESS)
            e.Address = stored;
    }
    return e;
}

bool CPhoneBook::SettlePendingEdit()
{
    if (m_bModifyMode && m_bChanged) {
        if (UiMessageBoxId(31252, 0x24) == 6)
            OnBAddOk();
        else
            OnCancelEdit();
        return true;
    }
    if (m_bAddMode) {
        OnCancelEdit();
        return false;
    }
    return true;
}

void CPhoneBook::OnNewEntry()
{
    if (IsCopying() || !m_pPane->VerifyAccess() || !m_pPane->CheckRoom() || !SettlePendingEdit())
        return;
    if (CEntryListCtrl* list = m_pPane->GetListCtrl()) {
        list->DeselectAll();
        list->setEnabled(false);
    }
    m_bFilling = true;
    for (int id : kFields)
        SetFieldText(id, QString());
    m_bFilling = false;
    m_bModifyMode = false;
    m_bAddMode = true;
    m_bChanged = m_bNameChanged = m_bNumberChanged = false;
    EnableFormFields(true);
    ShowOkCancel(true);
    UpdateActionButtons();
    if (QWidget* name = GetDlgItem(IDC_NAME))
        name->setFocus();
}

void CPhoneBook::OnBAddOk()
{
    if (IsCopying())
        return;
    WaitCursor wait;
    if (m_bModifyMode && !m_pPane->VerifyAccess())
        return;
    if (!m_bAddMode && !m_bModifyMode)
        return;
    const bool formFocus = FormHasFocus();
    PBEntry entry = EntryFromForm();
    if (!m_pPane->Data().CheckEntry(entry)) {
        if (auto* name = qobject_cast<QLineEdit*>(GetDlgItem(IDC_NAME))) {
            name->setFocus();
            name->selectAll();
        }
        return;
    }
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    bool ok;
    if (m_bModifyMode) {
        // The entry the form was filled from: the list's selection may
        // already be on another one (the user moved while a change waited).
        const int row = list ? list->GetSingleSelectedRow() : -1;
        const int location = m_nFormLocation >= 0 ? m_nFormLocation : row >= 0 ? list->GetLocation(row) : -1;
        if (location < 0)
            return;
        entry.Location = location;
        ok = m_pPane->Data().ModifyInDB(entry);
    } else {
        ok = m_pPane->Data().SaveInDB(entry);
    }
    // Only the name and the number live in the phone.
    PhoneChangeResult written;
    if (ok && (m_bNameChanged || m_bNumberChanged || m_bAddMode))
        ok = m_pPane->Data().SaveInMobile(&written);
    // A silence is told over the list as the phone holds it.
    const QString silence =
        SilentWriteText(written, PcToQString(entry.Name.empty() ? entry.Phone : entry.Name), false);
    if (ok && m_pPane->Data().UpdateAndReselect(false)) {
        m_bAddMode = m_bModifyMode = m_bChanged = m_bNameChanged = m_bNumberChanged = false;
        m_nFormLocation = -1;
        m_bFilling = true;
        for (int id : kFields)
            SetFieldText(id, QString());
        m_bFilling = false;
        EnableFormFields(false);
        ShowOkCancel(false);
        m_found.clear();
        if (list)
            list->setEnabled(true);
        for (int id : {IDC_COPYTO, IDC_PRINT, IDC_DELETE})
            EnableCtrl(id, false);
        if (auto* f = m_pPane->GetFourthButton())
            f->setEnabled(true);
        EnableCtrl(IDC_FIND, true);
        EnableCtrl(IDC_SORT, true);
        if (formFocus)
            FocusAfterForm();
        if (!silence.isEmpty())
            UiMessageBox(silence);
        return;
    }
    m_pPane->Data().CancelRow();
    WriteDebug("CPhoneBook::OnBAddOk -> The writing failed");
    if (!silence.isEmpty())
        UiMessageBox(silence);
    else
        UiMessageBoxId(31363);
}

void CPhoneBook::OnCancelEdit()
{
    const bool wasModify = m_bModifyMode;
    const bool formFocus = FormHasFocus();
    ResetForm();
    if (wasModify)
        SelectionToForm();
    if (formFocus)
        FocusAfterForm();
}

void CPhoneBook::OnBTrash()
{
    WaitCursor wait;
    if (!m_pPane->VerifyAccess())
        return;
    // No background step between the storage's selection and its erasures.
    PBUploadPause pause(GetDocument());
    const MTR_RESULT selected = m_pPane->Data().SelectCurrSrcInMobile();
    if (selected == kDone) {
        m_pPane->TrashSelection();
        m_found.clear();
        CEntryListCtrl* list = m_pPane->GetListCtrl();
        if (!list || list->GetRowCount() == 0)
            ResetForm();
        else
            SelectionToForm();
    } else {
        WriteDebug("CPhoneBook::OnBTrash -> The storage could not be selected");
        // Nothing was deleted: the first entry asked for is named, with why.
        UiMessageBox(UiFormatString(kNotDeletedBecauseString, {m_pPane->FirstSelectedName(),
                                                                m_pPane->Data().SelectionFailureText(selected)}));
    }
}

void CPhoneBook::OnContextMenu()
{
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    if (!list || list->GetSelectedCount() == 0 || !list->isEnabled())
        return;
    // Dialling wants one row with a number and the phone there; changing
    // a location, one row. The copy destinations are the storages the
    // phone has other than the one shown; PC files are always offered.
    const bool several = list->GetSelectedCount() > 1;
    const bool noDial = gv_SPIO_com_status != 2 || m_pPane->Data().GetSelectedDialNumber().empty();
    UpdateMenuIcons(154, 3, noDial ? 1 : 0, several ? 1 : 0, m_pPane->IsPhoneSource() ? 1 : 0,
                    m_pPane->CanShowSIM() ? 1 : 0, m_pPane->CanShowSIMFDN() ? 1 : 0,
                    m_pPane->CanShowPhone() ? 1 : 0);
}

void CPhoneBook::contextMenuEvent(QContextMenuEvent* e)
{
    OnContextMenu();
    e->accept();
}

QRegion CPhoneBook::EntryRegion() const
{
    // The entry form: its eight fields and their labels.
    QRegion region;
    for (int i = 0; i < 8; ++i)
        for (int control : {kFields[i], 1111 + i})
            if (QWidget* w = GetDlgItem(control); w && w->isVisible())
                region += w->geometry();
    return region;
}

void CPhoneBook::OnEntryRegionClick()
{
    // A click on the idle form starts a new entry.
    if (!m_bAddMode && !m_bModifyMode && m_pPane->GetFourthButton()->isEnabled())
        OnNewEntry();
}

void CPhoneBook::OnDial()
{
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    if (!list || list->GetSelectedCount() > 1) {
        QApplication::beep();
        return;
    }
    const std::string number = m_pPane->Data().GetSelectedDialNumber();
    if (number.empty()) {
        QApplication::beep();
        return;
    }
    if (number.size() > 20) {
        UiMessageBox(UiFormatString(31693, {QStringLiteral("20")}));
        return;
    }
    WriteDebug("CPhoneBook::OnDial -> Dial phone number ", number);
    CZorqMMIDoc* doc = GetDocument();
    if (doc)
        doc->OpenStatusDlg(number);
    PBUploadPause pause(doc);
    if (mtr_GEN_dial(number.c_str()) == -36) {
        WriteDebug("CPhoneBook::OnDial -> Unable to dial the requested number");
        UiMessageBoxId(31491);
    }
}

// ---- sorting and finding ------------------------------------------------------------------

void CPhoneBook::FillSortCombo()
{
    if (!m_pSort)
        return;
    if (m_pSort->count() > 0)
        m_nSortSel = m_pSort->currentIndex();
    m_pSort->clear();
    const int count = m_pPane->Data().IsPhoneSource() && m_pPane->Data().Current() != 8 ? 3 : 7;
    for (int i = 0; i < count; ++i)
        m_pSort->addItem(UiLoadString(31219 + i));
    if (m_nSortSel >= count)
        m_nSortSel = 1;
    if (m_nSortSel < 0)
        m_nSortSel = 1;
    m_pSort->setCurrentIndex(m_nSortSel);
}

void CPhoneBook::OnSortChange()
{
    if (!m_pSort)
        return;
    const int selected = m_pSort->currentIndex();
    SettlePendingEdit();
    m_nSortSel = selected < 0 ? 1 : selected;
    m_pSort->setCurrentIndex(m_nSortSel);
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    const int location = list ? list->GetSelectedLocation() : -1;
    m_pPane->Data().SetSortColumn(m_nSortSel < 7 ? kSortColumns[m_nSortSel] : "Location");
    m_pPane->Data().SetListKind(m_nSortSel == 0 ? 0 : 1);
    if (list)
        list->SetEditingAllowed(m_nSortSel == 0, 5);
    ResetForm();
    m_pPane->FillList();
    if (list && location >= 0) {
        const int row = list->FindRowByLocation(location);
        if (row >= 0)
            list->SelectRow(row);
    }
    UpdateActionButtons();
}

bool CPhoneBook::FindInColumn(int column, const QString& text, bool exact)
{
    m_found.clear();
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    if (!list)
        return false;
    const int col = column + (m_pPane->Data().IsLocationShown() ? 1 : 0);
    for (int row = 0; row < list->GetRowCount(); ++row) {
        const QString cell = list->GetRowText(row, col);
        if (exact ? cell.compare(text, Qt::CaseInsensitive) == 0 : cell.startsWith(text, Qt::CaseInsensitive))
            m_found.append(row);
    }
    return !m_found.isEmpty();
}

bool CPhoneBook::FindInAllColumns(const QString& first, const QString& second, bool exact)
{
    m_found.clear();
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    if (!list)
        return false;
    const int col = m_pPane->Data().IsLocationShown() ? 1 : 0;
    auto match = [exact](const QString& cell, const QString& text) {
        return exact ? cell.compare(text, Qt::CaseInsensitive) == 0 : cell.startsWith(text, Qt::CaseInsensitive);
    };
    // Both texts must match, each in its own column.
    for (int row = 0; row < list->GetRowCount(); ++row)
        if (match(list->GetRowText(row, col), first) && match(list->GetRowText(row, col + 1), second))
            m_found.append(row);
    return !m_found.isEmpty();
}

bool CPhoneBook::FindNextRow()
{
    if (m_found.isEmpty())
        return true;
    m_nFindRow = m_found.takeFirst();
    ShowFoundRow(m_nFindRow);
    return false;
}

void CPhoneBook::ShowFoundRow(int row)
{
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    if (!list || row < 0 || row >= list->GetRowCount())
        return;
    list->DeselectAll();
    list->SelectRow(row);
    SelectionToForm();
    EnableCtrl(IDC_FIND, true);
}

void CPhoneBook::UnselectAll()
{
    m_bModifyMode = false;
    if (CEntryListCtrl* list = m_pPane->GetListCtrl())
        list->DeselectAll();
}

// ---- screen life --------------------------------------------------------------------------

void CPhoneBook::OnUpdateMSParam(int flag)
{
    CMainView::OnUpdateMSParam(flag);
    if (!m_bInitDone)
        return;  // the first update's own load follows
    m_pPane->ChangeSource(m_pPane->Data().Current());
    SetSideCodes();
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    if (list && list->GetSelectedCount() > 0)
        SelectionToForm();
    PostMessage(this, WM_MMI_DEFERRED_INIT, 0, 0);
}

void CPhoneBook::OnFrameMove()
{
    if (CEntryListCtrl* list = m_pPane->GetListCtrl()) {
        const QPoint p = list->mapToGlobal(QPoint(0, 0));
        m_pPane->SetProgressPosition(p.x(), p.y());
    }
    // The PC-database menu, offered by a click on the PC button when there
    // is no PC phonebook, opens on that button, under the pointer that just
    // clicked it.
    if (QWidget* pc = m_pPane->GetPCButton()) {
        const QPoint at = pc->mapTo(this, pc->rect().center());
        m_pPane->SetMenuPosition(at.x(), at.y());
    }
}

void CPhoneBook::OnDestroy()
{
    SaveComboSort("PhoneBook", m_pSort ? std::max(0, m_pSort->currentIndex()) : m_nSortSel);
    m_pPane->SaveCurrentSource();
    m_pPane->Data().CloseRecordset();
    if (CZorqMMIDoc* doc = GetDocument()) {
        doc->ClosePBDatabases(0);
        doc->ClosePBDatabases(1);
    }
    CMainView::OnDestroy();
}

void RegisterPhoneBookScreen()
{
    RegisterScreen(SCREEN_PHONEBOOK, [](QWidget* parent, int) -> CMainView* { return new CPhoneBook(parent); });
}
