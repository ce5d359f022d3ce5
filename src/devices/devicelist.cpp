#include "devices/devicelist.h"

#include "devices/fileio.h"
#include "devices/hextext.h"

namespace tessaly {
namespace {

using Field = std::string DeviceEntry::*;

struct DefinitionKeyword {
    const char* word;
    AlgDefs DeviceList::*table;
};

// Tested in this order; the first match decides.
const DefinitionKeyword definition_keywords[] = {
    {"erasealgdef", &DeviceList::erasealgdefs},
    {"programalgdef", &DeviceList::programalgdefs},
    {"readalgdef", &DeviceList::readalgdefs},
    {"blankcheckalgdef", &DeviceList::blankcheckalgdefs},
    {"verifyalgdef", &DeviceList::verifyalgdefs},
};

struct FieldKey {
    const char* key;
    Field field;
};

const FieldKey field_keys[] = {
    {"flash:", &DeviceEntry::devflash},
    {"eeprom:", &DeviceEntry::deveeprom},
    {"configerased:", &DeviceEntry::devconfigerased},
    {"config2used:", &DeviceEntry::devconfig2used},
    {"voltageseq:", &DeviceEntry::devvoltageseq},
    {"progtime:", &DeviceEntry::devprogtime},
    {"pagesize:", &DeviceEntry::devpagesize},
};

struct ReferenceKey {
    const char* key;
    Field field;
    AlgDefs DeviceList::*table;
};

const ReferenceKey reference_keys[] = {
    {"erasealg:", &DeviceEntry::deverasealg, &DeviceList::erasealgdefs},
    {"programalg:", &DeviceEntry::devprogramalg, &DeviceList::programalgdefs},
    {"readalg:", &DeviceEntry::devreadalg, &DeviceList::readalgdefs},
    {"blankcheckalg:", &DeviceEntry::devblankcheckalg, &DeviceList::blankcheckalgdefs},
    {"verifyalg:", &DeviceEntry::devverifyalg, &DeviceList::verifyalgdefs},
};

// A definition number, or -1 when it names none of the slots.
int slot_number(const std::string& text) {
    const std::int32_t n = leading_number(text);
    return (n >= 0 && n < algdef_slots) ? n : -1;
}

bool apply_definition(DeviceList& list, const std::string& line, const std::string& head,
                      std::size_t sp) {
    for (const auto& kw : definition_keywords) {
        if (head != kw.word) continue;
        const int n = slot_number(line.substr(sp + 1));
        if (n < 0) return true;  // a number outside the slots: the line is ignored
        // The text starts two characters after the first colon; the character
        // right after the colon is skipped whatever it is.
        const std::size_t co = line.find(':');
        const std::size_t from = (co == std::string::npos) ? 1 : co + 2;
        (list.*kw.table)[static_cast<std::size_t>(n)] = from < line.size() ? line.substr(from) : "";
        return true;
    }
    return false;
}

void apply_key(DeviceList& list, const std::string& line, const std::string& head,
               std::size_t sp) {
    const std::string value = line.substr(sp + 1);
    if (head == "model:") {
        ++list.devcount;
        list.entries.emplace_back();
        list.entries.back().devmodel = value;
        return;
    }
    DeviceEntry& entry = list.entries.back();
    for (const auto& fk : field_keys) {
        if (head == fk.key) {
            entry.*fk.field = value;
            return;
        }
    }
    for (const auto& rk : reference_keys) {
        if (head == rk.key) {
            const int n = slot_number(value);
            if (n >= 0) entry.*rk.field = (list.*rk.table)[static_cast<std::size_t>(n)];
            return;
        }
    }
}

void parse_line(DeviceList& list, const std::string& line) {
    const std::size_t sp = line.find(' ');
    // A line without a blank has neither a definition number nor a value.
    if (line.empty() || sp == std::string::npos) return;
    const std::string lower = to_lower(line);
    if (apply_definition(list, line, lower.substr(0, sp), sp)) return;
    const std::size_t co = lower.find(':');
    if (co == std::string::npos) return;
    apply_key(list, line, lower.substr(0, co + 1), sp);
}

}  // namespace

DeviceList parse_devices(const std::string& text) {
    DeviceList list;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            parse_line(list, line);
            line.clear();
        } else {
            line += c;
        }
    }
    parse_line(list, line);
    return list;
}

LoadResult load_devices(const std::string& path, DeviceList& list) {
    list = DeviceList{};
    std::string bytes;
    if (!read_file(path, bytes)) return LoadResult::unreadable;
    list = parse_devices(bytes);
    return list.devcount > 0 ? LoadResult::loaded : LoadResult::no_devices;
}

}  // namespace tessaly
