#include "message.h"

#include "debugtrace.h"
#include "mtr_sms.h"
#include "smsdatabase.h"
#include "utilities.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

std::string g_incompleteMark = "[Incomplete] ";

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

template <typename T>
void StoreList(ArchiveWriter& ar, const std::vector<std::unique_ptr<T>>& items)
{
    ar.WriteCount(static_cast<uint32_t>(items.size()));
    for (const auto& p : items)
        ar.WriteObject(p.get());
}

// Reads a list of class-tagged objects of type T into `items`.
template <typename T>
void LoadList(ArchiveReader& ar, std::vector<std::unique_ptr<T>>& items)
{
    uint32_t n = ar.ReadCount(1u << 16);
    std::vector<std::unique_ptr<T>> read;
    for (uint32_t i = 0; i < n; ++i) {
        std::shared_ptr<ArchiveObject> obj = ar.ReadObject();
        if (!obj)
            throw ArchiveError("null element in a message list");
        T* typed = dynamic_cast<T*>(obj.get());
        if (!typed)
            throw ArchiveError("unexpected class in a message list");
        read.push_back(std::make_unique<T>(*typed));
    }
    for (auto& p : read)
        items.push_back(std::move(p));
}

}  // namespace

void SetIncompleteMessageMark(const std::string& mark) { g_incompleteMark = mark; }

void RegisterMessageClasses(ArchiveReader& ar)
{
    ar.RegisterClass("CMessage", [] { return std::make_unique<CMessage>(); });
    ar.RegisterClass("CAddress", [] { return std::make_unique<CAddress>(); });
    ar.RegisterClass("CBlock", [] { return std::make_unique<CBlock>(); });
}

// ---- CAddress ----------------------------------------------------------------------------

CAddress::CAddress(const CAddress* other)
{
    if (other) {
        m_strName = other->m_strName;
        m_strNumber = other->m_strNumber;
    }
}

CAddress& CAddress::operator=(const CAddress& other)
{
    m_strName = other.m_strName;
    m_strNumber = other.m_strNumber;
    m_bSent = other.m_bSent;
    return *this;
}

std::string CAddress::GetDialNumber() const
{
    std::string out;
    FilterDialChars(m_strNumber, out);
    return out;
}

void CAddress::Store(ArchiveWriter& ar) const
{
    ar.WriteString(m_strName);
    ar.WriteString(m_strNumber);
    ar.WriteI32(m_bSent);
}

void CAddress::Load(ArchiveReader& ar, uint16_t)
{
    m_strName = ar.ReadString();
    m_strNumber = ar.ReadString();
    m_bSent = ar.ReadI32();
}

// ---- CAddressList ------------------------------------------------------------------------

CAddressList& CAddressList::operator=(const CAddressList& other)
{
    if (this != &other) {
        m_items.clear();
        for (const auto& a : other.m_items) {
            auto c = std::make_unique<CAddress>(*a);
            m_items.push_back(std::move(c));
        }
    }
    return *this;
}

void CAddressList::CopyFrom(const CAddressList& other)
{
    std::vector<std::unique_ptr<CAddress>> copies;
    for (const auto& a : other.m_items)
        copies.push_back(std::make_unique<CAddress>(a.get()));
    for (auto& c : copies)
        m_items.push_back(std::move(c));
}

int CAddressList::AddUnique(CAddress* address)
{
    std::unique_ptr<CAddress> owned(address);
    if (!owned || FindByNumber(owned.get()) >= 0)
        return -1;
    m_items.push_back(std::move(owned));
    return 0;
}

int CAddressList::AddNameNumber(const std::string& name, const std::string& number)
{
    if (FindByNameNumber(name, number) >= 0)
        return -1;
    m_items.push_back(std::make_unique<CAddress>(name, number));
    return 0;
}

int CAddressList::FindByNumber(const CAddress* address) const
{
    if (!address)
        return -1;
    for (int i = 0; i < GetCount(); ++i)
        if (m_items[i]->GetNumber() == address->GetNumber())
            return i;
    return -1;
}

int CAddressList::FindByNameNumber(const std::string& name, const std::string& number) const
{
    for (int i = 0; i < GetCount(); ++i)
        if (m_items[i]->GetName() == name && m_items[i]->GetNumber() == number)
            return i;
    return -1;
}

int CAddressList::FindByText(const std::string& text) const
{
    for (int i = 0; i < GetCount(); ++i)
        if (m_items[i]->GetName() == text || m_items[i]->GetNumber() == text)
            return i;
    return -1;
}

int CAddressList::FindContaining(const std::string& text) const
{
    const std::string want = Upper(text);
    for (int i = 0; i < GetCount(); ++i)
        if (Upper(m_items[i]->GetName()).find(want) != std::string::npos ||
            Upper(m_items[i]->GetNumber()).find(want) != std::string::npos)
            return i;
    return -1;
}

bool CAddressList::IsEqual(const CAddressList& other) const
{
    if (GetCount() != other.GetCount())
        return false;
    for (int i = 0; i < GetCount(); ++i)
        if (m_items[i]->GetNumber() != other.m_items[i]->GetNumber())
            return false;
    return true;
}

int CAddressList::RemoveByNumber(const CAddress* address)
{
    int i = FindByNumber(address);
    if (i < 0)
        return 0;
    RemoveAt(i);
    return 1;
}

int CAddressList::RemoveByNameNumber(const std::string& name, const std::string& number)
{
    int i = FindByNameNumber(name, number);
    if (i < 0)
        return 0;
    RemoveAt(i);
    return 1;
}

void CAddressList::RemoveAt(int i)
{
    if (i >= 0 && i < GetCount())
        m_items.erase(m_items.begin() + i);
}

void CAddressList::Store(ArchiveWriter& ar) const { StoreList(ar, m_items); }
void CAddressList::Load(ArchiveReader& ar) { LoadList(ar, m_items); }

// ---- CBlock ------------------------------------------------------------------------------

CBlock& CBlock::operator=(const CBlock& o)
{
    m_strText = o.m_strText;
    m_nIndex = o.m_nIndex;
    m_nSeq = o.m_nSeq;
    return *this;
}

void CBlock::Store(ArchiveWriter& ar) const
{
    ar.WriteString(m_strText);
    ar.WriteU8(m_nIndex);
    ar.WriteU8(m_nSeq);
}

void CBlock::Load(ArchiveReader& ar, uint16_t)
{
    m_strText = ar.ReadString();
    m_nIndex = ar.ReadU8();
    m_nSeq = ar.ReadU8();
}

// ---- CBlockList --------------------------------------------------------------------------

CBlockList& CBlockList::operator=(const CBlockList& other)
{
    if (this != &other) {
        m_items.clear();
        CopyFrom(other);
    }
    return *this;
}

void CBlockList::CopyFrom(const CBlockList& other)
{
    std::vector<std::unique_ptr<CBlock>> copies;
    for (const auto& b : other.m_items)
        copies.push_back(std::make_unique<CBlock>(*b));
    for (auto& c : copies)
        m_items.push_back(std::move(c));
}

int CBlockList::InsertBySeqNum(CBlock* block)
{
    std::unique_ptr<CBlock> owned(block);
    if (!owned || Find(owned.get()) >= 0)
        return -1;
    int at = 0;
    while (at < GetCount() && m_items[at]->GetSeqNum() <= owned->GetSeqNum())
        ++at;
    m_items.insert(m_items.begin() + at, std::move(owned));
    return at;
}

int CBlockList::Find(const CBlock* block) const
{
    if (!block)
        return -1;
    for (int i = 0; i < GetCount(); ++i)
        if (*m_items[i] == *block)
            return i;
    return -1;
}

int CBlockList::FindBySeqNum(uint8_t sequence) const
{
    for (int i = 0; i < GetCount(); ++i)
        if (m_items[i]->GetSeqNum() == sequence)
            return i;
    return -1;
}

int CBlockList::Remove(const CBlock* block)
{
    int i = Find(block);
    if (i < 0)
        return 0;
    RemoveAt(i);
    return 1;
}

int CBlockList::RemoveBySeqNum(uint8_t sequence)
{
    int i = FindBySeqNum(sequence);
    if (i < 0)
        return 0;
    RemoveAt(i);
    return 1;
}

void CBlockList::RemoveAt(int i)
{
    if (i >= 0 && i < GetCount())
        m_items.erase(m_items.begin() + i);
}

void CBlockList::Store(ArchiveWriter& ar) const { StoreList(ar, m_items); }
void CBlockList::Load(ArchiveReader& ar) { LoadList(ar, m_items); }

// ---- Length rules --------------------------------------------------------------------------

bool IsGsmExtensionChar(char c)
{
    switch (static_cast<unsigned char>(c)) {
    case 0x80:  // euro sign in the PC character set
    case '[': case ']': case '{': case '}': case '\\': case '~': case '^': case '|': case '\f':
        return true;
    default:
        return false;
    }
}

size_t CountSeptets(const std::string& text)
{
    size_t n = 0;
    for (char c : text)
        n += IsGsmExtensionChar(c) ? 2 : 1;
    return n;
}

bool FitsGsm7(const std::string& text)
{
    // The basic table's characters outside printable ASCII, in the PC
    // character set: £ ¥ è é ù ì ò Ç Ø ø Å å Æ æ ß É ¤ ¡ Ä Ö Ñ Ü § ¿ ä ö ñ ü à.
    static const std::string latin = "\xA3\xA5\xE8\xE9\xF9\xEC\xF2\xC7\xD8\xF8\xC5\xE5\xC6\xE6\xDF\xC9\xA4\xA1"
                                     "\xC4\xD6\xD1\xDC\xA7\xBF\xE4\xF6\xF1\xFC\xE0";
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (IsGsmExtensionChar(ch) || c == '\n' || c == '\r')
            continue;
        if (c >= 0x20 && c < 0x7F && c != '`')
            continue;
        if (c >= 0x80 && latin.find(ch) != std::string::npos)
            continue;
        return false;
    }
    return true;
}

// ---- CMessage ------------------------------------------------------------------------------

void CMessage::AdaptCoding()
{
    if (m_dcs_val == 0 && !FitsGsm7(m_strText))
        m_dcs_val = 2;
}

CMessage::CMessage(const CMessage& o)
    : ArchiveObject(), SmsMessage(), m_strSpare(o.m_strSpare), m_nSpare(o.m_nSpare), m_dcs_val(o.m_dcs_val),
      m_nStatus(o.m_nStatus), m_date(o.m_date), m_strText(o.m_strText), m_Addresses(o.m_Addresses),
      m_strServiceCentre(o.m_strServiceCentre), m_nFormat(o.m_nFormat), m_nValidity(o.m_nValidity),
      m_nReplyPath(o.m_nReplyPath), m_nStatusReport(o.m_nStatusReport), m_nLocation(o.m_nLocation),
      m_nMsgType2(o.m_nMsgType2), m_nConcatRef(o.m_nConcatRef), m_nNbBlocks(o.m_nNbBlocks), m_Blocks(o.m_Blocks),
      m_nTextPos(o.m_nTextPos)
{
}

CMessage& CMessage::operator=(const CMessage& o)
{
    if (this != &o) {
        CMessage copy(o);
        *this = std::move(copy);
    }
    return *this;
}

MTR_DATETIME CMessage::GetDate() const
{
    MTR_DATETIME t;
    if (m_date.days == 0.0)
        return t;
    SplitDateTime(m_date.days, t.year, t.month, t.day, t.hour, t.minute, t.second);
    return t;
}

void CMessage::SetDate(const MTR_DATETIME& when)
{
    m_date.status = 0;
    m_date.days = when.IsZero() ? 0.0
                                : MakeDateTime(when.year, when.month, when.day, when.hour, when.minute, when.second);
}

std::string CMessage::GetRecipientNumber(int i) const
{
    const CAddress* a = m_Addresses.GetAt(i);
    return a ? a->GetNumber() : std::string();
}

int CMessage::CountSentRecipients() const
{
    int n = 0;
    for (int i = 0; i < m_Addresses.GetCount(); ++i)
        n += m_Addresses.GetAt(i)->IsSent() ? 1 : 0;
    return n;
}

int CMessage::CountUnsentRecipients() const { return m_Addresses.GetCount() - CountSentRecipients(); }

int CMessage::CountUnconfirmedRecipients() const
{
    int n = 0;
    for (int i = 0; i < m_Addresses.GetCount(); ++i)
        n += !m_Addresses.GetAt(i)->IsSent() && m_Addresses.GetAt(i)->IsUnconfirmed() ? 1 : 0;
    return n;
}

void CMessage::ClearUnconfirmed()
{
    for (int i = 0; i < m_Addresses.GetCount(); ++i)
        m_Addresses.GetAt(i)->SetUnconfirmed(false);
}

void CMessage::RemoveSentRecipients()
{
    for (int i = m_Addresses.GetCount() - 1; i >= 0; --i)
        if (m_Addresses.GetAt(i)->IsSent())
            m_Addresses.RemoveAt(i);
}

bool CMessage::HasOnlyRecipient(const std::string& number) const
{
    if (m_Addresses.IsEmpty())
        return true;
    return m_Addresses.GetCount() == 1 && m_Addresses.GetAt(0)->GetNumber() == number;
}

std::string CMessage::GetOnlyRecipientNumber() const
{
    return m_Addresses.GetCount() == 1 ? m_Addresses.GetAt(0)->GetNumber() : std::string();
}

int CMessage::CanStoreInPhone() const
{
    if (IsLong())
        return -1;
    if (m_Addresses.IsEmpty())
        return 1;
    if (m_Addresses.GetCount() == 1 && CountUnsentRecipients() < 2 &&
        m_Addresses.GetAt(0)->GetDialNumber().size() < 21)
        return 1;
    return -1;
}

int CMessage::GetSMSMaxNbChar() const
{
    int n = static_cast<int>(sms_max_chars(m_dcs_val));
    if (n == 0)
        WriteDebug("Error in CMessage::GetSMSMaxNbChar -> m_dcs_val not valid.\n");
    return n;
}

int CMessage::GetBlockSize() const
{
    int n = static_cast<int>(sms_block_size(m_dcs_val));
    if (n == 0)
        WriteDebug("Error in CMessage::GetBlockSize -> m_dcs_val not valid.\n");
    return n;
}

bool CMessage::IsLong() const
{
    size_t units = m_dcs_val == 0 ? CountSeptets(m_strText) : m_strText.size();
    return units > static_cast<size_t>(GetSMSMaxNbChar());
}

namespace {

// Characters of `text` from `pos` that fit one block of `size` units.
size_t BlockLength(const std::string& text, size_t pos, int dcs, size_t size)
{
    if (dcs != 0)
        return std::min(size, text.size() - pos);
    size_t used = 0, n = 0;
    while (pos + n < text.size()) {
        size_t w = IsGsmExtensionChar(text[pos + n]) ? 2 : 1;
        if (used + w > size)
            break;
        used += w;
        ++n;
    }
    return n;
}

}  // namespace

int CMessage::ComputeNbBlocks() const
{
    const size_t size = static_cast<size_t>(GetBlockSize());
    if (size == 0)
        return 0;
    int blocks = 0;
    for (size_t pos = 0; pos < m_strText.size(); ++blocks) {
        size_t n = BlockLength(m_strText, pos, m_dcs_val, size);
        if (n == 0)
            break;
        pos += n;
    }
    return blocks;
}

std::string CMessage::GetNextBlock()
{
    const size_t size = static_cast<size_t>(GetBlockSize());
    if (size == 0 || m_nTextPos >= m_strText.size())
        return std::string();
    size_t n = BlockLength(m_strText, m_nTextPos, m_dcs_val, size);
    std::string block = m_strText.substr(m_nTextPos, n);
    m_nTextPos += n;
    return block;
}

void CMessage::SetConcatStatus(int phoneStatus)
{
    if (phoneStatus >= 0 && phoneStatus <= 3)
        m_nStatus = 5 + 3 * phoneStatus;
}

void CMessage::UpdateConcatStatus(int phoneStatus)
{
    const int n = m_Blocks.GetCount();
    const bool last = n == m_nNbBlocks - 1;
    auto step = [&](int first) {
        if (m_nStatus == first || m_nStatus == first + 1)
            m_nStatus = last ? first + 2 : first + 1;
    };
    switch (phoneStatus) {
    case 0: step(5); break;
    case 1: step(5); step(8); break;
    case 2: step(11); break;
    case 3: step(14); break;
    default: break;
    }
}

void CMessage::RecomputeConcatStatus()
{
    if (m_nStatus < 5 || m_nStatus > 16)
        return;
    const int first = 5 + 3 * ((m_nStatus - 5) / 3);
    const int n = m_Blocks.GetCount();
    if (n == 1)
        m_nStatus = first;
    else if (n == m_nNbBlocks)
        m_nStatus = first + 2;
    else
        m_nStatus = first + 1;
}

bool CMessage::SetStatusToRead()
{
    switch (m_nStatus) {
    case 0: m_nStatus = 1; return true;
    case 5: m_nStatus = 8; return true;
    case 6: m_nStatus = 9; return true;
    case 7: m_nStatus = 10; return true;
    default:
        WriteDebug("CMessage::SetStatusToRead() -> Error, previous status was not unread.");
        return false;
    }
}

void CMessage::AssembleText()
{
    if (m_Blocks.GetCount() == 0)
        return;
    std::string out;
    int prev = 0;
    for (int i = 0; i < m_Blocks.GetCount(); ++i) {
        const CBlock* b = m_Blocks.GetAt(i);
        if (i == 0) {
            if (b->GetSeqNum() != 1)
                out += "...";
        } else if (b->GetSeqNum() != prev + 1) {
            out += "...";
        }
        out += b->GetText();
        prev = b->GetSeqNum();
    }
    if (prev != m_nNbBlocks)
        out += "...";
    m_strText = m_Blocks.GetCount() == m_nNbBlocks ? out : g_incompleteMark + out;
    m_nTextPos = 0;
}

int CMessage::CountStoredParts() const
{
    if (m_nMsgType2 != 1)
        return 0;
    int n = 0;
    for (int i = 0; i < m_Blocks.GetCount(); ++i)
        n += m_Blocks.GetAt(i)->GetIndex() != 0 ? 1 : 0;
    return n;
}

bool CMessage::HasPendingParts() const
{
    return m_nMsgType2 == 1 && m_Blocks.GetCount() != m_nNbBlocks && CountStoredParts() > 0;
}

PhoneHolds AskDeletedIndex(uint8_t index)
{
    const MTR_RESULT r = mtr_SMS_read(index, 0);
    if (r == MTR_SMS_EMPTY_INDEX)
        return PhoneHolds::Change;
    return r == MTR_DONE ? PhoneHolds::Before : PhoneHolds::Unknown;
}

namespace {

PhoneChangeResult DeletePart(uint8_t index, const DeletedIndexReadBack& readBack)
{
    PhoneReadBack askPart;
    if (readBack)
        askPart = [&readBack, index] { return readBack(index); };
    return RunPhoneChange("a part of a long message deleted", [index] { return mtr_SMS_delete(index); }, askPart);
}

}  // namespace

PhoneChangeResult CMessage::DeleteParts(const DeletedIndexReadBack& readBack)
{
    PhoneChangeResult all;
    if (m_nMsgType2 != 1)
        return all;
    all.outcome = ChangeOutcome::Done;
    all.result = MTR_DONE;
    for (int i = 0; i < m_Blocks.GetCount(); ++i) {
        CBlock* b = m_Blocks.GetAt(i);
        if (b->GetIndex() == 0)
            continue;
        const PhoneChangeResult r = DeletePart(b->GetIndex(), readBack);
        if (!r.Landed())
            return r;
        // Gone from the phone, though perhaps without an answer.
        b->SetIndex(0);
        if (r.Unanswered())
            all = r;
    }
    return all;
}

void CMessage::DeleteOnePart(const DeletedIndexReadBack& readBack)
{
    if (m_nMsgType2 != 1)
        return;
    for (int i = 0; i < m_Blocks.GetCount(); ++i) {
        CBlock* b = m_Blocks.GetAt(i);
        if (b->GetIndex() == 0)
            continue;
        if (DeletePart(b->GetIndex(), readBack).Landed()) {
            b->SetIndex(0);
            return;
        }
    }
}

void CMessage::PurgeStoredParts()
{
    if (m_nMsgType2 != 1)
        return;
    for (int i = m_Blocks.GetCount() - 1; i >= 0; --i)
        if (m_Blocks.GetAt(i)->GetIndex() != 0)
            m_Blocks.RemoveAt(i);
    RecomputeConcatStatus();
}

void CMessage::SetFromRecord(const CEntrySMSRecordset& rs)
{
    m_nLocation = rs.Location;
    m_nStatus = rs.msgType;
    m_nMsgType2 = rs.MsgType2;
    m_nConcatRef = static_cast<uint8_t>(rs.MsgRef);
    m_date = {0, rs.Date};
    m_Addresses.RemoveAll();
    rs.GetAddrList(m_Addresses);
    SetText(rs.Text);
    m_nStatusReport = rs.StatusReport;
    m_nReplyPath = rs.ReplyPath;
    m_strServiceCentre = rs.ServiceCentre;
    m_nFormat = rs.Format;
    m_nValidity = rs.Validity;
    // A row written before codings were kept reads 0.
    m_dcs_val = rs.GetCoding();
}

bool CMessage::IsSameAsRecord(const CEntrySMSRecordset* rs) const
{
    if (!rs)
        return false;
    CAddressList list;
    rs->GetAddrList(list);
    return m_Addresses.IsEqual(list) && m_nLocation == rs->Location && m_nStatus == rs->msgType &&
           m_nMsgType2 == rs->MsgType2 && m_nConcatRef == rs->MsgRef && m_date.status == 0 &&
           m_date.days == rs->Date && m_strText == rs->Text && m_nStatusReport == rs->StatusReport &&
           m_nReplyPath == rs->ReplyPath && m_strServiceCentre == rs->ServiceCentre && m_nFormat == rs->Format &&
           m_nValidity == rs->Validity;
}

void CMessage::Store(ArchiveWriter& ar) const
{
    m_Addresses.Store(ar);
    m_Blocks.Store(ar);
    ar.WriteString(m_strSpare);
    ar.WriteI32(m_nSpare);
    ar.WriteI32(m_dcs_val);
    ar.WriteI32(m_nStatus);
    ar.WriteDate(m_date);
    ar.WriteString(m_strText);
    ar.WriteString(m_strServiceCentre);
    ar.WriteI32(m_nFormat);
    ar.WriteI32(m_nValidity);
    ar.WriteI32(m_nReplyPath);
    ar.WriteI32(m_nStatusReport);
    ar.WriteI32(m_nMsgType2);
    ar.WriteU8(m_nConcatRef);
    ar.WriteU8(m_nNbBlocks);
}

void CMessage::Load(ArchiveReader& ar, uint16_t)
{
    m_Addresses.Load(ar);
    m_Blocks.Load(ar);
    m_strSpare = ar.ReadString();
    m_nSpare = ar.ReadI32();
    m_dcs_val = ar.ReadI32();
    m_nStatus = ar.ReadI32();
    m_date = ar.ReadDate();
    m_strText = ar.ReadString();
    m_strServiceCentre = ar.ReadString();
    m_nFormat = ar.ReadI32();
    m_nValidity = ar.ReadI32();
    m_nReplyPath = ar.ReadI32();
    m_nStatusReport = ar.ReadI32();
    m_nMsgType2 = ar.ReadI32();
    m_nConcatRef = ar.ReadU8();
    m_nNbBlocks = ar.ReadU8();
    m_nTextPos = 0;
}

// ---- CMessageList --------------------------------------------------------------------------

void CMessageList::RemoveAt(int i)
{
    if (i >= 0 && i < GetCount())
        m_items.erase(m_items.begin() + i);
}

bool CMessageList::Remove(const CMessage* message)
{
    for (int i = 0; i < GetCount(); ++i)
        if (m_items[i].get() == message) {
            RemoveAt(i);
            return true;
        }
    return false;
}

int CMessageList::AddMessage(CMessage* message)
{
    std::unique_ptr<CMessage> owned(message);
    if (!owned)
        return -1;
    const std::string sender = owned->GetOnlyRecipientNumber();
    if (FindConcatenated(sender, owned->GetMsgType2(), owned->GetConcatRef(), owned->GetNbBlocks()) >= 0)
        return -1;
    m_items.push_back(std::move(owned));
    return GetCount() - 1;
}

int CMessageList::FindConcatenated(const std::string& sender, int msgType2, uint8_t reference,
                                   uint8_t blocks) const
{
    for (int i = 0; i < GetCount(); ++i) {
        const CMessage* m = m_items[i].get();
        if (m->HasOnlyRecipient(sender) && m->GetMsgType2() == msgType2 && m->GetConcatRef() == reference &&
            m->GetNbBlocks() == blocks)
            return i;
    }
    return -1;
}

int CMessageList::FindRecord(const CEntrySMSRecordset* rs) const
{
    if (!rs)
        return -1;
    for (int i = 0; i < GetCount(); ++i)
        if (m_items[i]->IsSameAsRecord(rs))
            return i;
    return -1;
}

void CMessageList::PurgeStoredParts()
{
    for (int i = GetCount() - 1; i >= 0; --i) {
        m_items[i]->PurgeStoredParts();
        if (m_items[i]->GetBlockList().GetCount() == 0)
            RemoveAt(i);
    }
}

bool CMessageList::HasPendingParts() const
{
    for (const auto& m : m_items)
        if (m->HasPendingParts())
            return true;
    return false;
}

void CMessageList::DeleteOnePendingPart(const DeletedIndexReadBack& readBack)
{
    for (const auto& m : m_items)
        if (m->HasPendingParts()) {
            m->DeleteOnePart(readBack);
            return;
        }
}

void CMessageList::Store(ArchiveWriter& ar) const { StoreList(ar, m_items); }

void CMessageList::LoadFrom(ArchiveReader& ar)
{
    RegisterMessageClasses(ar);
    LoadList(ar, m_items);
}

bool CMessageList::Load(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (path.empty() || !ReadWholeFile(path, bytes))
        return false;
    if (bytes.size() <= 2)
        return true;
    ArchiveReader ar(bytes);
    CMessageList read;
    read.LoadFrom(ar);
    for (auto& m : read.m_items)
        m_items.push_back(std::move(m));
    return true;
}

bool CMessageList::Save(const std::string& path) const
{
    if (path.empty())
        return false;
    if (m_items.empty()) {
        std::remove(path.c_str());
        return false;
    }
    ArchiveWriter ar;
    Store(ar);
    return WriteFileAtomically(path, ar.Bytes());
}
