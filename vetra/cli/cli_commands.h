#pragma once
// Runs one parsed vetra-cli command against a device. Results go to standard output, every
// failure as the error's own message to standard error.

#include "cli_args.h"

namespace vetra_cli {

// The process exit status: 0 on success, 1 on failure.
int run(const arguments &args);

} // namespace vetra_cli
