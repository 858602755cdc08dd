#include "EmKeyDetector.h"
#include "ListenClips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>

namespace {

constexpr double pi = 3.14159265358979323846;

struct Heard
{
    std::optional<EmKeyDetector::Estimate> estimate;
    double first_answer_seconds = -1.0; // of audio; -1 when it never answered
    double tuning_cents = 0.0;
    double music_seconds = 0.0;
};

// Feeds the samples as a sound server would, a block at a time.
Heard hear(EmKeyDetector& detector, const std::vector<float>& samples, int channels,
           int rate = ListenClips::rate)
{
    Heard heard;
    const std::size_t frames = samples.size() / static_cast<std::size_t>(channels);
    const auto block = static_cast<std::size_t>(rate / 20);
    for (std::size_t at = 0; at < frames; at += block) {
        const std::size_t count = std::min(block, frames - at);
        detector.add(samples.data() + at * static_cast<std::size_t>(channels), count, channels, rate);
        if (heard.first_answer_seconds < 0.0 && detector.estimate()) {
            heard.first_answer_seconds = static_cast<double>(at + count) / rate;
        }
    }
    heard.estimate = detector.estimate();
    heard.tuning_cents = detector.tuning_cents();
    heard.music_seconds = detector.music_seconds();
    return heard;
}

Heard hear(const std::vector<float>& samples, int channels, int rate = ListenClips::rate)
{
    EmKeyDetector detector;
    return hear(detector, samples, channels, rate);
}

std::vector<float> mono_signal(double seconds, const std::function<float(double)>& at_time)
{
    std::vector<float> samples(static_cast<std::size_t>(seconds * ListenClips::rate));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = at_time(static_cast<double>(i) / ListenClips::rate);
    }
    return samples;
}

// Syllables of a fifth to a third of a second with short pauses, each voiced at its own pitch
// between 110 and 260 Hz and falling by up to four semitones, as speech does.
std::vector<float> speech_like(double seconds)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<float> samples(static_cast<std::size_t>(seconds * ListenClips::rate));
    std::size_t at = 0;
    while (at < samples.size()) {
        const auto length = static_cast<std::size_t>((0.15 + 0.2 * unit(random)) * ListenClips::rate);
        const double start_hz = 110.0 * std::pow(260.0 / 110.0, unit(random));
        const double fall = 4.0 * unit(random);
        double phase = 0.0;
        for (std::size_t i = 0; i < length && at + i < samples.size(); ++i) {
            const double progress = static_cast<double>(i) / static_cast<double>(length);
            phase += 2.0 * pi * start_hz * std::pow(2.0, -fall * progress / 12.0) / ListenClips::rate;
            double sum = 0.0;
            for (int h = 1; h <= 5; ++h) {
                sum += std::sin(h * phase) / h;
            }
            samples[at + i] = static_cast<float>(0.2 * std::sin(pi * progress) * sum);
        }
        at += length + static_cast<std::size_t>((0.05 + 0.1 * unit(random)) * ListenClips::rate);
    }
    return samples;
}

TEST(EmKeyDetectorTest, HearsTheKeyAndTuningOfRenderedSongs)
{
    struct Case
    {
        EmSong song;
        const char* key;
    };
    const Case cases[] = {
        {ListenClips::song({0, false}), "C Major"},
        {ListenClips::song({9, true}), "A Minor"},
        {ListenClips::song({4, false}, 30.0), "E Major"},
        {ListenClips::song({6, true}, -25.0), "F# Minor"},
        {ListenClips::song({2, false}).transposed(2), "E Major"},
        {ListenClips::song({2, false}).transposed(-3), "B Major"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.song.describe());
        const Heard heard = hear(ListenClips::render(c.song), 2);
        ASSERT_TRUE(heard.estimate);
        EXPECT_EQ(heard.estimate->key.name(), c.key);
        EXPECT_GE(heard.estimate->confidence, EmKeyDetector::confident);
        EXPECT_NEAR(heard.tuning_cents, c.song.detune_cents, 8.0);
        EXPECT_GT(heard.first_answer_seconds, 0.0);
        EXPECT_LE(heard.first_answer_seconds, 15.0);
    }
}

TEST(EmKeyDetectorTest, HearsTheKeyThroughClipping)
{
    std::vector<float> samples = ListenClips::render(ListenClips::song({3, false}));
    for (float& sample : samples) {
        sample = std::clamp(sample * 12.0f, -1.0f, 1.0f);
    }
    const Heard heard = hear(samples, 2);
    ASSERT_TRUE(heard.estimate);
    EXPECT_EQ(heard.estimate->key.name(), "Eb Major");
}

TEST(EmKeyDetectorTest, NamesNoKeyForWhatIsNotMusic)
{
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.2f);
    struct Case
    {
        const char* what;
        std::vector<float> samples;
        double max_music_seconds;
    };
    const Case cases[] = {
        {"silence", mono_signal(30.0, [](double) { return 0.0f; }), 0.0},
        {"white noise", mono_signal(30.0, [&](double) { return noise(random); }), 1.0},
        {"speech", speech_like(30.0), 2.0},
        // One steady pitch is music, but names no key.
        {"single sine",
         mono_signal(30.0, [](double t) { return static_cast<float>(0.3 * std::sin(2.0 * pi * 440.0 * t)); }),
         30.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Heard heard = hear(c.samples, 1);
        EXPECT_FALSE(heard.estimate);
        EXPECT_LE(heard.music_seconds, c.max_music_seconds);
    }
}

TEST(EmKeyDetectorTest, EstimatesTheTuningOfASteadyTone)
{
    // 445 Hz lies 19.6 cents above A.
    const Heard heard = hear(
        mono_signal(10.0, [](double t) { return static_cast<float>(0.3 * std::sin(2.0 * pi * 445.0 * t)); }),
        1);
    EXPECT_NEAR(heard.tuning_cents, 19.6, 2.0);
}

TEST(EmKeyDetectorTest, StartsAfreshAfterAReset)
{
    EmKeyDetector detector;
    const Heard before = hear(detector, ListenClips::render(ListenClips::song({9, true})), 2);
    ASSERT_TRUE(before.estimate);
    EXPECT_EQ(before.estimate->key.name(), "A Minor");

    detector.reset();
    EXPECT_FALSE(detector.estimate());
    EXPECT_EQ(detector.music_seconds(), 0.0);

    // The next song arrives in another format: mono, at twice the rate.
    const std::vector<float> stereo = ListenClips::render(ListenClips::song({10, false}));
    std::vector<float> mono;
    for (std::size_t i = 0; i + 1 < stereo.size(); i += 2) {
        const float sample = 0.5f * (stereo[i] + stereo[i + 1]);
        mono.push_back(sample);
        mono.push_back(sample);
    }
    const Heard after = hear(detector, mono, 1, 2 * ListenClips::rate);
    ASSERT_TRUE(after.estimate);
    EXPECT_EQ(after.estimate->key.name(), "Bb Major");
}

} // namespace
