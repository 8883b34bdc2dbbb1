// The editor an effect may own. The equaliser has none; the base class forwards the editor opcodes
// to one if a concrete effect sets it, and deletes it with the effect.
#pragma once

#include <cstdint>

class EffectEditor {
public:
    virtual ~EffectEditor() = default;
    virtual std::int32_t getEditorRect(void* ptr) = 0;
    virtual std::int32_t openEditor(void* ptr) = 0;
    virtual void closeEditor() = 0;
    virtual void idleEditor() = 0;
};
