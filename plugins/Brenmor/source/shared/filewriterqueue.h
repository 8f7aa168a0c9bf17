#pragma once
// Writes files on a thread of its own, one job after the other in the order they were posted,
// so a time-trigger run can format and write its windows while the GUI thread goes on.
// Each job builds its text on the writer thread and appends it to its file; its completion
// is then reported, in posting order, through the job's callback (on the writer thread; the
// caller hops back to its own thread from there).
//
// Ownership: owned by the time-trigger model. The destructor lets every posted job finish and
// joins the thread. Threads: post, pending and waitIdle from any thread.

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class FileWriterQueue {
public:
    // Fills the text of the file; called on the writer thread.
    using Build = std::function<void(std::string &text)>;
    // ok is false when the file could not be opened or written; bytes is what was appended.
    using Done = std::function<void(const QString &path, bool ok, std::uint64_t bytes)>;

    FileWriterQueue();
    ~FileWriterQueue();
    FileWriterQueue(const FileWriterQueue &) = delete;
    FileWriterQueue &operator=(const FileWriterQueue &) = delete;

    void post(const QString &path, Build build, Done done);
    // Jobs posted and not yet finished.
    std::size_t pending() const;
    // Blocks until every job posted so far has finished.
    void waitIdle();

private:
    struct Job {
        QString path;
        Build build;
        Done done;
    };
    void run();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    std::size_t m_busy = 0;
    bool m_stopping = false;
    std::thread m_thread;
};
