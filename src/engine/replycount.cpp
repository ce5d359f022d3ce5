#include "engine/replycount.h"

#include <algorithm>

namespace tessaly {

ReplyCount::Arrival ReplyCount::arrive() {
    if (stale_ > 0) {
        --stale_;
        return Arrival::stale;
    }
    if (owed_ == 0) return Arrival::unrequested;
    --owed_;
    return Arrival::reply;
}

void ReplyCount::expect_nothing() {
    owed_ = 0;
    stale_ = 0;
}

void ReplyCount::set_aside(std::size_t dropped) {
    follow_session();
    stale_ = std::max<std::int64_t>(stale_ + owed_ - static_cast<std::int64_t>(dropped), 0);
    owed_ = 0;
}

void ReplyCount::follow_session() {
    if (line_.session() == session_) return;
    session_ = line_.session();
    expect_nothing();
}

}  // namespace tessaly
