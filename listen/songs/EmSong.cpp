#include "EmSong.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>

namespace {

constexpr int ticks_per_quarter = 480;
constexpr int drum_channel = 9;
constexpr int bass_channel = 0;
constexpr int chord_channel = 1;
constexpr int melody_channel = 2;

constexpr int major_scale[7] = {0, 2, 4, 5, 7, 9, 11};
constexpr int minor_scale[7] = {0, 2, 3, 5, 7, 8, 10};

struct Style
{
    bool minor;
    int degrees[4]; // chords of one turn, as scale degrees from 0
    int beats;      // per bar
    int pattern;    // 0 held chords, 1 a chord on every beat, 2 rising arpeggio in eighths
};

// Each mode has its own progressions; a song in a minor key takes one of the minor ones.
constexpr Style major_styles[EmSong::style_count] = {
    {false, {0, 4, 5, 3}, 4, 1}, {false, {0, 5, 3, 4}, 4, 0}, {false, {0, 3, 0, 4}, 3, 2},
    {false, {0, 5, 1, 4}, 4, 2}, {false, {0, 3, 4, 3}, 4, 1}, {false, {0, 2, 3, 4}, 4, 0},
    {false, {3, 4, 0, 0}, 3, 1}, {false, {0, 4, 3, 4}, 4, 2}};
constexpr Style minor_styles[EmSong::style_count] = {{true, {0, 5, 2, 6}, 4, 1}, {true, {0, 3, 4, 0}, 4, 0},
                                                     {true, {0, 6, 5, 4}, 3, 2}, {true, {0, 3, 6, 2}, 4, 2},
                                                     {true, {0, 5, 3, 4}, 4, 1}, {true, {0, 3, 0, 4}, 4, 0},
                                                     {true, {5, 6, 0, 0}, 3, 1}, {true, {0, 2, 3, 4}, 4, 2}};

struct Event
{
    long tick;
    int order; // ends of notes before starts at the same tick
    std::vector<std::uint8_t> bytes;
};

class Track
{
public:
    void note(int channel, int pitch, int velocity, long start, long length)
    {
        pitch = std::clamp(pitch, 0, 127);
        events.push_back({start,
                          1,
                          {static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(pitch),
                           static_cast<std::uint8_t>(velocity)}});
        events.push_back({start + length,
                          0,
                          {static_cast<std::uint8_t>(0x80 | channel), static_cast<std::uint8_t>(pitch), 0}});
    }
    void control(int status, int data1, int data2)
    {
        events.push_back({0,
                          -1,
                          {static_cast<std::uint8_t>(status), static_cast<std::uint8_t>(data1),
                           static_cast<std::uint8_t>(data2)}});
    }
    void program(int channel, int number)
    {
        events.push_back(
            {0, -1, {static_cast<std::uint8_t>(0xC0 | channel), static_cast<std::uint8_t>(number)}});
    }
    void tempo(int bpm)
    {
        const int micros = 60000000 / bpm;
        events.push_back({0,
                          -2,
                          {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(micros >> 16),
                           static_cast<std::uint8_t>(micros >> 8), static_cast<std::uint8_t>(micros)}});
    }

    std::vector<std::uint8_t> file(long end) const
    {
        std::vector<Event> sorted = events;
        std::stable_sort(sorted.begin(), sorted.end(), [](const Event& a, const Event& b) {
            return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
        });
        std::vector<std::uint8_t> body;
        long now = 0;
        for (const Event& event : sorted) {
            write_delta(body, event.tick - now);
            now = event.tick;
            body.insert(body.end(), event.bytes.begin(), event.bytes.end());
        }
        write_delta(body, std::max(0L, end - now));
        body.insert(body.end(), {0xFF, 0x2F, 0x00});

        std::vector<std::uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
        out.push_back(static_cast<std::uint8_t>(ticks_per_quarter >> 8));
        out.push_back(static_cast<std::uint8_t>(ticks_per_quarter & 0xFF));
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        const auto size = static_cast<std::uint32_t>(body.size());
        for (int shift = 24; shift >= 0; shift -= 8) {
            out.push_back(static_cast<std::uint8_t>(size >> shift));
        }
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }

private:
    static void write_delta(std::vector<std::uint8_t>& out, long value)
    {
        std::uint8_t groups[5];
        int count = 0;
        do {
            groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
            value >>= 7;
        } while (value > 0);
        while (count > 1) {
            out.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
        }
        out.push_back(groups[0]);
    }

    std::vector<Event> events;
};

// The pitch class of a scale degree, above the tonic; a minor key's fifth-degree chord takes
// the raised seventh (harmonic minor), as most minor-key songs do.
int degree_pitch(const Style& style, int degree, bool dominant_chord)
{
    const int octave = degree / 7;
    const int step = degree % 7;
    int pitch = (style.minor ? minor_scale : major_scale)[step] + 12 * octave;
    if (style.minor && dominant_chord && step == 6) {
        ++pitch;
    }
    return pitch;
}

} // namespace

std::string EmSong::describe() const
{
    std::ostringstream text;
    text << key.name() << ", style " << style << ", " << tempo << " bpm, programs " << chord_program << "/"
         << bass_program << "/" << melody_program << (drums ? ", drums" : "") << ", detune " << detune_cents
         << " cents";
    return text.str();
}

EmSong EmSong::transposed(int semitones) const
{
    EmSong copy = *this;
    copy.key.tonic = ((key.tonic + semitones) % 12 + 12) % 12;
    return copy;
}

std::vector<std::uint8_t> EmSong::midi() const
{
    const Style& shape =
        (key.minor ? minor_styles : major_styles)[((style % style_count) + style_count) % style_count];
    std::mt19937 random(seed);
    Track track;
    track.tempo(tempo);
    track.program(bass_channel, bass_program);
    track.program(chord_channel, chord_program);
    track.program(melody_channel, melody_program);
    const int bend = 8192 + static_cast<int>(std::lround(detune_cents / 200.0 * 8192.0));
    for (int channel : {bass_channel, chord_channel, melody_channel}) {
        track.control(0xE0 | channel, bend & 0x7F, bend >> 7);
        track.control(0xB0 | channel, 7, channel == melody_channel ? 90 : 100);
    }

    // Keys from F# up sit an octave lower, so every key spans the same register.
    const int tonic = key.tonic >= 6 ? key.tonic - 12 : key.tonic;
    const long beat = ticks_per_quarter;
    const long bar = beat * shape.beats;
    const long end = static_cast<long>(seconds * tempo / 60.0 * beat);
    int melody_degree = 7 + static_cast<int>(random() % 5);
    std::uniform_int_distribution<int> velocity(70, 100);
    for (long start = 0, index = 0; start < end; start += bar, ++index) {
        const int degree = shape.degrees[index % 4];
        const bool dominant = degree == 4;
        const int root = degree_pitch(shape, degree, dominant);
        const int third = degree_pitch(shape, degree + 2, dominant);
        const int fifth = degree_pitch(shape, degree + 4, dominant);
        const int chord[3] = {root, third, fifth};

        track.note(bass_channel, 36 + tonic + root, 100, start, beat * 2 - 40);
        track.note(bass_channel, 36 + tonic + (index % 2 ? fifth : root), 90, start + beat * 2,
                   beat * 2 - 40);
        switch (shape.pattern) {
        case 0:
            for (int tone : chord) {
                track.note(chord_channel, 60 + tonic + tone, 75, start, bar - 20);
            }
            break;
        case 1:
            for (long b = 0; b < shape.beats; ++b) {
                for (int tone : chord) {
                    track.note(chord_channel, 60 + tonic + tone, b == 0 ? 85 : 65, start + b * beat,
                               beat - 60);
                }
            }
            break;
        default:
            for (long e = 0; e < shape.beats * 2; ++e) {
                const int tone = chord[e % 3] + (e >= 3 ? 12 : 0);
                track.note(chord_channel, 60 + tonic + tone, 70, start + e * beat / 2, beat / 2 + 100);
            }
            break;
        }

        // The tune walks the scale by steps and small leaps and lands on a chord tone at the
        // start of each bar.
        for (long b = 0; b < shape.beats; ++b) {
            if (b == 0) {
                const int target = degree + 7 + 2 * static_cast<int>(random() % 3);
                melody_degree = target > 13 ? target - 7 : target;
            } else {
                const int move = static_cast<int>(random() % 5) - 2;
                melody_degree = std::clamp(melody_degree + move, 5, 14);
            }
            const bool rest = b > 0 && random() % 6 == 0;
            if (!rest) {
                track.note(melody_channel, 60 + tonic + degree_pitch(shape, melody_degree, dominant),
                           velocity(random), start + b * beat, beat - 30);
            }
        }

        if (drums) {
            for (long e = 0; e < shape.beats * 2; ++e) {
                const long at = start + e * beat / 2;
                track.note(drum_channel, 42, 70, at, beat / 4);
                if (e % 4 == 0) {
                    track.note(drum_channel, 36, 110, at, beat / 4);
                } else if (e % 4 == 2) {
                    track.note(drum_channel, 38, 100, at, beat / 4);
                }
            }
        }
    }
    return track.file(end + beat);
}

EmSongSet EmSongSet::evaluation(double seconds, int variant)
{
    // Pianos, guitars, organs, strings, brass and synth pads for the chords; fingered, picked
    // and synth basses; piano, flute, sax, violin, trumpet and a lead synth for the tune.
    const int chord_programs[] = {0, 4, 24, 16, 48, 61, 89, 2};
    const int bass_programs[] = {33, 34, 32, 38};
    const int melody_programs[] = {0, 73, 65, 40, 56, 80, 11};
    const int tempos[] = {72, 88, 100, 116, 132};
    const double detunes[] = {-30.0, 20.0, -12.0, 30.0, -22.0, 8.0};

    EmSongSet set;
    int n = 0;
    for (int round = 0; round < 2; ++round) {
        for (int minor = 0; minor < 2; ++minor) {
            for (int tonic = 0; tonic < 12; ++tonic, ++n) {
                EmSong song;
                song.key = EmKey{tonic, minor == 1};
                // Another variant deals the same ingredients out to other keys.
                const int m = n + 7 * variant;
                song.style = (tonic + round * 3 + minor + variant) % EmSong::style_count;
                song.tempo = tempos[(m * 3) % 5];
                song.chord_program = chord_programs[m % 8];
                song.bass_program = bass_programs[(m / 2) % 4];
                song.melody_program = melody_programs[(m * 5) % 7];
                song.drums = m % 2 == 0;
                song.detune_cents = m % 3 == 1 ? detunes[(m / 3) % 6] : 0.0;
                song.seconds = seconds;
                song.seed = static_cast<unsigned>(1000 * (variant + 1) + n);
                set.songs.push_back(song);
                set.transposed_from.push_back(-1);
            }
        }
    }
    // A key-change control moves a song by a semitone to a few; copies of every fourth song.
    const int moves[] = {1, -2, 3, -1, 2, -3};
    const auto originals = static_cast<int>(set.songs.size());
    for (int i = 0, m = 0; i < originals; i += 4, ++m) {
        set.songs.push_back(set.songs[static_cast<std::size_t>(i)].transposed(moves[m % 6]));
        set.transposed_from.push_back(i);
    }
    return set;
}
