// kestrane-emu: serves one virtual Kestrane board on a pseudo-terminal until killed.
//   kestrane-emu --pty [--profile PATH] [--seed N] [--replay FILE...]
// Prints the terminal's path on the first line of standard output.

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <unistd.h>

#include "kestrane/board.h"
#include "kestrane/ptyserver.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int)
{
    stopRequested = 1;
}

int usage(const std::string &problem)
{
    if (!problem.empty())
        std::cerr << "kestrane-emu: " << problem << "\n";
    std::cerr << "usage: kestrane-emu --pty [--profile PATH] [--seed N] [--replay FILE...]\n"
                 "Serves one virtual Kestrane board on a pseudo-terminal and prints its path.\n"
                 "--replay plays recorded raw tag files (a split series in order) as the board's events.\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    bool pty = false;
    std::optional<std::string> profilePath;
    std::optional<std::uint64_t> seed;
    std::vector<std::string> replay;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--pty") {
            pty = true;
        } else if (arg == "--profile" && i + 1 < argc) {
            profilePath = argv[++i];
        } else if (arg == "--seed" && i + 1 < argc) {
            const std::string text = argv[++i];
            char *end = nullptr;
            errno = 0;
            const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || errno != 0 || text[0] == '-')
                return usage("--seed needs a whole number, not \"" + text + "\"");
            seed = v;
        } else if (arg == "--replay") {
            while (i + 1 < argc && std::string(argv[i + 1]).rfind("--", 0) != 0)
                replay.push_back(argv[++i]);
            if (replay.empty())
                return usage("--replay needs at least one file");
        } else if (arg == "--help" || arg == "-h") {
            usage("");
            return 0;
        } else {
            return usage("unknown argument \"" + arg + "\"");
        }
    }
    if (!pty)
        return usage("--pty is required");

    kestrane::Profile profile = kestrane::defaultProfile();
    if (profilePath) {
        std::string error;
        if (!kestrane::loadProfile(*profilePath, profile, error)) {
            std::cerr << "kestrane-emu: " << error << "\n";
            return 1;
        }
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    if (!replay.empty())
        profile.replay = replay;

    std::unique_ptr<kestrane::Board> owned;
    try {
        owned = std::make_unique<kestrane::Board>(profile, kestrane::wallClock(), seed);
    } catch (const std::exception &e) {
        std::cerr << "kestrane-emu: " << e.what() << "\n";
        return 1;
    }
    kestrane::Board &board = *owned;
    kestrane::PtyServer server(board);
    if (const auto ec = server.start()) {
        std::cerr << "kestrane-emu: cannot create a pseudo-terminal: " << ec.message() << "\n";
        return 1;
    }
    board.start();
    std::cout << server.path() << std::endl;

    while (!stopRequested)
        ::usleep(50000);
    board.stop();
    server.stop();
    return 0;
}
