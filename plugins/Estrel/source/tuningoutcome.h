#pragma once
// What the view makes of one channel's result of the board's threshold search.

#include <system_error>

enum class TuningOutcome {
    Applied,   // the channel sits in its plateau: show the new voltage
    Cancelled, // the run was aborted: nothing to tell
    Fixed,     // the channel's threshold cannot be tuned: nothing to tell
    Failed,    // no plateau, the board was lost, ...: warn the user
};

TuningOutcome tuningOutcome(const std::error_code &ec);
