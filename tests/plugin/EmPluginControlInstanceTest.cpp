#include "EmFakePluginPlatform.h"
#include "EmPluginControl.h"
#include "ExpectedPosts.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

TEST(PluginControlInstance, IsOneControllerDrivingInstalledPlatform)
{
    const auto fake = std::make_shared<EmFakePluginPlatform>();
    const EmPluginPlatform::WindowHandle plugin =
        fake->add_window(EmPluginPlatform::no_window, "ATEvoPluginWndClass");
    EmPluginControl::install(fake);

    EmPluginControl* const control = EmPluginControl::instance();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(EmPluginControl::instance(), control);
    EXPECT_EQ(control->parent(), nullptr);

    EmPluginControl::instance()->set_auto_apply(true);
    EXPECT_TRUE(control->auto_apply());
    control->update_key_string("F# Minor");
    EXPECT_EQ(fake->posts(), expected::apply(plugin, expected::v2_scale, 2, expected::v2_key, 7));
}

} // namespace
