// tessaly-sim as a child process for the benchmarks: started on a fresh
// pseudo-terminal with the options given, and its trace read back as the
// messages it received and the reply bytes it sent.
#pragma once

#include <QProcess>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::bench {

// One message as the simulator saw it: the bytes received, the bytes sent back.
struct Exchange {
    std::vector<std::uint8_t> out;
    std::size_t reply = 0;
};

struct Traffic {
    std::vector<Exchange> exchanges;
    std::int64_t bytes_out = 0;
    std::int64_t bytes_in = 0;
};

class SimProcess {
public:
    // model: a name of the device list; trace: "" for none; load: "" for a blank chip.
    SimProcess(const std::string& model, std::int64_t pace, const std::string& trace,
               const std::string& load);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& path() const { return path_; }

    // The trace lines written since the last call, as traffic.
    Traffic take_traffic();

private:
    QProcess process_;
    std::string path_;
    std::string trace_;
    std::int64_t trace_read_ = 0;
};

std::string bin_dir();
std::string device_list_path();

}  // namespace tessaly::bench
