// SVG elements written as text, for the timeline pictures.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace listpool::sim {

// Text made safe inside an XML attribute or element: markup characters
// escaped, control bytes (but tab) and bytes beyond ASCII as '?'.
std::string XmlText(std::string_view text);

// A coordinate or length with two decimals.
std::string Num(double value);

// About how wide text is drawn at a font size, in pixels (sans-serif).
double TextWidth(std::string_view text, int size);

// Collects elements, one a line, in the order they are drawn.
class Svg {
  public:
    // Appends text as it stands: a tag made elsewhere.
    void Raw(std::string_view text);
    void Rect(double x, double y, double width, double height, std::string_view fill);
    void Line(double x1, double y1, double x2, double y2, std::string_view stroke, double width);
    void Text(double x, double y, std::string_view text, std::string_view anchor, int size,
              std::string_view fill, bool bold = false);
    // Text that reads upwards from (x, y).
    void VerticalText(double x, double y, std::string_view text, int size, std::string_view fill);
    // A rectangle from x0 to x1, at least minWidth wide; `data` holds its
    // attributes, `tip` shows on hovering, and the first of `labels` that
    // fits is written inside, in black or white, whichever reads better on
    // the fill.
    void Band(double x0, double y, double x1, double height, std::string_view fill,
              std::string_view data, std::string_view tip, const std::vector<std::string>& labels,
              double minWidth);

    const std::string& text() const { return out_; }

  private:
    std::string out_;
};

}  // namespace listpool::sim
