#include "engine/replycount.h"

#include "engine/wire.h"

namespace tessaly {

bool ReplyCount::write_byte(std::uint8_t byte) {
    if (!line_.write_byte(byte)) {
        data_left_ = 0;  // the rest of this message will not follow
        return false;
    }
    if (data_left_ > 0) {
        --data_left_;
        return true;
    }
    owed_ += (byte == cmd_read) ? read_reply_bytes : plain_reply_bytes;
    data_left_ = (byte == cmd_byte) ? 1 : (byte == cmd_word) ? 2 : 0;
    return true;
}

void ReplyCount::received() {
    if (owed_ > 0) --owed_;
}

}  // namespace tessaly
