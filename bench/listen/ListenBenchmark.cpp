// Runs the key detector over the generated evaluation set and prints its accuracy, how soon it
// answers and what it costs. Usage: bench_listen [SECONDS_PER_SONG [VARIANT]]

#include "EmKeyDetector.h"
#include "EmSongRenderer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>

namespace {

double cpu_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    // What a sound server usually hands over: 44.1 kHz stereo, a tenth of a second at a time.
    constexpr int rate = 44100;
    constexpr std::size_t block_frames = rate / 10;
    EmSongRenderer renderer(rate);
    if (!renderer.is_ready()) {
        std::fprintf(stderr, "bench_listen: cannot load %s\n", EmSongRenderer::default_sound_font);
        return 1;
    }
    const int variant = argc > 2 ? std::atoi(argv[2]) : 0;
    const EmSongSet set = EmSongSet::evaluation(seconds, variant);

    int exact = 0;
    int first_exact = 0;
    double weighted = 0.0;
    double first_weighted = 0.0;
    int confident = 0;
    int confident_exact = 0;
    double first_answer_sum = 0.0;
    double first_answer_max = 0.0;
    int never_answered = 0;
    int copies = 0;
    int copies_flagged = 0;
    double cpu = 0.0;
    double audio = 0.0;
    std::vector<std::optional<EmKeyDetector::Estimate>> results;
    for (std::size_t i = 0; i < set.songs.size(); ++i) {
        const EmSong& song = set.songs[i];
        const std::vector<float> samples = renderer.render(song);
        const std::size_t frames = samples.size() / 2;
        EmKeyDetector detector;
        std::optional<EmKeyDetector::Estimate> first;
        double first_at = 0.0;
        const double cpu_before = cpu_seconds();
        for (std::size_t at = 0; at < frames; at += block_frames) {
            const std::size_t count = std::min(block_frames, frames - at);
            detector.add(samples.data() + at * 2, count, 2, rate);
            if (!first) {
                first = detector.estimate();
                first_at = static_cast<double>(at + count) / rate;
            }
        }
        const auto estimate = detector.estimate();
        cpu += cpu_seconds() - cpu_before;
        audio += static_cast<double>(frames) / rate;
        results.push_back(estimate);

        if (first) {
            first_answer_sum += first_at;
            first_answer_max = std::max(first_answer_max, first_at);
            first_weighted += EmKey::weighted_score(first->key, song.key);
            first_exact += first->key == song.key;
        } else {
            ++never_answered;
        }
        const double score = estimate ? EmKey::weighted_score(estimate->key, song.key) : 0.0;
        weighted += score;
        exact += score == 1.0;
        if (estimate && estimate->confidence >= EmKeyDetector::confident) {
            ++confident;
            confident_exact += score == 1.0;
        }
        std::printf("%-58s %-9s %.2f  tuning %+5.1f  %s\n", song.describe().c_str(),
                    estimate ? estimate->key.name().c_str() : "-", estimate ? estimate->confidence : 0.0,
                    detector.tuning_cents(), score == 1.0 ? "" : "MISS");

        const int original = set.transposed_from[i];
        if (original >= 0) {
            ++copies;
            // A copy is flagged as the window would flag it: a confident hearing that differs from
            // the original's key by more than the usual confusions.
            const EmKey original_key = set.songs[static_cast<std::size_t>(original)].key;
            copies_flagged += estimate && estimate->confidence >= EmKeyDetector::confident &&
                              EmKey::relation(estimate->key, original_key) == EmKey::Relation::Other;
        }
    }

    const auto n = static_cast<double>(set.songs.size());
    const double answered = n - never_answered;
    std::printf("\nsongs %zu of %.0f s, variant %d (%d transposed copies)\n", set.songs.size(), seconds,
                variant, copies);
    std::printf("whole song:   exact %.1f %%, weighted score %.3f\n", 100.0 * exact / n, weighted / n);
    std::printf("first answer: exact %.1f %%, weighted score %.3f, after %.1f s on average, %.1f s at most, "
                "%d songs never answered\n",
                100.0 * first_exact / n, first_weighted / n, answered > 0 ? first_answer_sum / answered : 0.0,
                first_answer_max, never_answered);
    std::printf("confident (>= %.2f): %d songs, %.1f %% of them exact\n", EmKeyDetector::confident, confident,
                confident > 0 ? 100.0 * confident_exact / confident : 0.0);
    std::printf("transposed copies flagged: %d of %d (%.1f %%)\n", copies_flagged, copies,
                copies > 0 ? 100.0 * copies_flagged / copies : 0.0);
    std::printf("cpu: %.3f s for %.0f s of 44.1 kHz stereo = %.3f %% of one core\n", cpu, audio,
                100.0 * cpu / audio);
    return 0;
}
