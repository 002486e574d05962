// The pixels of the machine, drawn by Cairo; text through FreeType and fontconfig with free faces
// of the Windows faces' metrics class.
#include "canvas.h"

#include "nls.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace winsim {

namespace {

// A drawing context over a surface, gone with the scope.
class Cr {
  public:
    explicit Cr(cairo_surface_t* s) : m_cr(cairo_create(s)) {
        cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_NONE);
    }
    ~Cr() { cairo_destroy(m_cr); }
    Cr(const Cr&) = delete;
    Cr& operator=(const Cr&) = delete;
    operator cairo_t*() const { return m_cr; }

  private:
    cairo_t* m_cr;
};

void SetColor(cairo_t* cr, COLORREF c) {
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

bool Usable(cairo_surface_t* s) {
    return s && cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
}

// Code page 1252 to the UTF-8 that Cairo takes.
std::string Utf8(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        WORD w = WideChar(c);
        if (w < 0x80) {
            out += static_cast<char>(w ? w : ' ');
        } else if (w < 0x800) {
            out += static_cast<char>(0xC0 | (w >> 6));
            out += static_cast<char>(0x80 | (w & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (w >> 12));
            out += static_cast<char>(0x80 | ((w >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (w & 0x3F));
        }
    }
    return out;
}

void SelectFont(cairo_t* cr, const TextFont& font) {
    cairo_select_font_face(cr, font.family.c_str(),
                           font.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font.size);
    // The same pixels on every machine: grey antialiasing, slight hinting.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

cairo_surface_t* g_scratch = nullptr;

// Cairo's and fontconfig's caches go at exit, so that what they hold is not taken for a leak.
void ReleaseFonts() {
    if (g_scratch) cairo_surface_destroy(g_scratch);
    g_scratch = nullptr;
    cairo_debug_reset_static_data();
    FcFini();
}

// A scratch surface for measuring.
cairo_surface_t* Scratch() {
    if (!g_scratch) {
        g_scratch = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
        std::atexit(ReleaseFonts);
    }
    return g_scratch;
}

// Ascent + descent of a family per pixel of em size, to turn a cell height into an em size.
double CellPerEm(const std::string& family) {
    static std::map<std::string, double> known;
    auto it = known.find(family);
    if (it != known.end()) return it->second;
    Cr cr(Scratch());
    TextFont probe;
    probe.family = family;
    probe.size = 100;
    SelectFont(cr, probe);
    cairo_font_extents_t e;
    cairo_font_extents(cr, &e);
    double ratio = e.ascent + e.descent > 0 ? (e.ascent + e.descent) / 100 : 1.15;
    known[family] = ratio;
    return ratio;
}

// The text without its '&' prefixes, and the index of the character the first one marks.
std::string StripPrefix(const std::string& text, int* underlined) {
    std::string out;
    *underlined = -1;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != '&' && *underlined < 0) *underlined = static_cast<int>(out.size());
        }
        out += text[i];
    }
    return out;
}

std::string ExpandTabs(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\t') {
            do
                out += ' ';
            while (out.size() % 8);
        } else {
            out += c;
        }
    }
    return out;
}

struct Line {
    std::string text;
    int underlined = -1;
};

} // namespace

Surface NewSurface(int width, int height, COLORREF fill) {
    Surface s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(1, width),
                                         std::max(1, height)),
              cairo_surface_destroy);
    PaintRect(s.get(), RECT{0, 0, std::max(1, width), std::max(1, height)}, fill);
    return s;
}

Surface ResizedSurface(const Surface& from, int width, int height, COLORREF fill) {
    Surface s = NewSurface(width, height, fill);
    if (from) {
        Cr cr(s.get());
        cairo_set_source_surface(cr, from.get(), 0, 0);
        cairo_paint(cr);
    }
    return s;
}

int SurfaceWidth(cairo_surface_t* s) {
    return Usable(s) ? cairo_image_surface_get_width(s) : 0;
}

int SurfaceHeight(cairo_surface_t* s) {
    return Usable(s) ? cairo_image_surface_get_height(s) : 0;
}

COLORREF PixelAt(cairo_surface_t* s, int x, int y) {
    if (!Usable(s) || x < 0 || y < 0 || x >= SurfaceWidth(s) || y >= SurfaceHeight(s)) return 0;
    cairo_surface_flush(s);
    const unsigned char* row =
        cairo_image_surface_get_data(s) + static_cast<size_t>(y) * cairo_image_surface_get_stride(s);
    uint32_t p;
    std::memcpy(&p, row + static_cast<size_t>(x) * 4, 4);
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

Surface DecodeDib(const unsigned char* data, size_t size) {
    auto rd32 = [&](size_t at) {
        return static_cast<int32_t>(data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                                    static_cast<uint32_t>(data[at + 3]) << 24);
    };
    auto rd16 = [&](size_t at) { return static_cast<int>(data[at] | data[at + 1] << 8); };
    if (size < 12) return nullptr;
    const uint32_t header = static_cast<uint32_t>(rd32(0));
    int width, height, bits, colors = 0;
    size_t entry = 4; // bytes per colour table entry
    uint32_t compression = 0;
    if (header == 12) {
        width = rd16(4);
        height = static_cast<int16_t>(rd16(6));
        bits = rd16(10);
        entry = 3;
    } else if (header >= 40 && size >= 40) {
        width = rd32(4);
        height = rd32(8);
        bits = rd16(14);
        compression = static_cast<uint32_t>(rd32(16));
        colors = rd32(32);
    } else {
        return nullptr;
    }
    const bool topDown = height < 0;
    height = std::abs(height);
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384 || compression != BI_RGB ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32))
        return nullptr;
    if (bits <= 8 && (colors <= 0 || colors > (1 << bits))) colors = 1 << bits;
    if (bits > 8) colors = 0;
    const size_t table = header;
    const size_t pixels = table + static_cast<size_t>(colors) * entry;
    const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    if (pixels + stride * static_cast<size_t>(height) > size) return nullptr;
    Surface s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height),
              cairo_surface_destroy);
    if (!Usable(s.get())) return nullptr;
    cairo_surface_flush(s.get());
    unsigned char* out = cairo_image_surface_get_data(s.get());
    const int outStride = cairo_image_surface_get_stride(s.get());
    auto paletteColor = [&](int index) -> uint32_t {
        if (index >= colors) return 0;
        const unsigned char* c = data + table + static_cast<size_t>(index) * entry;
        return static_cast<uint32_t>(c[2]) << 16 | c[1] << 8 | c[0];
    };
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = data + pixels + stride * static_cast<size_t>(y);
        const int outY = topDown ? y : height - 1 - y;
        auto* dst = reinterpret_cast<uint32_t*>(out + static_cast<size_t>(outY) * outStride);
        for (int x = 0; x < width; ++x) {
            uint32_t p = 0;
            switch (bits) {
            case 1:
                p = paletteColor((row[x / 8] >> (7 - x % 8)) & 1);
                break;
            case 4:
                p = paletteColor(x % 2 ? row[x / 2] & 0xF : row[x / 2] >> 4);
                break;
            case 8:
                p = paletteColor(row[x]);
                break;
            default: { // 24 or 32: blue, green, red
                const unsigned char* c = row + static_cast<size_t>(x) * (bits / 8);
                p = static_cast<uint32_t>(c[2]) << 16 | c[1] << 8 | c[0];
            }
            }
            dst[x] = p;
        }
    }
    cairo_surface_mark_dirty(s.get());
    return s;
}

void PaintRect(cairo_surface_t* s, const RECT& r, COLORREF color) {
    if (!Usable(s) || r.right <= r.left || r.bottom <= r.top) return;
    Cr cr(s);
    SetColor(cr, color);
    cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_fill(cr);
}

void PaintFrame(cairo_surface_t* s, const RECT& r, COLORREF color, int width) {
    PaintRect(s, RECT{r.left, r.top, r.right, r.top + width}, color);
    PaintRect(s, RECT{r.left, r.bottom - width, r.right, r.bottom}, color);
    PaintRect(s, RECT{r.left, r.top, r.left + width, r.bottom}, color);
    PaintRect(s, RECT{r.right - width, r.top, r.right, r.bottom}, color);
}

void PaintLine(cairo_surface_t* s, int x0, int y0, int x1, int y1, COLORREF color) {
    if (!Usable(s)) return;
    if (y0 == y1) {
        PaintRect(s, RECT{std::min(x0, x1 + 1), y0, std::max(x0 + 1, x1), y0 + 1}, color);
    } else if (x0 == x1) {
        PaintRect(s, RECT{x0, std::min(y0, y1 + 1), x0 + 1, std::max(y0 + 1, y1)}, color);
    } else {
        Cr cr(s);
        SetColor(cr, color);
        cairo_set_line_width(cr, 1);
        cairo_move_to(cr, x0 + 0.5, y0 + 0.5);
        cairo_line_to(cr, x1 + 0.5, y1 + 0.5);
        cairo_stroke(cr);
    }
}

void PaintEdge(cairo_surface_t* s, const RECT& r, COLORREF light, COLORREF dark) {
    PaintRect(s, RECT{r.left, r.top, r.right - 1, r.top + 1}, light);
    PaintRect(s, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, light);
    PaintRect(s, RECT{r.left, r.bottom - 1, r.right, r.bottom}, dark);
    PaintRect(s, RECT{r.right - 1, r.top, r.right, r.bottom}, dark);
}

void PaintFocus(cairo_surface_t* s, const RECT& r) {
    if (!Usable(s)) return;
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    const int w = SurfaceWidth(s), h = SurfaceHeight(s);
    auto invert = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h || (x + y) % 2) return;
        auto* p = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride) + x;
        *p ^= 0x00FFFFFF;
    };
    for (int x = r.left; x < r.right; ++x) {
        invert(x, r.top);
        if (r.bottom - 1 > r.top) invert(x, r.bottom - 1);
    }
    for (int y = r.top + 1; y < r.bottom - 1; ++y) {
        invert(r.left, y);
        if (r.right - 1 > r.left) invert(r.right - 1, y);
    }
    cairo_surface_mark_dirty(s);
}

void PaintDither(cairo_surface_t* s, const RECT& r, COLORREF a, COLORREF b) {
    if (!Usable(s)) return;
    Surface tile = NewSurface(2, 2, a);
    PaintRect(tile.get(), RECT{1, 0, 2, 1}, b);
    PaintRect(tile.get(), RECT{0, 1, 1, 2}, b);
    Cr cr(s);
    cairo_pattern_t* p = cairo_pattern_create_for_surface(tile.get());
    cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
    cairo_set_source(cr, p);
    cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

void PaintSurface(cairo_surface_t* dst, int x, int y, int w, int h, cairo_surface_t* src, int sx,
                  int sy, int sw, int sh) {
    if (!Usable(dst) || !Usable(src) || w == 0 || h == 0 || sw == 0 || sh == 0) return;
    Cr cr(dst);
    cairo_rectangle(cr, std::min(x, x + w), std::min(y, y + h), std::abs(w), std::abs(h));
    cairo_clip(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, static_cast<double>(w) / sw, static_cast<double>(h) / sh);
    cairo_set_source_surface(cr, src, -sx, -sy);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
}

TextFont FontFor(const LOGFONTA& f) {
    static const std::pair<const char*, const char*> kFaces[] = {
        {"MS Sans Serif", "Liberation Sans"},   {"MS Shell Dlg", "Liberation Sans"},
        {"System", "Liberation Sans"},          {"Arial", "Liberation Sans"},
        {"Helv", "Liberation Sans"},            {"Times", "Liberation Serif"},
        {"Times New Roman", "Liberation Serif"}, {"MS Serif", "Liberation Serif"},
        {"Tms Rmn", "Liberation Serif"},        {"Courier", "Liberation Mono"},
        {"Courier New", "Liberation Mono"},     {"Terminal", "Liberation Mono"},
    };
    TextFont font;
    font.family.clear();
    for (const auto& face : kFaces)
        if (IEquals(face.first, f.lfFaceName)) font.family = face.second;
    if (font.family.empty()) { // by the family the font asks for
        switch (f.lfPitchAndFamily & 0xF0) {
        case FF_ROMAN:
            font.family = "Liberation Serif";
            break;
        case FF_MODERN:
            font.family = "Liberation Mono";
            break;
        default:
            font.family = "Liberation Sans";
        }
    }
    font.bold = f.lfWeight >= FW_SEMIBOLD;
    font.italic = f.lfItalic != 0;
    font.underline = f.lfUnderline != 0;
    if (f.lfHeight < 0)
        font.size = -f.lfHeight; // character height: the em
    else if (f.lfHeight > 0)
        font.size = f.lfHeight / CellPerEm(font.family); // cell height
    else
        font.size = 11;
    return font;
}

TextMetrics MetricsOf(const TextFont& font) {
    Cr cr(Scratch());
    SelectFont(cr, font);
    cairo_font_extents_t e;
    cairo_font_extents(cr, &e);
    TextMetrics m;
    m.ascent = static_cast<int>(std::lround(e.ascent));
    m.height = m.ascent + static_cast<int>(std::lround(e.descent));
    return m;
}

int TextWidth(const TextFont& font, const std::string& text) {
    if (text.empty()) return 0;
    Cr cr(Scratch());
    SelectFont(cr, font);
    cairo_text_extents_t e;
    cairo_text_extents(cr, Utf8(text).c_str(), &e);
    return static_cast<int>(std::lround(e.x_advance));
}

void PaintText(cairo_surface_t* s, int x, int y, const std::string& text, const TextFont& font,
               COLORREF color, int underlined, const COLORREF* background) {
    if (!Usable(s)) return;
    const TextMetrics m = MetricsOf(font);
    const int width = TextWidth(font, text);
    if (background) PaintRect(s, RECT{x, y, x + width, y + m.height}, *background);
    if (text.empty()) return;
    {
        Cr cr(s);
        SelectFont(cr, font);
        SetColor(cr, color);
        cairo_move_to(cr, x, y + m.ascent);
        cairo_show_text(cr, Utf8(text).c_str());
    }
    const int underlineY = y + m.ascent + std::max(1, m.height / 10);
    if (font.underline) PaintRect(s, RECT{x, underlineY, x + width, underlineY + 1}, color);
    if (underlined >= 0 && underlined < static_cast<int>(text.size())) {
        const int from = x + TextWidth(font, text.substr(0, static_cast<size_t>(underlined)));
        const int to = x + TextWidth(font, text.substr(0, static_cast<size_t>(underlined) + 1));
        PaintRect(s, RECT{from, underlineY, to, underlineY + 1}, color);
    }
}

int LayoutText(cairo_surface_t* s, const std::string& input, RECT* r, UINT format,
               const TextFont& font, COLORREF color, const COLORREF* background) {
    std::string text = format & DT_EXPANDTABS ? ExpandTabs(input) : input;
    const TextMetrics m = MetricsOf(font);
    const int width = r->right - r->left;
    // Lines: at line breaks (unless single line), then at blanks where words pass the width.
    std::vector<std::string> paragraphs;
    if (format & DT_SINGLELINE) {
        for (char& c : text)
            if (c == '\r' || c == '\n') c = ' ';
        paragraphs.push_back(text);
    } else {
        std::string cur;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' || text[i] == '\n') {
                if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
                paragraphs.push_back(cur);
                cur.clear();
            } else {
                cur += text[i];
            }
        }
        paragraphs.push_back(cur);
    }
    std::vector<Line> lines;
    auto addLine = [&](const std::string& raw) {
        Line line;
        line.text = format & DT_NOPREFIX ? raw : StripPrefix(raw, &line.underlined);
        lines.push_back(line);
    };
    auto visibleWidth = [&](const std::string& raw) {
        int ignored;
        return TextWidth(font, format & DT_NOPREFIX ? raw : StripPrefix(raw, &ignored));
    };
    for (const std::string& p : paragraphs) {
        if (!(format & DT_WORDBREAK) || (format & DT_SINGLELINE)) {
            addLine(p);
            continue;
        }
        std::string cur;
        size_t i = 0;
        while (i <= p.size()) {
            size_t end = p.find(' ', i);
            if (end == std::string::npos) end = p.size();
            std::string word = p.substr(i, end - i);
            std::string tried = cur.empty() ? word : cur + " " + word;
            if (!cur.empty() && visibleWidth(tried) > width) {
                addLine(cur);
                cur = word;
            } else {
                cur = tried;
            }
            i = end + 1;
        }
        addLine(cur);
    }
    const int total = static_cast<int>(lines.size()) * m.height;
    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const Line& line : lines)
            widest = std::max(widest, TextWidth(font, line.text));
        r->right = r->left + widest;
        r->bottom = r->top + total;
        return total;
    }
    int y = r->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            y = r->top + (r->bottom - r->top - m.height) / 2;
        else if (format & DT_BOTTOM)
            y = r->bottom - m.height;
    }
    if (s) {
        for (const Line& line : lines) {
            const int w = TextWidth(font, line.text);
            int x = r->left;
            if (format & DT_CENTER)
                x = r->left + (width - w) / 2;
            else if (format & DT_RIGHT)
                x = r->right - w;
            PaintText(s, x, y, line.text, font, color, line.underlined, background);
            y += m.height;
        }
    }
    return total;
}

bool WritePng(cairo_surface_t* s, const std::string& path) {
    return Usable(s) && cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

} // namespace winsim
