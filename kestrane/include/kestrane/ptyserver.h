#pragma once
// Serves one board on a pseudo-terminal, for hosts that reach boards over a serial line.
// The host opens the terminal's path (path()); when it closes it, the board is told the host
// went away, and the next host may open the path again.
//
// Ownership: the server borrows the board, which must outlive it. Threads: one reader thread
// (start/stop) feeds the board; the board's output is written to the terminal from whichever
// thread emits it.

#include <atomic>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "kestrane/board.h"
#include "kestrane/wire.h"

namespace kestrane {

class PtyServer {
public:
    explicit PtyServer(Board &board);
    ~PtyServer();
    PtyServer(const PtyServer &) = delete;
    PtyServer &operator=(const PtyServer &) = delete;

    // Creates the terminal and starts serving it.
    std::error_code start();
    void stop();
    // The path a host opens, such as /dev/pts/3; empty before start().
    std::string path() const { return path_; }

private:
    void readLoop();
    void write(std::uint8_t stream, const std::vector<std::uint32_t> &payload);

    Board &board_;
    int master_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    std::thread reader_;
    std::mutex writeMutex_;
    wire::FrameReader frames_;
};

} // namespace kestrane
