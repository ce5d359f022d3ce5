#include "app/onecopy.h"

#include <iostream>

#include "devices/crlf.h"

namespace tessaly {

bool may_start(SingleInstance& instance, const Boxes& boxes, int& status) {
    switch (instance.acquire()) {
    case LockOutcome::taken:
        return true;
    case LockOutcome::held:
        status = 0;
        return false;
    case LockOutcome::failed:
        break;
    }
    const std::string text = std::string("The lock file that keeps a second copy of Tessaly from "
                                         "starting could not be taken:") +
                             crlf + instance.path() + crlf + instance.reason() + ".";
    std::cerr << "tessaly: the lock file " << instance.path() << " could not be taken: "
              << instance.reason() << "\n";
    boxes.show_msgbox(text, box_error);
    status = 1;
    return false;
}

}  // namespace tessaly
