#include "dstchoice.h"

#include "uiservices.h"
#include "uiwidgets.h"

#include <QAbstractButton>

namespace {

constexpr int kComboId = 1129;
constexpr int kChooseString = 31800;
constexpr int kKindRole = Qt::UserRole + 1;

}  // namespace

// ---------------------------------------------------------------- combo

CIconComboBox::CIconComboBox(QWidget* parent) : QComboBox(parent) { setIconSize(QSize(16, 16)); }

int CIconComboBox::AddItem(const QString& text, int value, int kind)
{
    if (text.isEmpty())
        return -1;
    addItem(UiLoadIcon(GetIconName(value)), text, value);
    setItemData(count() - 1, kind, kKindRole);
    return count() - 1;
}

int CIconComboBox::ValueAt(int index) const
{
    const QVariant v = itemData(index);
    return v.isValid() ? v.toInt() : -1;
}

int CIconComboBox::KindAt(int index) const { return itemData(index, kKindRole).toInt(); }

QString CIconComboBox::GetIconName(int) const { return QString(); }

QString CDstComboPB::GetIconName(int value) const
{
    switch (value) {
    case 0: case 4: return QStringLiteral("IDI_MENU_PC");
    case 1: case 5: return QStringLiteral("IDI_MENU_SIM");
    case 2: case 6: return QStringLiteral("IDI_MENU_SIM_FDN");
    case 3: case 7: return QStringLiteral("IDI_MENU_EPROM");
    default: return QString();
    }
}

QString CDstComboSMS::GetIconName(int value) const
{
    switch (value) {
    case 0: case 3: return QStringLiteral("IDI_MENU_PC");
    case 1: case 4: return QStringLiteral("IDI_MENU_SIM");
    case 2: case 5: return QStringLiteral("IDI_MENU_EPROM");
    default: return QString();
    }
}

// ---------------------------------------------------------------- choice

CDlgDstChoice::CDlgDstChoice(int current, QWidget* parent) : CDlgBase(310, parent), m_nCurrent(current)
{
    ClearStyleFlag();
}

void CDlgDstChoice::ResetFlags()
{
    m_bSIM = false;
    m_bPhone = false;
    m_choice = DST_STORE;
}

int CDlgDstChoice::ValueOfItem(int index)
{
    CIconComboBox* combo = GetCombo();
    if (!combo || index < 0 || index >= combo->count())
        return -1;
    m_choice = static_cast<Choice>(combo->KindAt(index));
    return combo->ValueAt(index);
}

void CDlgDstChoice::AddExtras(int pcValue, int existingString, int newString)
{
    GetCombo()->AddItem(UiLoadString(existingString), pcValue, DST_EXISTING_PC_FILE);
    GetCombo()->AddItem(UiLoadString(newString), pcValue, DST_NEW_PC_FILE);
}

bool CDlgDstChoice::OnInitDialog()
{
    CIconComboBox* combo = GetCombo();
    if (!combo) {
        EndDialog(0);
        return false;
    }
    UiReplaceWidget(GetDlgItem(kComboId), combo);
    CDlgBase::OnInitDialog();
    combo->clear();
    FillCombo();
    if (combo->currentIndex() < 0 && combo->count() > 0)
        combo->setCurrentIndex(0);
    return true;
}

void CDlgDstChoice::OnOK()
{
    CIconComboBox* combo = GetCombo();
    const int sel = combo ? combo->currentIndex() : -1;
    if (sel < 0) {
        UiMessageBoxId(kChooseString, 0, kChooseString);
        return;
    }
    m_nDst = ValueOfItem(sel);
    EndDialog(IDOK);
}

CDlgDstChoicePB::CDlgDstChoicePB(int currentSource, QWidget* parent) : CDlgDstChoice(currentSource, parent) {}

void CDlgDstChoicePB::ResetFlags()
{
    CDlgDstChoice::ResetFlags();
    m_bSIMFDN = false;
}

QString CDlgDstChoicePB::ItemText(int value) const { return UiLoadString(31786 + value); }

void CDlgDstChoicePB::FillCombo()
{
    for (int v = 4; v <= 7; ++v) {
        if (v == m_nCurrent + 4)
            continue;
        if ((v == 5 && !m_bSIM) || (v == 6 && !m_bSIMFDN) || (v == 7 && !m_bPhone))
            continue;
        m_pbCombo.AddItem(ItemText(v), v);
    }
    AddExtras(4, 31802, 31801);
}

CDlgDstChoiceSMS::CDlgDstChoiceSMS(int currentSource, QWidget* parent) : CDlgDstChoice(currentSource, parent) {}

QString CDlgDstChoiceSMS::ItemText(int value) const { return UiLoadString(31844 + value); }

void CDlgDstChoiceSMS::FillCombo()
{
    for (int v = 3; v <= 5; ++v) {
        if (v == m_nCurrent + 3)
            continue;
        if ((v == 4 && !m_bSIM) || (v == 5 && !m_bPhone))
            continue;
        m_smsCombo.AddItem(ItemText(v), v);
    }
    AddExtras(3, 31845, 31846);
}

// ---------------------------------------------------------------- mirror

CDlgDstMirrorDatabase::CDlgDstMirrorDatabase(CDstSelectedOwner* owner, QWidget* parent)
    : CDialog(169, parent), m_pOwner(owner)
{
}

bool CDlgDstMirrorDatabase::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (auto* keep = qobject_cast<QAbstractButton*>(GetDlgItem(1123))) {
        keep->setChecked(true);
        keep->setFocus();
    }
    m_bEraseFirst = false;
    return true;
}

void CDlgDstMirrorDatabase::OnOK()
{
    auto* erase = qobject_cast<QAbstractButton*>(GetDlgItem(1122));
    m_bEraseFirst = erase && erase->isChecked();
    if (m_bEraseFirst && m_pOwner)
        m_pOwner->SetDstSelected();
    EndDialog(IDOK);
}
