// The host record of the VST 1.0 plug-in interface, as hosts read it.
//
// A host holds nothing but the address of this record. It reads the fields by fixed offsets, so the
// layout below is the contract: 144 bytes on 32-bit targets, and on 64-bit targets the same field
// order with natural alignment and pointer-wide integers where 64-bit hosts expect them (192 bytes).
// Both forms are checked field by field at compile time at the end of this header.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define SIXBAND_CDECL __cdecl
#else
#define SIXBAND_CDECL
#endif

// 32-bit hosts built with other compilers may call in with the stack aligned to 4 bytes only (the
// Windows convention), while GCC assumes 16 and keeps SSE values in aligned stack slots: the
// functions a host calls realign the stack on entry, so nothing inside depends on the caller.
#if defined(__i386__)
#define SIXBAND_HOST_ENTRY __attribute__((force_align_arg_pointer))
#else
#define SIXBAND_HOST_ENTRY
#endif

struct AEffect;

// Pointer-wide integer of the interface: the dispatcher's value argument and result, and the two
// reserved fields. 32 bits wide on 32-bit targets, as the original interface has it everywhere.
using VstIntPtr = std::intptr_t;

using audioMasterCallback = VstIntPtr(SIXBAND_CDECL*)(AEffect* effect, std::int32_t opcode,
                                                      std::int32_t index, VstIntPtr value,
                                                      void* ptr, float opt);
using DispatcherProc = VstIntPtr(SIXBAND_CDECL*)(AEffect* effect, std::int32_t opcode,
                                                 std::int32_t index, VstIntPtr value, void* ptr,
                                                 float opt);
using ProcessProc = void(SIXBAND_CDECL*)(AEffect* effect, float** inputs, float** outputs,
                                         std::int32_t sampleFrames);
using SetParameterProc = void(SIXBAND_CDECL*)(AEffect* effect, std::int32_t index, float value);
using GetParameterProc = float(SIXBAND_CDECL*)(AEffect* effect, std::int32_t index);

// Four-character codes are integers whose most significant byte holds the first character.
constexpr std::int32_t fourCharCode(const char (&code)[5]) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(code[3])));
}

constexpr std::int32_t kEffectMagic = fourCharCode("VstP");

// Bits of AEffect::flags.
enum EffectFlags : std::int32_t {
    effFlagsHasClip = 0x02,
    effFlagsHasVu = 0x04,
    effFlagsCanMono = 0x08,
    effFlagsCanReplacing = 0x10,
};

// Dispatcher opcodes (host to plug-in).
enum DispatcherOpcode : std::int32_t {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effGetVu = 9,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditIdle = 19,
    effIdentify = 22,
};

// Callback opcodes (plug-in to host).
enum HostOpcode : std::int32_t {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
};

struct AEffect {
    std::int32_t magic;
    DispatcherProc dispatcher;
    ProcessProc process;
    SetParameterProc setParameter;
    GetParameterProc getParameter;
    std::int32_t numPrograms;
    std::int32_t numParams;
    std::int32_t numInputs;
    std::int32_t numOutputs;
    std::int32_t flags;
    VstIntPtr resvd1;
    VstIntPtr resvd2;
    std::int32_t initialDelay;
    std::int32_t realQualities;
    std::int32_t offQualities;
    float ioRatio;
    void* object;
    void* user;
    std::int32_t uniqueID;
    std::int32_t version;
    ProcessProc processReplacing;
    char future[60];
};

#define SIXBAND_CHECK_OFFSET(field, narrow, wide)                                                    \
    static_assert(offsetof(AEffect, field) == (sizeof(void*) == 4 ? (narrow) : (wide)),              \
                  "AEffect::" #field " is not where hosts read it")
SIXBAND_CHECK_OFFSET(magic, 0, 0);
SIXBAND_CHECK_OFFSET(dispatcher, 4, 8);
SIXBAND_CHECK_OFFSET(process, 8, 16);
SIXBAND_CHECK_OFFSET(setParameter, 12, 24);
SIXBAND_CHECK_OFFSET(getParameter, 16, 32);
SIXBAND_CHECK_OFFSET(numPrograms, 20, 40);
SIXBAND_CHECK_OFFSET(numParams, 24, 44);
SIXBAND_CHECK_OFFSET(numInputs, 28, 48);
SIXBAND_CHECK_OFFSET(numOutputs, 32, 52);
SIXBAND_CHECK_OFFSET(flags, 36, 56);
SIXBAND_CHECK_OFFSET(resvd1, 40, 64);
SIXBAND_CHECK_OFFSET(resvd2, 44, 72);
SIXBAND_CHECK_OFFSET(initialDelay, 48, 80);
SIXBAND_CHECK_OFFSET(realQualities, 52, 84);
SIXBAND_CHECK_OFFSET(offQualities, 56, 88);
SIXBAND_CHECK_OFFSET(ioRatio, 60, 92);
SIXBAND_CHECK_OFFSET(object, 64, 96);
SIXBAND_CHECK_OFFSET(user, 68, 104);
SIXBAND_CHECK_OFFSET(uniqueID, 72, 112);
SIXBAND_CHECK_OFFSET(version, 76, 116);
SIXBAND_CHECK_OFFSET(processReplacing, 80, 120);
SIXBAND_CHECK_OFFSET(future, 84, 128);
#undef SIXBAND_CHECK_OFFSET
static_assert(sizeof(AEffect) == (sizeof(void*) == 4 ? 144 : 192), "AEffect has the wrong size");
