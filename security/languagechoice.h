// The language choice of the set-up screen: the installed language bundles,
// each offered by its name and carrying its code.
#pragma once

#include <string>

class QComboBox;

// Fills the combo with the bundles ("ZORQ" + code + ".rcc") found in the
// program folder, in the usual order of the languages. The current language
// is selected when its bundle is there, otherwise English, otherwise the
// first row.
void FillLanguageCombo(QComboBox* combo, const std::string& programFolder, const std::string& currentCode);
// The code of the selected row; empty when none is selected.
std::string SelectedLanguage(const QComboBox* combo);
