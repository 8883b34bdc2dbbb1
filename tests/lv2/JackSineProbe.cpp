// A JACK client that plays a sine into two ports of another client and measures what comes back
// from two others: the gain of whatever runs between, in dB, one figure per channel.
// Usage: lv2_jack_probe FREQUENCY_HZ SEND_LEFT SEND_RIGHT RECEIVE_LEFT RECEIVE_RIGHT
// Connects to the server that JACK_DEFAULT_SERVER names; exits 1 when it cannot measure.
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <thread>

namespace {

// The first half second lets the filters settle and a control change arrive; the next second is
// measured.
constexpr double kSettleSeconds = 0.5;
constexpr double kMeasureSeconds = 1.0;
constexpr float kAmplitude = 0.1f;

struct Probe {
    jack_port_t* send[2];
    jack_port_t* receive[2];
    double phaseStep = 0.0;
    double phase = 0.0;
    std::uint64_t settleFrames = 0, measureFrames = 0;
    std::uint64_t framesSeen = 0;
    double sentSquares = 0.0, receivedSquares[2] = {};
    std::atomic<bool> connected{false}, done{false};
};

int process(jack_nframes_t frames, void* argument) {
    Probe& probe = *static_cast<Probe*>(argument);
    float* out[2];
    const float* in[2];
    for (int channel = 0; channel < 2; ++channel) {
        out[channel] = static_cast<float*>(jack_port_get_buffer(probe.send[channel], frames));
        in[channel] = static_cast<const float*>(jack_port_get_buffer(probe.receive[channel], frames));
    }
    for (jack_nframes_t i = 0; i < frames; ++i) {
        const float sample = kAmplitude * static_cast<float>(std::sin(probe.phase));
        probe.phase = std::fmod(probe.phase + probe.phaseStep, 2.0 * std::numbers::pi);
        out[0][i] = out[1][i] = sample;
        if (!probe.connected) continue;
        const std::uint64_t frame = probe.framesSeen++;
        if (frame < probe.settleFrames || frame >= probe.settleFrames + probe.measureFrames) continue;
        probe.sentSquares += static_cast<double>(sample) * sample;
        for (int channel = 0; channel < 2; ++channel)
            probe.receivedSquares[channel] += static_cast<double>(in[channel][i]) * in[channel][i];
    }
    if (probe.framesSeen >= probe.settleFrames + probe.measureFrames) probe.done = true;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s FREQUENCY_HZ SEND_LEFT SEND_RIGHT RECEIVE_LEFT RECEIVE_RIGHT\n", argv[0]);
        return 2;
    }
    jack_status_t status;
    jack_client_t* client = jack_client_open("sixband_probe", JackNoStartServer, &status);
    if (!client) {
        std::fprintf(stderr, "%s: no JACK server to connect to (status 0x%x)\n", argv[0], static_cast<unsigned>(status));
        return 1;
    }
    Probe probe;
    const double rate = jack_get_sample_rate(client);
    probe.phaseStep = 2.0 * std::numbers::pi * std::strtod(argv[1], nullptr) / rate;
    probe.settleFrames = static_cast<std::uint64_t>(kSettleSeconds * rate);
    probe.measureFrames = static_cast<std::uint64_t>(kMeasureSeconds * rate);
    const char* names[2][2] = {{"send_left", "send_right"}, {"receive_left", "receive_right"}};
    for (int channel = 0; channel < 2; ++channel) {
        probe.send[channel] = jack_port_register(client, names[0][channel], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        probe.receive[channel] = jack_port_register(client, names[1][channel], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    }
    jack_set_process_callback(client, process, &probe);
    int result = 1;
    if (jack_activate(client) != 0) {
        std::fprintf(stderr, "%s: cannot activate the client\n", argv[0]);
    } else {
        bool connected = true;
        for (int channel = 0; channel < 2; ++channel) {
            connected = connected && jack_connect(client, jack_port_name(probe.send[channel]), argv[2 + channel]) == 0 &&
                        jack_connect(client, argv[4 + channel], jack_port_name(probe.receive[channel])) == 0;
        }
        probe.connected = connected;
        // A dummy server runs in real time: a few seconds of audio take a few seconds.
        for (int wait = 0; connected && !probe.done && wait < 200; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        jack_deactivate(client);
        if (!connected) {
            std::fprintf(stderr, "%s: cannot connect to %s %s %s %s\n", argv[0], argv[2], argv[3], argv[4], argv[5]);
        } else if (!probe.done || probe.receivedSquares[0] == 0.0 || probe.receivedSquares[1] == 0.0) {
            std::fprintf(stderr, "%s: nothing came back\n", argv[0]);
        } else {
            for (int channel = 0; channel < 2; ++channel)
                std::printf("%s%.2f", channel ? " " : "", 10.0 * std::log10(probe.receivedSquares[channel] / probe.sentSquares));
            std::printf("\n");
            result = 0;
        }
    }
    jack_client_close(client);
    return result;
}
