// libFuzzer target of the vCard reader: arbitrary bytes as a dropped text of
// cards. Cutting must keep the text from the first card on, whole and in
// order; reading must never leave a control byte other than a tab or a line
// break in a field.
#include "vcard.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> pieces = SplitVCardText(text);
    std::string joined;
    for (const std::string& p : pieces)
        joined += p;
    if (!pieces.empty() && (joined.size() > text.size() ||
                            text.compare(text.size() - joined.size(), joined.size(), joined) != 0))
        __builtin_trap();
    for (const std::string& piece : pieces) {
        CVCard card;
        if (!card.ReadFromText(piece))
            continue;
        for (int f = 0; f < CVCard::kFieldCount; ++f)
            for (unsigned char c : card.Get(static_cast<CVCard::Field>(f)))
                if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F)
                    __builtin_trap();
    }
    CVCard whole;
    whole.ReadFromMemory(text.data(), text.size());
    return 0;
}
