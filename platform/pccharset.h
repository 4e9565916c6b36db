// The PC character set (Windows-1252) of the program's byte strings, and its
// conversions to Qt's text and to UTF-8. Stored files, databases and the
// engine keep texts as PC-character-set bytes; the widgets and other
// programs' files speak Unicode, so every boundary converts here.
#pragma once

#include <QString>

#include <string>

// PC bytes to text (every byte has a character).
QString PcToQString(const std::string& pc);
// Text to PC bytes; characters the PC set cannot hold become '?'.
std::string QStringToPc(const QString& text);

std::string PcToUtf8(const std::string& pc);
// UTF-8 bytes to PC bytes; characters the PC set cannot hold become '?'.
// Malformed sequences are taken byte for byte.
std::string Utf8ToPc(const std::string& utf8);

// True when the bytes are well-formed UTF-8 holding at least one
// multi-byte sequence (plain ASCII reads the same either way).
bool LooksLikeUtf8(const std::string& bytes);
// True when some byte is outside 7-bit ASCII.
bool HasNonAscii(const std::string& bytes);
