#pragma once

#include "EmKey.h"

#include <cstdint>
#include <string>
#include <vector>

// Backing tracks in a known key, written as Standard MIDI Files and rendered to audio, so the key
// detector can be measured and tested on music whose key is known by construction.
struct EmSong
{
    EmKey key;
    int style = 0;         // index of the chord progression and accompaniment pattern
    int tempo = 100;       // quarter notes per minute
    int chord_program = 0; // General MIDI programs
    int bass_program = 33;
    int melody_program = 0;
    bool drums = false;
    double detune_cents = 0.0; // the whole band off the grid, as after a player's speed change
    double seconds = 30.0;
    unsigned seed = 1;

    static constexpr int style_count = 8;

    std::string describe() const;
    // A Standard MIDI File (format 0) of the song.
    std::vector<std::uint8_t> midi() const;
    // The same song moved by the given semitones (a player's key-change control).
    EmSong transposed(int semitones) const;
};

// The evaluation set: every key at least twice over several styles, tempos, instruments, with
// and without drums, a third of the songs detuned by up to 30 cents, and transposed copies of
// some of them (the copies come last; transposed_from names their original's index). Variant 0
// is the set the detector was tuned on; other variants hold the same kinds of songs dealt out
// differently, with other tunes, to check that the figures hold on songs it was not tuned on.
struct EmSongSet
{
    std::vector<EmSong> songs;
    std::vector<int> transposed_from; // -1 for an original
    static EmSongSet evaluation(double seconds, int variant = 0);
};
