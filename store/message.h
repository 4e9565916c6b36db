// The message model: a short message (CMessage) with its recipients or
// sender (CAddress) and, for a concatenated message, its received parts
// (CBlock); the owning lists of each; and the concatenation list
// (CMessageList) with its ".lst" file form.
#pragma once

#include "archive.h"
#include "phonechange.h"
#include "sms_types.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CEntrySMSRecordset;
class CDlgProgressText;
class QWidget;

// A location that names no place.
constexpr int32_t kNoLocation = -1;

// Asked once the phone answers again after a deletion it did not answer:
// whether it still holds a message at `index`. Change: the index is empty,
// the deletion was carried out; Before: it still holds one; Unknown: it
// does not say.
using DeletedIndexReadBack = std::function<PhoneHolds(uint8_t index)>;
PhoneHolds AskDeletedIndex(uint8_t index);

// ---- Addresses -------------------------------------------------------------------------

class CAddress : public ArchiveObject {
public:
    CAddress() = default;
    CAddress(const std::string& name, const std::string& number) : m_strName(name), m_strNumber(number) {}
    // Copies name and number; the copy is not sent yet.
    explicit CAddress(const CAddress* other);
    CAddress(const CAddress& other) : ArchiveObject(), m_strName(other.m_strName), m_strNumber(other.m_strNumber) {}
    CAddress& operator=(const CAddress& other);

    const std::string& GetName() const { return m_strName; }
    const std::string& GetNumber() const { return m_strNumber; }
    void SetName(const std::string& name) { m_strName = name; }
    void SetNumber(const std::string& number) { m_strNumber = number; }
    // Digits, 'p', '*', '#' and the first '+'.
    std::string GetDialNumber() const;
    bool IsSameNumber(const CAddress* other) const { return other && other->m_strNumber == m_strNumber; }
    bool IsSent() const { return m_bSent != 0; }
    void SetSent(bool sent) { m_bSent = sent ? 1 : 0; }
    // The phone did not answer the last send to this recipient: it may have
    // sent it. Lives with the message being sent only (neither stored nor
    // copied).
    bool IsUnconfirmed() const { return m_bUnconfirmed; }
    void SetUnconfirmed(bool unconfirmed) { m_bUnconfirmed = unconfirmed; }

    const char* ArchiveClassName() const override { return "CAddress"; }
    uint16_t ArchiveSchema() const override { return 0; }
    void Store(ArchiveWriter& ar) const override;
    void Load(ArchiveReader& ar, uint16_t schema) override;

private:
    std::string m_strName, m_strNumber;
    int32_t m_bSent = 0;
    bool m_bUnconfirmed = false;
};

// A list that owns its addresses. Positions are indexes; -1 is none.
class CAddressList {
public:
    CAddressList() = default;
    CAddressList(const CAddressList& other) { CopyFrom(other); }
    CAddressList& operator=(const CAddressList& other);
    CAddressList(CAddressList&&) = default;
    CAddressList& operator=(CAddressList&&) = default;

    int GetCount() const { return static_cast<int>(m_items.size()); }
    bool IsEmpty() const { return m_items.empty(); }
    CAddress* GetAt(int i) const { return i >= 0 && i < GetCount() ? m_items[i].get() : nullptr; }
    void RemoveAll() { m_items.clear(); }

    // Appends the address (the list takes it).
    void Add(CAddress* address)
    {
        if (address)
            m_items.emplace_back(address);
    }
    // Appends copies (not sent) of every address of the other list.
    void CopyFrom(const CAddressList& other);
    // -1 when an address with that number is present (the address is then
    // deleted); else takes it and returns 0.
    int AddUnique(CAddress* address);
    int AddNameNumber(const std::string& name, const std::string& number);
    int FindByNumber(const CAddress* address) const;
    int FindByNameNumber(const std::string& name, const std::string& number) const;
    int FindByText(const std::string& text) const;
    int FindContaining(const std::string& text) const;
    bool IsEqual(const CAddressList& other) const;
    int RemoveByNumber(const CAddress* address);
    int RemoveByNameNumber(const std::string& name, const std::string& number);
    void RemoveAt(int i);

    void Store(ArchiveWriter& ar) const;
    void Load(ArchiveReader& ar);

private:
    std::vector<std::unique_ptr<CAddress>> m_items;
};

// ---- Parts -----------------------------------------------------------------------------

class CBlock : public ArchiveObject {
public:
    CBlock() = default;
    CBlock(const std::string& text, uint8_t index, uint8_t sequence) : m_strText(text), m_nIndex(index), m_nSeq(sequence) {}
    CBlock(const CBlock& o) : ArchiveObject(), m_strText(o.m_strText), m_nIndex(o.m_nIndex), m_nSeq(o.m_nSeq) {}
    explicit CBlock(const CBlock* o) : CBlock(o ? *o : CBlock()) {}
    CBlock& operator=(const CBlock& o);
    bool operator==(const CBlock& o) const
    {
        return m_strText == o.m_strText && m_nIndex == o.m_nIndex && m_nSeq == o.m_nSeq;
    }

    const std::string& GetText() const { return m_strText; }
    uint8_t GetIndex() const { return m_nIndex; }
    uint8_t GetSeqNum() const { return m_nSeq; }
    void SetIndex(uint8_t index) { m_nIndex = index; }

    const char* ArchiveClassName() const override { return "CBlock"; }
    uint16_t ArchiveSchema() const override { return 0; }
    void Store(ArchiveWriter& ar) const override;
    void Load(ArchiveReader& ar, uint16_t schema) override;

private:
    std::string m_strText;
    uint8_t m_nIndex = 0;  // place in the phone; 0 = not stored there
    uint8_t m_nSeq = 0;    // part number, from 1
};

// A list that owns its parts, in ascending sequence order.
class CBlockList {
public:
    CBlockList() = default;
    CBlockList(const CBlockList& other) { CopyFrom(other); }
    CBlockList& operator=(const CBlockList& other);
    CBlockList(CBlockList&&) = default;
    CBlockList& operator=(CBlockList&&) = default;

    int GetCount() const { return static_cast<int>(m_items.size()); }
    CBlock* GetAt(int i) const { return i >= 0 && i < GetCount() ? m_items[i].get() : nullptr; }
    void RemoveAll() { m_items.clear(); }

    void CopyFrom(const CBlockList& other);
    // -1 (block deleted) for an equal block already held; else inserts it
    // before the first block of a higher sequence and returns its position.
    int InsertBySeqNum(CBlock* block);
    int Find(const CBlock* block) const;
    int FindBySeqNum(uint8_t sequence) const;
    // Removes the first block equal to `block` (text, index and sequence).
    int Remove(const CBlock* block);
    // Removes the first block of that sequence.
    int RemoveBySeqNum(uint8_t sequence);
    void RemoveAt(int i);

    void Store(ArchiveWriter& ar) const;
    void Load(ArchiveReader& ar);

private:
    std::vector<std::unique_ptr<CBlock>> m_items;
};

// ---- Length rules ------------------------------------------------------------------------

// A character of the GSM extension table (two septets on the air).
bool IsGsmExtensionChar(char c);
// Septets a 7-bit text takes.
size_t CountSeptets(const std::string& text);
// True when every character of the PC text has a place in the 7-bit
// alphabet (its basic or extension table).
bool FitsGsm7(const std::string& text);

// ---- The message ---------------------------------------------------------------------------

class CMessage : public ArchiveObject, public SmsMessage {
public:
    CMessage() = default;
    CMessage(const CMessage& other);
    CMessage& operator=(const CMessage& other);
    CMessage(CMessage&&) = default;
    CMessage& operator=(CMessage&&) = default;

    // Field access.
    const std::string& GetSpareText() const { return m_strSpare; }
    void SetSpareText(const std::string& t) { m_strSpare = t; }
    int32_t GetSpareNumber() const { return m_nSpare; }
    void SetSpareNumber(int32_t n) { m_nSpare = n; }
    int GetDcs() const override { return m_dcs_val; }
    void SetDcs(int dcs) { m_dcs_val = dcs; }
    // A 7-bit message whose text holds a character the 7-bit alphabet
    // cannot carry becomes UCS2, so that nothing is lost on the way.
    // 8-bit and UCS2 messages keep their coding.
    void AdaptCoding();
    int GetStatus() const override { return m_nStatus; }
    void SetStatus(int status) { m_nStatus = status; }
    ArchiveDate GetDateValue() const { return m_date; }
    double GetDays() const { return m_date.days; }
    void SetDate(double days, int32_t status = 0) { m_date = {status, days}; }
    MTR_DATETIME GetDate() const override;
    void SetDate(const MTR_DATETIME& when);
    std::string GetText() const override { return m_strText; }
    void SetText(const std::string& text) { m_strText = text; m_nTextPos = 0; }
    CAddressList& GetAddressList() { return m_Addresses; }
    const CAddressList& GetAddressList() const { return m_Addresses; }
    std::string GetServiceCentre() const override { return m_strServiceCentre; }
    void SetServiceCentre(const std::string& sc) { m_strServiceCentre = sc; }
    int GetFormat() const override { return m_nFormat; }
    void SetFormat(int f) { m_nFormat = f; }
    int GetValidity() const override { return m_nValidity; }
    void SetValidity(int v) { m_nValidity = v; }
    int GetReplyPath() const override { return m_nReplyPath; }
    void SetReplyPath(int r) { m_nReplyPath = r; }
    int GetStatusReport() const override { return m_nStatusReport; }
    void SetStatusReport(int s) { m_nStatusReport = s; }
    int32_t GetLocation() const { return m_nLocation; }
    void SetLocation(int32_t location) { m_nLocation = location; }
    int GetMsgType2() const { return m_nMsgType2; }
    void SetMsgType2(int t) { m_nMsgType2 = t; }
    uint8_t GetConcatRef() const override { return m_nConcatRef; }
    void SetConcatRef(uint8_t r) { m_nConcatRef = r; }
    uint8_t GetNbBlocks() const { return m_nNbBlocks; }
    void SetNbBlocks(uint8_t n) { m_nNbBlocks = n; }
    CBlockList& GetBlockList() { return m_Blocks; }
    const CBlockList& GetBlockList() const { return m_Blocks; }

    // The engine's view of the recipients.
    int CountRecipients() const override { return m_Addresses.GetCount(); }
    std::string GetRecipientNumber(int i) const override;

    // Recipients.
    int AddAddress(CAddress* address) { return m_Addresses.AddUnique(address); }
    int AddAddress(const std::string& name, const std::string& number) { return m_Addresses.AddNameNumber(name, number); }
    int RemoveAddress(const CAddress* address) { return m_Addresses.RemoveByNumber(address); }
    int RemoveAddress(const std::string& name, const std::string& number)
    {
        return m_Addresses.RemoveByNameNumber(name, number);
    }
    int CountSentRecipients() const;
    int CountUnsentRecipients() const;
    // Recipients not sent to whose last send the phone did not confirm.
    int CountUnconfirmedRecipients() const;
    void ClearUnconfirmed();
    void RemoveSentRecipients();
    bool HasOnlyRecipient(const std::string& number) const;
    std::string GetOnlyRecipientNumber() const;
    int CanStoreInPhone() const;

    // Length rules. A 7-bit text is measured in septets: the characters of
    // the extension table take two.
    int GetSMSMaxNbChar() const;
    int GetBlockSize() const;
    bool IsLong() const override;
    int ComputeNbBlocks() const;
    // The next block of a long text (empty at the end). A 7-bit block never
    // splits an extension character and never exceeds the block's septets.
    std::string GetNextBlock();
    void ResetBlockPosition() { m_nTextPos = 0; }

    // Parts and concatenated status.
    int AddBlock(CBlock* block) { return m_Blocks.InsertBySeqNum(block); }
    int RemoveBlock(const CBlock* block) { return m_Blocks.Remove(block); }
    int RemoveBlockBySeqNum(uint8_t sequence) { return m_Blocks.RemoveBySeqNum(sequence); }
    void SetConcatStatus(int phoneStatus);
    void UpdateConcatStatus(int phoneStatus);
    void RecomputeConcatStatus();
    // Unread becomes read: 0 -> 1, 5 -> 8, 6 -> 9, 7 -> 10.
    bool SetStatusToRead();
    void AssembleText();
    int CountStoredParts() const;
    bool HasPendingParts() const;
    // Phone deletions of the parts still stored there, one after the other;
    // a part the phone did not answer for is asked for with `readBack`. The
    // run stops at the first part not known to be gone: the result is that
    // part's, else Done (or Unanswered and gone when a part met a silence).
    PhoneChangeResult DeleteParts(const DeletedIndexReadBack& readBack);
    void DeleteOnePart(const DeletedIndexReadBack& readBack);
    void PurgeStoredParts();

    // ---- Sending and storing (messagesend.cpp) --------------------------------------------
    // Each engine request of a send runs on a worker thread while this
    // thread keeps the tick going and pumps window messages. `x`, `y` place
    // the progress window (-1, -1: centred and brought to the front).
    //
    // Send with a progress window: the result of Send.
    int SendWithProgress(QWidget* parent, int templateId, int titleId, int range, int x, int y);
    // Send, then store in the phone's current storage: 1 sent to all and
    // stored, -1 not sent to all but stored, -2 sent to all but not stored,
    // -3 neither.
    int SendAndStore(QWidget* parent, int templateId, int titleId, int textId, int range, int x, int y);
    // Send, then leave the progress near its end showing `textId` (the
    // caller stores the message in a PC database next): the result of Send.
    int SendWithProgressEnd(QWidget* parent, int templateId, int titleId, int textId, int range, int x, int y);
    // Sends to every recipient not yet served, block by block when long. 1
    // when every recipient was served; -1 for no recipient, a failure or a
    // cancel. Served recipients get their sent flag; the others stay in the
    // list, unsent.
    int Send();
    // Stores the message in the phone's current storage; the phone's index
    // becomes the location. False for a long message or several recipients.
    bool Store();
    // The progress window of a send in progress (null otherwise).
    CDlgProgressText* GetProgressDlg() const { return m_Send.dlg; }
    // A long message cut short by the last send (the link lost, a part
    // refused): the parts that went out to the recipient concerned and the
    // parts the message has; 0 and 0 when no recipient got only a part.
    int GetPartsSent() const { return m_Send.partsSent; }
    int GetPartsTotal() const { return m_Send.partsTotal; }
    // The pause after each recipient's result, in milliseconds (tests
    // shorten it).
    static void SetResultPause(int ms);

    // Database rows.
    void SetFromRecord(const CEntrySMSRecordset& rs);
    bool IsSameAsRecord(const CEntrySMSRecordset* rs) const;

    const char* ArchiveClassName() const override { return "CMessage"; }
    uint16_t ArchiveSchema() const override { return 0; }
    void Store(ArchiveWriter& ar) const override;
    void Load(ArchiveReader& ar, uint16_t schema) override;

private:
    std::string m_strSpare;
    int32_t m_nSpare = 0;
    int32_t m_dcs_val = 0;
    int32_t m_nStatus = 2;
    ArchiveDate m_date;
    std::string m_strText;
    CAddressList m_Addresses;
    std::string m_strServiceCentre;
    int32_t m_nFormat = 0;
    int32_t m_nValidity = 3;
    int32_t m_nReplyPath = 0;
    int32_t m_nStatusReport = 0;
    int32_t m_nLocation = 0;
    int32_t m_nMsgType2 = 0;
    uint8_t m_nConcatRef = 0;
    uint8_t m_nNbBlocks = 0;
    CBlockList m_Blocks;
    size_t m_nTextPos = 0;

    // The state of a send in progress; never copied with the message.
    struct SendState {
        CDlgProgressText* dlg = nullptr;
        QWidget* parent = nullptr;
        std::atomic<int> done{0};
        int16_t result = 0;
        // The phone did not answer the last request (it may have done it).
        bool unanswered = false;
        int partsSent = 0, partsTotal = 0;
        SendState() = default;
        SendState(const SendState&) {}
        SendState& operator=(const SendState&) { return *this; }
    };
    SendState m_Send;

    int SendToRecipients();
    int RunProgress(QWidget* parent, int templateId, int titleId, int range, int x, int y);
    void EndProgress(bool success);
    int RunOnWorker(const std::string& number, const std::string* block, uint16_t total, uint16_t seq,
                    int noReport);
};

// Text of the string that marks an incomplete joined text (string 31768);
// the application installs its language's text.
void SetIncompleteMessageMark(const std::string& mark);

// ---- Concatenation lists -------------------------------------------------------------------

class CMessageList {
public:
    CMessageList() = default;
    CMessageList(const CMessageList&) = delete;
    CMessageList& operator=(const CMessageList&) = delete;

    int GetCount() const { return static_cast<int>(m_items.size()); }
    bool IsEmpty() const { return m_items.empty(); }
    CMessage* GetAt(int i) const { return i >= 0 && i < GetCount() ? m_items[i].get() : nullptr; }
    void RemoveAll() { m_items.clear(); }
    // Removes and deletes the message at that position.
    void RemoveAt(int i);
    // Removes and deletes that message when it is in the list.
    bool Remove(const CMessage* message);

    // -1 (message deleted) for a null message or one already held under the
    // same four keys; else takes it and returns its position.
    int AddMessage(CMessage* message);
    int FindConcatenated(const std::string& sender, int msgType2, uint8_t reference, uint8_t blocks) const;
    int FindRecord(const CEntrySMSRecordset* rs) const;
    void PurgeStoredParts();
    bool HasPendingParts() const;
    void DeleteOnePendingPart(const DeletedIndexReadBack& readBack);

    // Appends the list read from the file (a file of 2 bytes or fewer holds
    // an empty list). False when the file cannot be read. A malformed file
    // throws ArchiveError and leaves the list as it was.
    bool Load(const std::string& path);
    // Writes the list (through a temporary file); an empty list deletes the
    // file and answers false, as does an empty path or a failed write.
    bool Save(const std::string& path) const;

    void Store(ArchiveWriter& ar) const;
    void LoadFrom(ArchiveReader& ar);

private:
    std::vector<std::unique_ptr<CMessage>> m_items;
};

// Registers the model's classes with an archive reader.
void RegisterMessageClasses(ArchiveReader& ar);
