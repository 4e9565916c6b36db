#include "securitylist.h"

#include "mtr_sec.h"
#include "uiservices.h"
#include "wndmsg.h"

#include <QCoreApplication>

CSecurityCode::CSecurityCode(int facility) : m_nFacility(facility)
{
    if (facility >= 0)
        SetName(UiLoadString(kNameStrings + facility), true);
}

void CSecurityCode::Reset()
{
    CObjectListItem::Reset();
    m_nFacility = -1;
    m_nLockState = 0;
    m_strLastCode.clear();
    m_nMaxLength = -1;
    m_nMinLength = -1;
    m_bStateKnown = 0;
}

bool CSecurityCode::IsShownFacility(int facility)
{
    return facility == MTR_FAC_CS || facility == MTR_FAC_FD || facility >= MTR_FAC_P2;
}

CSecurityCode* CSecurityList::NewItem(int facility)
{
    if (facility < 0 || !CSecurityCode::IsShownFacility(facility))
        return nullptr;
    auto* item = new CSecurityCode(facility);
    if (item->GetName().isEmpty()) {
        delete item;
        return nullptr;
    }
    return item;
}

CSecurityCode* CSecurityList::FindFacility(int facility) const
{
    for (CObjectListItem* item : m_items)
        if (auto* code = static_cast<CSecurityCode*>(item); code->GetFacility() == facility)
            return code;
    return nullptr;
}

int CSecurityList::AddLockFacility(int facility)
{
    if (FindFacility(facility))
        return -1;
    CSecurityCode* item = NewItem(facility);
    if (!item)
        return -1;
    return AddTail(item) - 1;
}

void CSecurityList::AddPasswordFacility(int facility, int maxLength)
{
    if (CSecurityCode* item = FindFacility(facility)) {
        item->SetLengths(4, maxLength);
        return;
    }
    CSecurityCode* item = NewItem(facility);
    if (!item)
        return;
    item->SetLockState(0);
    item->SetStateKnown(false);
    item->SetLengths(4, maxLength);
    AddTail(item);
}

void CSecurityList::ReadLockStates()
{
    for (CObjectListItem* entry : m_items) {
        auto* item = static_cast<CSecurityCode*>(entry);
        if (!CSecurityCode::IsShownFacility(item->GetFacility()))
            continue;
        uint32_t state = 0;
        if (mtr_FAC_get_status(&state, static_cast<uint8_t>(item->GetFacility())) == MTR_DONE) {
            item->SetLockState(state ? 1 : 0);
            item->SetStateKnown(true);
        } else {
            item->SetLockState(0);
            item->SetStateKnown(false);
        }
    }
}

MTR_RESULT CSecurityList::AskFacilities(QObject* owner, unsigned lockMessage, unsigned passwordMessage)
{
    CWndMsgPoster poster(owner);
    mtr_FAC_get_lock_list(owner ? &poster : nullptr, lockMessage);
    QCoreApplication::sendPostedEvents(owner, CWndMsgEvent::EventType());
    ReadLockStates();
    const MTR_RESULT r = mtr_FAC_get_list_pwdmax(owner ? &poster : nullptr, passwordMessage);
    QCoreApplication::sendPostedEvents(owner, CWndMsgEvent::EventType());
    return r;
}

PhoneChangeResult CSecurityList::SetLock(CSecurityCode* item, const QString& code)
{
    PhoneChangeResult none;  // refused before anything went out
    if (!item)
        return none;
    const QString used = code.isEmpty() ? item->GetLastCode() : code;
    if (used.isEmpty())
        return none;
    const int mode = item->GetLockState() ? 0 : 1;
    const uint8_t facility = static_cast<uint8_t>(item->GetFacility());
    const PhoneChangeResult r = RunPhoneChange(
        "facility lock", [&] { return mtr_FAC_set_status(mode, facility, used.toStdString()); },
        [&] {
            uint32_t state = 0;
            if (mtr_FAC_get_status(&state, facility) != MTR_DONE)
                return PhoneHolds::Unknown;
            return (state ? 1 : 0) == mode ? PhoneHolds::Change : PhoneHolds::Before;
        });
    if (r.Landed()) {
        item->SetLockState(mode);
        item->SetStateKnown(true);
        item->SetLastCode(used);
    } else if (r.Unanswered() && !r.Known()) {
        // Switched or not, nobody knows: the row offers no switch until the
        // list is read again.
        item->SetStateKnown(false);
    }
    return r;
}

void CWndMsgPoster::PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam)
{
    ::PostMessage(m_target, message, wParam, lParam);
}
