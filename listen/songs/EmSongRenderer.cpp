#include "EmSongRenderer.h"

#include <fluidsynth.h>

EmSongRenderer::EmSongRenderer(int sample_rate, const std::string& sound_font)
    : rate(sample_rate)
{
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
    fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", sample_rate);
    // The player follows the rendered samples, not the wall clock: rendering runs as fast as
    // it can.
    fluid_settings_setstr(settings, "player.timing-source", "sample");
    fluid_settings_setint(settings, "synth.lock-memory", 0);
    synth = new_fluid_synth(settings);
    ready = synth && fluid_synth_sfload(synth, sound_font.c_str(), 1) != FLUID_FAILED;
}

EmSongRenderer::~EmSongRenderer()
{
    if (synth) {
        delete_fluid_synth(synth);
    }
    delete_fluid_settings(settings);
}

std::vector<float> EmSongRenderer::render(const EmSong& song)
{
    std::vector<float> samples;
    if (!ready) {
        return samples;
    }
    fluid_synth_system_reset(synth);
    const std::vector<std::uint8_t> midi = song.midi();
    fluid_player_t* player = new_fluid_player(synth);
    fluid_player_add_mem(player, midi.data(), midi.size());
    fluid_player_play(player);
    constexpr int block = 1024;
    float left[block];
    float right[block];
    // A second after the last event lets the notes ring out.
    int tail_blocks = rate / block;
    while (tail_blocks > 0) {
        if (fluid_player_get_status(player) != FLUID_PLAYER_PLAYING) {
            --tail_blocks;
        }
        fluid_synth_write_float(synth, block, left, 0, 1, right, 0, 1);
        for (int i = 0; i < block; ++i) {
            samples.push_back(left[i]);
            samples.push_back(right[i]);
        }
    }
    fluid_player_stop(player);
    delete_fluid_player(player);
    return samples;
}
