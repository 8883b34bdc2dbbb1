// The five functions whose addresses the host record carries. Each finds the effect through the
// record's `object` field and forwards the call, arguments unchanged, to a virtual operation.
#pragma once

#include "AEffect.h"

SIXBAND_HOST_ENTRY VstIntPtr SIXBAND_CDECL dispatchEntry(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                      VstIntPtr value, void* ptr, float opt);
SIXBAND_HOST_ENTRY void SIXBAND_CDECL processEntry(AEffect* effect, float** inputs, float** outputs,
                                std::int32_t sampleFrames);
SIXBAND_HOST_ENTRY void SIXBAND_CDECL setParameterEntry(AEffect* effect, std::int32_t index, float value);
SIXBAND_HOST_ENTRY float SIXBAND_CDECL getParameterEntry(AEffect* effect, std::int32_t index);
SIXBAND_HOST_ENTRY void SIXBAND_CDECL processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                         std::int32_t sampleFrames);
