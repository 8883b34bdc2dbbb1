// The module's exported entry. C++ reserves the name `main` for programs, so the function is
// defined as pluginMain and exported as `main`: by an asm label on ELF, by the .def file on Windows.
#include "AEffect.h"
#include "CreateEffect.h"
#include "EffectBase.h"

#if defined(_WIN32)
#include <windows.h>

namespace {
HINSTANCE moduleInstance = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    moduleInstance = instance;
    return TRUE;
}

extern "C" SIXBAND_HOST_ENTRY AEffect* pluginMain(audioMasterCallback audioMaster);
#else
extern "C" __attribute__((visibility("default"))) AEffect* pluginMain(audioMasterCallback audioMaster)
    __asm__("main");
#endif

extern "C" SIXBAND_HOST_ENTRY AEffect* pluginMain(audioMasterCallback audioMaster) {
    // A host that does not answer the version query is not one this module can work with.
    if (audioMaster == nullptr || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    EffectBase* effect = createEffect(audioMaster);
    return effect ? effect->getHostRecord() : nullptr;
}
