// The Open and Save flows of the main window, kept free of widgets: the window
// supplies a FileFlowHost (file chooser, message box, labels, lock, redraw) and
// the program-wide values the flows read and write. A load always replaces the
// whole image; a save never destroys the old file before the new one is complete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devices/device.h"
#include "devices/settings.h"

namespace tessaly {

enum class FileDialogKind { open, save };

// What the file dialog is to show. The filters are the dialog's named filters in
// the order offered, each as "Name (*.ext)".
struct FileRequest {
    FileDialogKind kind = FileDialogKind::open;
    std::string title;
    std::string initdir;  // the folder the dialog opens in
    std::vector<std::string> filters;
};

class FileFlowHost {
public:
    virtual ~FileFlowHost() = default;
    // The chosen full path, or "" when the user cancelled. The initial name is empty.
    virtual std::string choose_file(const FileRequest& request) = 0;
    virtual int show_msgbox(const std::string& text, int kind) = 0;
    virtual void set_label_hex(const std::string& text) = 0;
    virtual void set_label_status(const std::string& text) = 0;
    virtual void disable() = 0;
    virtual void enable() = 0;
    virtual void updatedisplay() = 0;
};

// The program-wide values the flows use; the caller owns them.
struct FileFlowContext {
    const SelectedDevice& curdevice;
    ChipImage& chipimage;
    std::string& lastpath;        // folder of the last file opened or saved, ending in "/"
    std::int32_t& wordsloaded;    // highest FLASH word address loaded plus 1
    const SettingsStore& settings;
    FileFlowHost& host;
};

// File > Open HEX File, and a click on the loaded-file labels.
void menuopen_Click(FileFlowContext& ctx);

// Loads lastpath + name over a blank image and shows the outcome.
void load_hexfile(FileFlowContext& ctx, const std::string& name);

// File > Save Buffer As.
void menusave_Click(FileFlowContext& ctx);

// A path that fits the file label: the last 70 characters after "... ".
std::string shorten_path(const std::string& path);

// wordsloaded / 1024 with a point, no leading zero, cut to four characters.
std::string kilowords_text(std::int32_t wordsloaded);

// The status line after a successful load.
std::string words_loaded_status(std::int32_t wordsloaded);

}  // namespace tessaly
