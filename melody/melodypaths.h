// File paths of melodies: the system's own file-name encoding between Qt's
// texts and the byte strings of the file functions.
#pragma once

#include "pccharset.h"

#include <QString>

#include <string>

std::string PathToStd(const QString& path);
QString PathFromStd(const std::string& path);
