#pragma once
// The model of one counter hardware module: per-channel event rates with a short history.
//
// The device library calls the sample callback on its own receive thread. The callback only
// copies the counts (under the library's mutex) and posts them to the GUI thread; the
// histories are changed and read on the GUI thread alone, so QML never sees them half
// written.
//
// Ownership: the backend wrapper is the parent; the module belongs to the device library and
// is released (`releaseModule`) before it is destroyed, after which no setter reaches it.
// Threads: everything but the callback runs on the GUI thread.

#include <QString>
#include <QVector>

#include <cstdint>
#include <memory>
#include <vector>

#include "counterhistory.h"
#include "plugin-contract/tdcbaseextensionobject.h"

class TDCFennick;

class TDCCounterWrapper : public TDCBaseExtensionObject {
    Q_OBJECT
    Q_PROPERTY(double integrationTime READ integrationTime WRITE setIntegrationTime NOTIFY integrationTimeChanged)
    Q_PROPERTY(bool autopush READ autopush WRITE setAutopush NOTIFY autopushChanged)
    Q_PROPERTY(QVector<QVector<double>> counters READ counters NOTIFY countersChanged)
    Q_PROPERTY(double tdcClock READ tdcClock NOTIFY tdcClockChanged)
    Q_PROPERTY(uint integrationTick READ integrationTick WRITE setIntegrationTick NOTIFY integrationTickChanged)
    Q_PROPERTY(QString counterType READ counterType CONSTANT)

public:
    // `backend` is the parent; its "numCh" property gives the number of histories.
    TDCCounterWrapper(TDCFennick *module, QObject *backend);
    ~TDCCounterWrapper() override;

    double integrationTime() const { return m_integrationTime; }
    bool autopush() const { return m_autopush; }
    QVector<QVector<double>> counters() const { return m_history.histories(); }
    double tdcClock() const { return m_history.clock(); }
    uint integrationTick() const { return m_integrationTick; }
    QString counterType() const { return m_counterType; }

    void releaseModule() override;

signals:
    void integrationTimeChanged();
    void autopushChanged();
    void countersChanged();
    void tdcClockChanged();
    void integrationTickChanged();

public slots:
    void onDestruction();
    void setIntegrationTime(double integrationTime);
    void setAutopush(bool autopush);
    void setIntegrationTick(uint integrationTick);

private:
    struct Inbox;
    void installCallback();
    void applySample(double dt, const std::vector<std::uint32_t> &counts);

    TDCFennick *m_fennick;
    std::shared_ptr<Inbox> m_inbox;
    double m_integrationTime = 0.2;
    bool m_autopush = false;
    uint m_integrationTick = 100;
    CounterHistory m_history;
    QString m_counterType;
};
