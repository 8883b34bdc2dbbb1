// The five functions whose addresses the host record carries. Each finds the effect through the
// record's `object` field and forwards the call, arguments unchanged, to a virtual operation.
#pragma once

#include "AEffect.h"

VstIntPtr SIXBAND_CDECL dispatchEntry(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                      VstIntPtr value, void* ptr, float opt);
void SIXBAND_CDECL processEntry(AEffect* effect, float** inputs, float** outputs,
                                std::int32_t sampleFrames);
void SIXBAND_CDECL setParameterEntry(AEffect* effect, std::int32_t index, float value);
float SIXBAND_CDECL getParameterEntry(AEffect* effect, std::int32_t index);
void SIXBAND_CDECL processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                         std::int32_t sampleFrames);
