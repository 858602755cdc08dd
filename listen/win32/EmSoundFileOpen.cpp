#include <windows.h>

// Declares sf_wchar_open, which needs the system's wide-character type.
#define ENABLE_SNDFILE_WINDOWS_PROTOTYPES 1
#include "EmSoundFileOpen.h"

#include "EmWideText.h"

SNDFILE* em_sound_file_open(const std::string& path, SF_INFO* info)
{
    return sf_wchar_open(EmWideText::from_utf8(path).c_str(), SFM_READ, info);
}
