#include "EmFakePluginPlatform.h"
#include "EmPluginControl.h"
#include "ExpectedPosts.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

using expected::Spot;
using WindowHandle = EmPluginPlatform::WindowHandle;

// A host program with the plugin's editor two levels down, as hosts nest it in practice.
class PluginApply : public testing::Test
{
protected:
    WindowHandle open_plugin(const std::string& class_name)
    {
        const WindowHandle host = fake->add_window(EmPluginPlatform::no_window, "HostFrame");
        fake->add_window(host, "Toolbar");
        const WindowHandle editor = fake->add_window(host, "EditorPane");
        return fake->add_window(editor, class_name);
    }

    std::shared_ptr<EmFakePluginPlatform> fake = std::make_shared<EmFakePluginPlatform>();
    EmPluginControl control{fake};
};

struct KeynoteCase
{
    const char* keynote;
    int scale;
    int key;
};

void PrintTo(const KeynoteCase& c, std::ostream* out)
{
    *out << '"' << c.keynote << '"';
}

class KeynoteSequence : public PluginApply, public testing::WithParamInterface<KeynoteCase>
{
};

TEST_P(KeynoteSequence, PostsScalePickThenKeyPick)
{
    const WindowHandle plugin = open_plugin("ATEvoPluginWndClass");
    control.set_auto_apply(true);

    control.update_key_string(QString::fromUtf8(GetParam().keynote));

    EXPECT_EQ(fake->posts(), expected::apply(plugin, expected::v2_scale, GetParam().scale, expected::v2_key,
                                             GetParam().key));
}

INSTANTIATE_TEST_SUITE_P(, KeynoteSequence,
                         testing::Values(KeynoteCase{"Gb Major", 1, 7}, KeynoteCase{"Gb Minor", 2, 9},
                                         KeynoteCase{"F# Minor", 2, 7}, KeynoteCase{"C Chromatic", 3, 1},
                                         KeynoteCase{"B Major", 1, 12}, KeynoteCase{"G# Major", 1, 0},
                                         KeynoteCase{"Gb Major(伴奏)", 1, 7}, KeynoteCase{"E Minor)", 0, 5}));

TEST_F(PluginApply, TextWithoutBlankPostsNothing)
{
    open_plugin("ATEvoPluginWndClass");
    control.set_auto_apply(true);

    for (const char* text : {"Major", "", "GbMajor"}) {
        control.update_key_string(text);
    }

    EXPECT_TRUE(fake->posts().empty());
}

TEST_F(PluginApply, AutoApplyOffNeitherSearchesNorPosts)
{
    open_plugin("ATEvoPluginWndClass");
    ASSERT_FALSE(control.auto_apply());

    control.update_key_string("Gb Major");
    control.set_auto_apply(true);
    control.set_auto_apply(false);
    control.update_key_string("C Minor");

    EXPECT_EQ(fake->enumeration_calls(), 0u);
    EXPECT_TRUE(fake->posts().empty());
}

TEST_F(PluginApply, NoPluginWindowPostsNothing)
{
    fake->add_window(fake->add_window(EmPluginPlatform::no_window, "HostFrame"), "ATEvoPluginWnd");
    control.set_auto_apply(true);

    control.update_key_string("Gb Major");

    EXPECT_GT(fake->enumeration_calls(), 0u);
    EXPECT_TRUE(fake->posts().empty());
}

TEST_F(PluginApply, FailedPostIsLoggedWithItsErrorAndSequenceGoesOn)
{
    const WindowHandle plugin = open_plugin("ATEvoPluginWndClass");
    control.set_auto_apply(true);
    fake->fail_post(1, 1400); // button-up on Scale
    fake->fail_post(2, 5);    // the Down key-down, which is not logged
    fake->fail_post(3, 87);   // the Down key-up
    fake->fail_post(4, 6);    // Enter, not logged either

    testing::internal::CaptureStdout();
    control.update_key_string("Gb Major");
    const std::string printed = testing::internal::GetCapturedStdout();

    EXPECT_EQ(fake->posts(), expected::apply(plugin, expected::v2_scale, 1, expected::v2_key, 7));
    EXPECT_EQ(printed, "发送窗口消息成功\n"
                       "发送窗口消息失败1400\n"
                       "发送窗口消息失败87\n" +
                           expected::success_lines(2 + 7));
}

struct ScreenCase
{
    int dpi;
    Spot v1_scale;
    Spot v1_key;
    Spot v2_scale;
    Spot v2_key;
};

void PrintTo(const ScreenCase& c, std::ostream* out)
{
    *out << c.dpi << " dpi";
}

class ScreenScaling : public PluginApply, public testing::WithParamInterface<ScreenCase>
{
};

TEST_P(ScreenScaling, ClicksLandOnScaledPopups)
{
    const ScreenCase c = GetParam();
    fake->set_screen_dpi(c.dpi);
    control.set_auto_apply(true);

    const WindowHandle v1 = open_plugin("AT5PluginWnd");
    control.update_key_string("C Major");
    EXPECT_EQ(fake->take_posts(), expected::apply(v1, c.v1_scale, 1, c.v1_key, 1));

    fake->remove_window(fake->root_ancestor(v1));
    const WindowHandle v2 = open_plugin("ATEvoPluginWndClass");
    control.update_key_string("C Major");
    EXPECT_EQ(fake->take_posts(), expected::apply(v2, c.v2_scale, 1, c.v2_key, 1));
}

constexpr Spot at_1_0[] = {{142, 133}, {46, 133}, {337, 28}, {279, 28}};
constexpr Spot at_1_25[] = {{177, 166}, {57, 166}, {421, 35}, {348, 35}};
constexpr Spot at_1_5[] = {{213, 199}, {69, 199}, {505, 42}, {418, 42}};
constexpr Spot at_2_0[] = {{284, 266}, {92, 266}, {674, 56}, {558, 56}};

ScreenCase screen(int dpi, const Spot (&spots)[4])
{
    return ScreenCase{dpi, spots[0], spots[1], spots[2], spots[3]};
}

INSTANTIATE_TEST_SUITE_P(, ScreenScaling,
                         testing::Values(screen(0, at_1_0), screen(72, at_1_0), screen(96, at_1_0),
                                         screen(97, at_1_25), screen(120, at_1_25), screen(121, at_1_5),
                                         screen(144, at_1_5), screen(145, at_2_0), screen(168, at_2_0),
                                         screen(192, at_2_0), screen(193, at_1_0), screen(240, at_1_0)));

TEST_F(PluginApply, CompensationOffUsesDesignPositions)
{
    const WindowHandle plugin = open_plugin("AT5PluginWnd");
    fake->set_screen_dpi(120);
    control.set_auto_apply(true);

    EXPECT_FALSE(control.toggle_scale_compensation());
    control.update_key_string("Db Minor");
    EXPECT_EQ(fake->take_posts(), expected::apply(plugin, expected::v1_scale, 2, expected::v1_key, 2));

    EXPECT_TRUE(control.toggle_scale_compensation());
    control.update_key_string("Db Minor");
    EXPECT_EQ(fake->take_posts(), expected::apply(plugin, Spot{177, 166}, 2, Spot{57, 166}, 2));
}

} // namespace
