#include "filewriterqueue.h"

#include <QDebug>

#include <exception>

#include "histogramtextfile.h"

FileWriterQueue::FileWriterQueue() : m_thread([this] { run(); })
{
}

FileWriterQueue::~FileWriterQueue()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void FileWriterQueue::post(const QString &path, Build build, Done done)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back({path, std::move(build), std::move(done)});
    }
    m_wake.notify_one();
}

std::size_t FileWriterQueue::pending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_jobs.size() + m_busy;
}

void FileWriterQueue::waitIdle()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && m_busy == 0; });
}

void FileWriterQueue::run()
{
    std::string text;
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty())
                return; // stopping, and everything posted is written
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            ++m_busy;
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
        }
        try {
            if (job.done)
                job.done(job.path, ok, ok ? std::uint64_t(text.size()) : 0);
        } catch (...) {
            qWarning().noquote() << "The completion of " + job.path + " failed";
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            --m_busy;
        }
        m_idle.notify_all();
        // A very large window should not pin its memory for the rest of the run.
        if (text.capacity() > (std::size_t(64) << 20))
            std::string().swap(text);
    }
}
