// The phone's facility locks and passwords as a list: one item per facility
// the phone reports, with its lock state and code lengths, filled from the
// phone's lock list and password list.
#pragma once

#include "phonechange.h"

#include "objectlist.h"

#include "at_defs.h"
#include "mmi_doc.h"

#include <QString>

class QObject;

// One facility of the phone.
class CSecurityCode : public CObjectListItem {
public:
    // An item for a facility the list shows (its name is set); see
    // IsShownFacility.
    explicit CSecurityCode(int facility = -1);

    void Reset();

    int GetImage() const override { return m_nFacility; }
    bool CanTrash() const override { return false; }
    // A code can be changed only once the phone gave its lengths.
    bool CanModify() const override { return m_nMaxLength != -1 && m_nMinLength != -1; }

    int GetFacility() const { return m_nFacility; }
    int GetLockState() const { return m_nLockState; }
    void SetLockState(int state) { m_nLockState = state; }
    bool IsStateKnown() const { return m_bStateKnown != 0; }
    void SetStateKnown(bool known) { m_bStateKnown = known ? 1 : 0; }
    const QString& GetLastCode() const { return m_strLastCode; }
    void SetLastCode(const QString& code) { m_strLastCode = code; }
    int GetMaxLength() const { return m_nMaxLength; }
    int GetMinLength() const { return m_nMinLength; }
    void SetLengths(int minimum, int maximum)
    {
        m_nMinLength = minimum;
        m_nMaxLength = maximum;
    }

    // Barring sub-services and network personalisations are not offered:
    // facilities 0 to 4 and 7 to 13 are left out.
    static bool IsShownFacility(int facility);
    // The name string of a facility.
    static constexpr int kNameStrings = 31812;

private:
    int m_nFacility = -1;
    int m_nLockState = 0;
    QString m_strLastCode;
    int m_nMaxLength = -1;
    int m_nMinLength = -1;
    int m_bStateKnown = 0;
};

class CSecurityList : public CQXObjectList {
public:
    // Window messages the engine posts while it reads the facility lists.
    static constexpr unsigned kLockFacilityMessage = 2074;      // wParam facility
    static constexpr unsigned kPasswordFacilityMessage = 2075;  // wParam facility, lParam maximum length

    // Reads the lock list, the lock states and the password list. The
    // facilities arrive as messages posted to `owner`, which hands them to
    // AddLockFacility / AddPasswordFacility; its pending messages are
    // handled before this returns. The result is that of the password list.
    MTR_RESULT AskFacilities(QObject* owner, unsigned lockMessage = kLockFacilityMessage,
                             unsigned passwordMessage = kPasswordFacilityMessage);

    virtual void AddPasswordFacility(int facility, int maxLength);
    virtual void ReadLockStates();
    // The new row, or -1 when the facility is listed already, left out or
    // nameless.
    virtual int AddLockFacility(int facility);

    // Switches the item's lock with the code (or, when it is empty, the code
    // last used for it). What the switch came to; after a silence the item
    // holds the state the phone was found in (not known while it stays
    // silent). Refused with nothing sent when there is no item or no code.
    PhoneChangeResult SetLock(CSecurityCode* item, const QString& code);

    CSecurityCode* GetCode(int index) const { return static_cast<CSecurityCode*>(GetAt(index)); }
    CSecurityCode* FindFacility(int facility) const;

private:
    // A new item of a shown, named facility, or none.
    static CSecurityCode* NewItem(int facility);
};

// Posts the engine's facility messages to a window as numbered window
// messages.
class CWndMsgPoster : public MmiWindow {
public:
    explicit CWndMsgPoster(QObject* target) : m_target(target) {}
    void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override;

private:
    QObject* m_target;
};
