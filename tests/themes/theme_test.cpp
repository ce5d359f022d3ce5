#include "themes/theme.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "temp_settings.h"

namespace tessaly {
namespace {

using testing::TempSettings;

std::array<std::int32_t, theme_colour_count> colours_of(const Theme& t) {
    std::array<std::int32_t, theme_colour_count> c{};
    for (int i = 0; i < theme_colour_count; ++i) c[i] = t.*theme_colour_fields[i];
    return c;
}

const ThemeRow& row(const char* name) {
    const ThemeRow* r = find_theme(name);
    EXPECT_NE(r, nullptr) << name;
    return r ? *r : theme_table().back();
}

TEST(ThemeTable, HoldsTheFortySixThemesOnceEachWithTheOriginalsLast) {
    const auto& table = theme_table();
    std::set<std::string> names;
    for (const ThemeRow& r : table) names.insert(r.name);
    EXPECT_EQ(names.size(), 46u);
    EXPECT_STREQ(table.front().name, "Amethyst");
    EXPECT_STREQ(table[43].name, "Winamp Old");
    EXPECT_STREQ(table[44].name, "Original Dark");
    EXPECT_STREQ(table[45].name, "Original Lite");
    for (const ThemeRow& r : table) {
        for (std::int32_t c : r.colours) EXPECT_EQ(c & ~0xFFFFFF, 0) << r.name;
    }
}

TEST(ThemeTable, ColoursStandInTheirColumns) {
    struct Case { const char* name; ThemeColour field; std::int32_t colour; };
    const Case cases[] = {
        {"Amethyst", &Theme::th_form_back, 0x70275E},
        {"Amethyst", &Theme::th_action_back, 0xB746B4},
        {"Amethyst", &Theme::th_info_fore, 0xF2EFF2},
        {"Blueberry And Cream", &Theme::th_model_back, 0xFFFFBD},
        {"HaXb0x", &Theme::th_value_fore, 0x00FFFF},
        {"Powerpuff!", &Theme::th_name_back, 0xFFB52F},
        {"Owayke", &Theme::th_memory_fore, 0x0000FF},
        {"Winamp Old", &Theme::th_info_fore, 0x02EF01},
        {"Original Dark", &Theme::th_caption_back, 0xC0FFC0},
        {"Original Dark", &Theme::th_info_back, 0xC0FFFF},
        {"Original Lite", &Theme::th_form_back, 0xCAE6D7},
        {"Original Lite", &Theme::th_memory_back, 0xC0E0FF},
        {"Original Lite", &Theme::th_name_back, 0xC0C0FF},
    };
    for (const Case& c : cases) {
        Theme t;
        apply_theme_row(row(c.name), t);
        EXPECT_EQ(t.*c.field, c.colour) << c.name;
    }
}

TEST(LoadTheme, MatchesWholeNamesExactlyAndFallsBackToOriginalLite) {
    struct Case { const char* stored; const char* colours_of; };
    const Case cases[] = {
        {"Amethyst", "Amethyst"},
        {"Winamp Old", "Winamp Old"},
        {"Original Dark", "Original Dark"},
        {"Original Lite", "Original Lite"},
        {"amethyst", "Original Lite"},       // letter case counts
        {"Amethyst ", "Original Lite"},      // nothing is trimmed
        {"No Such Theme", "Original Lite"},
    };
    for (const Case& c : cases) {
        TempSettings s;
        s.store.reg_setstring(set_theme, c.stored);
        Theme t;
        apply_theme_row(row("Bloods"), t);  // every field must be replaced
        load_theme(s.store, t);
        EXPECT_EQ(t.themename, c.stored);
        EXPECT_EQ(colours_of(t), row(c.colours_of).colours) << c.stored;
    }
}

TEST(LoadTheme, EmptyNameKeepsEveryColour) {
    TempSettings s;
    s.store.reg_setstring(set_theme, "");
    Theme fresh;
    load_theme(s.store, fresh);
    EXPECT_EQ(fresh.themename, "");
    EXPECT_EQ(colours_of(fresh), colours_of(Theme{}));  // black, as at start-up

    Theme earlier;
    apply_theme_row(row("Toxic"), earlier);
    load_theme(s.store, earlier);
    EXPECT_EQ(colours_of(earlier), row("Toxic").colours);
}

TEST(LoadTheme, MissingSettingIsCreatedWithOriginalLite) {
    TempSettings s;
    Theme t;
    load_theme(s.store, t);
    EXPECT_EQ(t.themename, "Original Lite");
    EXPECT_EQ(colours_of(t), row("Original Lite").colours);
    EXPECT_EQ(s.store.reg_getstring(set_theme, "x"), "Original Lite");
}

TEST(LoadTheme, ReadsTheSettingEveryTimeNotThemename) {
    TempSettings s;
    s.store.reg_setstring(set_theme, "Jeans");
    Theme t;
    load_theme(s.store, t);
    t.themename = "Citrus";
    load_theme(s.store, t);
    EXPECT_EQ(t.themename, "Jeans");
    EXPECT_EQ(colours_of(t), row("Jeans").colours);
}

}  // namespace
}  // namespace tessaly
