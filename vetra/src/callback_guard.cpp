#include "callback_guard.h"

#include <cstdio>

namespace {

// The guard whose callback the current thread is running, if any. Callbacks may nest (an
// error report from inside a read handler), so each level restores the one before.
thread_local const callback_guard *current = nullptr;

} // namespace

callback_guard::running::running(const callback_guard *guard) noexcept : previous_(current)
{
    current = guard;
}

callback_guard::running::~running()
{
    current = previous_;
}

bool callback_guard::inside() const noexcept
{
    return current == this;
}

void callback_guard::report(const std::error_code &error, vetra::buffer_list buffers) const noexcept
{
    if (!onError_)
        return;
    const running mark(this);
    try {
        onError_(error, std::move(buffers));
    } catch (const std::exception &e) {
        // Reporting this through the error callback again could throw again: logged only.
        std::fprintf(stderr, "vetra: the error callback threw: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "vetra: the error callback threw\n");
    }
}

void callback_guard::caught(const char *what) const noexcept
{
    std::fprintf(stderr, "vetra: a callback threw: %s\n", what ? what : "(not a standard exception)");
    report(make_error_code(vetraError::callback_threw), {});
}
