// Ownership of one operating-system handle (a socket, a serial port): the handle is closed, through
// the platform's table, when its owner is reset, given another handle, or destroyed, so that a
// module's state that holds one can be assigned afresh without losing a handle. The owner reads
// as the handle it holds wherever the plain handle is wanted. `Traits` names the handle type, its
// invalid value and the close operation.
#pragma once

#include <utility>

template <typename Traits>
class PlatOwned {
public:
    using Handle = typename Traits::Handle;

    PlatOwned() = default;
    explicit PlatOwned(Handle h) noexcept : h_(h) {}
    PlatOwned(PlatOwned&& other) noexcept : h_(other.release()) {}
    PlatOwned& operator=(PlatOwned&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    // Takes `h` over, closing the handle held before.
    PlatOwned& operator=(Handle h) noexcept
    {
        reset(h);
        return *this;
    }
    PlatOwned(const PlatOwned&) = delete;
    PlatOwned& operator=(const PlatOwned&) = delete;
    ~PlatOwned() { reset(); }

    operator Handle() const noexcept { return h_; }
    bool is_open() const noexcept { return h_ != Traits::invalid(); }
    // Closes the handle held, if any, and holds `h` instead.
    void reset(Handle h = Traits::invalid()) noexcept
    {
        Handle old = std::exchange(h_, h);
        if (old != Traits::invalid() && old != h) Traits::close(old);
    }
    // Gives the handle up without closing it.
    Handle release() noexcept { return std::exchange(h_, Traits::invalid()); }

private:
    Handle h_ = Traits::invalid();
};
