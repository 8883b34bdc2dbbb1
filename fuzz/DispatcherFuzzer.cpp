// The host record as a hostile host drives it: any opcode, index, value and opt, with ptr at a
// 64-byte buffer, interleaved with parameter writes and reads, processing, and closing. After each
// request the buffer shows what was written: texts end within the lengths hosts allocate for, and
// nothing else ever writes a byte.
#include "FuzzHost.h"

#include <cstring>
#include <string>

namespace {

constexpr std::size_t kBufferSize = 64;
constexpr unsigned char kUnwritten = 0xCB;

// The longest text each request may write, terminator not counted, and the shortest.
struct TextLimits {
    std::size_t shortest, longest;
};

bool isBand(std::int32_t index) { return index >= 0 && index < 6; }

class Session {
public:
    Session() : effect_(openEffect()) { resetShadow(); }
    ~Session() { closeEffect(effect_); }

    void dispatch(FuzzedDataProvider& data) {
        // Half the requests come from the table, so that its branches are reached often.
        const std::int32_t opcode = data.ConsumeBool() ? data.ConsumeIntegralInRange<std::int32_t>(0, 24)
                                                       : data.ConsumeIntegral<std::int32_t>();
        const std::int32_t index = data.ConsumeBool() ? data.ConsumeIntegralInRange<std::int32_t>(-2, 8)
                                                      : data.ConsumeIntegral<std::int32_t>();
        const auto value = data.ConsumeIntegral<VstIntPtr>();
        const float opt = anyFloat(data);
        const bool withBuffer = data.ConsumeIntegralInRange<int>(0, 7) != 0;

        unsigned char buffer[kBufferSize];
        std::memset(buffer, kUnwritten, sizeof buffer);
        const std::string content = data.ConsumeBytesAsString(data.ConsumeIntegralInRange<std::size_t>(0, 48));
        std::memcpy(buffer, content.data(), content.size());
        // A name handed to the module is a C string; the host's contract ends it within the buffer.
        buffer[kBufferSize - 1] = '\0';
        unsigned char before[kBufferSize];
        std::memcpy(before, buffer, sizeof buffer);
        void* ptr = withBuffer ? buffer : nullptr;

        if (opcode == effClose) {
            require(effect_->dispatcher(effect_, opcode, index, value, ptr, opt) == 1, "close returns 1");
            require(std::memcmp(buffer, before, sizeof buffer) == 0, "close writes nothing");
            effect_ = openEffect();
            resetShadow();
            return;
        }
        const VstIntPtr result = effect_->dispatcher(effect_, opcode, index, value, ptr, opt);

        if (opcode < 0 || opcode > effIdentify) require(result == 0, "an opcode beyond the table answers 0");
        if (opcode == effIdentify) require(result == fourCharCode("NvEf"), "identify answers NvEf");
        if (opcode == effSetProgramName && withBuffer) {
            programName_.assign(reinterpret_cast<const char*>(buffer), strnlen(reinterpret_cast<const char*>(buffer), 31));
        }
        if (opcode == effGetProgram) require(result == program_, "the program index reads back");
        if (opcode == effSetProgram && value < 1) program_ = static_cast<std::int32_t>(value);

        const TextLimits* limits = textLimits(opcode, index);
        if (!withBuffer) return;
        if (!limits) {
            require(std::memcmp(buffer, before, sizeof buffer) == 0, "only text requests write the buffer");
            return;
        }
        const auto* text = reinterpret_cast<const char*>(buffer);
        const std::size_t length = strnlen(text, kBufferSize);
        require(length <= limits->longest, "text within its length, terminator included");
        require(length >= limits->shortest, "text not shorter than it should be");
        require(std::memcmp(buffer + length + 1, before + length + 1, kBufferSize - length - 1) == 0,
                "nothing written after the terminator");
        if (opcode == effGetProgramName) require(programName_ == text, "the program name reads back");
    }

    void setParameter(FuzzedDataProvider& data) {
        const std::int32_t index = data.ConsumeBool() ? data.ConsumeIntegralInRange<std::int32_t>(-1, 7)
                                                      : data.ConsumeIntegral<std::int32_t>();
        const float value = anyFloat(data);
        effect_->setParameter(effect_, index, value);
        if (isBand(index)) params_[index] = value;
    }

    void getParameter(FuzzedDataProvider& data) {
        const std::int32_t index = data.ConsumeBool() ? data.ConsumeIntegralInRange<std::int32_t>(-1, 7)
                                                      : data.ConsumeIntegral<std::int32_t>();
        const float value = effect_->getParameter(effect_, index);
        require(sameBits(value, isBand(index) ? params_[index] : 0.0f), "a parameter reads back as written");
    }

    void process(FuzzedDataProvider& data) {
        const std::int32_t frames = data.ConsumeIntegralInRange<std::int32_t>(-2, 32);
        float left[32], right[32], outLeft[32], outRight[32];
        for (std::int32_t i = 0; i < 32; ++i) {
            left[i] = i < frames ? anyFloat(data) : 0.0f;
            right[i] = i < frames ? anyFloat(data) : 0.0f;
            outLeft[i] = outRight[i] = 0.0f;
        }
        float* inputs[2] = {left, right};
        float* outputs[2] = {outLeft, outRight};
        if (data.ConsumeBool()) effect_->processReplacing(effect_, inputs, outputs, frames);
        else effect_->process(effect_, inputs, outputs, frames);
    }

private:
    void resetShadow() {
        const float defaults[6] = {0.2f, 0.25f, 0.333f, 0.333f, 0.333f, 0.333f};
        std::memcpy(params_, defaults, sizeof params_);
        programName_ = "Default";
        program_ = 0;
    }

    // The lengths the equaliser's texts have; null for requests that must write nothing.
    static const TextLimits* textLimits(std::int32_t opcode, std::int32_t index) {
        static constexpr TextLimits name{7, 9}, label{6, 6}, display{8, 8}, program{0, 31};
        switch (opcode) {
            case effGetProgramName: return &program;
            case effGetParamName: return isBand(index) ? &name : nullptr;
            case effGetParamLabel: return isBand(index) ? &label : nullptr;
            case effGetParamDisplay: return isBand(index) ? &display : nullptr;
            default: return nullptr;
        }
    }

    AEffect* effect_;
    float params_[6];
    std::string programName_;
    std::int32_t program_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    Session session;
    while (data.remaining_bytes() > 0) {
        switch (data.ConsumeIntegralInRange<int>(0, 4)) {
            case 0:
            case 1: session.dispatch(data); break;
            case 2: session.setParameter(data); break;
            case 3: session.getParameter(data); break;
            case 4: session.process(data); break;
        }
    }
    return 0;
}
