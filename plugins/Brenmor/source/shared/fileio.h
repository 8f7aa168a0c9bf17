#pragma once
// File access for the histogram views (QML type "FileIO"): plain reads and writes of local
// paths (not URLs), file sizes, and the parameter file's text, parsing and save names.
// Threads: GUI thread (QML).

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

class FileIO : public QObject {
    Q_OBJECT
public:
    explicit FileIO(QObject *parent = nullptr);

public slots:
    // False when source is empty or cannot be opened; else truncates, writes, true.
    bool write(QString source, QString data);
    // A null text when source is empty or cannot be read; else the whole content.
    QString read(QString source);
    // Size in bytes, 0 when absent; 64-bit so that large files are not misreported.
    qulonglong getFileLength(QString path);

    // The parameter file's text for entries of the keys "name", "refPolarity", "refCH",
    // "measPolarity", "measCH", "leftBound", "rightBound", "binWidth", "refreshPeriod".
    QString parametersText(QVariantList entries);
    // {"ok": bool, "error": text, "entries": list}; not ok for anything but a list of objects.
    QVariantMap parseParameters(QString text);
    // folder + "/" + name with "." + extension appended unless already there.
    QString saveFilePath(QString folder, QString name, QString extension);
};
