#include "ResponsePlot.h"

#include "host/commands/CommandLine.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr double kWidth = 960.0;
constexpr double kHeight = 540.0;
constexpr double kLeft = 70.0;
constexpr double kRight = 30.0;
constexpr double kTop = 60.0;
constexpr double kBottom = 50.0;
constexpr double kLowestHz = 20.0;

struct Axes {
    double lowHz, highHz, lowDb, highDb;
    double x(double hz) const {
        return kLeft + (std::log10(hz) - std::log10(lowHz)) / (std::log10(highHz) - std::log10(lowHz)) *
                           (kWidth - kLeft - kRight);
    }
    double y(double db) const { return kTop + (highDb - db) / (highDb - lowDb) * (kHeight - kTop - kBottom); }
};

// At least ±12 dB, widened in 6 dB steps to hold the curve, and never beyond ±72 dB.
Axes axesFor(const MagnitudeResponse& response) {
    double lowest = 0.0;
    double highest = 0.0;
    for (std::size_t bin = 1; bin < response.binCount(); ++bin) {
        if (response.frequencyHz(bin) < kLowestHz) continue;
        lowest = std::min(lowest, response.gainDb(bin));
        highest = std::max(highest, response.gainDb(bin));
    }
    return {kLowestHz, response.nyquistHz(), std::max(-72.0, std::min(-12.0, std::floor(lowest / 6.0) * 6.0)),
            std::min(72.0, std::max(12.0, std::ceil(highest / 6.0) * 6.0))};
}

std::string frequencyLabel(double hz) {
    char text[16];
    if (hz >= 1000.0) std::snprintf(text, sizeof text, "%gk", hz / 1000.0);
    else std::snprintf(text, sizeof text, "%g", hz);
    return text;
}

// Every text drawn, where and how large: cairo draws text in SVG as glyph outlines, so that a
// reader, a screen reader or a search would find none of it; the SVG file carries it again as text.
struct DrawnText {
    std::string text;
    double x, y, size;
};
using TextLayer = std::vector<DrawnText>;

void drawText(cairo_t* cr, TextLayer& layer, const std::string& text, double x, double y, double alignX) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    const double left = x - extents.width * alignX - extents.x_bearing;
    cairo_move_to(cr, left, y);
    cairo_show_text(cr, text.c_str());
    cairo_matrix_t matrix;
    cairo_get_font_matrix(cr, &matrix);
    layer.push_back({text, left, y, matrix.yy});
}

std::string xmlEscaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

// The texts as invisible SVG text over their drawn glyphs: selectable and searchable, unseen.
std::string svgTextLayer(const TextLayer& layer) {
    std::string svg = "<g fill-opacity=\"0\" font-family=\"sans-serif\">\n";
    for (const auto& t : layer) {
        char position[96];
        std::snprintf(position, sizeof position, "<text x=\"%.2f\" y=\"%.2f\" font-size=\"%g\">", t.x, t.y, t.size);
        svg += position + xmlEscaped(t.text) + "</text>\n";
    }
    return svg + "</g>\n";
}

void draw(cairo_t* cr, TextLayer& layer, const MagnitudeResponse& response, const std::vector<BandMark>& marks,
          const std::string& title) {
    const Axes axes = axesFor(response);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);

    // Grid: 1-2-5 frequencies, 6 dB steps (3 dB when the range is small).
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
    for (double decade = 10.0; decade <= axes.highHz; decade *= 10.0)
        for (double step : {1.0, 2.0, 5.0}) {
            const double hz = decade * step;
            if (hz < axes.lowHz || hz > axes.highHz) continue;
            cairo_move_to(cr, axes.x(hz), kTop);
            cairo_line_to(cr, axes.x(hz), kHeight - kBottom);
        }
    const double dbStep = axes.highDb - axes.lowDb <= 24.0 ? 3.0 : 6.0;
    for (double db = axes.lowDb; db <= axes.highDb; db += dbStep) {
        cairo_move_to(cr, kLeft, axes.y(db));
        cairo_line_to(cr, kWidth - kRight, axes.y(db));
    }
    cairo_stroke(cr);

    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    for (double decade = 10.0; decade <= axes.highHz; decade *= 10.0)
        for (double step : {1.0, 2.0, 5.0}) {
            const double hz = decade * step;
            if (hz >= axes.lowHz && hz <= axes.highHz) drawText(cr, layer, frequencyLabel(hz), axes.x(hz), kHeight - kBottom + 16, 0.5);
        }
    for (double db = axes.lowDb; db <= axes.highDb; db += dbStep) {
        char text[16];
        std::snprintf(text, sizeof text, "%+g", db);
        drawText(cr, layer, db == 0.0 ? "0" : text, kLeft - 6, axes.y(db) + 4, 1.0);
    }
    drawText(cr, layer, "Hz", kWidth - kRight, kHeight - 12, 1.0);
    drawText(cr, layer, "dB", kLeft - 6, kTop - 8, 1.0);
    cairo_set_font_size(cr, 15);
    drawText(cr, layer, title, kWidth / 2, 28, 0.5);
    cairo_set_font_size(cr, 12);

    // Bands: a dashed line at the named frequency, the name above the plot area, in two rows so
    // that neighbours do not overwrite each other.
    const double dashes[] = {4.0, 4.0};
    cairo_set_source_rgb(cr, 0.75, 0.35, 0.1);
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const double hz = marks[i].frequencyHz;
        if (hz < axes.lowHz || hz > axes.highHz) continue;
        cairo_set_dash(cr, dashes, 2, 0);
        cairo_move_to(cr, axes.x(hz), kTop);
        cairo_line_to(cr, axes.x(hz), kHeight - kBottom);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
        drawText(cr, layer, marks[i].name, axes.x(hz), kTop - (i % 2 ? 6 : 20), 0.5);
    }

    // The curve, sampled twice per pixel column; the plot area clips what the axes cannot hold.
    cairo_save(cr);
    cairo_rectangle(cr, kLeft, kTop, kWidth - kLeft - kRight, kHeight - kTop - kBottom);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.1, 0.3, 0.75);
    cairo_set_line_width(cr, 2);
    const int points = static_cast<int>(2 * (kWidth - kLeft - kRight));
    for (int i = 0; i <= points; ++i) {
        const double hz = axes.lowHz * std::pow(axes.highHz / axes.lowHz, static_cast<double>(i) / points);
        const double y = axes.y(response.gainDbAt(hz));
        if (i == 0) cairo_move_to(cr, axes.x(hz), y);
        else cairo_line_to(cr, axes.x(hz), y);
    }
    cairo_stroke(cr);
    cairo_restore(cr);

    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, kLeft, kTop, kWidth - kLeft - kRight, kHeight - kTop - kBottom);
    cairo_stroke(cr);
}

struct SurfaceDestroy {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDestroy {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

void check(cairo_status_t status, const std::string& name) {
    if (status != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error(name + ": cannot write the plot: " + cairo_status_to_string(status));
}

}  // namespace

std::string responseFileKind(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension.empty() ? "" : extension.substr(1);
}

void plotResponse(const MagnitudeResponse& response, const std::vector<BandMark>& marks, const std::string& title,
                  const std::filesystem::path& path, const std::string& kind, const std::string& name) {
    std::unique_ptr<cairo_surface_t, SurfaceDestroy> surface;
    std::string svg;
    const auto append = [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
    };
    if (kind == "png")
        surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(kWidth), static_cast<int>(kHeight)));
    else if (kind == "svg")
        surface.reset(cairo_svg_surface_create_for_stream(append, &svg, kWidth, kHeight));
    else
        throw UsageError(name + ": a response plot is .png or .svg (or .csv for numbers)");
    check(cairo_surface_status(surface.get()), name);
    TextLayer layer;
    {
        std::unique_ptr<cairo_t, ContextDestroy> cr(cairo_create(surface.get()));
        draw(cr.get(), layer, response, marks, title);
        check(cairo_status(cr.get()), name);
    }
    if (kind == "png") check(cairo_surface_write_to_png(surface.get(), path.c_str()), name);
    cairo_surface_finish(surface.get());
    check(cairo_surface_status(surface.get()), name);
    if (kind == "svg") {
        const auto end = svg.rfind("</svg>");
        if (end == std::string::npos) throw std::runtime_error(name + ": cairo wrote no complete SVG");
        svg.insert(end, svgTextLayer(layer));
        std::ofstream file(path, std::ios::binary);
        file << svg;
        file.close();
        if (!file) throw std::runtime_error(name + ": cannot write the plot");
    }
}
