// Texts of the language bundle as the interface components show them.
#pragma once

#include <QString>

// The product's name in place of every "[APP_NAME]".
QString UiReplaceAppName(QString text);
// A string of the bundle with the product's name filled in.
QString UiLoadAppString(int id);
