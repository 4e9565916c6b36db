// Entry and vCard mapping: how the columns of a phonebook row become the
// fields of a card and back, steered by the drag-and-drop number settings.
#include "pbdatabase.h"

#include "profile.h"
#include "utilities.h"
#include "vcard.h"

#include <algorithm>

namespace {

constexpr int kPCNameLength = 250;
// Longest text a Text column of EntryPhone takes.
constexpr size_t kTextColumn = 250;

std::string Column(const std::string& v) { return v.substr(0, kTextColumn); }

enum NameForm { kSpaced, kClosed, kJoined };

struct NameRule {
    bool initialOnly;  // the second part reduced to its first character
    int extra;         // separators the form adds to the two parts
    NameForm form;
};

// Tried in order; the first whose length fits is taken.
const NameRule kNameRules[] = {
    {false, 3, kSpaced}, {false, 2, kClosed}, {false, 1, kJoined},
    {true, 3, kSpaced},  {true, 2, kClosed},  {true, 1, kJoined},
};

}  // namespace

void ComposeEntryName(std::string& name, const std::string& a, const std::string& b, int m)
{
    const int lenA = static_cast<int>(a.size());
    for (const NameRule& r : kNameRules) {
        const std::string part = r.initialOnly ? b.substr(0, 1) : b;
        const int bonus = (b.empty() && r.form == kSpaced) ? 2 : 0;
        if (lenA + static_cast<int>(part.size()) + r.extra > m + bonus)
            continue;
        switch (r.form) {
        case kSpaced:
            name = a + (a.empty() ? "" : " ") + (part.empty() ? std::string(" ") : part + " ");
            break;
        case kClosed:
            name = a + part + " ";
            break;
        case kJoined:
            name = a + part;
            break;
        }
        if (static_cast<int>(name.size()) > m)
            name.resize(static_cast<size_t>(std::max(m, 0)));
        return;
    }
    name = a.substr(0, static_cast<size_t>(std::max(m - 2, 0))) + b.substr(0, 1);
    if (static_cast<int>(name.size()) > m)
        name.resize(static_cast<size_t>(std::max(m, 0)));
}

int GetExportAs() { return GetIniProfileInt("DragAndDrop", "ExportAs", 1); }
std::string GetHomeVoiceExt() { return GetIniProfileString("DragAndDrop", "HomeVoiceExt", "H"); }
std::string GetWorkVoiceExt() { return GetIniProfileString("DragAndDrop", "WorkVoiceExt", "W"); }
std::string GetCellVoiceExt() { return GetIniProfileString("DragAndDrop", "CellVoiceExt", "C"); }

void CEntryPhoneRecordset::ExportToVCard(CVCard& card) const
{
    card.SetFormattedName(Name);
    card.SetOrgName(Company);
    card.SetNote(Notes);
    if (GetExportAs() == 1) {
        card.SetHomeStreet(Address);
        card.SetHomeVoice(Phone);
        card.SetCellVoice(Otherphone);
        card.SetHomeFax(Fax);
        card.SetHomeEmail(Email);
    } else {
        card.SetWorkStreet(Address);
        card.SetWorkVoice(Phone);
        card.SetPagerVoice(Otherphone);
        card.SetWorkFax(Fax);
        card.SetWorkEmail(Email);
    }
    card.SetEmail(Email);
}

void CEntryPhoneRecordset::ClearFields()
{
    for (std::string* s : {&Name, &Phone, &ShortPhone, &Address, &Otherphone, &Fax, &Email,
                           &Company, &Notes})
        s->clear();
    NumberType = 0;
}

bool CEntryPhoneRecordset::HasNoNumber() const
{
    return Phone.empty() && ShortPhone.empty() && Otherphone.empty() && Fax.empty();
}

bool CEntryPhoneRecordset::SetNameFromVCard(const CVCard* card, int maxNameLength)
{
    if (!card)
        return false;
    if (!card->GetFamilyName().empty() || !card->GetGivenName().empty()) {
        ComposeEntryName(Name, card->GetFamilyName(), card->GetGivenName(), maxNameLength);
        return true;
    }
    if (!card->GetFormattedName().empty()) {
        ComposeEntryName(Name, card->GetFormattedName(), std::string(), maxNameLength);
        return true;
    }
    Name.clear();
    return false;
}

namespace {

// The row's name and suffix within the storage's name length: the name is
// composed in what the suffix leaves.
void NameWithSuffix(CEntryPhoneRecordset& rs, const CVCard* card, int maxNameLength,
                    const std::string& suffixIn)
{
    const std::string suffix = suffixIn.substr(0, static_cast<size_t>(std::max(maxNameLength, 0)));
    rs.SetNameFromVCard(card, maxNameLength - static_cast<int>(suffix.size()));
    rs.Name += suffix;
}

bool ImportFull(CEntryPhoneRecordset& rs, const CVCard* card, bool home)
{
    if (!card)
        return false;
    rs.ClearFields();
    NameWithSuffix(rs, card, kPCNameLength, home ? GetHomeVoiceExt() : GetWorkVoiceExt());
    rs.Address = home ? card->GetHomeStreet() : card->GetWorkStreet();
    rs.Fax = Column(home ? card->GetHomeFax() : card->GetWorkFax());
    rs.Company = Column(card->GetOrgName());
    rs.Notes = card->GetNote();
    const std::string mail = home ? card->GetHomeEmail() : card->GetWorkEmail();
    rs.Email = Column(mail.empty() ? card->GetEmail() : mail);
    const std::string voice = home ? card->GetHomeVoice() : card->GetWorkVoice();
    const std::string other = home ? card->GetCellVoice() : card->GetPagerVoice();
    if (voice.empty()) {
        rs.Phone = Column(other);
        rs.Otherphone.clear();
    } else {
        rs.Phone = Column(voice);
        rs.Otherphone = Column(other);
    }
    FilterDialChars(rs.Phone, rs.ShortPhone);
    return !rs.HasNoNumber();
}

bool ImportVoice(CEntryPhoneRecordset& rs, const CVCard* card, int maxNameLength,
                 const std::string& number, const std::string& suffix)
{
    if (!card)
        return false;
    rs.ClearFields();
    NameWithSuffix(rs, card, maxNameLength, suffix);
    rs.Phone = Column(number);
    FilterDialChars(rs.Phone, rs.ShortPhone);
    return !rs.Phone.empty();
}

}  // namespace

bool CEntryPhoneRecordset::ImportHomeFromVCard(const CVCard* card)
{
    return ImportFull(*this, card, true);
}

bool CEntryPhoneRecordset::ImportWorkFromVCard(const CVCard* card)
{
    return ImportFull(*this, card, false);
}

bool CEntryPhoneRecordset::ImportHomeVoiceFromVCard(const CVCard* card, int maxNameLength)
{
    return ImportVoice(*this, card, maxNameLength, card ? card->GetHomeVoice() : "", GetHomeVoiceExt());
}

bool CEntryPhoneRecordset::ImportWorkVoiceFromVCard(const CVCard* card, int maxNameLength)
{
    return ImportVoice(*this, card, maxNameLength, card ? card->GetWorkVoice() : "", GetWorkVoiceExt());
}

bool CEntryPhoneRecordset::ImportCellVoiceFromVCard(const CVCard* card, int maxNameLength)
{
    return ImportVoice(*this, card, maxNameLength, card ? card->GetCellVoice() : "", GetCellVoiceExt());
}
