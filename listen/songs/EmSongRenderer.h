#pragma once

#include "EmSong.h"

#include <string>
#include <vector>

struct _fluid_hashtable_t;
struct _fluid_synth_t;

// Renders songs to audio with FluidSynth and the General MIDI SoundFont of Debian's
// fluid-soundfont-gm, in memory. Loading the SoundFont takes a moment: render many songs with
// one renderer. Not thread-safe.
class EmSongRenderer
{
public:
    static constexpr const char* default_sound_font = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

    explicit EmSongRenderer(int sample_rate, const std::string& sound_font = default_sound_font);
    ~EmSongRenderer();
    EmSongRenderer(const EmSongRenderer&) = delete;
    EmSongRenderer& operator=(const EmSongRenderer&) = delete;

    bool is_ready() const { return ready; }
    int sample_rate() const { return rate; }
    // Interleaved stereo samples of the whole song; empty when the renderer is not ready.
    std::vector<float> render(const EmSong& song);

private:
    int rate;
    bool ready = false;
    _fluid_hashtable_t* settings = nullptr;
    _fluid_synth_t* synth = nullptr;
};
