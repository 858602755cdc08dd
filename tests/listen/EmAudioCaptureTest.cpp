#include "EmFakeAudioCapture.h"
#include "EmKeyListener.h"
#include "EmLoopbackPlan.h"
#include "EmPulseAudioCapture.h"
#include "ListenClips.h"
#include "PulseServer.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;
using State = EmAudioCapture::State;

// The states a capture reported, in order, and a wait for the next one.
class StateLog
{
public:
    EmAudioCapture::StateSink sink()
    {
        return [this](State state) {
            std::lock_guard<std::mutex> guard(lock);
            states.push_back(state);
            changed.notify_all();
        };
    }

    // Whether the last state reported becomes `state` within the time.
    bool wait_for(State state, std::chrono::milliseconds within = 15s)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, within, [&] { return !states.empty() && states.back() == state; });
    }

    std::vector<State> all()
    {
        std::lock_guard<std::mutex> guard(lock);
        return states;
    }

private:
    std::mutex lock;
    std::condition_variable changed;
    std::vector<State> states;
};

class EmAudioCaptureTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    PulseServer pulse{dir.path()};
    StateLog states;
};

TEST_F(EmAudioCaptureTest, HearsTheKeyOfAClipPlayedIntoTheDefaultSink)
{
    const QString clip = dir.filePath("clip.wav");
    ASSERT_TRUE(
        ListenClips::write(clip.toStdString(), ListenClips::render(ListenClips::song({7, false})), 2));
    ASSERT_TRUE(pulse.start());
    EmKeyListener listener(std::make_unique<EmPulseAudioCapture>(pulse.address(), 200ms));
    listener.start(states.sink());
    ASSERT_TRUE(states.wait_for(State::Capturing));

    pulse.play(clip);
    ASSERT_TRUE(wait_until([&] { return listener.estimate().has_value(); }, 40s));
    EXPECT_EQ(listener.estimate()->key.name(), "G Major");
    pulse.stop_playing();

    listener.reset();
    EXPECT_FALSE(listener.estimate());
    listener.stop();
    EXPECT_EQ(states.all(), std::vector<State>{State::Capturing});
}

TEST_F(EmAudioCaptureTest, FollowsTheDefaultSinkAndOutlivesTheServer)
{
    EmPulseAudioCapture capture(pulse.address(), 200ms);
    capture.start([](const float*, std::size_t, int, int) {}, states.sink());
    ASSERT_TRUE(states.wait_for(State::Unavailable));

    ASSERT_TRUE(pulse.start());
    ASSERT_TRUE(states.wait_for(State::Capturing));
    EXPECT_TRUE(wait_until([&] { return pulse.recorded_source() == "first.monitor"; }, 10s));
    ASSERT_EQ(pulse.control({"set-default-sink", "second"}), 0);
    EXPECT_TRUE(wait_until([&] { return pulse.recorded_source() == "second.monitor"; }, 10s));

    pulse.kill();
    ASSERT_TRUE(states.wait_for(State::Unavailable));
    ASSERT_TRUE(pulse.start());
    ASSERT_TRUE(states.wait_for(State::Capturing));
    capture.stop();
    EXPECT_EQ(states.all(), (std::vector<State>{State::Unavailable, State::Capturing, State::Unavailable,
                                                State::Capturing}));
}

TEST_F(EmAudioCaptureTest, FakeCapturePlaysASongToTheListenerWhichHandsOverEachChangeOnce)
{
    EmKeyListener listener(std::make_unique<EmFakeAudioCapture>(
        ListenClips::render(ListenClips::song({11, true})), 2, ListenClips::rate));
    const std::uint64_t song = listener.reset();
    std::mutex lock;
    std::vector<std::pair<EmKeyDetector::Estimate, std::uint64_t>> handed;
    listener.start(states.sink(), [&](const EmKeyDetector::Estimate& estimate, std::uint64_t number) {
        std::lock_guard<std::mutex> guard(lock);
        handed.emplace_back(estimate, number);
    });
    EXPECT_TRUE(wait_until([&] { return listener.estimate().has_value(); }, 30s));
    listener.stop();
    ASSERT_TRUE(listener.estimate());
    EXPECT_EQ(listener.estimate()->key.name(), "B Minor");
    EXPECT_EQ(states.all(), std::vector<State>{State::Capturing});

    ASSERT_FALSE(handed.empty());
    EXPECT_EQ(handed.back().first.key, listener.estimate()->key);
    // Changes below a whole percent are not handed over.
    EXPECT_EQ(std::lround(handed.back().first.confidence * 100),
              std::lround(listener.estimate()->confidence * 100));
    for (std::size_t index = 0; index < handed.size(); ++index) {
        EXPECT_EQ(handed[index].second, song);
        if (index > 0) {
            const auto& [before, unused] = handed[index - 1];
            EXPECT_TRUE(before.key != handed[index].first.key ||
                        std::lround(before.confidence * 100) !=
                            std::lround(handed[index].first.confidence * 100))
                << index;
        }
    }
    EXPECT_EQ(listener.reset(), song + 1);
}

// Which loopback the Windows capture opens: the followed process where the system offers it,
// the output otherwise and, after a refusal, until another process is followed.
TEST(EmLoopbackPlanTest, FollowsAProcessWhereOfferedAndFallsBackToTheOutputUntilAnotherIsFollowed)
{
    using Source = EmLoopbackPlan::Source;
    for (const auto& [build, offered] : std::vector<std::pair<std::uint32_t, bool>>{
             {0, false}, {19045, false}, {20347, false}, {20348, true}, {26100, true}}) {
        EmLoopbackPlan plan(build);
        EXPECT_EQ(plan.next(200), offered ? Source::Process : Source::Output) << build;
        EXPECT_EQ(plan.next(0), Source::Output) << build;
    }

    struct Step
    {
        const char* what;
        std::uint32_t process_id;
        Source expected;
        // The process whose capture is then refused; 0 for none.
        std::uint32_t refused;
    };
    const std::vector<Step> steps = {
        {"no player known", 0, Source::Output, 0},
        {"a player", 200, Source::Process, 200},
        {"the refused player when reopening", 200, Source::Output, 0},
        {"and at the next reopening", 200, Source::Output, 0},
        {"another player", 300, Source::Process, 0},
        {"the first player again, asked afresh", 200, Source::Process, 300},
        {"a refusal for a process no longer followed counts for nothing", 200, Source::Process, 0},
    };
    EmLoopbackPlan plan(22631);
    for (const Step& step : steps) {
        EXPECT_EQ(plan.next(step.process_id), step.expected) << step.what;
        if (step.refused != 0) {
            plan.refused(step.refused);
        }
    }
}

} // namespace
