#pragma once
// What the threshold tests share: a virtual board opened in the process with its threshold
// DACs and its raw-input counter, and a collector of log messages from any thread.

#include <QObject>
#include <QPair>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "tdc/programmablethreshold.h"
#include "tdc/tdcbackend.h"
#include "tdc/tdcfennick.h"
#include "tdc/tdcmodule.h"

struct ThresholdBoard {
    std::unique_ptr<TDCBackend> backend;
    ProgrammableThreshold *dac = nullptr;
    TDCFennick *rawCounter = nullptr;
    std::uint32_t channels = 0;
    QObject parent; // stands in for the backend wrapper and its "numCh"

    // Empty on success, else what went wrong.
    QString open()
    {
        qputenv("TESSARON_VIRTUAL_BOARDS", "1");
        backend = std::make_unique<TDCBackend>();
        const auto devices = backend->getDevices().first;
        if (devices.empty())
            return QStringLiteral("no virtual board listed");
        if (backend->open(devices.front(), {{"baudrate", "2000000"}}, 5000))
            return QStringLiteral("the virtual board does not open");
        backend->loadModules(0);
        for (TessaronModule *module : backend->getModules()) {
            if (!dac)
                dac = dynamic_cast<ProgrammableThreshold *>(module);
            if (auto *counter = dynamic_cast<TDCFennick *>(module); counter && counter->inputLogic() != 0)
                rawCounter = counter;
            if (auto *tdc = dynamic_cast<TDCModule *>(module); tdc && !channels)
                channels = tdc->numChannels();
        }
        if (!dac || !rawCounter || channels < 6)
            return QStringLiteral("the virtual board lacks threshold DACs, a raw-input counter or channels");
        parent.setProperty("numCh", channels);
        return {};
    }

    // Events per second the board counts on `channel` over about `seconds`, from the raw-input
    // counter's own pushes.
    double rate(std::uint16_t channel, double seconds = 0.4)
    {
        std::mutex mutex;
        std::condition_variable done;
        double counted = 0, elapsed = 0;
        rawCounter->setIntegrationTime(0.1);
        rawCounter->setCallback([&](std::mutex &library, std::chrono::duration<double> dt,
                                    const std::vector<std::uint32_t> &counts) {
            std::lock_guard<std::mutex> libraryLock(library);
            std::lock_guard<std::mutex> lock(mutex);
            if (channel < counts.size() && elapsed < seconds) {
                counted += counts[channel];
                elapsed += dt.count();
            }
            done.notify_all();
        });
        rawCounter->setAutoPush(true);
        {
            std::unique_lock<std::mutex> lock(mutex);
            done.wait_for(lock, std::chrono::seconds(20), [&] { return elapsed >= seconds; });
        }
        rawCounter->setAutoPush(false);
        rawCounter->setCallback({});
        std::lock_guard<std::mutex> lock(mutex);
        return elapsed > 0 ? counted / elapsed : -1;
    }
};

// Collects every message of the process, from every thread.
class MessageLog {
public:
    MessageLog() { instance() = this; previous_ = qInstallMessageHandler(&MessageLog::handle); }
    ~MessageLog()
    {
        qInstallMessageHandler(previous_);
        instance() = nullptr;
    }
    QStringList all(QtMsgType type) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        QStringList list;
        for (const auto &m : messages_)
            if (m.first == type)
                list << m.second;
        return list;
    }
    QStringList matching(const QString &text) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        QStringList list;
        for (const auto &m : messages_)
            if (m.second.contains(text))
                list << m.second;
        return list;
    }

private:
    static MessageLog *&instance()
    {
        static MessageLog *log = nullptr;
        return log;
    }
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        MessageLog *log = instance();
        if (!log)
            return;
        {
            std::lock_guard<std::mutex> lock(log->mutex_);
            log->messages_.append({type, message});
        }
        if (log->previous_)
            log->previous_(type, context, message);
    }

    mutable std::mutex mutex_;
    QVector<QPair<QtMsgType, QString>> messages_;
    QtMessageHandler previous_ = nullptr;
};
