#include "languagechoice.h"

#include "strutil.h"
#include "uiservices.h"

#include <QComboBox>

namespace {

struct Language {
    const char* code;
    int nameString;
};
constexpr Language kLanguages[] = {
    {"enu", 31480}, {"fra", 31481}, {"deu", 31483}, {"ita", 31482},
    {"esp", 31484}, {"jpn", 31485}, {"chi", 31487}, {"kor", 31486},
};

}  // namespace

void FillLanguageCombo(QComboBox* combo, const std::string& programFolder, const std::string& currentCode)
{
    if (!combo)
        return;
    combo->clear();
    int english = -1, current = -1;
    for (const Language& l : kLanguages) {
        if (!FileExists(programFolder + "ZORQ" + l.code + ".rcc"))
            continue;
        combo->addItem(UiLoadString(l.nameString), QString::fromLatin1(l.code));
        const int row = combo->count() - 1;
        if (std::string(l.code) == "enu")
            english = row;
        if (currentCode == l.code)
            current = row;
    }
    if (combo->count() > 0)
        combo->setCurrentIndex(current >= 0 ? current : english >= 0 ? english : 0);
}

std::string SelectedLanguage(const QComboBox* combo)
{
    if (!combo || combo->currentIndex() < 0)
        return std::string();
    // Each row knows its own code, whatever language the first row holds.
    return combo->currentData().toString().toStdString();
}
