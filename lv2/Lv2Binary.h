// The LV2 plug-in's binary loaded straight through its descriptor, without lilv or its Turtle:
// what the load-cycle tests and the benchmark drive, so that they see the binary alone.
#pragma once

#include <lv2/core/lv2.h>

#include <cstdint>
#include <string>

class Lv2Binary {
public:
    // Loads the binary and finds the descriptor of `uri`; throws std::runtime_error with a
    // one-line reason otherwise.
    Lv2Binary(const std::string& path, const char* uri);
    ~Lv2Binary();
    Lv2Binary(const Lv2Binary&) = delete;
    Lv2Binary& operator=(const Lv2Binary&) = delete;

    const LV2_Descriptor& descriptor() const { return *descriptor_; }
    // The binary's folder, with the trailing slash that LV2 hands plug-ins.
    const std::string& bundle() const { return bundle_; }

private:
    void* handle_;
    std::string bundle_;
    const LV2_Descriptor* descriptor_ = nullptr;
};

// One instance, from instantiation to cleanup, with no host features.
class Lv2Instance {
public:
    // Throws std::runtime_error when the plug-in declines to instantiate.
    Lv2Instance(const Lv2Binary& binary, double sampleRate);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    void connect(std::uint32_t port, void* data) { descriptor_.connect_port(handle_, port, data); }
    void activate();
    void deactivate();
    void run(std::uint32_t frames) { descriptor_.run(handle_, frames); }
    LV2_Handle handle() const { return handle_; }
    // The plug-in's data for an extension, or null.
    const void* extension(const char* uri) const {
        return descriptor_.extension_data ? descriptor_.extension_data(uri) : nullptr;
    }

private:
    const LV2_Descriptor& descriptor_;
    LV2_Handle handle_;
    bool active_ = false;
};
