#include <gtest/gtest.h>

#include <string>

#include "encode/setting.h"
#include "settings/config_text.h"
#include "settings/dialog_logic.h"
#include "support/module_host.h"

namespace vorlane {
namespace {

std::u16string filter_list(const char16_t* p) {
    std::u16string all;
    while (*p) {
        const std::u16string item(p);
        all += item + u'|';
        p += item.size() + 1;
    }
    return all;
}

TEST(PluginTable, StaticTableAsTheHostExpects) {
    const OutputPluginTable& table = test::plugin();
    EXPECT_EQ(&table, &test::plugin());
    EXPECT_EQ(table.flags, 1);
    EXPECT_EQ(std::u16string(table.display_name), u"Vorlane");
    // Label/pattern pairs ended by an empty string: two zero units after "*.*".
    EXPECT_EQ(filter_list(table.file_filter), u"PNG File (*.png)|*.png|AllFile (*.*)|*.*|");
    EXPECT_NE(table.on_output, nullptr);
    EXPECT_EQ(table.reserved, nullptr);
    EXPECT_EQ(table.on_output(nullptr), false);
}

TEST(PluginTable, ConfigureWithoutDialogKeepsTheSetting) {
    const OutputPluginTable& table = test::plugin();
    const char16_t* text = table.on_config_text();
    EXPECT_EQ(std::u16string(text), u"RGBをAで割る: 1");
    EXPECT_TRUE(table.on_configure(nullptr, nullptr));
    EXPECT_EQ(table.on_config_text(), text);  // one buffer, rewritten each call
    EXPECT_EQ(std::u16string(text), u"RGBをAで割る: 1");
}

TEST(DialogLogic, OnlyOkChangesTheSetting) {
    divide_rgb_by_alpha = 1;
    EXPECT_TRUE(dialog_initial_check());
    bool asked = false;
    auto unticked = [&] {
        asked = true;
        return false;
    };
    // Clicking the box alone, or any other control, ends nothing and asks nothing.
    EXPECT_EQ(dialog_command(kDivideCheckBoxId, unticked), std::nullopt);
    EXPECT_EQ(dialog_command(999, unticked), std::nullopt);
    EXPECT_FALSE(asked);
    EXPECT_EQ(dialog_command(kCancelId, unticked), kCancelId);
    EXPECT_EQ(divide_rgb_by_alpha, 1);

    EXPECT_EQ(dialog_command(kOkId, unticked), kOkId);
    EXPECT_EQ(divide_rgb_by_alpha, 0);
    EXPECT_FALSE(dialog_initial_check());
    EXPECT_EQ(std::u16string(format_config_text()), u"RGBをAで割る: 0");

    EXPECT_EQ(dialog_command(kOkId, [] { return true; }), kOkId);
    EXPECT_EQ(divide_rgb_by_alpha, 1);
}

}  // namespace
}  // namespace vorlane
