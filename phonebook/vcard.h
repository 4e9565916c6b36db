// One vCard: twenty text fields read from and written to the ".VCF" text
// form in which phonebook entries travel to and from other programs.
//
// Fields hold PC-character-set bytes and plain text (a ";" is stored as
// ";"; escaping happens on output). The writer produces the program's own
// form (no VERSION line, quoted-printable for values that hold line breaks,
// CHARSET=UTF-8 on lines with characters outside ASCII); the reader takes
// that form and the cards other programs write in versions 2.1, 3.0 and
// 4.0 (TYPE= parameters, UTF-8, folded lines, groups).
#pragma once

#include <string>
#include <vector>

class CVCard {
public:
    enum Field {
        kFamilyName, kGivenName, kMiddleName, kFormattedName, kOrgName, kOrgUnit, kTitle,
        kNote, kWorkVoice, kHomeVoice, kCellVoice, kPagerVoice, kWorkFax, kHomeFax,
        kWorkStreet, kWorkExtended, kHomeStreet, kEmail, kHomeEmail, kWorkEmail, kFieldCount
    };

    CVCard() = default;
    virtual ~CVCard() = default;

    void Clear();
    // The field; with `escape`, every ";" is given as "\;".
    std::string Get(Field f, bool escape = false) const;
    // Every "\;" of the text becomes ";"; with `quotedPrintable` the text is
    // then decoded as quoted-printable.
    void Set(Field f, const std::string& text, bool quotedPrintable = false);

#define ZORQ_VCARD_FIELD(name)                                                              \
    std::string Get##name(bool escape = false) const { return Get(k##name, escape); }    \
    void Set##name(const std::string& text, bool qp = false) { Set(k##name, text, qp); }
    ZORQ_VCARD_FIELD(FamilyName)
    ZORQ_VCARD_FIELD(GivenName)
    ZORQ_VCARD_FIELD(MiddleName)
    ZORQ_VCARD_FIELD(FormattedName)
    ZORQ_VCARD_FIELD(OrgName)
    ZORQ_VCARD_FIELD(OrgUnit)
    ZORQ_VCARD_FIELD(Title)
    ZORQ_VCARD_FIELD(Note)
    ZORQ_VCARD_FIELD(WorkVoice)
    ZORQ_VCARD_FIELD(HomeVoice)
    ZORQ_VCARD_FIELD(CellVoice)
    ZORQ_VCARD_FIELD(PagerVoice)
    ZORQ_VCARD_FIELD(WorkFax)
    ZORQ_VCARD_FIELD(HomeFax)
    ZORQ_VCARD_FIELD(WorkStreet)
    ZORQ_VCARD_FIELD(WorkExtended)
    ZORQ_VCARD_FIELD(HomeStreet)
    ZORQ_VCARD_FIELD(Email)
    ZORQ_VCARD_FIELD(HomeEmail)
    ZORQ_VCARD_FIELD(WorkEmail)
#undef ZORQ_VCARD_FIELD

    // Reads the first card of the bytes (up to a zero byte, if any).
    virtual bool ReadFromMemory(const char* bytes, size_t count);
    // Reads the first card of a ".VCF" file; other names are refused.
    virtual bool ReadFromFile(const std::string& path);
    // Writes the card. With an empty path a new file named after the
    // formatted name is made in the temporary folder and its path given back.
    virtual bool WriteToFile(std::string& path);

    // The first card of a text; false when its first non-empty line is not
    // BEGIN:VCARD. A text without any line gives an empty card.
    bool ReadFromText(const std::string& text);
    // The card exactly as the writer puts it in a file.
    std::string ToText() const;

    bool operator==(const CVCard& o) const;

private:
    std::string fields_[kFieldCount];
};

// Quoted-printable as the writer uses it and as the reader decodes it.
std::string QPEncode(const std::string& bytes);
std::string QPDecode(const std::string& text);
// Folds one quoted-printable property line (without its final CR LF).
std::string FoldQPLine(const std::string& line);

// Cuts a text holding several cards before each line that starts a card.
// Text before the first card is dropped; a text with no card start is given
// whole (so that reading it reports the bad data).
std::vector<std::string> SplitVCardText(const std::string& text);
// Every card of a ".VCF" file; false when the file cannot be read or one of
// its cards is malformed (the cards read so far are kept).
bool ReadVCardsFromFile(const std::string& path, std::vector<CVCard>& cards);

// A file base name made from a name the user or the phone supplied: no
// folder separators, control characters or leading dots; "VCARD" when
// nothing is left.
std::string CleanVCardBaseName(const std::string& name);
