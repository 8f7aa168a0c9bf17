#include "tessaron/fileutils.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
// A folder name is one path level: no separators, not "." or "..".
bool isSingleFolderName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}
} // namespace

FileUtils::FileUtils(QObject *parent) : QObject(parent)
{
}

bool FileUtils::openUrl(const QString &path)
{
    return QDesktopServices::openUrl(QUrl(QStringLiteral("file:///") + path));
}

bool FileUtils::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool FileUtils::urlIsValid(const QUrl &url)
{
    return url.isValid();
}

QString FileUtils::getLocalPath(const QUrl &url)
{
    if (url.isLocalFile())
        return QDir::toNativeSeparators(url.toLocalFile());
    return url.toString();
}

QString FileUtils::getDownloadPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
}

QUrl FileUtils::getDownloadPathURL()
{
    return QUrl::fromLocalFile(getDownloadPath());
}

bool FileUtils::isDirWritable(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isWritable();
}

bool FileUtils::makeFolder(const QString &path, const QString &folder_name)
{
    // An empty path would be the working directory: never where the user meant to write.
    if (path.isEmpty() || !isSingleFolderName(folder_name))
        return false;
    QDir dir(path);
    return dir.exists() && dir.mkdir(folder_name);
}

bool FileUtils::makeFolder(const QUrl &path, const QString &folder_name)
{
    if (!path.isLocalFile())
        return false;
    return makeFolder(path.toLocalFile(), folder_name);
}

QString FileUtils::makeFolderTimestamp(const QString &path, const QString &folder_name)
{
    const QString name = folder_name + getCurrentTimestamp();
    if (!makeFolder(path, name))
        return QString();
    return QDir::toNativeSeparators(path + QLatin1Char('/') + name);
}

QString FileUtils::getCurrentTimestamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddThhmmss"));
}

bool FileUtils::folderExixsts(const QString &path, const QString &folder_name)
{
    const QString joined = path.endsWith(QLatin1Char('/')) ? path + folder_name
                                                           : path + QLatin1Char('/') + folder_name;
    return QFileInfo::exists(joined);
}
