#include "sim/drawing/svg_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace listpool::sim {
namespace {

// True when black text reads better than white on a "#rrggbb" fill.
bool Light(std::string_view fill) {
    if (fill.size() != 7 || fill[0] != '#') {
        return true;
    }
    const long rgb = std::strtol(std::string(fill.substr(1)).c_str(), nullptr, 16);
    const double luma =
        0.299 * ((rgb >> 16) & 0xff) + 0.587 * ((rgb >> 8) & 0xff) + 0.114 * (rgb & 0xff);
    return luma > 140;
}

}  // namespace

std::string XmlText(std::string_view text) {
    std::string safe;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '&':
                safe += "&amp;";
                break;
            case '<':
                safe += "&lt;";
                break;
            case '>':
                safe += "&gt;";
                break;
            case '"':
                safe += "&quot;";
                break;
            default:
                safe += (byte < 0x20 && c != '\t') || byte >= 0x7f ? '?' : c;
        }
    }
    return safe;
}

std::string Num(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

double TextWidth(std::string_view text, int size) {
    return static_cast<double>(text.size()) * size * 0.6;
}

void Svg::Raw(std::string_view text) {
    out_ += text;
    out_ += '\n';
}

void Svg::Rect(double x, double y, double width, double height, std::string_view fill) {
    Raw("<rect x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" + Num(width) + "\" height=\"" +
        Num(height) + "\" fill=\"" + std::string(fill) + "\"/>");
}

void Svg::Line(double x1, double y1, double x2, double y2, std::string_view stroke, double width) {
    Raw("<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" +
        Num(y2) + "\" stroke=\"" + std::string(stroke) + "\" stroke-width=\"" + Num(width) +
        "\"/>");
}

void Svg::Text(double x, double y, std::string_view text, std::string_view anchor, int size,
               std::string_view fill, bool bold) {
    Raw("<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" font-size=\"" + std::to_string(size) +
        "\" text-anchor=\"" + std::string(anchor) + "\" fill=\"" + std::string(fill) + "\"" +
        (bold ? " font-weight=\"bold\"" : "") + ">" + XmlText(text) + "</text>");
}

void Svg::VerticalText(double x, double y, std::string_view text, int size, std::string_view fill) {
    Raw("<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" transform=\"rotate(-90 " + Num(x) + " " +
        Num(y) + ")\" font-size=\"" + std::to_string(size) + "\" fill=\"" + std::string(fill) +
        "\" pointer-events=\"none\">" + XmlText(text) + "</text>");
}

void Svg::Band(double x0, double y, double x1, double height, std::string_view fill,
               std::string_view data, std::string_view tip, const std::vector<std::string>& labels,
               double minWidth) {
    const double width = std::max(x1 - x0, minWidth);
    const double x = x1 - x0 >= minWidth ? x0 : x0 - (minWidth - (x1 - x0)) / 2;
    Raw("<rect x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" + Num(width) + "\" height=\"" +
        Num(height) + "\" fill=\"" + std::string(fill) + "\"" + std::string(data) + "><title>" +
        XmlText(tip) + "</title></rect>");
    const int size = height >= 14 ? 9 : 8;
    const auto fits = std::find_if(labels.begin(), labels.end(), [&](const std::string& label) {
        return !label.empty() && TextWidth(label, size) + 6 <= width;
    });
    if (fits != labels.end()) {
        const std::string& label = *fits;
        // The label lets hovering through to the band's tip.
        Raw("<text x=\"" + Num(x + width / 2) + "\" y=\"" + Num(y + height / 2 + size * 0.35) +
            "\" font-size=\"" + std::to_string(size) + "\" text-anchor=\"middle\" fill=\"" +
            (Light(fill) ? "#000" : "#fff") + "\" pointer-events=\"none\">" + XmlText(label) +
            "</text>");
    }
}

}  // namespace listpool::sim
