#include "hexfile/hexflows.h"

#include <filesystem>
#include <system_error>

#include "devices/msgbox.h"
#include "hexfile/hexreader.h"
#include "hexfile/hexwriter.h"

namespace tessaly {

namespace {

const char* const open_title = "Select HEX File To Open";
const char* const save_title = "Save Buffer As";
// The dialogs read a filter's patterns from its parentheses: "*" is every file,
// "*.*" would hide the names without a dot.
const std::vector<std::string> hex_filters = {"Intel HEX files (*.hex)", "All files (*)"};
const char* const not_loaded_status = "HEX file not loaded!";
const char* const saved_status = "HEX file saved.";
const char* const not_saved_status = "HEX file not saved!";
constexpr std::size_t label_path_chars = 70;

// Asks for a file; on a choice, makes its folder the last path (stored at once)
// and returns the bare file name. Returns false when the user cancelled.
bool choose_and_remember(FileFlowContext& ctx, FileDialogKind kind, const char* title,
                         std::string& name) {
    const std::string chosen = ctx.host.choose_file({kind, title, ctx.lastpath, hex_filters});
    if (chosen.empty()) return false;
    const std::size_t slash = chosen.rfind('/');
    const std::size_t cut = slash == std::string::npos ? 0 : slash + 1;
    ctx.lastpath = chosen.substr(0, cut);
    name = chosen.substr(cut);
    ctx.settings.reg_setstring(set_lastpath, ctx.lastpath);
    return true;
}

bool is_utf8_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

void menuopen_Click(FileFlowContext& ctx) {
    std::string name;
    if (choose_and_remember(ctx, FileDialogKind::open, open_title, name)) load_hexfile(ctx, name);
}

void load_hexfile(FileFlowContext& ctx, const std::string& name) {
    ctx.host.disable();
    blank_buffers(ctx.curdevice, ctx.chipimage);
    ctx.wordsloaded = 0;
    const std::string path = ctx.lastpath + name;
    const MsgBox box = [&ctx](const std::string& text, int kind) { return ctx.host.show_msgbox(text, kind); };
    if (read_hexfile(path, ctx.curdevice, ctx.chipimage, ctx.wordsloaded, box)) {
        ctx.host.updatedisplay();
        ctx.host.set_label_hex(shorten_path(path));
        ctx.host.set_label_status(words_loaded_status(ctx.wordsloaded));
    } else {
        // The reader stops at the first bad record; what it stored before must go.
        blank_buffers(ctx.curdevice, ctx.chipimage);
        ctx.host.updatedisplay();
        ctx.host.set_label_hex("");
        ctx.host.set_label_status(not_loaded_status);
    }
    ctx.host.enable();
}

void menusave_Click(FileFlowContext& ctx) {
    std::string name;
    if (!choose_and_remember(ctx, FileDialogKind::save, save_title, name)) return;
    const std::string path = ctx.lastpath + name;
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec) &&
        ctx.host.show_msgbox("Do you want to overwrite file " + path + "?", box_yesno) == answer_no)
        return;
    ctx.host.disable();
    std::string error;
    const bool saved = write_hexfile(path, ctx.curdevice, ctx.chipimage, error);
    // The label names the file only once it holds the buffers.
    if (saved)
        ctx.host.set_label_hex(shorten_path(path));
    else
        ctx.host.show_msgbox(error, box_error);
    ctx.host.enable();
    ctx.host.set_label_status(saved ? saved_status : not_saved_status);
}

// Counts characters, not bytes, so that a UTF-8 path is never cut inside one.
std::string shorten_path(const std::string& path) {
    std::size_t chars = 0;
    for (std::size_t at = path.size(); at > 0; --at) {
        if (is_utf8_continuation(path[at - 1]) || ++chars < label_path_chars) continue;
        return at == 1 ? path : "... " + path.substr(at - 1);
    }
    return path;
}

std::string kilowords_text(std::int32_t wordsloaded) {
    std::int64_t value = wordsloaded;
    std::string text = value < 0 ? "-" : "";
    if (value < 0) value = -value;
    const std::int64_t whole = value / 1024;
    std::int64_t rest = value % 1024;
    if (whole > 0 || rest == 0) text += std::to_string(whole);
    if (rest > 0) text += '.';
    // x / 1024 has a finite decimal expansion, so this ends after ten digits.
    while (rest > 0 && text.size() < 4) {
        rest *= 10;
        text += static_cast<char>('0' + rest / 1024);
        rest %= 1024;
    }
    return text.substr(0, 4);
}

std::string words_loaded_status(std::int32_t wordsloaded) {
    return "Operation completed. Total " + std::to_string(wordsloaded) + " (" + kilowords_text(wordsloaded) +
           "K) program words loaded.";
}

}  // namespace tessaly
