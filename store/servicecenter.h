// Service-centre profiles: a named set of message parameters (service
// centre number, text format, validity period). Profiles stored in the phone
// (types 1 and 3, written back to the phone) and profiles defined on the PC
// (type 2, one ".SRV" file each in the Files folder) live side by side in
// one list, which the document owns; the set-up screen and the send dialog
// show it through CServiceCenterListWnd and edit it with CDlgServiceCenter.
#pragma once

#include "objectlist.h"
#include "sms_types.h"

#include <QString>

#include <string>

class CServiceCenter : public CObjectListItem, public SmsProfile {
public:
    enum Type { kNone = 0, kPhoneDefault = 1, kPC = 2, kPhone = 3 };

    CServiceCenter();
    ~CServiceCenter() override;
    CServiceCenter(const CServiceCenter& other);
    CServiceCenter& operator=(const CServiceCenter& other);

    // ".SRV" file: KEY=value lines (NAME, TYPE, INDEX, PHONENUMBER,
    // TEXTFORMAT, VALIDITYPERIOD). Load is true only for a file with a
    // number and a name. Save of a PC profile writes the whole file through
    // a temporary file renamed over the old one, and is true only when every
    // line and the close succeeded; a phone profile is written to the phone.
    bool Load(QString path) override;
    bool Save(QString path) override;
    int GetImage() const override { return m_nType == kPC ? 1 : 0; }
    bool CanTrash() const override { return m_nType == kPC; }
    bool CanModify() const override { return true; }

    void Reset();
    void Copy(const CServiceCenter& other);
    bool IsEqual(const CServiceCenter* other) const;
    // Same dialling number, text format and validity period.
    bool HasSameParameters(const CServiceCenter* other) const;

    int GetType() const { return m_nType; }
    void SetType(int type) { m_nType = type; }
    int GetFormat() const override { return m_nFormat; }
    void SetFormat(int format) { m_nFormat = format; }
    int GetValidity() const override { return m_nValidity; }
    void SetValidity(int validity) { m_nValidity = validity; }
    int GetIndex() const override { return m_nIndex; }
    void SetIndex(int index) { m_nIndex = index; }
    // The number as entered (PC character set).
    const std::string& GetPhoneNumber() const { return m_strNumber; }
    // The number in dialling form (digits, 'p', '*', '#', the first '+').
    std::string GetDialNumber() const override;
    // Number := the dialling form of the text.
    void SetPhoneNumber(const std::string& text);
    // The number as typed, kept as it is (the dialog's own field).
    void SetNumberText(const std::string& text) { m_strNumber = text; }
    // Text format and validity period of a parameter record; nothing for none.
    void SetParameters(const SMS_PARAMETERS* params);

    // The shown name of a phone profile: with phone naming, type 1 takes
    // string 31723 and type 3 string 31724 with the index; without, string
    // 31874 with the index + 1.
    void SetDisplayName(bool phoneNaming);
    // Writes the profile to the phone's profile of its index and reads it
    // back; a failure shows message 31423 with the result once.
    bool SaveToPhone();

    // SmsProfile (the engine's view).
    void SetNumber(const std::string& number) override { SetPhoneNumber(number); }
    void SetParameters(const SMS_PARAMETERS& params) override { SetParameters(&params); }

private:
    void NormaliseIndex();

    std::string m_strNumber;
    int m_nFormat = 0;
    int m_nValidity = 3;
    int m_nType = kPC;
};

class CServiceCenterList : public CQXObjectList {
public:
    CServiceCenterList() = default;

    // Loads every profile file of the folder that matches the pattern
    // ("*.SRV"); `window` is told of the progress.
    bool Load(const QString& folder, const QString& pattern, QObject* window);
    bool LoadFile(QString folder, QString fileName) override;
    // -1 when a profile of that display name exists (the profile then stays
    // the caller's); else its position.
    int Add(CServiceCenter* profile) { return AddSorted(profile); }
    CServiceCenter* GetAt(int index) const { return static_cast<CServiceCenter*>(CQXObjectList::GetAt(index)); }
    CServiceCenter* FindByName(const QString& name) const
    {
        return static_cast<CServiceCenter*>(CQXObjectList::FindByName(name));
    }
    CServiceCenter* FindSameParameters(const CServiceCenter* profile) const;
    // Removes every profile of that type, files included.
    void RemoveByType(int type);
    // The first phone profile (type 1 or 3) of that index; null when none.
    CServiceCenter* FindByIndex(int index) const;
    int CountPhoneProfiles() const;
    // The index of the first phone profile with a number, trying the
    // indexes 1 to `last`, then 0 (`last` -1: the number of phone
    // profiles); -1 when none.
    int GetFirstDefinedProfile(int last) const;
    // Row of the first phone profile with a number; -1 when none.
    int GetFirstPhoneProfileRow() const;
    // Renames every phone profile for the naming (a language change).
    void RenameProfiles(bool phoneNaming);
    // Takes a profile out of the list without deleting it or its file.
    bool Detach(CServiceCenter* profile);
};
