// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/PathCrossing.h"

#include <QFile>

namespace carteva {

std::filesystem::path StdPath(const QString &fileName)
{
    return std::filesystem::path(QFile::encodeName(fileName).toStdString());
}

QString QtPath(const std::filesystem::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

} // namespace carteva
