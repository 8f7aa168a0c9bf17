#pragma once
// Writes files on a few threads of its own, so a time-trigger run can format and write its
// windows while the GUI thread goes on. Each job builds its text on a writer thread and appends
// it to its file.
//
// Order: jobs on one path never overlap and reach their file in posting order; so do jobs
// posted with the same serial key (for writers that share state between files, such as the
// combined file's grid). Jobs on different paths and keys run side by side. Completions are
// reported in posting order whatever order the threads finish in, through each job's callback
// (on a writer thread; the caller hops back to its own thread from there).
//
// Ownership: owned by the time-trigger model. The destructor lets every posted job finish and
// joins the threads. Threads: post, pending and waitIdle from any thread.

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class FileWriterQueue {
public:
    // Fills the text of the file; called on a writer thread.
    using Build = std::function<void(std::string &text)>;
    // ok is false when the file could not be opened or written; bytes is what was appended.
    using Done = std::function<void(const QString &path, bool ok, std::uint64_t bytes)>;

    // threads = 0 picks one per core, at least two and at most four: formatting is most of the
    // work, and on a loaded machine each thread gets its own share of the processors.
    explicit FileWriterQueue(unsigned threads = 0);
    ~FileWriterQueue();
    FileWriterQueue(const FileWriterQueue &) = delete;
    FileWriterQueue &operator=(const FileWriterQueue &) = delete;

    // serialKey empty: the path is the key.
    void post(const QString &path, Build build, Done done, const QString &serialKey = QString());
    // Jobs posted and not yet finished (their completion reported).
    std::size_t pending() const;
    // Blocks until every job posted so far has finished and been reported.
    void waitIdle();
    unsigned threads() const { return unsigned(m_threads.size()); }

private:
    struct Job {
        std::uint64_t sequence = 0;
        QString path;
        QString key;
        Build build;
        Done done;
    };
    struct Result {
        QString path;
        bool ok = false;
        std::uint64_t bytes = 0;
        Done done;
    };
    void run();
    void report(std::uint64_t sequence, Result result);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    std::set<QString> m_busyKeys;
    std::size_t m_unfinished = 0; // posted, completion not yet reported
    std::uint64_t m_nextSequence = 0;
    bool m_stopping = false;

    // Completions wait here until every earlier one has been reported. m_reportMutex is held
    // while callbacks run, so they never overlap and never run out of order.
    std::mutex m_reportMutex;
    std::map<std::uint64_t, Result> m_finished;
    std::uint64_t m_nextReport = 0;

    std::vector<std::thread> m_threads;
};
