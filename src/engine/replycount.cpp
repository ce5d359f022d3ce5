#include "engine/replycount.h"

namespace tessaly {

void ReplyCount::received() {
    if (owed_ > 0) --owed_;
}

}  // namespace tessaly
