// A module whose entry returns something that is not a host record of this interface.
#include "FakeRecord.h"

FAKE_ENTRY(audioMasterCallback) {
    static AEffect effect = fake::record(2, 2, 0);
    effect.magic = fourCharCode("Nope");
    return &effect;
}
