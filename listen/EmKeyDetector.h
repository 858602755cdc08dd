#pragma once

#include "EmKey.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

struct kiss_fftr_state;
struct SRC_STATE_tag;

// Hears the key of music, incrementally: samples go in as they are played, an estimate can be
// asked for at any time and grows surer over the song. Reset it when the song changes.
//
// The samples are mixed to mono, resampled to a low analysis rate and cut into overlapping
// frames; each frame's spectral peaks give pitches. Their offset from the equal-tempered grid
// is gathered to estimate the tuning (a player's speed change can move it up to half a
// semitone); their energy is gathered in a pitch-class profile that favours the bass and notes
// that last. The profile is compared with major and minor key profiles at the twelve
// transpositions. Frames that are silent, noisy or do not hold steady pitches (speech, a
// sliding voice) are left out.
//
// Only one analysis frame of audio is kept; nothing is written anywhere. Not thread-safe: use
// an instance from one thread at a time.
class EmKeyDetector
{
public:
    struct Estimate
    {
        EmKey key;
        // 0..1: how clearly the best key beats the next best one.
        double confidence = 0.0;
    };

    // The first estimate is given after this many seconds of music, or, in songs whose
    // passages partly do not count as music, after sound_seconds_enough seconds of sound of
    // which music_seconds_enough count as music.
    static constexpr double first_answer_seconds = 8.0;
    static constexpr double sound_seconds_enough = 12.0;
    static constexpr double music_seconds_enough = 4.0;
    // From this confidence on, an estimate is sure enough to act on without the catalogue.
    static constexpr double confident = 0.5;

    EmKeyDetector();
    ~EmKeyDetector();
    EmKeyDetector(const EmKeyDetector&) = delete;
    EmKeyDetector& operator=(const EmKeyDetector&) = delete;

    // Interleaved samples in -1..1. A change of rate or channel count from one call to the next
    // is allowed (the sound device changed); what was heard before is kept.
    void add(const float* samples, std::size_t frames, int channels, int sample_rate);
    // Forgets everything heard; the next song starts from nothing.
    void reset();

    // Nothing until enough music was heard, or when what was heard names no key (a single
    // pitch, noise).
    std::optional<Estimate> estimate() const;
    // Seconds of audio that counted as music.
    double music_seconds() const { return counted_frames * hop_seconds(); }
    // The reference pitch's offset from A = 440 Hz, in cents, -50..50.
    double tuning_cents() const;

    static constexpr int analysis_rate = 11025;
    static constexpr std::size_t frame_size = 8192;
    static constexpr std::size_t hop_size = 4096;
    static double hop_seconds() { return static_cast<double>(hop_size) / analysis_rate; }

private:
    // Pitch classes at a tenth of a semitone, so the tuning can be applied after the fact.
    static constexpr std::size_t fine_bins = 120;
    static constexpr int lowest_note = 28;  // E1
    static constexpr int highest_note = 96; // C7
    static constexpr std::size_t note_count = highest_note - lowest_note + 1;

    void resample_into_frame(const float* mono, std::size_t frames, int sample_rate);
    void analyse_frame();
    std::array<double, 12> folded_profile(const std::array<double, fine_bins>& fine) const;

    kiss_fftr_state* fft = nullptr;
    SRC_STATE_tag* resampler = nullptr;
    int resampler_rate = 0;
    std::vector<float> mono;
    std::vector<float> resampled;
    std::vector<float> frame;
    std::size_t frame_fill = 0;
    std::vector<float> window;
    std::vector<float> spectrum_magnitude;
    std::vector<double> local_sum;

    // Energy per note of the last two frames.
    std::array<double, note_count> earlier_notes{};
    std::array<double, note_count> previous_notes{};
    std::array<double, note_count> current_notes{};
    std::array<double, fine_bins> fine_profile{};
    std::array<double, fine_bins> fine_bass{}; // the bass notes again, below G3
    double tuning_cos = 0.0;
    double tuning_sin = 0.0;
    std::size_t counted_frames = 0;
    std::size_t sounding_frames = 0; // not silent, music or not
};
