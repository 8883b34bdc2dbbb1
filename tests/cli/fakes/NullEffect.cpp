// A module that refuses to create an effect.
#include "FakeRecord.h"

FAKE_ENTRY(audioMasterCallback) { return nullptr; }
