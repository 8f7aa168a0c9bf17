#pragma once
// Every callback of the library's user runs through one guard. The library's threads (the
// transports' workers, the memory engine's timer threads) must never be ended by a user's
// exception: the guard catches it, logs its message, reports vetraError::callback_threw
// through the user's error callback and lets the thread go on with its next job.
//
// The guard also knows which library object is running a callback on the current thread, so
// that close and open called from inside a callback are refused (they would join the very
// thread they run on) instead of deadlocking.
//
// Threads: any; the guard itself is immutable after construction.

#include <vetra/vetra.h>

#include <exception>
#include <functional>
#include <system_error>
#include <utility>

class callback_guard {
public:
    explicit callback_guard(vetra::error_callback onError) : onError_(std::move(onError)) {}
    callback_guard(const callback_guard &) = delete;
    callback_guard &operator=(const callback_guard &) = delete;

    // Calls `f` with `args`; whatever it throws stays here.
    template <typename F, typename... A>
    void call(const F &f, A &&...args) const noexcept
    {
        const running mark(this);
        try {
            f(std::forward<A>(args)...);
        } catch (const std::exception &e) {
            caught(e.what());
        } catch (...) {
            caught(nullptr);
        }
    }

    // The user's function wrapped so that every call goes through the guard; an empty
    // function stays empty (the layers below treat that as "no handler"). The guard must
    // outlive the result: it lives as long as the library object, the wrapped functions
    // only as long as the engines it owns.
    template <typename... A>
    std::function<void(A...)> wrap(std::function<void(A...)> f) const
    {
        if (!f)
            return {};
        return [this, f = std::move(f)](A... args) { call(f, std::forward<A>(args)...); };
    }

    // Passes a link error to the user's error callback, if any.
    void report(const std::error_code &error, vetra::buffer_list buffers) const noexcept;

    // True when the current thread is inside a callback run by this guard.
    bool inside() const noexcept;

private:
    class running {
    public:
        explicit running(const callback_guard *guard) noexcept;
        ~running();
        running(const running &) = delete;
        running &operator=(const running &) = delete;

    private:
        const callback_guard *previous_;
    };

    void caught(const char *what) const noexcept;

    const vetra::error_callback onError_;
};
