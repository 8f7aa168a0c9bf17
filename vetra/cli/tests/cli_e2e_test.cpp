// vetra-cli run as a separate process against a scripted board on a pseudo-terminal.

#include "board_sim.h"

#include <vetra/multicobs.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>

extern char **environ;

namespace {

using namespace std::chrono_literals;

// One run of the tool; its output is collected while it runs.
class cli_process {
public:
    explicit cli_process(const std::vector<std::string> &args)
    {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        // The tool must not inherit the board's pseudo-terminal descriptors: a copy of the
        // master would keep the terminal up after the board has hung up.
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);
        std::vector<std::string> words{VETRA_CLI_PATH};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (auto &w : words)
            argv.push_back(&w[0]);
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, VETRA_CLI_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        if (rc != 0)
            throw std::runtime_error("cannot start vetra-cli");
        reader_ = std::thread([this, o = out[0], e = err[0]] { collect(o, e); });
    }

    ~cli_process()
    {
        if (!exited_) {
            kill(pid_, SIGKILL);
            finish(10s);
        }
        if (reader_.joinable())
            reader_.join();
    }

    // True once standard output holds `text`.
    bool waitForOutput(const std::string &text, std::chrono::milliseconds timeout = 20s)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return out_.find(text) != std::string::npos || eof_; })
               && out_.find(text) != std::string::npos;
    }

    // Waits for the exit (killing the tool after `timeout`) and returns its exit status,
    // or -1 when it had to be killed.
    int finish(std::chrono::milliseconds timeout = 30s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        bool killed = false;
        for (;;) {
            const pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_)
                break;
            if (std::chrono::steady_clock::now() > deadline && !killed) {
                kill(pid_, SIGKILL);
                killed = true;
            }
            std::this_thread::sleep_for(5ms);
        }
        exited_ = true;
        if (reader_.joinable())
            reader_.join();
        return killed || !WIFEXITED(status) ? -1 : WEXITSTATUS(status);
    }

    std::string out()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return out_;
    }
    std::string err()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return err_;
    }

private:
    void collect(int out, int err)
    {
        pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
        int open = 2;
        while (open > 0) {
            if (poll(fds, 2, 100) <= 0)
                continue;
            for (int k = 0; k < 2; ++k) {
                if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                char buffer[4096];
                const ssize_t n = ::read(fds[k].fd, buffer, sizeof buffer);
                std::lock_guard<std::mutex> lock(mutex_);
                if (n > 0) {
                    (k == 0 ? out_ : err_).append(buffer, static_cast<std::size_t>(n));
                } else if (n == 0 || errno != EINTR) {
                    ::close(fds[k].fd);
                    fds[k].fd = -1;
                    --open;
                }
                changed_.notify_all();
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        eof_ = true;
        changed_.notify_all();
    }

    pid_t pid_ = -1;
    std::atomic<bool> exited_{false};
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string out_, err_;
    bool eof_ = false;
};

struct outcome {
    int status;
    std::string out;
    std::string err;
};

outcome runCli(const std::vector<std::string> &args)
{
    cli_process p(args);
    const int status = p.finish();
    return {status, p.out(), p.err()};
}

class CliEndToEnd : public ::testing::Test {
protected:
    // The link options every run shares, followed by the command.
    std::vector<std::string> cli(std::vector<std::string> command, std::vector<std::string> options = {})
    {
        std::vector<std::string> args{"--device", "serial:" + board.portName() + "@115200", "--timeout",
                                      "5000"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), command.begin(), command.end());
        return args;
    }

    // Memory requests are answered (with `status` where the address says so); every packet
    // is also kept for the test.
    void answerMemory(std::map<std::uint32_t, std::uint32_t> statusByAddress = {}, bool silent = false)
    {
        board.setScript([this, statusByAddress, silent](board_sim &b, const board_sim::packet &p) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                seen.push_back(p);
            }
            if (silent || p.payload.size() < 3)
                return true;
            const auto s = statusByAddress.find(p.payload[1]);
            board_sim::answer(b, p, s == statusByAddress.end() ? 8 : s->second);
            return true;
        });
    }

    std::vector<board_sim::packet> packets()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return seen;
    }

    std::mutex mutex;
    std::vector<board_sim::packet> seen;
    // Last, so it goes first: its reader thread runs the script, which uses the members above.
    board_sim board;
};

} // namespace

TEST_F(CliEndToEnd, ReadPrintsOneWordPerLine)
{
    answerMemory();
    auto r = runCli(cli({"read", "0x1000", "3"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0x00001000\n0x00001001\n0x00001002\n");
    EXPECT_EQ(r.err, "");

    // Streams and burst type reach the request.
    r = runCli(cli({"read", "4096", "1", "--burst", "1"}, {"--read-stream", "5", "--write-stream", "6"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0x00001000\n");
    const auto sent = packets();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].stream, 1);
    EXPECT_EQ(sent[0].payload.at(2), 0x02000003u);
    EXPECT_EQ(sent[1].stream, 5);
    EXPECT_EQ(sent[1].payload.at(1), 0x1000u);
    EXPECT_EQ(sent[1].payload.at(2), 0x03000001u);
}

TEST_F(CliEndToEnd, BoardStatusesAndTimeOutsFailWithTheirOwnMessage)
{
    answerMemory({{0x20, 2}, {0x40, 4}});
    auto r = runCli(cli({"read", "0x20", "1"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "AXI decode error\n");
    EXPECT_EQ(r.out, "");

    r = runCli(cli({"write", "0x40", "7"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "AXI slave error\n");

    answerMemory({}, true);
    r = runCli({"--device", "serial:" + board.portName(), "--timeout", "50", "read", "0", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Timed out, no response received\n");
    EXPECT_EQ(r.out, "");
}

TEST_F(CliEndToEnd, WriteSendsTheWordsAndWaitsForTheResponse)
{
    answerMemory();
    auto r = runCli(cli({"write", "0x200", "0xdeadbeef", "17", "--burst", "1"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    const auto sent = packets();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].stream, 2);
    ASSERT_EQ(sent[0].payload.size(), 5u);
    EXPECT_EQ(sent[0].payload[1], 0x200u);
    EXPECT_EQ(sent[0].payload[2], 0x03000002u) << "two words, burst 1, response requested";
    EXPECT_EQ(sent[0].payload[3], 0xDEADBEEFu);
    EXPECT_EQ(sent[0].payload[4], 17u);
}

TEST_F(CliEndToEnd, SendWritesOneRawPacket)
{
    answerMemory({}, true);
    auto r = runCli(cli({"send", "9", "1", "0x2"}));
    EXPECT_EQ(r.status, 0) << r.err;
    r = runCli(cli({"send", "0x0a"}));
    EXPECT_EQ(r.status, 0) << r.err;
    // The board decodes in its own time; the tool only waited for the write.
    for (int i = 0; i < 400 && packets().size() < 2; ++i)
        std::this_thread::sleep_for(10ms);
    const auto sent = packets();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].stream, 9);
    EXPECT_EQ(sent[0].payload, (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(sent[1].stream, 10);
    EXPECT_TRUE(sent[1].payload.empty());
    EXPECT_EQ(board.badPackets(), 0);
}

TEST_F(CliEndToEnd, ListenPrintsPacketsAndReportsLinkErrorsWithoutStopping)
{
    // The board keeps talking: a corrupt packet, a packet on another stream, and one on the
    // stream listened to, over and over, until the tool has had enough.
    std::atomic<bool> stop{false};
    std::thread talker([&] {
        for (std::uint32_t n = 0; !stop; ++n) {
            auto corrupt = board_sim::logicalPacket(7, {0xBAD});
            corrupt.back() ^= 1;
            auto bytes = multicobs::encode({multicobs::const_words{corrupt.data(), corrupt.size()}});
            bytes.insert(bytes.end(), 4, 0);
            board.sendBytes(bytes);
            board.send(8, {0xFFFFFFFF});
            board.send(7, {n, 0xABCD0000});
            std::this_thread::sleep_for(20ms);
        }
    });
    auto r = runCli(cli({"listen", "7", "--count", "3"}));
    stop = true;
    talker.join();
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    int count = 0;
    long previous = -1;
    while (std::getline(lines, line)) {
        // "0x%08x 0xabcd0000": the counter word, then the fixed word.
        ASSERT_EQ(line.size(), 21u) << line;
        ASSERT_EQ(line.substr(0, 2), "0x") << line;
        ASSERT_EQ(line.substr(10), " 0xabcd0000") << line;
        const std::string digits = line.substr(2, 8);
        ASSERT_EQ(digits.find_first_not_of("0123456789abcdef"), std::string::npos) << line;
        const long n = std::stol(digits, nullptr, 16);
        EXPECT_GT(n, previous);
        previous = n;
        ++count;
    }
    EXPECT_EQ(count, 3);
    EXPECT_NE(r.err.find("Bad CRC value\n"), std::string::npos) << r.err;
}

TEST_F(CliEndToEnd, ListenEndsWhenTheLinkIsLost)
{
    std::atomic<bool> stop{false};
    std::thread talker([&] {
        while (!stop) {
            board.send(3, {1});
            std::this_thread::sleep_for(20ms);
        }
    });
    cli_process p(cli({"listen", "3"}));
    const bool listening = p.waitForOutput("0x00000001\n");
    stop = true;
    talker.join();
    ASSERT_TRUE(listening) << p.err();
    board.releaseSlave();
    board.closeMaster();
    EXPECT_EQ(p.finish(), 1);
    EXPECT_NE(p.err().find("Communication device"), std::string::npos) << p.err();
}

TEST(CliProcess, MissingDevicesAndBadArguments)
{
    auto r = runCli({"--device", "serial:/nonexistent/ttyX", "read", "0", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::make_error_code(std::errc::no_such_file_or_directory).message() + "\n");

    r = runCli({"--device", "d3xx:NO-SUCH-BRIDGE", "read", "0", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Device not found\n");

    r = runCli({"--device", "d3xx:X", "frobnicate"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "vetra-cli: unknown command 'frobnicate'\nTry 'vetra-cli --help'.\n");
    EXPECT_EQ(r.out, "");

    r = runCli({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("SPEC: serial:PATH[@BAUD] | d3xx:SERIAL | ftdi:SERIAL"), std::string::npos);

    // Whatever is attached to this machine, every listed device is one JSON object a line.
    r = runCli({"list"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line))
        EXPECT_TRUE(line.size() >= 2 && line.front() == '{' && line.back() == '}') << line;
}

TEST(CliProcess, ReadAndWriteWithoutTimeOutEndWhenTheLinkIsLost)
{
    const std::vector<std::vector<std::string>> commands{{"read", "0x10", "1"}, {"write", "0x10", "5"}};
    for (const auto &command : commands) {
        board_sim board;
        std::atomic<int> requests{0};
        // The request arrives and is never answered.
        board.setScript([&requests](board_sim &, const board_sim::packet &) {
            ++requests;
            return true;
        });
        std::vector<std::string> args{"--device", "serial:" + board.portName(), "--timeout", "0"};
        args.insert(args.end(), command.begin(), command.end());
        cli_process p(args);
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (requests == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        ASSERT_EQ(requests, 1) << command[0] << ": " << p.err();
        board.releaseSlave();
        board.closeMaster();
        EXPECT_EQ(p.finish(), 1) << command[0];
        EXPECT_NE(p.err().find("Communication device not connected"), std::string::npos) << p.err();
        EXPECT_EQ(p.out(), "");
    }
}
