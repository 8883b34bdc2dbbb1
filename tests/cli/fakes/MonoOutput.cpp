// A valid module with one output, which stereo processing cannot use.
#include "FakeRecord.h"

FAKE_ENTRY(audioMasterCallback) {
    static AEffect effect = fake::record(1, 1, 0);
    return &effect;
}
