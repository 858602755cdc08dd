#pragma once

#include "EmAudioCapture.h"

#include <memory>

// The capture of what the computer the program runs on plays. Each system's backend implements
// it; the build picks the one for its platform.
std::unique_ptr<EmAudioCapture> make_desktop_audio_capture();
