#pragma once
// A replaceable handler shared by the whole program (message boxes, file
// dialogs). It is read under a lock and called outside it, so a handler may
// itself show a message or install another handler.
#include <mutex>
#include <utility>

namespace platform {

template <typename Handler>
class HandlerSlot {
public:
    Handler get() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return handler_;
    }

    // Installs `handler`; returns the previous one.
    Handler exchange(Handler handler)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::swap(handler_, handler);
        return handler;
    }

private:
    mutable std::mutex mutex_;
    Handler handler_;
};

} // namespace platform
