#include "EmAutoContrlWidget.h"
#include "EmPluginControl.h"
#include "LookupUiTestSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <gtest/gtest.h>

namespace {

using ShowCall = EmFakePluginPlatform::ShowCall;

const QString found_light = QStringLiteral("image:url(:/Kestrune/Resources/img/status_enable.png);");
const QString lost_light = QStringLiteral("image:url(:/Kestrune/Resources/img/status_disable.png);");
const QString lost_text = QStringLiteral("未检测到《电音》插件");

class AutoApplyPanelTest : public ::testing::Test
{
protected:
    void SetUp() override { close_plugin_window(); }
    void TearDown() override { close_plugin_window(); }

    QCheckBox* auto_box() { return panel->findChild<QCheckBox*>(QStringLiteral("auto_checkbox")); }
    QCheckBox* hide_box() { return panel->findChild<QCheckBox*>(QStringLiteral("hide_checkbox")); }
    QString light() { return find_label(panel.get(), "available_label")->styleSheet(); }
    static bool auto_apply() { return EmPluginControl::instance()->auto_apply(); }
    static std::size_t show_call_count() { return plugin_desktop().show_calls().size(); }

    std::unique_ptr<EmAutoContrlWidget> panel = [] {
        plugin_desktop();
        return std::make_unique<EmAutoContrlWidget>();
    }();
};

TEST_F(AutoApplyPanelTest, StartsWithRedLightBothBoxesOffAndAutoApplyOff)
{
    EmPluginControl::instance()->set_auto_apply(true);
    EmAutoContrlWidget fresh;
    EXPECT_FALSE(auto_apply());
    EXPECT_EQ(fresh.objectName(), QStringLiteral("EmAutoContrlWidget"));
    auto* box = fresh.findChild<QCheckBox*>(QStringLiteral("auto_checkbox"));
    auto* hide = fresh.findChild<QCheckBox*>(QStringLiteral("hide_checkbox"));
    EXPECT_EQ(box->text(), lost_text);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(hide->text(), QStringLiteral("隐藏插件"));
    EXPECT_FALSE(hide->isEnabled());
    EXPECT_FALSE(hide->isChecked());
    QLabel* status = find_label(&fresh, "available_label");
    EXPECT_EQ(status->styleSheet(), lost_light);
    EXPECT_EQ(status->minimumSize(), QSize(16, 16));
    EXPECT_EQ(status->maximumSize(), QSize(16, 16));
}

TEST_F(AutoApplyPanelTest, FoundPluginEnablesBoxesAndAutoApplyFollowsTheBox)
{
    open_plugin_window("AT5PluginWnd");
    EXPECT_EQ(light(), found_light);
    EXPECT_EQ(auto_box()->text(), QStringLiteral("自动电音5"));
    EXPECT_TRUE(auto_box()->isEnabled());
    EXPECT_TRUE(hide_box()->isEnabled());
    EXPECT_FALSE(auto_apply());

    auto_box()->click();
    EXPECT_TRUE(auto_apply());
    auto_box()->click();
    EXPECT_FALSE(auto_apply());
}

TEST_F(AutoApplyPanelTest, LostPluginSwitchesAutoApplyOffKeepingTheMarkAndFoundAgainSwitchesItBackOn)
{
    open_plugin_window();
    EXPECT_EQ(auto_box()->text(), QStringLiteral("自动电音6"));
    auto_box()->click();
    ASSERT_TRUE(auto_apply());

    close_plugin_window();
    EXPECT_EQ(light(), lost_light);
    EXPECT_EQ(auto_box()->text(), lost_text);
    EXPECT_TRUE(auto_box()->isChecked());
    EXPECT_FALSE(auto_box()->isEnabled());
    EXPECT_FALSE(auto_apply());
    auto_box()->click();
    EXPECT_TRUE(auto_box()->isChecked());

    open_plugin_window();
    EXPECT_TRUE(auto_apply());
}

TEST_F(AutoApplyPanelTest, HideBoxHidesAndShowsPluginWindowAndLosingPluginClearsItSilently)
{
    open_plugin_window();
    const std::size_t before = show_call_count();
    hide_box()->click();
    hide_box()->click();
    hide_box()->click();
    const std::vector<ShowCall> calls(plugin_desktop().show_calls().begin() + before,
                                      plugin_desktop().show_calls().end());
    EXPECT_EQ(calls, std::vector<ShowCall>(
                         {{plugin_window(), false}, {plugin_window(), true}, {plugin_window(), false}}));

    close_plugin_window();
    EXPECT_FALSE(hide_box()->isChecked());
    EXPECT_FALSE(hide_box()->isEnabled());
    EXPECT_EQ(show_call_count(), before + 3);
}

} // namespace
