#include "simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tessaly::bench {

std::string bin_dir() { return QCoreApplication::applicationDirPath().toStdString(); }

std::string device_list_path() { return bin_dir() + "/quarndevices.txt"; }

SimProcess::SimProcess(const std::string& model, std::int64_t pace, const std::string& trace,
                       const std::string& load)
    : trace_(trace) {
    QStringList args{"--model", QString::fromStdString(model), "--device-list",
                     QString::fromStdString(device_list_path())};
    if (pace > 0) args << "--pace" << QString::number(pace);
    if (!trace.empty()) args << "--trace" << QString::fromStdString(trace);
    if (!load.empty()) args << "--load" << QString::fromStdString(load);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QString::fromStdString(bin_dir() + "/tessaly-sim"), args);
    if (!process_.waitForStarted(5000)) throw std::runtime_error("tessaly-sim did not start");
    QElapsedTimer waited;
    waited.start();
    while (!process_.canReadLine() && waited.elapsed() < 5000) process_.waitForReadyRead(100);
    path_ = process_.readLine().trimmed().toStdString();
    if (path_.empty()) throw std::runtime_error("tessaly-sim named no line");
}

SimProcess::~SimProcess() {
    process_.terminate();
    process_.waitForFinished(5000);
}

namespace {

// The leading two-digit hex tokens of a trace line after "rx #n:" or "tx #n:".
std::vector<std::uint8_t> trace_bytes(const std::string& line) {
    std::vector<std::uint8_t> bytes;
    std::istringstream words(line.substr(line.find(':') + 1));
    std::string word;
    while (words >> word && word.size() == 2 && std::isxdigit(static_cast<unsigned char>(word[0])) &&
           std::isxdigit(static_cast<unsigned char>(word[1]))) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(word, nullptr, 16)));
    }
    return bytes;
}

}  // namespace

Traffic SimProcess::take_traffic() {
    Traffic traffic;
    std::ifstream in(trace_);
    in.seekg(trace_read_);
    std::string line;
    while (std::getline(in, line)) {
        trace_read_ += static_cast<std::int64_t>(line.size()) + 1;
        const auto bytes = trace_bytes(line);
        if (line.rfind("rx ", 0) == 0) {
            traffic.bytes_out += static_cast<std::int64_t>(bytes.size());
            traffic.exchanges.push_back({bytes, 0});
        } else if (line.rfind("tx ", 0) == 0 && !traffic.exchanges.empty()) {
            traffic.bytes_in += static_cast<std::int64_t>(bytes.size());
            traffic.exchanges.back().reply += bytes.size();
        }
    }
    return traffic;
}

}  // namespace tessaly::bench
