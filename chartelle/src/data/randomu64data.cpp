#include "data/randomu64data.h"

#include <QDebug>
#include <QRandomGenerator>

#include <algorithm>

RandomU64Data::RandomU64Data(QObject *parent)
    : Filter1D(parent)
{
    m_timer.setInterval(m_interval);
    m_timer.setSingleShot(!m_repeat);
    connect(&m_timer, &QTimer::timeout, this, &RandomU64Data::onTick);
    // A new area starts the histogram afresh.
    connect(this, &Filter1D::areaChanged, this, [this] { generate(true); });
    m_timer.start();
}

void RandomU64Data::setType(const QString &type)
{
    if (type == m_type)
        return;
    m_type = type;
    if (m_type != QLatin1String("normal") && m_type != QLatin1String("white"))
        qWarning().noquote() << QStringLiteral("RandomU64Data: unknown type \"%1\"; only \"normal\" and \"white\" produce data.").arg(m_type);
    generate(true);
    emit typeChanged();
}

void RandomU64Data::setAppend(bool append)
{
    if (append == m_append)
        return;
    m_append = append;
    emit appendChanged();
}

void RandomU64Data::setInterval(int interval)
{
    if (interval == m_interval)
        return;
    if (interval < 0) {
        qWarning("RandomU64Data: a negative interval was ignored.");
        return;
    }
    m_interval = interval;
    m_timer.setInterval(interval);
    emit intervalChanged();
}

void RandomU64Data::setRepeat(bool repeat)
{
    if (repeat == m_repeat)
        return;
    m_repeat = repeat;
    m_timer.setSingleShot(!repeat);
    emit repeatChanged();
}

void RandomU64Data::setRunning(bool running)
{
    if (running == m_running)
        return;
    m_running = running;
    if (running)
        m_timer.start(m_interval);
    else
        m_timer.stop();
    emit runningChanged();
}

void RandomU64Data::setNumBin(int numBin)
{
    if (numBin == m_numBin)
        return;
    if (numBin < 0) {
        qWarning("RandomU64Data: a negative number of bins was ignored.");
        return;
    }
    m_numBin = numBin;
    emit numBinChanged();
}

void RandomU64Data::onTick()
{
    generate(!m_append);
}

QVector<double> RandomU64Data::drawValues(int n)
{
    if (m_type == QLatin1String("normal")) {
        QVector<double> counts(n, 0.0);
        const std::normal_distribution<double>::param_type shape(n / 2, n / 8);
        for (int i = 0; i < 10000; ++i) {
            const double x = m_normal(m_generator, shape);
            if (x >= 0.0 && x < n)
                counts[static_cast<int>(x)] += 1.0;
        }
        return counts;
    }
    if (m_type == QLatin1String("white")) {
        QVector<double> values(n);
        QRandomGenerator *random = QRandomGenerator::global();
        for (double &v : values)
            v = random->generateDouble() * 100.0;
        return values;
    }
    return QVector<double>();
}

void RandomU64Data::generate(bool reset)
{
    const int n = m_numBin;
    const QVector<double> current = reset ? QVector<double>(n, 0.0) : m_data;
    const QVector<double> added = drawValues(n);
    QVector<double> sum(n, 0.0);
    // The current data may be shorter or longer than numBin after it changed: missing
    // bins count as empty, surplus bins are dropped.
    const int kept = std::min(n, current.size());
    for (int i = 0; i < kept; ++i)
        sum[i] = current[i];
    for (int i = 0; i < added.size(); ++i)
        sum[i] += added[i];
    setData(sum);
}
