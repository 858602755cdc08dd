#pragma once

#include <sndfile.h>

#include <string>

// Opens a sound file for reading by its UTF-8 name, as sf_open does. On Windows sf_open reads the
// name in the ANSI code page, which cannot hold every name, so there it goes through the wide call.
SNDFILE* em_sound_file_open(const std::string& path, SF_INFO* info);
