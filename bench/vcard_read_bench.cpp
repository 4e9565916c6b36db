// Reading time of the vCard reader on large values and many cards: a
// quoted-printable NOTE and a folded NOTE of 256 KB, 512 KB and 1 MB, and
// 20,000 small cards in one text. Prints the best of seven runs and the
// time per megabyte, which stays the same across sizes when reading is
// linear in the size of the text.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "vcard.h"

namespace {

double Seconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// A note of `bytes` characters in lines of 60 with line breaks between.
std::string Note(size_t bytes)
{
    std::string note;
    note.reserve(bytes);
    while (note.size() < bytes) {
        for (int i = 0; i < 58 && note.size() < bytes; ++i)
            note += static_cast<char>(i % 7 == 6 ? ' ' : 'a' + i % 26);
        note += "\r\n";
    }
    note.resize(bytes);
    return note;
}

// Version 2.1: quoted-printable with soft breaks every 73 characters.
std::string QuotedPrintableCard(size_t bytes)
{
    const std::string encoded = QPEncode(Note(bytes));
    std::string text = "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Long\r\nNOTE;ENCODING=QUOTED-PRINTABLE:";
    size_t col = 0;
    for (char c : encoded) {
        if (c == '\r' || c == '\n') {
            text += c;
            col = 0;
            continue;
        }
        if (col >= 73) {
            text += "=\r\n";
            col = 0;
        }
        text += c;
        ++col;
    }
    return text + "\r\nEND:VCARD\r\n";
}

// Version 3.0: one NOTE folded at 75 characters, line breaks as "\n".
std::string FoldedCard(size_t bytes)
{
    std::string value;
    for (char c : Note(bytes)) {
        if (c == '\r')
            continue;
        value += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    std::string line = "NOTE:" + value;
    std::string text = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Long\r\n";
    for (size_t i = 0; i < line.size(); i += 74)
        text += (i ? " " : "") + line.substr(i, 74) + "\r\n";
    return text + "END:VCARD\r\n";
}

std::string ManyCards(int count)
{
    std::string text;
    char buf[256];
    for (int i = 0; i < count; ++i) {
        std::snprintf(buf, sizeof buf,
                      "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Name%05d;Given;;;\r\nFN:Given Name%05d\r\n"
                      "TEL;CELL;PREF:+3361%07d\r\nTEL;HOME:+3314%07d\r\nEMAIL;INTERNET:n%d@example.org\r\n"
                      "END:VCARD\r\n",
                      i, i, i, i, i);
        text += buf;
    }
    return text;
}

// Best of seven: cutting the text into cards and reading every card.
double TimeRead(const std::string& text, size_t& cardsRead)
{
    double best = 1e9;
    for (int run = 0; run < 7; ++run) {
        const double t0 = Seconds();
        size_t n = 0;
        for (const std::string& piece : SplitVCardText(text)) {
            CVCard card;
            if (card.ReadFromText(piece))
                ++n;
        }
        best = std::min(best, Seconds() - t0);
        cardsRead = n;
    }
    return best;
}

}  // namespace

int main()
{
    int failures = 0;
    struct Kind {
        const char* name;
        std::string (*make)(size_t);
    } kinds[] = {{"quoted-printable NOTE", QuotedPrintableCard}, {"folded NOTE", FoldedCard}};
    for (const Kind& k : kinds) {
        double perMb[3];
        int i = 0;
        for (size_t kb : {256u, 512u, 1024u}) {
            const std::string text = k.make(kb * 1024);
            size_t cards = 0;
            const double t = TimeRead(text, cards);
            perMb[i++] = t / (static_cast<double>(kb) / 1024.0);
            std::printf("%-22s %5zu KB (%8zu bytes of card): %.4f s, %.4f s per MB\n", k.name, kb,
                        text.size(), t, perMb[i - 1]);
            failures += cards == 1 ? 0 : 1;
        }
        const double spread = *std::max_element(perMb, perMb + 3) / *std::min_element(perMb, perMb + 3);
        std::printf("%-22s time per MB varies by %.2fx across sizes\n", k.name, spread);
    }
    const std::string many = ManyCards(20000);
    size_t cards = 0;
    const double t = TimeRead(many, cards);
    std::printf("20,000 small cards (%zu bytes): %.4f s, %zu cards read\n", many.size(), t, cards);
    failures += cards == 20000 ? 0 : 1;
    return failures ? 1 : 0;
}
