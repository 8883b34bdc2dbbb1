#include "Lv2Binary.h"

#include <dlfcn.h>

#include <cstring>
#include <stdexcept>

namespace {
const LV2_Feature* const kNoFeatures[] = {nullptr};
}  // namespace

Lv2Binary::Lv2Binary(const std::string& path, const char* uri)
    : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)), bundle_(path.substr(0, path.rfind('/') + 1)) {
    if (!handle_) throw std::runtime_error("cannot load " + path + ": " + dlerror());
    using DescriptorFunction = const LV2_Descriptor* (*)(std::uint32_t);
    const auto entry = reinterpret_cast<DescriptorFunction>(dlsym(handle_, "lv2_descriptor"));
    for (std::uint32_t index = 0; entry && !descriptor_; ++index) {
        const LV2_Descriptor* candidate = entry(index);
        if (!candidate) break;
        if (std::strcmp(candidate->URI, uri) == 0) descriptor_ = candidate;
    }
    if (!descriptor_) {
        dlclose(handle_);
        throw std::runtime_error(path + " describes no plug-in " + uri);
    }
}

Lv2Binary::~Lv2Binary() { dlclose(handle_); }

Lv2Instance::Lv2Instance(const Lv2Binary& binary, double sampleRate)
    : descriptor_(binary.descriptor()),
      handle_(descriptor_.instantiate(&descriptor_, sampleRate, binary.bundle().c_str(), kNoFeatures)) {
    if (!handle_) throw std::runtime_error(std::string(descriptor_.URI) + " declined to instantiate");
}

Lv2Instance::~Lv2Instance() {
    deactivate();
    descriptor_.cleanup(handle_);
}

void Lv2Instance::activate() {
    if (descriptor_.activate) descriptor_.activate(handle_);
    active_ = true;
}

void Lv2Instance::deactivate() {
    if (active_ && descriptor_.deactivate) descriptor_.deactivate(handle_);
    active_ = false;
}
