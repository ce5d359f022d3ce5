// The program's icon: a small chip drawn in code, so no image file is needed.
#pragma once

#include <QIcon>

namespace tessaly {

QIcon program_icon();

}  // namespace tessaly
