// A valid module without outputs (a meter, say), which cannot process audio into a file.
#include "FakeRecord.h"

FAKE_ENTRY(audioMasterCallback) {
    static AEffect effect = fake::record(2, 0, 0);
    return &effect;
}
