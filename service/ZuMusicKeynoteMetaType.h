#pragma once

#include "zuemusic.pb.h"

#include <QMetaType>

// Lets a copy of a key record travel inside a QVariant (for example as a list row's data).
Q_DECLARE_METATYPE(zudata::ZuMusicKeynote)
