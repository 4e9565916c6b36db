#include "melodypaths.h"

#include <QFile>

std::string PathToStd(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString PathFromStd(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}
