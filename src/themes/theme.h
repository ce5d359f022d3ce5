// The colour themes: the current theme record, the fixed table of the 46 named
// themes and load_theme, which applies the theme named in the settings. Colours
// are integers red + 256 * green + 65536 * blue. Pure C++: the painting of
// windows with these colours lives in paint.h.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "devices/settings.h"

namespace tessaly {

inline constexpr const char* default_theme_name = "Original Lite";
inline constexpr int theme_count = 46;
inline constexpr int theme_colour_count = 15;

struct Theme {
    // The name as last read from the settings, kept as stored even when it
    // names no theme.
    std::string themename;
    std::int32_t th_form_back = 0;
    std::int32_t th_action_back = 0;
    std::int32_t th_action_fore = 0;
    std::int32_t th_caption_back = 0;
    std::int32_t th_caption_fore = 0;
    std::int32_t th_model_back = 0;
    std::int32_t th_model_fore = 0;
    std::int32_t th_value_back = 0;
    std::int32_t th_value_fore = 0;
    std::int32_t th_memory_back = 0;
    std::int32_t th_memory_fore = 0;
    std::int32_t th_name_back = 0;
    std::int32_t th_name_fore = 0;
    std::int32_t th_info_back = 0;
    std::int32_t th_info_fore = 0;
};

// One of the fifteen colour fields of Theme.
using ThemeColour = std::int32_t Theme::*;

// The colour fields in the order of the table's columns.
extern const std::array<ThemeColour, theme_colour_count> theme_colour_fields;

struct ThemeRow {
    const char* name;
    std::array<std::int32_t, theme_colour_count> colours;  // theme_colour_fields order
};

// The 46 themes in the order load_theme tests them; "Original Dark" and
// "Original Lite" stand last.
const std::array<ThemeRow, theme_count>& theme_table();

// The row whose name equals name exactly (case and blanks count), or nullptr.
const ThemeRow* find_theme(std::string_view name);

// Sets all fifteen colour fields of t from row; themename is left alone.
void apply_theme_row(const ThemeRow& row, Theme& t);

// Reads "Color Theme" (written with "Original Lite" when missing) into
// t.themename and sets the colours of that theme. A name of no theme gives the
// "Original Lite" colours; an empty name leaves every colour as it was.
void load_theme(const SettingsStore& settings, Theme& t);

}  // namespace tessaly
