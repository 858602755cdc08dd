#include "EmX11WindowList.h"
#include "X11TestConnection.h"
#include "X11WindowClient.h"
#include "XvfbServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

using testing::ElementsAre;

std::string describe(const EmPlayerPlatform::Window& window)
{
    return std::to_string(window.process_id) + (window.has_owner ? " owned " : " ") + window.class_name +
           " \"" + window.title + "\"";
}

std::vector<std::string> described(const std::vector<EmPlayerPlatform::Window>& windows)
{
    std::vector<std::string> lines;
    for (const EmPlayerPlatform::Window& window : windows) {
        lines.push_back(describe(window));
    }
    return lines;
}

class EmX11WindowListTest : public testing::Test
{
protected:
    void SetUp() override
    {
        server.start();
        test = std::make_unique<X11TestConnection>(server.display());
        connection = std::make_unique<EmX11Connection>(server.display());
        ASSERT_TRUE(connection->ready());
        windows = std::make_unique<EmX11WindowList>(*connection);
    }

    // A window with a class and nothing else, made by the test itself.
    xcb_window_t bare_window(const std::string& class_name)
    {
        return bare_window_in(test->root(), class_name);
    }

    xcb_window_t bare_window_in(xcb_window_t parent, const std::string& class_name)
    {
        const xcb_window_t window = test->make_window(parent);
        test->set_text(window, "WM_CLASS", "STRING", "bare" + std::string(1, '\0') + class_name + '\0');
        return window;
    }

    XvfbServer server;
    std::unique_ptr<X11TestConnection> test;
    std::unique_ptr<EmX11Connection> connection;
    std::unique_ptr<EmX11WindowList> windows;
};

} // namespace

TEST_F(EmX11WindowListTest, ClientsInsideFramesStandForTheirFramesWhateverTheirState)
{
    // Made bottom to top, as a window manager and its clients would leave them; none is mapped.
    bare_window("bare");
    const xcb_window_t frame = bare_window("frame");
    test->make_window(frame);
    test->set_longs(bare_window_in(frame, "client"), "WM_STATE", "WM_STATE", {1, 0});
    const xcb_window_t deep_frame = bare_window("deep frame");
    const xcb_window_t wrapper = test->make_window(deep_frame);
    test->set_longs(bare_window_in(wrapper, "wrapped client"), "WM_STATE", "WM_STATE", {3, 0});
    const xcb_window_t empty_frame = bare_window("empty frame");
    bare_window_in(test->make_window(empty_frame), "decoration");
    test->set_longs(bare_window("unframed client"), "WM_STATE", "WM_STATE", {1, 0});

    EXPECT_THAT(described(windows->list()),
                ElementsAre("0 unframed client \"\"", "0 empty frame \"\"", "0 wrapped client \"\"",
                            "0 client \"\"", "0 bare \"\""));
}

TEST_F(EmX11WindowListTest, TitleComesFromNetWmNameElseFromWmNameInItsEncoding)
{
    const xcb_window_t both = bare_window("both");
    test->set_text(both, "_NET_WM_NAME", "UTF8_STRING", "晴天 - 周杰伦");
    test->set_text(both, "WM_NAME", "STRING", "old");
    const xcb_window_t latin1 = bare_window("latin1");
    test->set_text(latin1, "WM_NAME", "STRING", "Caf\xE9 - S\xE4nger");
    const xcb_window_t compound = bare_window("compound");
    test->set_text(compound, "WM_NAME", "COMPOUND_TEXT", "\xE9 \x1B%G稻香\x1B%@");
    const xcb_window_t utf8_wm_name = bare_window("utf8");
    test->set_text(utf8_wm_name, "WM_NAME", "UTF8_STRING", "十年");
    // A _NET_WM_NAME of the wrong type is not UTF-8 text.
    const xcb_window_t mistyped = bare_window("mistyped");
    test->set_text(mistyped, "_NET_WM_NAME", "STRING", "wrong");
    test->set_text(mistyped, "WM_NAME", "STRING", "right");

    EXPECT_THAT(described(windows->read({both, latin1, compound, utf8_wm_name, mistyped})),
                ElementsAre("0 both \"晴天 - 周杰伦\"", "0 latin1 \"Café - Sänger\"", "0 compound \"é 稻香\"",
                            "0 utf8 \"十年\"", "0 mistyped \"right\""));
}

TEST_F(EmX11WindowListTest, MissingOrMalformedPropertiesReadAsNothing)
{
    const xcb_window_t empty = test->make_window(test->root());
    const xcb_window_t odd = test->make_window(test->root());
    test->set_text(odd, "WM_CLASS", "STRING", "instance only");
    test->set_longs(odd, "WM_TRANSIENT_FOR", "WINDOW", {0});
    test->set_text(odd, "_NET_WM_PID", "CARDINAL", "1234");
    const xcb_window_t owned = bare_window("owned");
    test->set_longs(owned, "WM_TRANSIENT_FOR", "WINDOW", {empty});
    test->set_longs(owned, "_NET_WM_PID", "CARDINAL", {4321});

    EXPECT_THAT(described(windows->read({empty, odd, owned})),
                ElementsAre("0  \"\"", "0  \"\"", "4321 owned owned \"\""));
}

TEST_F(EmX11WindowListTest, WindowGoneBeforeItsPropertiesAreReadIsLeftOut)
{
    const xcb_window_t first = bare_window("first");
    const xcb_window_t gone = bare_window("gone");
    const xcb_window_t last = bare_window("last");
    test->destroy(gone);

    EXPECT_THAT(described(windows->read({first, gone, last})), ElementsAre("0 first \"\"", "0 last \"\""));
    // Its errors were taken with its replies: the connection goes on answering.
    EXPECT_THAT(described(windows->read({last})), ElementsAre("0 last \"\""));
}

TEST_F(EmX11WindowListTest, ListingStaysWholeWhileAnotherClientMakesAndDestroysWindows)
{
    X11WindowClient player("KuGou.exe", server.display());
    player.make_top_level("kugou_ui", "周杰伦 - 晴天 - 酷狗音乐 ", 0);
    player.make_top_level("kugou_lyric", "", 0);
    X11WindowClient churner("churn", server.display());
    churner.churn("flicker");

    const std::string pid = std::to_string(player.pid());
    for (int i = 0; i < 50; ++i) {
        // Chosen by process, not by class: a churned window may be listed before its class is set.
        std::vector<std::string> steady;
        for (const EmPlayerPlatform::Window& window : windows->list()) {
            if (window.process_id == player.pid()) {
                steady.push_back(describe(window));
            }
        }
        ASSERT_THAT(steady,
                    ElementsAre(pid + " kugou_lyric \"\"", pid + " kugou_ui \"周杰伦 - 晴天 - 酷狗音乐 \""));
    }
    EXPECT_TRUE(connection->ready());
}
