#pragma once

// The keys moved next to the settings store, where every folder may read them; this name stays
// for the files that still include it.
#include "platform/SettingsKeys.h"
