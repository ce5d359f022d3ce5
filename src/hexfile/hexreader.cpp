#include "hexfile/hexreader.h"

#include <algorithm>
#include <array>
#include <deque>
#include <string_view>
#include <vector>

#include "devices/crlf.h"
#include "devices/fileio.h"
#include "devices/hextext.h"
#include "devices/memorymap.h"

namespace tessaly {

namespace {

const char* const errors_heading = "Input program file in Intel Hex Format contains errors.";
// The box that names a record line shows it whole up to this length, enough
// for 32 data bytes; a longer line is cut.
constexpr std::size_t shown_line_chars = 80;

// Indexed by error code; code 0 means no error.
const std::array<const char*, 12> error_texts = {
    "",
    ": The record does not begin with ':' simbol.",
    ": The record is too short.",
    ": Invalid 'checksum' field in the record.",
    ": Invalid 'record type' field in the record.",
    ": Invalid '04 type' record.",
    ": Invalid 'number of bytes' field in the record.",
    ": Invalid 'address' field in the record.",
    ": Field 'number of bytes' in the record must contain an even value.",
    ": Field 'address' in the record must contain an even value.",
    ": The record does not contain the specified number of bytes.",
    ": Invalid data byte in the record.",
};

enum RecordCode : int {
    rec_ok = 0,
    rec_bad_start = 1,
    rec_too_short = 2,
    rec_bad_checksum = 3,
    rec_bad_type = 4,
    rec_bad_upper = 5,
    rec_bad_count = 6,
    rec_bad_address = 7,
    rec_odd_count = 8,
    rec_odd_address = 9,
    rec_bad_length = 10,
    rec_bad_data = 11,
    rec_end_of_file = 100,
    rec_no_record = 101,  // a blank line or a comment
};

constexpr std::int64_t id_first = id_first_address, id_last = id_last_address;
constexpr std::int64_t device_id = device_id_address;
constexpr std::int64_t config1 = config1_address, config2 = config2_address;
constexpr std::int64_t eeprom_start = eeprom_address;
// One step of the upper address is 64K bytes, that is 8000h words.
constexpr std::int64_t upper_step = 0x8000;

// One line of the file that is not empty, and its own line number (1-based).
struct Line {
    std::string_view text;
    std::size_t number;
};

// Splits text as an editor does: CR LF, LF alone and CR alone each end one
// line. Empty lines hold no record, so only their count is kept, in the
// numbers of the lines after them. The views point into text.
std::vector<Line> split_lines(const std::string& text) {
    const std::string_view all(text);
    std::vector<Line> lines;
    std::size_t number = 1, start = 0;
    for (;;) {
        const std::size_t end = all.find_first_of("\r\n", start);
        const std::size_t stop = end == std::string_view::npos ? all.size() : end;
        if (stop > start) lines.push_back({all.substr(start, stop - start), number});
        if (end == std::string_view::npos) return lines;
        start = end + (all.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        ++number;
    }
}

// The word addresses that fell outside every buffer. Only the entries a warning
// can show are kept, so a file full of stray data costs no memory.
class OutOfRangeList {
public:
    void add(std::int64_t j) {
        ++count_;
        std::string entry = hex4(j) + ", ";
        if (first_.size() < shown_whole) first_.push_back(entry);
        last_.push_back(entry);
        if (last_.size() > tail_entries) last_.pop_front();
    }
    std::int64_t count() const { return count_; }
    std::string text() const {
        std::string out;
        if (count_ <= static_cast<std::int64_t>(shown_whole)) {
            for (const auto& e : first_) out += e;
        } else {
            for (std::size_t i = 0; i < head_entries; ++i) out += first_[i];
            out += "..., ";
            for (const auto& e : last_) out += e;
        }
        out.replace(out.size() - 2, 2, ".");
        return out;
    }

private:
    static constexpr std::size_t shown_whole = 24, head_entries = 16, tail_entries = 8;
    std::int64_t count_ = 0;
    std::vector<std::string> first_;
    std::deque<std::string> last_;
};

// Blanks are spaces only: a tab is a character of the record.
std::string without_trailing_blanks(std::string_view line) {
    const std::size_t keep = line.find_last_not_of(' ');
    return std::string(line.substr(0, keep == std::string_view::npos ? 0 : keep + 1));
}

// A line of blanks only, or a comment (";" first), holds no record.
bool holds_no_record(std::string_view line) {
    return line.find_first_not_of(' ') == std::string_view::npos || line[0] == ';';
}

class RecordReader {
public:
    RecordReader(const SelectedDevice& dev, ChipImage& image, std::int32_t& wordsloaded)
        : image_(image), wordsloaded_(wordsloaded) {
        flash_words_ = clamp_size(dev.flashsize, image.flashbuf.size());
        eeprom_bytes_ = clamp_size(dev.eepromsize, image.eeprombuf.size());
    }

    int record(std::string_view text) {
        if (holds_no_record(text)) return rec_no_record;
        const std::string line = without_trailing_blanks(text);
        if (line[0] != ':') return rec_bad_start;
        if (line.size() < 11) return rec_too_short;
        const std::size_t n = line.size();
        if (record_checksum(line.substr(1, n - 3)) != line.substr(n - 2)) return rec_bad_checksum;
        const int count = hex2val(line.substr(1, 2));
        const int address = hex4val(line.substr(3, 4));
        const int type = hex2val(line.substr(7, 2));
        const std::string data = line.substr(9, n - 11);
        switch (type) {
        case 0: return data_record(count, address, data);
        case 1: return rec_end_of_file;
        case 4: return upper_address_record(address, data);
        case 5: return rec_ok;
        default: return rec_bad_type;
        }
    }

    const OutOfRangeList& out_of_range() const { return outside_; }

private:
    static std::int64_t clamp_size(std::int32_t size, std::size_t buffer) {
        return std::max<std::int64_t>(0, std::min<std::int64_t>(size, static_cast<std::int64_t>(buffer)));
    }

    int upper_address_record(int address, const std::string& data) {
        if (data.size() != 4 || address != 0 || hex4val(data) < 0) return rec_bad_upper;
        upper_ = hex4val(data);
        return rec_ok;
    }

    int data_record(int count, int address, const std::string& data) {
        if (data.empty()) return rec_ok;
        if (count < 0) return rec_bad_count;
        if (address < 0) return rec_bad_address;
        if (count % 2 != 0) return rec_odd_count;
        if (address % 2 != 0) return rec_odd_address;
        if (data.size() != 2 * static_cast<std::size_t>(count)) return rec_bad_length;
        const std::int64_t first = upper_ * upper_step + address / 2;
        for (int k = 0; k < count / 2; ++k) {
            const int low = hex2val(data.substr(4 * k, 2));
            const int high = hex2val(data.substr(4 * k + 2, 2));
            if (!store_word(first + k, low, high)) return rec_bad_data;
        }
        return rec_ok;
    }

    // Places one word by the address map; false for a word its area refuses.
    bool store_word(std::int64_t j, int low, int high) {
        const bool valid = low >= 0 && high >= 0;
        const std::int32_t word = high * 256 + low;
        if (j < flash_words_) {
            if (!valid || !is_chip_word(word)) return false;
            image_.flashbuf[static_cast<std::size_t>(j)] = word;
            if (j + 1 > wordsloaded_) wordsloaded_ = static_cast<std::int32_t>(j + 1);
        } else if ((j >= id_first && j <= id_last) || j == device_id) {
            return valid;
        } else if (j == config1 || j == config2) {
            if (!valid) return false;
            image_.conf[static_cast<std::size_t>(j - config1)] = word & chip_word_mask;
        } else if (j >= eeprom_start && j < eeprom_start + eeprom_bytes_) {
            if (!valid) return false;
            image_.eeprombuf[static_cast<std::size_t>(j - eeprom_start)] = word & eeprom_byte_mask;
        } else {
            outside_.add(j);
        }
        return true;
    }

    ChipImage& image_;
    std::int32_t& wordsloaded_;
    std::int64_t flash_words_ = 0;
    std::int64_t eeprom_bytes_ = 0;
    std::int64_t upper_ = 0;
    OutOfRangeList outside_;
};

std::string warning_text(const OutOfRangeList& outside) {
    return std::string("Warning!") + crlf + errors_heading + crlf + "There are data for " +
           std::to_string(outside.count()) + " addresses out of range:" + crlf + outside.text() + crlf;
}

// A file cut short at a line break reads as a whole one: only the missing end
// record tells, so the box names the record the data stops at.
std::string no_end_text(const Line& last) {
    std::string line = without_trailing_blanks(last.text);
    if (line.size() > shown_line_chars) line = line.substr(0, shown_line_chars) + "...";
    return std::string("The file has no end-of-file record (") + end_of_file_record + "): it may be incomplete." +
           crlf + "Its last record is on line " + std::to_string(last.number) + ": " + line;
}

std::string after_end_text(const Line& end) {
    return "The file's end-of-file record is on line " + std::to_string(end.number) +
           "; the lines after it were not loaded.";
}

// Where the record loop stopped: at a bad record (its code), at the end record,
// or past the last line (rec_ok). at is the index of that record, or of the
// last record read; no_line when there was none.
constexpr std::size_t no_line = static_cast<std::size_t>(-1);
struct LoopEnd {
    int code = rec_ok;
    std::size_t at = no_line;
};

LoopEnd read_records(const std::vector<Line>& lines, RecordReader& reader) {
    LoopEnd end;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int code = reader.record(lines[i].text);
        if (code == rec_no_record) continue;
        end.at = i;
        if (code != rec_ok) {
            end.code = code;
            break;
        }
    }
    return end;
}

// True when anything but blank and comment lines follows the end record.
bool records_after(const std::vector<Line>& lines, std::size_t end_record) {
    return std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(end_record) + 1, lines.end(),
                       [](const Line& l) { return !holds_no_record(l.text); });
}

}  // namespace

std::string record_checksum(const std::string& body) {
    std::int64_t sum = 0;
    for (std::size_t i = 0; i + 1 < body.size(); i += 2) sum += hex2val(body.substr(i, 2));
    return hex2(-sum);
}

bool read_hexfile(const std::string& path, const SelectedDevice& dev, ChipImage& image,
                  std::int32_t& wordsloaded, const MsgBox& show_msgbox) {
    std::string text, why;
    if (!read_file(path, text, &why)) {
        show_msgbox("The HEX file could not be read." + std::string(crlf) + path + crlf + why + ".",
                    box_error);
        return false;
    }
    const std::vector<Line> lines = split_lines(text);
    RecordReader reader(dev, image, wordsloaded);
    const LoopEnd end = read_records(lines, reader);
    if (end.code != rec_ok && end.code != rec_end_of_file) {
        show_msgbox(std::string(errors_heading) + crlf + "Line number " + std::to_string(lines[end.at].number) +
                        error_texts[static_cast<std::size_t>(end.code)],
                    box_error);
        return false;
    }
    if (reader.out_of_range().count() > 0) show_msgbox(warning_text(reader.out_of_range()), box_info);
    // Some tools write no end record, so its absence is told, not refused; and
    // what stands after it is not read, which is told as well.
    if (end.code == rec_ok && end.at != no_line) show_msgbox(no_end_text(lines[end.at]), box_info);
    if (end.code == rec_end_of_file && records_after(lines, end.at))
        show_msgbox(after_end_text(lines[end.at]), box_info);
    return true;
}

}  // namespace tessaly
