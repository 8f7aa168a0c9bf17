#pragma once
// What the legacy tests share: the virtual boards of the process opened with their legacy
// histogrammers, a stand-in for the backend wrapper's board facts, and a log collector.

#include <QCoreApplication>
#include <QObject>
#include <QPair>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <memory>
#include <mutex>
#include <vector>

#include "tdc/tdcbackend.h"
#include "tdc/tdcmodule.h"
#include "tdc/tdcoldhistogrammermodule.h"

struct LegacyBoard {
    std::unique_ptr<TDCBackend> backend;
    TDCOldHistogrammerModule *legacy = nullptr;
    QObject facts; // "bitCoarse", "bitFine", "minBinWidth" as the backend wrapper has them
};

// Opens `count` virtual boards; empty on success, else what went wrong.
inline QString openLegacyBoards(std::vector<std::unique_ptr<LegacyBoard>> &boards, int count)
{
    for (int i = 0; i < count; ++i) {
        auto board = std::make_unique<LegacyBoard>();
        board->backend = std::make_unique<TDCBackend>();
        const auto devices = board->backend->getDevices().first;
        if (int(devices.size()) <= i)
            return QStringLiteral("fewer than %1 virtual boards listed").arg(count);
        if (board->backend->open(devices[std::size_t(i)], {}, 5000))
            return QStringLiteral("virtual board %1 does not open").arg(i);
        board->backend->loadModules(0);
        for (TessaronModule *module : board->backend->getModules()) {
            if (auto *legacy = dynamic_cast<TDCOldHistogrammerModule *>(module))
                board->legacy = legacy;
            if (auto *tdc = dynamic_cast<TDCModule *>(module)) {
                board->facts.setProperty("bitCoarse", tdc->coarseBits());
                board->facts.setProperty("bitFine", tdc->fineBits());
                board->facts.setProperty("minBinWidth", tdc->minBinWidth());
                board->facts.setProperty("numCh", tdc->numChannels());
            }
        }
        if (!board->legacy)
            return QStringLiteral("virtual board %1 has no legacy histogrammer").arg(i);
        boards.push_back(std::move(board));
    }
    return {};
}

// Collects every message of the process, from every thread, with the thread it came from.
class MessageLog {
public:
    struct Entry {
        QtMsgType type;
        QString text;
        bool guiThread;
    };
    MessageLog() { instance() = this; previous_ = qInstallMessageHandler(&MessageLog::handle); }
    ~MessageLog()
    {
        qInstallMessageHandler(previous_);
        instance() = nullptr;
    }
    std::vector<Entry> entries() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return entries_;
    }
    int count(const QString &text) const
    {
        int n = 0;
        for (const Entry &e : entries())
            n += e.text.contains(text) ? 1 : 0;
        return n;
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
            const bool onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
            log->entries_.push_back({type, message, onMainThread});
        }
        if (log->previous_ && type != QtDebugMsg)
            log->previous_(type, context, message);
    }

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    QtMessageHandler previous_ = nullptr;
};
