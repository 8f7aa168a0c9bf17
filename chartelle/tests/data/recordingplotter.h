#pragma once
// A plotter that only writes down what a filter hands it, in order, into a log that several
// plotters and filters may share.
#include "chartelle/filter1d.h"
#include "chartelle/iplotter1d.h"

#include <QStringList>

class RecordingPlotter : public IPlotter1D
{
public:
    explicit RecordingPlotter(QString name, QStringList *log = nullptr)
        : m_label(std::move(name))
        , m_log(log)
    {
    }

    void setData(const QVector<double> &v) override
    {
        received = v;
        ++dataCalls;
        if (m_log)
            m_log->append(m_label + ".data");
    }
    void setPlotterArea(const QRectF &r) override
    {
        area = r;
        ++areaCalls;
        if (m_log)
            m_log->append(m_label + ".area");
    }

    QVector<double> received;
    QRectF area;
    int dataCalls = 0;
    int areaCalls = 0;

private:
    QString m_label;
    QStringList *m_log;
};

// A filter that logs the order in which it receives id, area and data.
class RecordingFilter : public Filter1D
{
public:
    explicit RecordingFilter(QString name, QStringList *log)
        : m_label(std::move(name))
        , m_log(log)
    {
    }

    void setDataID(const QString &id) override
    {
        m_log->append(m_label + ".id");
        Filter1D::setDataID(id);
    }
    void setArea(const QRectF &r) override
    {
        m_log->append(m_label + ".area");
        Filter1D::setArea(r);
    }
    void setData(const QVector<double> &v) override
    {
        m_log->append(m_label + ".data");
        Filter1D::setData(v);
    }

    using Filter1D::originalData;

private:
    QString m_label;
    QStringList *m_log;
};
