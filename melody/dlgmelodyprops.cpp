#include "dlgmelodyprops.h"

#include "melodylist.h"
#include "uiservices.h"

#include <QComboBox>
#include <QLineEdit>

// ---------------------------------------------------------------- to phone

CDlgMelodyToPhone::CDlgMelodyToPhone(QWidget* parent, const QString& name, int nameMax,
                                     CMelodyList* phoneList)
    : CDlgBase(239, parent), m_strOldName(name), m_strName(name), m_nNameMax(nameMax),
      m_pPhoneList(phoneList)
{
}

void CDlgMelodyToPhone::DoDataExchange(CDataExchange* pDX)
{
    CDlgBase::DoDataExchange(pDX);
    DDX_Text(pDX, 1077, m_strOldName);
    DDX_Text(pDX, 1078, m_strName);
    DDX_Control(pDX, 1078, m_editName);
    DDX_Control(pDX, 1076, m_cbPosition);
}

bool CDlgMelodyToPhone::OnInitDialog()
{
    CDlgBase::OnInitDialog();
    if (!m_pPhoneList) {
        EndDialog(0);
        return false;
    }
    if (m_nNameMax > 0 && m_strName.size() >= m_nNameMax)
        m_strName.truncate(m_nNameMax);
    UpdateData(false);
    if (m_editName && m_nNameMax > 0)
        m_editName->setMaxLength(m_nNameMax);
    if (m_cbPosition) {
        m_cbPosition->clear();
        // Each row carries its melody's position, so unnamed phone melodies
        // that are not listed cannot shift the slot chosen.
        for (int i = 0; i < m_pPhoneList->GetCount(); ++i) {
            const CMelody* m = m_pPhoneList->GetMelodyAt(i);
            if (m && !m->GetMelodyName().isEmpty())
                m_cbPosition->addItem(m->GetMelodyName(), i);
        }
        if (m_cbPosition->count() > 0)
            m_cbPosition->setCurrentIndex(0);
    }
    AddToolTip(1076, 31669);
    AddToolTip(1077, 31668);
    AddToolTip(1078, 31667);
    return true;
}

void CDlgMelodyToPhone::OnOK()
{
    UpdateData(true);
    m_strName = m_strName.trimmed();
    if (m_strName.isEmpty()) {
        UiMessageBoxId(31665);
        return;
    }
    if (m_pPhoneList && m_pPhoneList->FindByName(m_strName)) {
        UiMessageBoxId(31690);
        return;
    }
    m_nPosition = 0;
    if (m_cbPosition && m_cbPosition->currentIndex() >= 0)
        m_nPosition = m_cbPosition->currentData().toInt();
    EndDialog(IDOK);
}

// ---------------------------------------------------------------- property

CDlgMelodyProperty::CDlgMelodyProperty(QWidget* parent, const CMelody* melody, int nameMax,
                                       int tempoMin, int tempoMax)
    : CDlgBase(238, parent), m_nNameMax(nameMax), m_nTempoMin(tempoMin), m_nTempoMax(tempoMax)
{
    if (melody) {
        m_strName = melody->GetMelodyName();
        m_nTempo = melody->GetTempo();
    }
    if (m_nNameMax > 0 && m_strName.size() > m_nNameMax)
        m_strName.truncate(m_nNameMax);
    if (m_nTempo < m_nTempoMin)
        m_nTempo = m_nTempoMin;
    if (m_nTempo > m_nTempoMax)
        m_nTempo = m_nTempoMax;
}

void CDlgMelodyProperty::DoDataExchange(CDataExchange* pDX)
{
    CDlgBase::DoDataExchange(pDX);
    DDX_Text(pDX, 1074, m_strName);
    DDX_Control(pDX, 1074, m_editName);
    DDX_Text(pDX, 1075, m_nTempo);
}

bool CDlgMelodyProperty::OnInitDialog()
{
    CDlgBase::OnInitDialog();
    UpdateData(false);
    if (m_editName && m_nNameMax >= 1)
        m_editName->setMaxLength(m_nNameMax);
    AddToolTip(1074, 31671);
    AddToolTip(1075, 31670);
    return true;
}

void CDlgMelodyProperty::OnOK()
{
    UpdateData(true);
    m_strName = m_strName.trimmed();
    if (m_strName.isEmpty()) {
        UiMessageBoxId(31665);
        return;
    }
    // A tempo that is not a number counts as too low.
    bool number = false;
    const int tempo = GetDlgItemText(1075).trimmed().toInt(&number);
    if (!number || tempo < m_nTempoMin) {
        UiMessageBox(UiFormatString(31685, {QString::number(m_nTempoMin)}));
        return;
    }
    if (tempo > m_nTempoMax) {
        UiMessageBox(UiFormatString(31684, {QString::number(m_nTempoMax)}));
        return;
    }
    m_nTempo = tempo;
    EndDialog(IDOK);
}
