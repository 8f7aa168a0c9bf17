#pragma once
// A data source that loads one column of numbers from a text file, one bin per line, and
// feeds them down its filter chain. A file that cannot be read is reported in the log and in
// errorString and leaves the data as they were. GUI thread.
#include "chartelle/filter1d.h"

class SCSVReader : public Filter1D
{
    Q_OBJECT
    Q_PROPERTY(QString file READ file WRITE setFile NOTIFY fileChanged)
    Q_PROPERTY(double binWidth READ binWidth WRITE setBinWidth NOTIFY binWidthChanged)
    // Empty after a clean load; otherwise what went wrong with the last file.
    Q_PROPERTY(QString errorString READ errorString NOTIFY errorStringChanged)

public:
    explicit SCSVReader(QObject *parent = nullptr);

    QString file() const { return m_file; }
    // Stores the path (a local path or a "file:" URL) and loads it.
    void setFile(const QString &file);
    double binWidth() const { return m_binWidth; }
    // Chart x units per line; applies from the next load.
    void setBinWidth(double binWidth);
    QString errorString() const { return m_errorString; }

signals:
    void fileChanged();
    void binWidthChanged();
    void errorStringChanged();

private:
    void load();
    void setErrorString(const QString &error);

    QString m_file;
    double m_binWidth = 9.375e-12;
    QString m_errorString;
};
