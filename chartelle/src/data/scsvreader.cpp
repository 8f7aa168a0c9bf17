#include "data/scsvreader.h"

#include "filters/filtermath.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QUrl>

SCSVReader::SCSVReader(QObject *parent)
    : Filter1D(parent)
{
}

void SCSVReader::setFile(const QString &file)
{
    if (file == m_file)
        return;
    m_file = file;
    emit fileChanged();
    load();
}

void SCSVReader::setBinWidth(double binWidth)
{
    if (chartelle::datapath::fuzzyEqual(binWidth, m_binWidth))
        return;
    m_binWidth = binWidth;
    emit binWidthChanged();
}

void SCSVReader::setErrorString(const QString &error)
{
    if (error == m_errorString)
        return;
    m_errorString = error;
    emit errorStringChanged();
}

void SCSVReader::load()
{
    if (m_file.isEmpty()) {
        setErrorString(QString());
        return;
    }
    // QML file dialogs hand over URLs.
    const QString path = m_file.startsWith(QLatin1String("file:")) ? QUrl(m_file).toLocalFile() : m_file;
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QString reason = QFileInfo(path).isDir() ? QStringLiteral("it is a folder") : file.errorString();
        const QString error = QStringLiteral("Cannot open the data file \"%1\": %2.").arg(path, reason);
        qWarning().noquote() << "SCSVReader:" << error;
        setErrorString(error);
        return;
    }

    QVector<double> values;
    QTextStream in(&file);
    int badLines = 0;
    int firstBadLine = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        bool ok = false;
        double value = line.toDouble(&ok);
        if (!ok) {
            value = 0.0;
            // An empty line is an empty bin; anything else that is not a number is a fault
            // in the file, kept as 0.0 so the bins after it stay where they belong.
            if (!line.trimmed().isEmpty()) {
                ++badLines;
                if (firstBadLine == 0)
                    firstBadLine = values.size() + 1;
            }
        }
        values.append(value);
    }
    if (file.error() != QFileDevice::NoError) {
        const QString error = QStringLiteral("Cannot read the data file \"%1\": %2.").arg(path, file.errorString());
        qWarning().noquote() << "SCSVReader:" << error;
        setErrorString(error);
        return;
    }

    if (badLines > 0) {
        const QString error = QStringLiteral("%1 of %2 lines of the data file \"%3\" are not numbers (the first is line %4); they were read as 0.")
                                  .arg(badLines)
                                  .arg(values.size())
                                  .arg(path)
                                  .arg(firstBadLine);
        qWarning().noquote() << "SCSVReader:" << error;
        setErrorString(error);
    } else {
        setErrorString(QString());
    }
    setArea(QRectF(0.0, 0.0, values.size() * m_binWidth, 0.0));
    setData(values);
}
