// The picture on the main window's settings button: a 20 x 19 gear.
#pragma once

#include "platform/Widgets.h"

platform::Bitmap SettingsGlyph();
