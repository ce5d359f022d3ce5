// The smallest client the line allows: the pseudo-terminal opened raw, each
// message written whole, then a blocking wait for its reply bytes before the
// next. What the engine does per message is measured against it.
#pragma once

#include <string>
#include <vector>

#include "simprocess.h"

namespace tessaly::bench {

// Plays the exchanges on the device at path; returns the seconds taken, or a
// negative number when the line failed or a reply did not come within 5 s.
double run_raw_client(const std::string& path, const std::vector<Exchange>& exchanges);

}  // namespace tessaly::bench
