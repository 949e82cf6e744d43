// Draws the application icon of resources/desktop/vcq-upgrade.svg into a
// Windows .ico file (16 to 256 pixels, 32-bit with alpha), so the Windows
// programs carry the very icon of the desktop menu. It runs on the build
// machine and knows only the shapes that file uses: rect (with rx/ry),
// circle and a path of straight lines (M, L, Z), each with a #rrggbb fill.
//
//   vcq_icon INPUT.svg OUTPUT.ico
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Point {
    double x, y;
};

struct Shape {
    enum Kind { kRect, kCircle, kPolygon } kind;
    double x = 0, y = 0, w = 0, h = 0, r = 0;  // rect: x y w h r; circle: x y r
    std::vector<Point> points;
    uint8_t red = 0, green = 0, blue = 0;

    bool Covers(double px, double py) const {
        switch (kind) {
            case kCircle:
                return (px - x) * (px - x) + (py - y) * (py - y) <= r * r;
            case kRect: {
                if (px < x || py < y || px > x + w || py > y + h)
                    return false;
                // Inside the square of a rounded corner: within its circle.
                const double cx = std::clamp(px, x + r, x + w - r);
                const double cy = std::clamp(py, y + r, y + h - r);
                return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= r * r;
            }
            case kPolygon: {
                bool inside = false;
                for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
                    const Point& a = points[i];
                    const Point& b = points[j];
                    if ((a.y > py) != (b.y > py) &&
                        px < (b.x - a.x) * (py - a.y) / (b.y - a.y) + a.x)
                        inside = !inside;
                }
                return inside;
            }
        }
        return false;
    }
};

[[noreturn]] void Fail(const std::string& why) {
    std::cerr << "vcq_icon: " << why << "\n";
    std::exit(1);
}

std::string Attribute(const std::string& element, const std::string& name) {
    const std::string key = " " + name + "=\"";
    const size_t at = element.find(key);
    if (at == std::string::npos)
        return {};
    const size_t from = at + key.size();
    return element.substr(from, element.find('"', from) - from);
}

double Number(const std::string& element, const std::string& name) {
    const std::string text = Attribute(element, name);
    return text.empty() ? 0 : std::stod(text);
}

void ParseFill(const std::string& element, Shape& shape) {
    const std::string fill = Attribute(element, "fill");
    unsigned value = 0;
    if (fill.size() != 7 || fill[0] != '#' || std::sscanf(fill.c_str() + 1, "%6x", &value) != 1)
        Fail("a shape without a #rrggbb fill: " + element);
    shape.red = value >> 16 & 0xFF;
    shape.green = value >> 8 & 0xFF;
    shape.blue = value & 0xFF;
}

std::vector<Point> ParsePath(const std::string& d) {
    std::vector<Point> points;
    std::string spaced;  // "M32 28" as "M 32 28"
    for (char c : d)
        std::isalpha(static_cast<unsigned char>(c)) ? spaced += {' ', c, ' '} : spaced += c;
    std::istringstream in(spaced);
    std::string token;
    while (in >> token) {
        if (token == "Z" || token == "z")
            break;
        if (token != "M" && token != "L")
            Fail("a path command other than M, L, Z: " + token);
        Point p{};
        if (!(in >> p.x >> p.y))
            Fail("a path point without two numbers: " + d);
        points.push_back(p);
    }
    if (points.size() < 3)
        Fail("a path of fewer than three points: " + d);
    return points;
}

std::vector<Shape> ParseSvg(const std::string& svg, double& view) {
    std::vector<Shape> shapes;
    view = 0;
    for (size_t at = svg.find('<'); at != std::string::npos; at = svg.find('<', at + 1)) {
        const std::string element = svg.substr(at, svg.find('>', at) - at);
        const std::string name = element.substr(1, element.find_first_of(" />", 1) - 1);
        Shape shape{};
        if (name == "svg") {
            view = Number(element, "width");
            continue;
        } else if (name == "rect") {
            shape.kind = Shape::kRect;
            shape.x = Number(element, "x"), shape.y = Number(element, "y");
            shape.w = Number(element, "width"), shape.h = Number(element, "height");
            shape.r = Number(element, "rx");
        } else if (name == "circle") {
            shape.kind = Shape::kCircle;
            shape.x = Number(element, "cx"), shape.y = Number(element, "cy");
            shape.r = Number(element, "r");
        } else if (name == "path") {
            shape.kind = Shape::kPolygon;
            shape.points = ParsePath(Attribute(element, "d"));
        } else {
            continue;
        }
        ParseFill(element, shape);
        shapes.push_back(shape);
    }
    if (view <= 0 || shapes.empty())
        Fail("no <svg width> or no shapes");
    return shapes;
}

void Put16(std::string& out, unsigned v) {
    out += char(v & 0xFF), out += char(v >> 8 & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF), Put16(out, v >> 16);
}

// One icon image: a bottom-up BGRA bitmap and its (unused, all clear) mask,
// 4 x 4 samples a pixel.
std::string Render(const std::vector<Shape>& shapes, double view, int size) {
    std::string dib;
    Put32(dib, 40), Put32(dib, size), Put32(dib, size * 2);  // height: colour + mask
    Put16(dib, 1), Put16(dib, 32), Put32(dib, 0), Put32(dib, 0);
    Put32(dib, 0), Put32(dib, 0), Put32(dib, 0), Put32(dib, 0);
    constexpr int kSamples = 4;
    const double scale = view / size;
    for (int row = size - 1; row >= 0; --row) {
        for (int col = 0; col < size; ++col) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double px = (col + (sx + 0.5) / kSamples) * scale;
                    const double py = (row + (sy + 0.5) / kSamples) * scale;
                    for (auto shape = shapes.rbegin(); shape != shapes.rend(); ++shape) {
                        if (!shape->Covers(px, py))
                            continue;
                        r += shape->red, g += shape->green, b += shape->blue, a += 255;
                        break;
                    }
                }
            }
            const double n = kSamples * kSamples;
            const double alpha = a / n;
            // Straight (not premultiplied) colour: the covered samples' mean.
            const double cover = a > 0 ? a / 255 : 1;
            dib += char(std::lround(b / cover)), dib += char(std::lround(g / cover));
            dib += char(std::lround(r / cover)), dib += char(std::lround(alpha));
        }
    }
    const int mask_row = (size + 31) / 32 * 4;
    dib.append(size_t(mask_row) * size, '\0');
    return dib;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        Fail("usage: vcq_icon INPUT.svg OUTPUT.ico");
    std::ifstream in(argv[1], std::ios::binary);
    if (!in)
        Fail(std::string("cannot read ") + argv[1]);
    std::stringstream svg;
    svg << in.rdbuf();
    double view = 0;
    const std::vector<Shape> shapes = ParseSvg(svg.str(), view);

    const int sizes[] = {16, 24, 32, 48, 256};
    const int count = sizeof sizes / sizeof *sizes;
    std::vector<std::string> images;
    for (int size : sizes)
        images.push_back(Render(shapes, view, size));
    std::string ico;
    Put16(ico, 0), Put16(ico, 1), Put16(ico, count);
    uint32_t offset = 6 + 16 * count;
    for (int i = 0; i < count; ++i) {
        ico += char(sizes[i] & 0xFF), ico += char(sizes[i] & 0xFF);  // 256 is written 0
        ico += '\0', ico += '\0';
        Put16(ico, 1), Put16(ico, 32);
        Put32(ico, uint32_t(images[i].size())), Put32(ico, offset);
        offset += uint32_t(images[i].size());
    }
    for (const std::string& image : images)
        ico += image;
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    if (!(out << ico) || !out.flush())
        Fail(std::string("cannot write ") + argv[2]);
    return 0;
}
