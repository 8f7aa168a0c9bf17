#include "filewriterqueue.h"

#include <QDebug>

#include <algorithm>
#include <exception>

#include "histogramtextfile.h"

FileWriterQueue::FileWriterQueue(unsigned threads)
{
    if (threads == 0)
        threads = std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
    for (unsigned i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { run(); });
}

FileWriterQueue::~FileWriterQueue()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

void FileWriterQueue::post(const QString &path, Build build, Done done, const QString &serialKey)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back({m_nextSequence++, path, serialKey.isEmpty() ? path : serialKey, std::move(build),
                          std::move(done)});
        ++m_unfinished;
    }
    m_wake.notify_one();
}

std::size_t FileWriterQueue::pending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_unfinished;
}

void FileWriterQueue::waitIdle()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_unfinished == 0; });
}

void FileWriterQueue::run()
{
    std::string text;
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            // The first job whose key is free: a later job of a busy key waits behind the one
            // in progress, and an earlier job of a free key is always taken before a later one.
            std::deque<Job>::iterator next;
            m_wake.wait(lock, [&] {
                next = std::find_if(m_jobs.begin(), m_jobs.end(),
                                    [this](const Job &j) { return m_busyKeys.count(j.key) == 0; });
                return next != m_jobs.end() || (m_stopping && m_jobs.empty());
            });
            if (next == m_jobs.end())
                return; // stopping, and everything posted is written
            job = std::move(*next);
            m_jobs.erase(next);
            m_busyKeys.insert(job.key);
        }
        bool ok = false;
        text.clear();
        // Nothing may leave this thread: a failing job is a file not written.
        try {
            if (job.build)
                job.build(text);
            ok = histfile::appendToFile(job.path, text);
        } catch (const std::exception &e) {
            qWarning().noquote() << "Writing " + job.path + " failed: " + QString::fromUtf8(e.what());
        } catch (...) {
            qWarning().noquote() << "Writing " + job.path + " failed";
        }
        const std::uint64_t bytes = ok ? std::uint64_t(text.size()) : 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_busyKeys.erase(job.key);
        }
        // Another job of this key may now go.
        m_wake.notify_all();
        report(job.sequence, {job.path, ok, bytes, std::move(job.done)});
        // A very large window should not pin its memory for the rest of the run.
        if (text.capacity() > (std::size_t(64) << 20))
            std::string().swap(text);
    }
}

void FileWriterQueue::report(std::uint64_t sequence, Result result)
{
    std::size_t reported = 0;
    {
        std::lock_guard<std::mutex> lock(m_reportMutex);
        m_finished.emplace(sequence, std::move(result));
        for (auto it = m_finished.find(m_nextReport); it != m_finished.end(); it = m_finished.find(m_nextReport)) {
            try {
                if (it->second.done)
                    it->second.done(it->second.path, it->second.ok, it->second.bytes);
            } catch (...) {
                qWarning().noquote() << "The completion of " + it->second.path + " failed";
            }
            m_finished.erase(it);
            ++m_nextReport;
            ++reported;
        }
    }
    if (reported == 0)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_unfinished -= reported;
    }
    m_idle.notify_all();
}
