#include "devices/settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "devices/fileio.h"
#include "devices/hextext.h"

namespace tessaly {
namespace {

// The file holds the registry's own export text:
//   REGEDIT4
//   <empty line>
//   [HKEY_CURRENT_USER\Software\Tessaly]
//   "Last Path"="/home/ann/hex/"
//   "Serial Port Number"=dword:00000003
// A value is kept as the bytes the registry would hold (a text with its NUL,
// a number as four bytes low first), so hand-written values of another type
// ("hex:33,00") read by the same rules as in the registry.
enum class Kind { text, dword, bytes };

struct Value {
    std::string name;
    Kind kind = Kind::bytes;
    std::string data;
};

using Values = std::vector<Value>;

const char* const header = "REGEDIT4";
const std::string section = std::string("[HKEY_CURRENT_USER\\") + settings_key + "]";
constexpr std::size_t text_buffer = 255;  // the longest text read back is 254 characters
constexpr std::size_t number_buffer = 4;

int hex_nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A quoted text starting at pos; pos is left after the closing quote.
std::optional<std::string> quoted(const std::string& line, std::size_t& pos) {
    if (pos >= line.size() || line[pos] != '"') return std::nullopt;
    std::string out;
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c == '\\' && pos + 1 < line.size() && (line[pos + 1] == '\\' || line[pos + 1] == '"')) {
            c = line[++pos];
        }
        out += c;
    }
    return std::nullopt;
}

std::optional<std::string> dword_bytes(const std::string& digits) {
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t v = 0;
    for (char c : digits) {
        const int d = hex_nibble(c);
        if (d < 0) return std::nullopt;
        v = v * 16 + static_cast<std::uint32_t>(d);
    }
    std::string out(4, '\0');
    for (std::size_t i = 0; i < 4; ++i) out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

// "33,00" into its bytes; an empty list is a value of zero bytes.
std::optional<std::string> hex_bytes(const std::string& list) {
    std::string out;
    std::size_t pos = 0;
    while (pos < list.size()) {
        const std::size_t comma = list.find(',', pos);
        const std::string item = list.substr(pos, comma == std::string::npos ? comma : comma - pos);
        if (item.size() != 2 || hex_nibble(item[0]) < 0 || hex_nibble(item[1]) < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(hex_nibble(item[0]) * 16 + hex_nibble(item[1]));
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return out;
}

std::optional<Value> parse_value(const std::string& line) {
    std::size_t pos = 0;
    Value v;
    auto name = quoted(line, pos);
    if (!name || pos >= line.size() || line[pos] != '=') return std::nullopt;
    v.name = *name;
    const std::string rest = line.substr(pos + 1);
    std::optional<std::string> data;
    if (!rest.empty() && rest[0] == '"') {
        std::size_t p = 0;
        data = quoted(rest, p);
        if (data && p != rest.size()) data.reset();
        if (data) *data += '\0';
        v.kind = Kind::text;
    } else if (rest.rfind("dword:", 0) == 0) {
        data = dword_bytes(rest.substr(6));
        v.kind = Kind::dword;
    } else if (rest.rfind("hex", 0) == 0) {
        const std::size_t colon = rest.find(':');
        if (colon != std::string::npos) data = hex_bytes(rest.substr(colon + 1));
    }
    if (!data) return std::nullopt;
    v.data = std::move(*data);
    return v;
}

// Splits into lines, dropping CR and joining hex lists continued with "\".
std::vector<std::string> file_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    bool joining = false;
    auto finish = [&]() {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (joining) {
            std::size_t i = 0;
            while (i < line.size() && line[i] == ' ') ++i;
            lines.back() += line.substr(i);
        } else {
            lines.push_back(line);
        }
        joining = !lines.back().empty() && lines.back().back() == '\\' &&
                  lines.back().find("=hex") != std::string::npos;
        if (joining) lines.back().pop_back();
        line.clear();
    };
    for (char c : text) {
        if (c == '\n') {
            finish();
        } else {
            line += c;
        }
    }
    if (!line.empty()) finish();
    return lines;
}

std::optional<Values> parse_file(const std::string& text) {
    const auto lines = file_lines(text);
    if (lines.empty() || lines[0] != header) return std::nullopt;
    Values values;
    bool in_section = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line != section) return std::nullopt;
            in_section = true;
            continue;
        }
        if (!in_section) return std::nullopt;
        if (line.size() > 2 && line.compare(line.size() - 2, 2, "=-") == 0) continue;  // deleted
        auto v = parse_value(line);
        if (!v) return std::nullopt;
        values.push_back(std::move(*v));
    }
    return values;
}

std::string escaped(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string hex_list(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (i > 0) out += ',';
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
    return out;
}

// Four or fewer bytes, low first, as a number (missing high bytes are 0).
std::uint32_t le_number(const std::string& bytes) {
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i) {
        n |= std::uint32_t(std::uint8_t(bytes[i])) << (8 * i);
    }
    return n;
}

// A text that the quoted form cannot carry on one line (a line break or a NUL
// inside) is written as its bytes, which reads back the same.
std::string render_value(const Value& v) {
    const std::string name = escaped(v.name) + "=";
    if (v.kind == Kind::text && !v.data.empty() && v.data.back() == '\0') {
        const std::string text = v.data.substr(0, v.data.size() - 1);
        if (text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) {
            return name + escaped(text);
        }
    }
    if (v.kind == Kind::dword && v.data.size() == 4) {
        char buf[9];
        std::snprintf(buf, sizeof buf, "%08x", le_number(v.data));
        return name + "dword:" + buf;
    }
    return name + "hex:" + hex_list(v.data);
}

// The values as stored; a file that exists but cannot be read or parsed reads
// as holding none.
Values load_values(const std::string& path, bool& damaged) {
    damaged = false;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return {};
    std::string text;
    auto values = read_file(path, text) ? parse_file(text) : std::nullopt;
    if (values) return *values;
    damaged = true;
    return {};
}

const Value* find_value(const Values& values, const std::string& name) {
    for (const auto& v : values) {
        if (v.name == name) return &v;
    }
    return nullptr;
}

// Puts value in place of the one of its name, or adds it at the end.
void put_value(Values& values, Value value) {
    for (auto& v : values) {
        if (v.name == value.name) {
            v = std::move(value);
            return;
        }
    }
    values.push_back(std::move(value));
}

void drop_value(Values& values, const std::string& name) {
    values.erase(std::remove_if(values.begin(), values.end(),
                                [&name](const Value& v) { return v.name == name; }),
                 values.end());
}

// What the file holds, with the writes held in memory in place of its own.
Values current_values(const std::string& path, const Values& held) {
    bool damaged = false;
    Values values = load_values(path, damaged);
    for (const auto& v : held) put_value(values, v);
    return values;
}

std::string bad_name(const std::string& path, int n) {
    return path + ".bad" + (n == 0 ? std::string() : "." + std::to_string(n));
}

// Moves a damaged file to the first of its kept names that is free. False,
// with why, when it has to stay where it is.
bool set_aside(const std::string& path, const SettingsStore::Notices& notices, std::string& why) {
    for (int n = 0; n < settings_bad_names; ++n) {
        const std::string bad = bad_name(path, n);
        if (rename_to_free_name(path, bad)) {
            if (notices.set_aside) notices.set_aside(bad);
            return true;
        }
        if (errno != EEXIST) {
            why = path + ": it cannot be read and could not be kept aside (" + std::strerror(errno) +
                  "), so it is left as it is.";
            return false;
        }
    }
    why = path + ": it cannot be read, and every name to keep it aside under up to " +
          bad_name(path, settings_bad_names - 1) + " is taken, so it is left as it is.";
    return false;
}

std::string file_text(const Values& values) {
    std::string text = std::string(header) + "\n\n" + section + "\n";
    for (const auto& v : values) text += render_value(v) + "\n";
    return text;
}

std::string settings_path(const std::string& folder) {
    return (std::filesystem::path(folder) / settings_filename).string();
}

// False, with why, when the value was not stored.
bool write_value(const std::string& folder, Value value, const SettingsStore::Notices& notices,
                 std::string& why) {
    const std::string path = settings_path(folder);
    bool damaged = false;
    Values values = load_values(path, damaged);
    // Keep what we could not read for the user rather than overwrite it.
    if (damaged && !set_aside(path, notices, why)) return false;
    put_value(values, std::move(value));
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        why = path + ": " + ec.message();
        return false;
    }
    return replace_file(path, file_text(values), &why);
}

Value text_value(const std::string& name, const std::string& text) {
    return Value{name, Kind::text, text + '\0'};
}

Value number_value(const std::string& name, std::int32_t n) {
    std::string data(4, '\0');
    const auto u = static_cast<std::uint32_t>(n);
    for (std::size_t i = 0; i < 4; ++i) data[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
    return Value{name, Kind::dword, data};
}

// A value the file took needs holding no longer; one it did not take is held,
// so that the run goes on with it.
void store_value(const std::string& folder, SettingsAccess access, const SettingsStore::Notices& notices,
                 Values& held, Value value) {
    const bool writing = access == SettingsAccess::read_write;
    std::string why;
    if (writing && write_value(folder, value, notices, why)) {
        drop_value(held, value.name);
        return;
    }
    put_value(held, std::move(value));
    if (writing && notices.not_stored) notices.not_stored(why);
}

}  // namespace

struct SettingsStore::Held {
    Values values;
};

SettingsStore::SettingsStore(std::string folder, SettingsAccess access)
    : folder_(std::move(folder)), access_(access), held_(std::make_shared<Held>()) {}

std::string SettingsStore::file_path() const { return settings_path(folder_); }

std::string SettingsStore::reg_getstring(const std::string& name, const std::string& def) const {
    const Values values = current_values(file_path(), held_->values);
    const Value* v = find_value(values, name);
    if (v && v->data.size() <= text_buffer) {
        // The stored text without its final NUL; a value of no bytes reads as "".
        return v->data.empty() ? std::string() : v->data.substr(0, v->data.size() - 1);
    }
    reg_setstring(name, def);
    return def;
}

std::int32_t SettingsStore::reg_getlong(const std::string& name, std::int32_t def) const {
    const Values values = current_values(file_path(), held_->values);
    const Value* v = find_value(values, name);
    if (v && v->data.size() <= number_buffer) {
        return static_cast<std::int32_t>(le_number(v->data));
    }
    reg_setlong(name, def);
    return def;
}

void SettingsStore::reg_setstring(const std::string& name, const std::string& value) const {
    store_value(folder_, access_, notices_, held_->values, text_value(name, value));
}

void SettingsStore::reg_setlong(const std::string& name, std::int32_t value) const {
    store_value(folder_, access_, notices_, held_->values, number_value(name, value));
}

std::int32_t stored_model(const SettingsStore& settings, std::int32_t devcount) {
    const std::int32_t index = leading_number(settings.reg_getstring(set_model, "1"));
    if (index >= 1 && index <= devcount) return index;
    settings.reg_setstring(set_model, "1");
    return 1;
}

}  // namespace tessaly
