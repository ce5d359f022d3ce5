// tessaly-sim: the simulated programmer as a program of its own. It sets up the
// chip from the device list and the options, serves the line until it is told
// to stop, and writes its memory out last.
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "devices/device.h"
#include "devices/devicelist.h"
#include "devices/hextext.h"
#include "devices/settings.h"
#include "hexfile/hexreader.h"
#include "hexfile/hexwriter.h"
#include "line.h"
#include "options.h"
#include "protocol.h"
#include "simchip.h"

namespace {

using namespace tessaly;
using namespace tessaly::sim;

constexpr int exit_fault = 1;      // the line or the dump failed while serving
constexpr int exit_bad_start = 2;  // a bad option, device list, model or file

struct StartFault {
    std::string text;
};

std::string program_folder(const char* argv0) {
    std::vector<char> buffer(4096);
    const auto n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    std::string path = n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : argv0;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::int32_t find_model(const DeviceList& list, const std::string& name) {
    if (name.empty()) return 1;
    for (std::int32_t i = 1; i <= list.devcount; ++i) {
        if (to_lower(list.entries[i].devmodel) == to_lower(name)) return i;
    }
    return 0;
}

std::string model_names(const DeviceList& list) {
    std::string names;
    for (std::int32_t i = 1; i <= list.devcount; ++i) {
        names += (i > 1 ? ", " : "") + list.entries[i].devmodel;
    }
    return names;
}

std::string list_path(const SimOptions& options, const std::string& folder) {
    return options.device_list.empty() ? folder + "/" + devicelist_filename : options.device_list;
}

DeviceList load_list(const std::string& path) {
    DeviceList list;
    const LoadResult loaded = load_devices(path, list);
    if (loaded == LoadResult::unreadable) throw StartFault{"cannot read the device list " + path};
    if (loaded == LoadResult::no_devices) throw StartFault{"the device list " + path + " holds no model"};
    return list;
}

SelectedDevice select_model(const SimOptions& options, const std::string& folder) {
    const std::string path = list_path(options, folder);
    const DeviceList list = load_list(path);
    const std::int32_t index = find_model(list, options.model);
    if (index == 0) {
        throw StartFault{"no model '" + options.model + "' in " + path + " (models: " +
                         model_names(list) + ")"};
    }
    SelectedDevice dev;
    const std::string refusal = select_device(list, index, dev);
    if (!refusal.empty()) throw StartFault{"model " + list.entries[index].devmodel + ": " + refusal};
    return dev;
}

// The reader's messages go to stderr, one line per line of the box.
int print_box(const std::string& text, int) {
    std::string lines;
    for (char c : text) {
        if (c != '\r') lines += c;
    }
    std::cerr << "tessaly-sim: " << lines << "\n";
    return answer_ok;
}

void load_chip(const SimOptions& options, const SelectedDevice& dev, SimChip& chip) {
    if (options.load.empty()) return;
    ChipImage image;
    blank_buffers(dev, image);
    std::int32_t wordsloaded = 0;
    if (!read_hexfile(options.load, dev, image, wordsloaded, print_box)) {
        throw StartFault{"cannot load " + options.load};
    }
    chip.load_image(image);
}

// The trace is written out whenever the line falls idle, so what has been
// answered is in the file soon after, without a write between message and reply.
struct Trace {
    TraceSink sink;
    std::function<void()> flush;
};

Trace open_trace(const std::string& path) {
    if (path.empty()) return {};
    auto file = std::make_shared<std::ofstream>(path, std::ios::trunc);
    if (!*file) throw StartFault{"cannot write the trace file " + path};
    return {[file](const std::string& line) { *file << line << '\n'; },
            [file] { file->flush(); }};
}

std::string open_line(const SimOptions& options, SerialLine& line) {
    std::string path = options.port;
    std::string error;
    const bool opened = options.port.empty() ? line.open_pty(path, error)
                                             : line.open_port(options.port, options.baud, error);
    if (!opened) throw StartFault{error};
    return path;
}

bool dump_chip(const SimOptions& options, const SelectedDevice& dev, const SimChip& chip) {
    if (options.dump.empty()) return true;
    std::string error;
    if (write_hexfile(options.dump, dev, chip.image(), error)) return true;
    std::cerr << "tessaly-sim: " << error << "\n";
    return false;
}

// The model a start of Tessaly would select with these settings, so that a
// run command can serve the same one. The settings are only read: the file
// Tessaly would set aside or complete, with its box, is left for Tessaly.
int print_selected_model(const SimOptions& options, const char* argv0) {
    const DeviceList list = load_list(list_path(options, program_folder(argv0)));
    const SettingsStore settings(options.which_model, SettingsAccess::read_only);
    std::cout << list.entries[static_cast<std::size_t>(stored_model(settings, list.devcount))].devmodel
              << std::endl;
    return 0;
}

int run(const SimOptions& options, const char* argv0) {
    if (!options.which_model.empty()) return print_selected_model(options, argv0);
    const SelectedDevice dev = select_model(options, program_folder(argv0));
    SimChip chip(chip_shape(dev));
    if (options.flip_address >= dev.flashsize) {
        throw StartFault{"--flip-bit " + hex4h(options.flip_address) + " lies past the end of " +
                         dev.modelname + "'s FLASH (" + std::to_string(dev.flashsize) + " words)"};
    }
    chip.set_flip_address(options.flip_address);
    load_chip(options, dev, chip);
    const Trace trace = open_trace(options.trace);
    WireProtocol protocol(chip, options.faults, trace.sink);
    if (!catch_stop_signals()) throw StartFault{"cannot catch SIGTERM and SIGINT"};
    SerialLine line;
    std::cout << open_line(options, line) << std::endl;
    const std::string fault = serve(line, protocol, Pacing{options.pace, options.reply_delay_ms}, trace.flush);
    if (!fault.empty()) std::cerr << "tessaly-sim: " << fault << "\n";
    const bool dumped = dump_chip(options, dev, chip);
    return fault.empty() && dumped ? 0 : exit_fault;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    const std::string fault = parse_options({argv + 1, argv + argc}, options);
    if (!fault.empty()) {
        std::cerr << "tessaly-sim: " << fault << "\nTry 'tessaly-sim --help'.\n";
        return exit_bad_start;
    }
    if (options.help) {
        std::cout << usage_text();
        return 0;
    }
    try {
        return run(options, argv[0]);
    } catch (const StartFault& start) {
        std::cerr << "tessaly-sim: " << start.text << "\n";
        return exit_bad_start;
    }
}
