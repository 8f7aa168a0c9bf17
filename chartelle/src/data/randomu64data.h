#pragma once
// A data source of random histograms for trying charts without a board: "normal" draws
// 10 000 normally distributed samples per tick into numBin bins, "white" adds uniform noise
// in [0, 100) to every bin. With append set, ticks accumulate. The timer runs from
// construction on. GUI thread (timer-driven).
#include "chartelle/filter1d.h"

#include <QTimer>

#include <random>

class RandomU64Data : public Filter1D
{
    Q_OBJECT
    Q_PROPERTY(QString type READ type WRITE setType NOTIFY typeChanged)
    Q_PROPERTY(bool append READ append WRITE setAppend NOTIFY appendChanged)
    Q_PROPERTY(int interval READ interval WRITE setInterval NOTIFY intervalChanged)
    Q_PROPERTY(bool repeat READ repeat WRITE setRepeat NOTIFY repeatChanged)
    Q_PROPERTY(bool running READ running WRITE setRunning NOTIFY runningChanged)
    Q_PROPERTY(int numBin READ numBin WRITE setNumBin NOTIFY numBinChanged)

public:
    explicit RandomU64Data(QObject *parent = nullptr);

    QString type() const { return m_type; }
    void setType(const QString &type);
    bool append() const { return m_append; }
    void setAppend(bool append);
    int interval() const { return m_interval; }
    void setInterval(int interval);
    bool repeat() const { return m_repeat; }
    void setRepeat(bool repeat);
    bool running() const { return m_running; }
    void setRunning(bool running);
    int numBin() const { return m_numBin; }
    void setNumBin(int numBin);

signals:
    void typeChanged();
    void appendChanged();
    void intervalChanged();
    void repeatChanged();
    void numBinChanged();
    void runningChanged();

private:
    void onTick();
    // Adds one generation to the current data (or to zeros when reset) and feeds the sum on.
    void generate(bool reset);
    QVector<double> drawValues(int n);

    QString m_type = QStringLiteral("normal");
    bool m_append = true;
    int m_interval = 2500;
    bool m_repeat = true;
    bool m_running = true;
    int m_numBin = 1024;
    QTimer m_timer;
    std::mt19937 m_generator;
    std::normal_distribution<double> m_normal;
};
