// The one effect this module makes. Declared here and defined beside the effect, so that the host
// boundary needs no effect's header.
#pragma once

#include "AEffect.h"

class EffectBase;

// Returns a new effect from a non-throwing allocation, or null when memory is short.
EffectBase* createEffect(audioMasterCallback audioMaster);
