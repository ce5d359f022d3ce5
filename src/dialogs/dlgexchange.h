// What a message or input box and its caller hand each other. Every box
// window holds its own record, so a box opened while another waits (from an
// event that runs during the modal wait) cannot overwrite the first one's.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

struct DlgExchange {
    std::string dlgtext;   // the message or the prompt
    std::string dlgvalue;  // input box: the default in, the text entered out
    std::int32_t dlgkind = 0;    // message box: 0, 4, 16, 64 or any other value
    std::int32_t dlgresult = 0;  // message box: 1 OK, 6 Yes, 7 No
};

}  // namespace tessaly
