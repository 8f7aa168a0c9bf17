#include "fileio.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include "parameterfile.h"

FileIO::FileIO(QObject *parent) : QObject(parent)
{
}

bool FileIO::write(QString source, QString data)
{
    if (source.isEmpty())
        return false;
    QFile file(source);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    const QByteArray bytes = data.toUtf8();
    return file.write(bytes) == bytes.size();
}

QString FileIO::read(QString source)
{
    if (source.isEmpty())
        return QString();
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    return QString::fromUtf8(file.readAll());
}

qulonglong FileIO::getFileLength(QString path)
{
    const QFileInfo info(path);
    return info.exists() ? qulonglong(info.size()) : 0;
}

QString FileIO::parametersText(QVariantList entries)
{
    return paramfile::toText(entries);
}

QVariantMap FileIO::parseParameters(QString text)
{
    const paramfile::Parsed parsed = paramfile::parse(text);
    return {{QStringLiteral("ok"), parsed.ok},
            {QStringLiteral("error"), parsed.error},
            {QStringLiteral("entries"), parsed.entries}};
}

QString FileIO::saveFilePath(QString folder, QString name, QString extension)
{
    return paramfile::savePath(folder, name, extension);
}
