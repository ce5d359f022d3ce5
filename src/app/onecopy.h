// One copy of the program at a time: the start goes on only with the lock
// taken. A copy that already runs ends the start quietly; a lock that cannot
// be taken for any other reason is told to the user and ends it with an error.
#pragma once

#include "dialogs/boxes.h"
#include "platform/userplaces.h"

namespace tessaly {

// True when the start may go on; otherwise status is the exit status.
bool may_start(SingleInstance& instance, const Boxes& boxes, int& status);

}  // namespace tessaly
