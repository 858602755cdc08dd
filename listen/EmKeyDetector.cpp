#include "EmKeyDetector.h"

#include <kiss_fftr.h>
#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

constexpr double pi = 3.14159265358979323846;

// How strongly each degree of the scale, from the tonic up, belongs to a major and a minor key:
// the tonic and the fifth most, then the third that tells the mode, then the other degrees of the
// scale; a minor key uses both its lowered and its raised sixth and seventh, the raised ones in
// the chord on the fifth.
constexpr std::array<double, 12> major_profile = {2.0, 0.0, 1.0, 0.0, 1.5, 1.0, 0.0, 1.5, 0.0, 1.0, 0.0, 1.0};
constexpr std::array<double, 12> minor_profile = {2.0, 0.0, 1.0, 1.5, 0.0, 1.0, 0.0, 1.5, 1.0, 0.0, 0.5, 0.5};

// Below this level a frame is silence.
constexpr double silence_rms = 0.003;
// Spectral flatness above which a frame is noise rather than notes (white noise gives about
// 0.56, played notes well under 0.2).
constexpr double noise_flatness = 0.3;
// Share of a frame's note energy that must have been there in the last frame that shares no
// sample with it: speech and sliding voices change pitch from one syllable to the next, chords
// and bass lines hold theirs.
constexpr double steady_share = 0.35;
// A peak must stand this far above the spectrum around it to count as a note's partial.
constexpr double peak_over_surroundings = 2.0;
// Notes below this one (G3) weigh bass_gain times more: the bass names the tonic most often.
constexpr double bass_top_note = 55.0;
constexpr double bass_gain = 4.0;
// A note weighs this much in the frame where it starts, and fully once it lasted a frame length.
constexpr double onset_weight = 0.3;
// What the best key's correlation must beat the second best's by for full confidence.
constexpr double full_confidence_margin = 0.14;
// Pitch classes that must each hold this share of the profile before a key can be named.
constexpr double pitch_class_share = 0.05;
constexpr int pitch_classes_needed = 3;

double note_of(double frequency)
{
    return 69.0 + 12.0 * std::log2(frequency / 440.0);
}

double frequency_of(double note)
{
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

double correlation(const std::array<double, 12>& profile, const std::array<double, 12>& reference,
                   int rotation)
{
    const double mean_p = std::accumulate(profile.begin(), profile.end(), 0.0) / 12.0;
    const double mean_r = std::accumulate(reference.begin(), reference.end(), 0.0) / 12.0;
    double products = 0.0;
    double squares_p = 0.0;
    double squares_r = 0.0;
    for (int i = 0; i < 12; ++i) {
        const double p = profile[static_cast<std::size_t>((i + rotation) % 12)] - mean_p;
        const double r = reference[static_cast<std::size_t>(i)] - mean_r;
        products += p * r;
        squares_p += p * p;
        squares_r += r * r;
    }
    if (squares_p <= 0.0 || squares_r <= 0.0) {
        return 0.0;
    }
    return products / std::sqrt(squares_p * squares_r);
}

} // namespace

EmKeyDetector::EmKeyDetector()
    : fft(kiss_fftr_alloc(static_cast<int>(frame_size), 0, nullptr, nullptr))
    , frame(frame_size)
    , window(frame_size)
    , spectrum_magnitude(frame_size / 2 + 1)
    , local_sum(frame_size / 2 + 2)
{
    for (std::size_t i = 0; i < frame_size; ++i) {
        window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * pi * static_cast<double>(i) / frame_size));
    }
}

EmKeyDetector::~EmKeyDetector()
{
    kiss_fftr_free(fft);
    if (resampler) {
        src_delete(resampler);
    }
}

void EmKeyDetector::reset()
{
    if (resampler) {
        src_reset(resampler);
    }
    frame_fill = 0;
    previous_notes.fill(0.0);
    earlier_notes.fill(0.0);
    fine_profile.fill(0.0);
    fine_bass.fill(0.0);
    tuning_cos = 0.0;
    tuning_sin = 0.0;
    counted_frames = 0;
    sounding_frames = 0;
}

void EmKeyDetector::add(const float* samples, std::size_t frames, int channels, int sample_rate)
{
    if (!samples || frames == 0 || channels <= 0 || sample_rate <= 0) {
        return;
    }
    mono.resize(frames);
    const auto channel_count = static_cast<std::size_t>(channels);
    for (std::size_t i = 0; i < frames; ++i) {
        float sum = 0.0f;
        for (std::size_t c = 0; c < channel_count; ++c) {
            sum += samples[i * channel_count + c];
        }
        mono[i] = sum / static_cast<float>(channels);
    }
    resample_into_frame(mono.data(), frames, sample_rate);
}

void EmKeyDetector::resample_into_frame(const float* input, std::size_t frames, int sample_rate)
{
    const float* out = input;
    std::size_t out_count = frames;
    if (sample_rate != analysis_rate) {
        if (sample_rate != resampler_rate) {
            if (resampler) {
                src_delete(resampler);
            }
            int error = 0;
            resampler = src_new(SRC_SINC_FASTEST, 1, &error);
            resampler_rate = resampler ? sample_rate : 0;
            if (!resampler) {
                return;
            }
        }
        const double ratio = static_cast<double>(analysis_rate) / sample_rate;
        resampled.resize(static_cast<std::size_t>(std::ceil(frames * ratio)) + 64);
        SRC_DATA data{};
        data.data_in = input;
        data.input_frames = static_cast<long>(frames);
        data.data_out = resampled.data();
        data.output_frames = static_cast<long>(resampled.size());
        data.src_ratio = ratio;
        std::size_t produced = 0;
        while (data.input_frames > 0) {
            if (src_process(resampler, &data) != 0) {
                return;
            }
            produced += static_cast<std::size_t>(data.output_frames_gen);
            data.data_in += data.input_frames_used;
            data.input_frames -= data.input_frames_used;
            data.data_out += data.output_frames_gen;
            data.output_frames -= data.output_frames_gen;
            if (data.input_frames_used == 0 && data.output_frames_gen == 0) {
                break;
            }
        }
        out = resampled.data();
        out_count = produced;
    }
    for (std::size_t i = 0; i < out_count;) {
        const std::size_t take = std::min(out_count - i, frame_size - frame_fill);
        std::copy(out + i, out + i + take, frame.begin() + static_cast<std::ptrdiff_t>(frame_fill));
        frame_fill += take;
        i += take;
        if (frame_fill == frame_size) {
            analyse_frame();
            std::copy(frame.begin() + hop_size, frame.end(), frame.begin());
            frame_fill = frame_size - hop_size;
        }
    }
}

void EmKeyDetector::analyse_frame()
{
    double energy = 0.0;
    for (float sample : frame) {
        energy += static_cast<double>(sample) * sample;
    }
    current_notes.fill(0.0);
    if (std::sqrt(energy / frame_size) < silence_rms) {
        previous_notes.fill(0.0);
        earlier_notes.fill(0.0);
        return;
    }
    ++sounding_frames;

    std::vector<float> windowed(frame_size);
    for (std::size_t i = 0; i < frame_size; ++i) {
        windowed[i] = frame[i] * window[i];
    }
    std::vector<kiss_fft_cpx> bins(frame_size / 2 + 1);
    kiss_fftr(fft, windowed.data(), bins.data());

    const double bin_hz = static_cast<double>(analysis_rate) / frame_size;
    const auto first = static_cast<std::size_t>(std::floor(frequency_of(lowest_note - 0.5) / bin_hz));
    const auto last = static_cast<std::size_t>(std::ceil(frequency_of(highest_note + 0.5) / bin_hz));

    double log_power_sum = 0.0;
    double power_sum = 0.0;
    float loudest = 0.0f;
    local_sum[0] = 0.0;
    for (std::size_t k = 0; k < bins.size(); ++k) {
        const float magnitude = std::hypot(bins[k].r, bins[k].i);
        spectrum_magnitude[k] = magnitude;
        local_sum[k + 1] = local_sum[k] + magnitude;
        if (k >= first && k <= last) {
            const double power = static_cast<double>(magnitude) * magnitude + 1e-12;
            log_power_sum += std::log(power);
            power_sum += power;
            loudest = std::max(loudest, magnitude);
        }
    }
    const double count = static_cast<double>(last - first + 1);
    const double flatness = std::exp(log_power_sum / count) / (power_sum / count);

    struct Peak
    {
        double note;
        double weight;
        std::size_t index;
    };
    std::vector<Peak> peaks;
    const double tuning = tuning_cents() / 100.0;
    for (std::size_t k = std::max<std::size_t>(first, 2); k <= last && k + 1 < bins.size(); ++k) {
        const float m = spectrum_magnitude[k];
        if (m <= spectrum_magnitude[k - 1] || m < spectrum_magnitude[k + 1] || m < loudest * 1e-3f) {
            continue;
        }
        const auto half_width = std::max<std::size_t>(4, k / 25);
        const std::size_t from = k > half_width ? k - half_width : 0;
        const std::size_t to = std::min(bins.size() - 1, k + half_width);
        const double surroundings =
            (local_sum[to + 1] - local_sum[from]) / static_cast<double>(to - from + 1);
        if (m < peak_over_surroundings * surroundings) {
            continue;
        }
        const double a = std::log(spectrum_magnitude[k - 1] + 1e-12);
        const double b = std::log(m + 1e-12);
        const double c = std::log(spectrum_magnitude[k + 1] + 1e-12);
        const double denominator = a - 2.0 * b + c;
        const double offset = denominator < 0.0 ? std::clamp(0.5 * (a - c) / denominator, -0.5, 0.5) : 0.0;
        const double amplitude = std::exp(b - 0.25 * (a - c) * offset);
        const double note = note_of((static_cast<double>(k) + offset) * bin_hz);
        const long nearest = std::lround(note - tuning);
        if (nearest < lowest_note || nearest > highest_note) {
            continue;
        }
        const double weight = std::sqrt(amplitude / loudest);
        const auto index = static_cast<std::size_t>(nearest - lowest_note);
        current_notes[index] += weight;
        peaks.push_back({note, weight, index});
    }

    double held = 0.0;
    double total = 0.0;
    for (std::size_t n = 0; n < note_count; ++n) {
        held += std::min(current_notes[n], earlier_notes[n]);
        total += current_notes[n];
    }
    const bool music = total > 0.0 && flatness < noise_flatness && held >= steady_share * total;
    if (music) {
        for (const Peak& peak : peaks) {
            const double phase = 2.0 * pi * peak.note;
            tuning_cos += peak.weight * std::cos(phase);
            tuning_sin += peak.weight * std::sin(phase);
            const double lasted = std::min(1.0, earlier_notes[peak.index] / current_notes[peak.index]);
            const double weight = peak.weight * (onset_weight + (1.0 - onset_weight) * lasted);
            const long fine = std::lround(peak.note * 10.0);
            const auto bin = static_cast<std::size_t>(((fine % 120) + 120) % 120);
            fine_profile[bin] += weight;
            if (peak.note < bass_top_note) {
                fine_bass[bin] += weight;
            }
        }
        ++counted_frames;
    }
    earlier_notes = previous_notes;
    previous_notes = current_notes;
}

double EmKeyDetector::tuning_cents() const
{
    if (tuning_cos == 0.0 && tuning_sin == 0.0) {
        return 0.0;
    }
    return 100.0 * std::atan2(tuning_sin, tuning_cos) / (2.0 * pi);
}

std::array<double, 12> EmKeyDetector::folded_profile(const std::array<double, fine_bins>& fine) const
{
    const double tuning = tuning_cents() / 100.0;
    std::array<double, 12> profile{};
    for (std::size_t b = 0; b < fine_bins; ++b) {
        const long pitch_class = std::lround(static_cast<double>(b) / 10.0 - tuning);
        profile[static_cast<std::size_t>(((pitch_class % 12) + 12) % 12)] += fine[b];
    }
    return profile;
}

std::optional<EmKeyDetector::Estimate> EmKeyDetector::estimate() const
{
    const double sound_seconds = sounding_frames * hop_seconds();
    if (music_seconds() < first_answer_seconds &&
        (sound_seconds < sound_seconds_enough || music_seconds() < music_seconds_enough)) {
        return std::nullopt;
    }
    std::array<double, 12> profile = folded_profile(fine_profile);
    const std::array<double, 12> bass = folded_profile(fine_bass);
    for (std::size_t i = 0; i < 12; ++i) {
        profile[i] += (bass_gain - 1.0) * bass[i];
    }
    const double total = std::accumulate(profile.begin(), profile.end(), 0.0);
    const auto present = std::count_if(profile.begin(), profile.end(),
                                       [&](double value) { return value >= pitch_class_share * total; });
    if (total <= 0.0 || present < pitch_classes_needed) {
        return std::nullopt;
    }
    double best = -2.0;
    double second = -2.0;
    EmKey best_key;
    for (int tonic = 0; tonic < 12; ++tonic) {
        for (bool minor : {false, true}) {
            const double r = correlation(profile, minor ? minor_profile : major_profile, tonic);
            if (r > best) {
                second = best;
                best = r;
                best_key = EmKey{tonic, minor};
            } else if (r > second) {
                second = r;
            }
        }
    }
    return Estimate{best_key, std::clamp((best - second) / full_confidence_margin, 0.0, 1.0)};
}
