#include "EmDesktopAudioCapture.h"

#include "EmWasapiCapture.h"

std::unique_ptr<EmAudioCapture> make_desktop_audio_capture()
{
    return std::make_unique<EmWasapiCapture>();
}
