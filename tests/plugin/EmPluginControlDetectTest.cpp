#include "EmFakePluginPlatform.h"
#include "EmPluginControl.h"
#include "ExpectedPosts.h"
#include "TestEventLoop.h"
#include "ZuDataBus.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

namespace {

using WindowHandle = EmPluginPlatform::WindowHandle;
constexpr WindowHandle desktop = EmPluginPlatform::no_window;

class PluginDetection : public testing::Test
{
protected:
    // The announcements so far, as (found, version text).
    std::vector<std::pair<bool, QString>> announced() const
    {
        std::vector<std::pair<bool, QString>> result;
        for (const QList<QVariant>& arguments : *spy) {
            result.emplace_back(arguments.at(0).toBool(), arguments.at(1).toString());
        }
        return result;
    }

    std::pair<bool, QString> detect()
    {
        control.dect_plugin();
        return announced().back();
    }

    std::shared_ptr<EmFakePluginPlatform> fake = std::make_shared<EmFakePluginPlatform>();
    EmPluginControl control{fake};
    std::unique_ptr<QSignalSpy> spy =
        std::make_unique<QSignalSpy>(ZuDataBus::instance(), &ZuDataBus::emusic_plugin_enable);
};

TEST_F(PluginDetection, VersionTextFollowsWindowClass)
{
    const WindowHandle host = fake->add_window(desktop, "HostFrame");
    const WindowHandle deep = fake->add_window(fake->add_window(fake->add_window(host, "A"), "B"), "C");
    const WindowHandle v1 = fake->add_window(deep, "AT5PluginWnd");
    EXPECT_EQ(detect(), std::make_pair(true, QString("5")));

    fake->remove_window(v1);
    fake->add_window(deep, "ATEvoPluginWndClass");
    EXPECT_EQ(detect(), std::make_pair(true, QString("6")));
}

TEST_F(PluginDetection, ClassNamesMustMatchExactly)
{
    const WindowHandle host = fake->add_window(desktop, "HostFrame");
    for (const char* near_miss :
         {"atevopluginwndclass", "ATEvoPluginWndClass ", "AT5PluginWnd2", "AT5Plugin"}) {
        fake->add_window(host, near_miss);
    }

    EXPECT_EQ(detect(), std::make_pair(false, QString("")));
}

TEST_F(PluginDetection, AnnouncesOnEveryTickEvenWithoutChange)
{
    fake->add_window(desktop, "ATEvoPluginWndClass");

    for (int i = 0; i < 4; ++i) {
        control.dect_plugin();
    }

    const std::vector<std::pair<bool, QString>> four_times(4, {true, "6"});
    EXPECT_EQ(announced(), four_times);
}

TEST_F(PluginDetection, DisappearingPluginIsAnnouncedGone)
{
    const WindowHandle host = fake->add_window(desktop, "HostFrame");
    fake->add_window(host, "AT5PluginWnd");
    EXPECT_TRUE(detect().first);

    fake->remove_window(host);
    EXPECT_EQ(detect(), std::make_pair(false, QString("")));
}

// Version 1 in the first host, version 2 in the second, or the other way round: the window found
// last wins, and both the announcement and the clicks follow it.
TEST_F(PluginDetection, LastMatchWinsInEitherOrder)
{
    const WindowHandle first_host = fake->add_window(desktop, "HostFrame");
    fake->add_window(fake->add_window(first_host, "EditorPane"), "AT5PluginWnd");
    const WindowHandle second_host = fake->add_window(desktop, "HostFrame");
    const WindowHandle v2 = fake->add_window(second_host, "ATEvoPluginWndClass");

    EXPECT_EQ(detect(), std::make_pair(true, QString("6")));
    control.set_auto_apply(true);
    control.update_key_string("C Major");
    EXPECT_EQ(fake->take_posts(), expected::apply(v2, expected::v2_scale, 1, expected::v2_key, 1));

    fake->remove_window(first_host);
    const WindowHandle third_host = fake->add_window(desktop, "HostFrame");
    const WindowHandle v1 = fake->add_window(fake->add_window(third_host, "EditorPane"), "AT5PluginWnd");

    EXPECT_EQ(detect(), std::make_pair(true, QString("5")));
    control.update_key_string("C Major");
    EXPECT_EQ(fake->take_posts(), expected::apply(v1, expected::v1_scale, 1, expected::v1_key, 1));
}

// After a match the rest of its own level is skipped, the matched window's children included,
// while the levels above carry on.
TEST_F(PluginDetection, MatchEndsOnlyItsOwnLevel)
{
    const WindowHandle host = fake->add_window(desktop, "HostFrame");
    const WindowHandle v2 = fake->add_window(host, "ATEvoPluginWndClass");
    fake->add_window(v2, "AT5PluginWnd");
    fake->add_window(fake->add_window(host, "EditorPane"), "AT5PluginWnd");
    fake->add_window(host, "AT5PluginWnd");
    EXPECT_EQ(detect(), std::make_pair(true, QString("6")));

    const WindowHandle later_host = fake->add_window(desktop, "HostFrame");
    fake->add_window(fake->add_window(later_host, "EditorPane"), "AT5PluginWnd");
    EXPECT_EQ(detect(), std::make_pair(true, QString("5")));
}

// Any local client can nest windows far deeper than a thread's stack would allow a search per
// level; the search order and the last-match rule stay those of the shallow trees above.
TEST_F(PluginDetection, TreeDeeperThanAnyStackIsSearchedWhole)
{
    const auto chain_under = [this](WindowHandle window) {
        for (int level = 0; level < 100000; ++level) {
            window = fake->add_window(window, "EditorPane");
        }
        return window;
    };
    const WindowHandle first_deep = chain_under(fake->add_window(desktop, "HostFrame"));
    fake->add_window(first_deep, "ATEvoPluginWndClass");
    EXPECT_EQ(detect(), std::make_pair(true, QString("6")));

    fake->add_window(fake->add_window(desktop, "HostFrame"), "AT5PluginWnd");
    EXPECT_EQ(detect(), std::make_pair(true, QString("5")));

    const WindowHandle second_deep = chain_under(fake->add_window(desktop, "HostFrame"));
    const WindowHandle last = fake->add_window(second_deep, "ATEvoPluginWndClass");
    fake->add_window(second_deep, "AT5PluginWnd");
    EXPECT_EQ(detect(), std::make_pair(true, QString("6")));
    control.set_auto_apply(true);
    control.update_key_string("C Major");
    EXPECT_EQ(fake->take_posts(), expected::apply(last, expected::v2_scale, 1, expected::v2_key, 1));
}

TEST_F(PluginDetection, ShowAndHideActOnTopLevelWindowOfLastFound)
{
    const WindowHandle host = fake->add_window(desktop, "HostFrame");
    fake->add_window(fake->add_window(host, "EditorPane"), "ATEvoPluginWndClass");

    control.show_plugin(false);
    EXPECT_TRUE(fake->show_calls().empty()) << "no search has run yet";

    control.dect_plugin();
    const std::size_t searched = fake->enumeration_calls();
    control.show_plugin(false);
    control.show_plugin(true);

    using Call = EmFakePluginPlatform::ShowCall;
    EXPECT_EQ(fake->show_calls(), (std::vector<Call>{{host, false}, {host, true}}));
    EXPECT_EQ(fake->enumeration_calls(), searched) << "showing must not search again";

    fake->remove_window(host);
    control.dect_plugin();
    control.show_plugin(true);
    EXPECT_EQ(fake->show_calls().size(), 2u);
}

TEST_F(PluginDetection, ReceiverMayApplyKeynoteWhenAnnounced)
{
    const WindowHandle plugin = fake->add_window(desktop, "ATEvoPluginWndClass");
    control.set_auto_apply(true);
    const QMetaObject::Connection connection = QObject::connect(
        ZuDataBus::instance(), &ZuDataBus::emusic_plugin_enable, [this](bool found, const QString&) {
            if (found) {
                control.update_key_string("C Major");
            }
        });

    control.dect_plugin();
    QObject::disconnect(connection);

    EXPECT_EQ(fake->posts(), expected::apply(plugin, expected::v2_scale, 1, expected::v2_key, 1));
}

TEST_F(PluginDetection, TimerDetectsEveryTwoSeconds)
{
    fake->add_window(desktop, "AT5PluginWnd");
    ASSERT_TRUE(spin_until([this] { return spy->count() >= 1; }));
    QElapsedTimer clock;
    clock.start();

    ASSERT_TRUE(spin_until([this] { return spy->count() >= 2; }));

    // The timer started with the controller, before the test could look; the gap between two
    // ticks is what it fixes, less the 5% a coarse timer may fire early and the time to notice.
    EXPECT_GE(clock.elapsed(), 1800);
    EXPECT_EQ(announced().front(), std::make_pair(true, QString("5")));
}

} // namespace
