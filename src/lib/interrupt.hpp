// A caller's request to abandon a long computation (at the Python surface, a
// pending KeyboardInterrupt from Ctrl-C).
//
// The models count their work in units of about one ring or disk evaluation
// (0.1 to 0.3 us each) and consult the caller's check only once every PERIOD
// units, about a millisecond of work, so that the check costs nothing
// measurable.  A model that sees the request stops at once and returns the
// error INTERRUPTED; the caller, which made the check, knows why.
#pragma once

#include <cstdint>
#include <string_view>

#include "elliptic/result.hpp"

namespace halomag::models {

inline constexpr std::string_view INTERRUPTED = "interrupted";

class Interrupt {
public:
    // Returns true when the computation must stop now.
    using Check = bool (*)(void* context) noexcept;
    static constexpr std::int64_t PERIOD = 4096;

    Interrupt() noexcept = default;  // never stops
    Interrupt(Check check, void* context) noexcept : check_(check), context_(context) {}

    // Counts `work` units; true when the computation must stop.  Once it has
    // answered true it keeps answering true without asking again.
    bool operator()(std::int64_t work = 1) const noexcept {
        if (check_ == nullptr) return false;
        if (stopped_) return true;
        budget_ -= work;
        if (budget_ > 0) return false;
        budget_ = PERIOD;
        stopped_ = check_(context_);
        return stopped_;
    }

    bool stopped() const noexcept { return stopped_; }

private:
    Check check_ = nullptr;
    void* context_ = nullptr;
    mutable std::int64_t budget_ = PERIOD;
    mutable bool stopped_ = false;
};

[[nodiscard]] inline std::unexpected<Error> interrupted() noexcept {
    return std::unexpected<Error>(Error{INTERRUPTED});
}

}  // namespace halomag::models
