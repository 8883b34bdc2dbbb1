// Writes the LV2 bundle's Turtle, manifest.ttl and sixband.ttl, from the equaliser itself: the
// controls carry the module's parameter names and defaults, so the two faces cannot drift apart.
// Run by the build: sixband_lv2_turtle BUNDLE_FOLDER BINARY_FILE_NAME
#include "Lv2Ports.h"
#include "plugin/ShortestText.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The module pads its names with spaces, as hosts of its interface expect; LV2 names are trimmed.
std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Something a script can type, made of the name: "2.5 kHz" becomes band_2_5khz.
std::string symbolFor(const std::string& name, const char* prefix = "band_") {
    std::string symbol = prefix;
    for (char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c))) symbol += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (c == '.') symbol += '_';
    }
    return symbol;
}

// The shortest decimal that reads back as the same float, so that a host's default is the
// module's to the bit.
std::string decimal(float value) {
    if (value == std::trunc(value) && std::abs(value) < 1e6f) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", static_cast<double>(value));
        return text;
    }
    std::string result = shortestText(value);
    if (result.find_first_of(".e") == std::string::npos) result += ".0";
    return result;
}

struct PortText {
    const char* type;
    const char* direction;
    const char* symbol;
    const char* name;
};

const PortText kAudioPorts[kLv2AudioPortCount] = {
    {"AudioPort", "InputPort", "in_left", "Left in"},
    {"AudioPort", "InputPort", "in_right", "Right in"},
    {"AudioPort", "OutputPort", "out_left", "Left out"},
    {"AudioPort", "OutputPort", "out_right", "Right out"},
};

// What the plug-in is, for a host's browser: "Six-band stereo equaliser: 80 Hz, ... and 12 kHz".
std::string comment(SixBandEqualiser& equaliser) {
    std::string bands;
    for (std::int32_t band = 0; band < SixBandEqualiser::kParamCount; ++band) {
        char text[64] = {};
        equaliser.getParamName(band, text);
        bands += (band == 0 ? "" : band + 1 == SixBandEqualiser::kParamCount ? " and " : ", ") + trimmed(text);
    }
    return "Six-band stereo equaliser: " + bands;
}

std::string pluginTurtle() {
    SixBandEqualiser equaliser(nullptr);
    std::string ttl =
        "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
        "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
        "@prefix idpy: <http://harrisonconsoles.com/lv2/inlinedisplay#> .\n"
        "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
        "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
        "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n\n"
        "<" + std::string(kLv2PluginUri) + ">\n"
        "    a lv2:Plugin, lv2:MultiEQPlugin, doap:Project ;\n"
        "    doap:name \"" SIXBAND_NAME "\" ;\n"
        "    rdfs:comment \"" + comment(equaliser) + "\" ;\n"
        "    doap:license <http://opensource.org/licenses/mit> ;\n"
        "    doap:maintainer [\n"
        "        foaf:name \"" SIXBAND_MAINTAINER_NAME "\" ;\n"
        "        foaf:mbox <mailto:" SIXBAND_MAINTAINER_EMAIL ">\n"
        "    ] ;\n"
        "    lv2:minorVersion " + std::to_string(SIXBAND_LV2_MINOR_VERSION) + " ;\n"
        "    lv2:microVersion " + std::to_string(SIXBAND_LV2_MICRO_VERSION) + " ;\n"
        // run() only reads six floats and runs the chain: no allocation, lock or system call.
        "    lv2:optionalFeature lv2:hardRTCapable, idpy:queue_draw ;\n"
        // Ardour's curve in the mixer strip; hosts without it never ask.
        "    lv2:extensionData idpy:interface ;\n"
        "    lv2:port";
    auto portHead = [&ttl](std::uint32_t index, const char* type, const char* direction,
                           const std::string& symbol, const std::string& name) {
        ttl += std::string(index == 0 ? " [\n" : " , [\n") + "        a lv2:" + type + ", lv2:" + direction +
               " ;\n        lv2:index " + std::to_string(index) + " ;\n        lv2:symbol \"" + symbol +
               "\" ;\n        lv2:name \"" + name + "\"";
    };
    for (std::uint32_t port = 0; port < kLv2AudioPortCount; ++port) {
        const PortText& audio = kAudioPorts[port];
        portHead(port, audio.type, audio.direction, audio.symbol, audio.name);
        ttl += "\n    ]";
    }
    for (std::int32_t band = 0; band < SixBandEqualiser::kParamCount; ++band) {
        char text[64] = {};
        equaliser.getParamName(band, text);
        const std::string name = trimmed(text);
        portHead(kFirstBand + static_cast<std::uint32_t>(band), "ControlPort", "InputPort", symbolFor(name), name);
        ttl += " ;\n        lv2:default " + decimal(equaliser.getParam(band)) +
               " ;\n        lv2:minimum 0.0 ;\n        lv2:maximum 1.0\n    ]";
    }
    // The host's bypass button drives this switch instead of deactivating the plug-in, which
    // would clear the filters; like every port added since the first release, it is optional.
    portHead(kLv2Enabled, "ControlPort", "InputPort", "enabled", "Enabled");
    ttl += " ;\n        lv2:designation lv2:enabled ;\n"
           "        lv2:portProperty lv2:toggled, lv2:integer, lv2:connectionOptional ;\n"
           "        lv2:default 1 ;\n        lv2:minimum 0 ;\n        lv2:maximum 1\n    ]";
    // What each band does, in the units a user thinks in: the whole chain's gain at the band's
    // frequency, which the band's neighbours change too.
    for (std::int32_t band = 0; band < SixBandEqualiser::kParamCount; ++band) {
        char text[64] = {};
        equaliser.getParamName(band, text);
        const std::string name = trimmed(text);
        portHead(kFirstGain + static_cast<std::uint32_t>(band), "ControlPort", "OutputPort",
                 symbolFor(name, "gain_"), name + " gain");
        ttl += " ;\n        units:unit units:db ;\n"
               "        lv2:portProperty lv2:connectionOptional ;\n"
               "        lv2:default 0.0 ;\n        lv2:minimum " + decimal(kLv2GainFloorDb) +
               " ;\n        lv2:maximum " + decimal(kLv2GainCeilingDb) + "\n    ]";
    }
    // No installed vocabulary says what Ardour's two URIs are; without this a validator cannot tell.
    return ttl + " .\n\nidpy:interface a lv2:ExtensionData .\nidpy:queue_draw a lv2:Feature .\n";
}

std::string manifestTurtle(const std::string& binary) {
    return "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
           "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n"
           "<" + std::string(kLv2PluginUri) + ">\n"
           "    a lv2:Plugin ;\n"
           "    lv2:binary <" + binary + "> ;\n"
           "    rdfs:seeAlso <sixband.ttl> .\n";
}

bool writeFile(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s BUNDLE_FOLDER BINARY_FILE_NAME\n", argv[0]);
        return 2;
    }
    const std::string bundle = argv[1];
    for (const auto& [file, text] : {std::pair{std::string("manifest.ttl"), manifestTurtle(argv[2])},
                                     std::pair{std::string("sixband.ttl"), pluginTurtle()}}) {
        if (!writeFile(bundle + "/" + file, text)) {
            std::fprintf(stderr, "%s: cannot write %s/%s\n", argv[0], bundle.c_str(), file.c_str());
            return 1;
        }
    }
    return 0;
}
