// The screen: each window keeps the pixels of its client area, and the screen is composed from
// them when it is looked at (the desktop, then the visible top-level windows in the order of
// creation, each with its frame and its visible children clipped to its client area). The
// pictures that winsim::TakeScreenshots asks for are taken when the queue runs empty.
#include "user.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace winsim::user {

namespace {

struct ScreenState {
    Surface desktop;          // what was drawn on the screen's own DC
    uint64_t changes = 0;     // drawing on any window's pixels
    uint64_t pictured = 0;    // `changes` at the last picture
    std::string folder;       // where pictures go; "" for none
    std::string next;         // what the next picture is named after
    bool nextByUser = false;
    int taken = 0;
    std::vector<std::string> files;
    std::vector<std::pair<Surface, RECT>> system; // message boxes up, the last on top
};

ScreenState& S() {
    static auto* s = new ScreenState;
    return *s;
}

const bool g_hooks =
    (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { S() = ScreenState{}; }}), true);

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

bool Empty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

// The window that takes the user's input: the last visible, enabled top-level window.
uint32_t ActiveWindow() {
    uint32_t active = 0;
    for (uint32_t h : U().order) {
        Window* w = Live(h);
        if (w && !w->child && w->ctl != Ctl::Foreign && Visible(*w) && !(w->style & WS_DISABLED))
            active = h;
    }
    return active;
}

// The client area's pixels, sized to it; looking at them changes nothing.
cairo_surface_t* PixelsOf(Window& w) {
    const RECT client = ClientOf(w);
    const int width = std::max<LONG>(1, client.right), height = std::max<LONG>(1, client.bottom);
    if (!w.pixels || SurfaceWidth(w.pixels.get()) != width ||
        SurfaceHeight(w.pixels.get()) != height)
        w.pixels = ResizedSurface(w.pixels, width, height, SystemColor(COLOR_WINDOW));
    return w.pixels.get();
}

// `w` with its frame and its children onto the screen, inside `clip`.
void Compose(cairo_surface_t* screen, Window& w, const RECT& clip, uint32_t active) {
    const RECT at = ScreenRect(w);
    const RECT shown = Intersect(at, clip);
    if (Empty(shown)) return;
    const int width = at.right - at.left, height = at.bottom - at.top;
    Surface whole = NewSurface(width, height, SystemColor(COLOR_BTNFACE));
    PaintNonClient(whole.get(), w, w.handle == active);
    const POINT origin = ClientOrigin(w);
    const RECT client = ClientOf(w);
    cairo_surface_t* pixels = PixelsOf(w);
    PaintSurface(whole.get(), origin.x - at.left, origin.y - at.top, client.right, client.bottom,
                 pixels, 0, 0, client.right, client.bottom);
    PaintSurface(screen, shown.left, shown.top, shown.right - shown.left, shown.bottom - shown.top,
                 whole.get(), shown.left - at.left, shown.top - at.top, shown.right - shown.left,
                 shown.bottom - shown.top);
    const RECT inside =
        Intersect(clip, RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom});
    const uint32_t h = w.handle;
    for (uint32_t c : U().order) {
        Window* child = Live(c);
        if (child && child->child && child->parent == h && (child->style & WS_VISIBLE))
            Compose(screen, *child, inside, active);
    }
}

Surface ComposeScreen() {
    const int width = ScreenWidth(), height = ScreenHeight();
    Surface screen = NewSurface(width, height, SystemColor(COLOR_BACKGROUND));
    ScreenState& s = S();
    if (s.desktop) PaintSurface(screen.get(), 0, 0, width, height, s.desktop.get(), 0, 0, width, height);
    const uint32_t active = s.system.empty() ? ActiveWindow() : 0; // else the box is active
    const std::vector<uint32_t> order = U().order;
    for (uint32_t h : order) {
        Window* w = Live(h);
        if (w && !w->child && w->ctl != Ctl::Foreign && Visible(*w))
            Compose(screen.get(), *w, RECT{0, 0, width, height}, active);
    }
    for (const auto& [picture, at] : s.system)
        PaintSurface(screen.get(), at.left, at.top, at.right - at.left, at.bottom - at.top,
                     picture.get(), 0, 0, at.right - at.left, at.bottom - at.top);
    return screen;
}

// A name fit for a file: letters and digits, the rest as single hyphens, lower case.
std::string Slug(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c))
            out += static_cast<char>(std::tolower(c));
        else if (!out.empty() && out.back() != '-')
            out += '-';
    }
    while (!out.empty() && out.back() == '-')
        out.pop_back();
    if (out.size() > 48) out.resize(48);
    return out.empty() ? "screen" : out;
}

// The next numbered picture, named after `what`.
void TakePicture(ScreenState& s, const std::string& what) {
    s.pictured = s.changes;
    char number[16];
    std::snprintf(number, sizeof number, "%02d-", ++s.taken);
    const std::string path = s.folder + "/" + number + Slug(what) + ".png";
    Surface screen = ComposeScreen();
    if (WritePng(screen.get(), path))
        s.files.push_back(path);
    else
        Debug("cannot write the screenshot " + path);
}

} // namespace

cairo_surface_t* ClientPixels(Window& w) {
    ++S().changes;
    return PixelsOf(w);
}

RECT ScreenRect(const Window& w) {
    RECT r = w.rect;
    if (w.child) {
        if (Window* parent = Live(w.parent)) {
            const POINT o = ClientOrigin(*parent);
            r = RECT{r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y};
        }
    }
    return r;
}

void NoteScreenEvent(const std::string& what, bool byUser) {
    ScreenState& s = S();
    if (s.folder.empty()) return;
    if (s.next.empty() || (byUser && !s.nextByUser)) {
        s.next = what;
        s.nextByUser = byUser;
    }
}

void ScreenSettled() {
    ScreenState& s = S();
    if (s.folder.empty() || s.changes == s.pictured) return;
    bool shown = !s.system.empty();
    for (uint32_t h : U().order)
        if (Window* w = Live(h); w && !w->child && w->ctl != Ctl::Foreign && Visible(*w))
            shown = true;
    if (!shown) return; // nothing on the screen yet, or any more
    const std::string what = s.next;
    s.next.clear();
    s.nextByUser = false;
    TakePicture(s, what);
}

void ShowSystemWindow(Surface picture, const RECT& at) {
    S().system.emplace_back(std::move(picture), at);
}

void HideSystemWindow() {
    ScreenState& s = S();
    if (s.system.empty()) return;
    s.system.pop_back();
    ++s.changes; // what the box covered shows again
}

void PictureNow(const std::string& what) {
    ScreenState& s = S();
    if (!s.folder.empty()) TakePicture(s, what);
}

} // namespace winsim::user

using namespace winsim::user;

namespace winsim {

cairo_surface_t* WindowPixels(uintptr_t window) {
    ScreenState& s = S();
    if (window == 0) {
        ++s.changes;
        if (!s.desktop)
            s.desktop = NewSurface(ScreenWidth(), ScreenHeight(), SystemColor(COLOR_BACKGROUND));
        return s.desktop.get();
    }
    Window* w = window <= 0xFFFFFFFFu ? Live(static_cast<uint32_t>(window)) : nullptr;
    return w ? ClientPixels(*w) : nullptr;
}

uint32_t ScreenPicture::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
}

ScreenPicture CaptureScreen() {
    Surface screen = ComposeScreen();
    ScreenPicture p;
    p.width = SurfaceWidth(screen.get());
    p.height = SurfaceHeight(screen.get());
    p.pixels.reserve(static_cast<size_t>(p.width) * static_cast<size_t>(p.height));
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const COLORREF c = PixelAt(screen.get(), x, y);
            p.pixels.push_back(static_cast<uint32_t>(GetRValue(c)) << 16 | GetGValue(c) << 8 |
                               GetBValue(c));
        }
    return p;
}

bool SaveScreen(const std::string& path, std::string* error) {
    Surface screen = ComposeScreen();
    if (WritePng(screen.get(), path)) return true;
    if (error) *error = "cannot write " + path;
    return false;
}

void TakeScreenshots(const std::string& folder) {
    ScreenState& s = S();
    s.folder = folder;
    s.pictured = s.changes;
    s.taken = 0; // a new series
    s.files.clear();
    s.next.clear();
    s.nextByUser = false;
    if (folder.empty()) return;
    // What is on the screen already counts as a change to picture.
    if (s.changes) s.pictured = s.changes - 1;
}

std::vector<std::string> Screenshots() {
    return S().files;
}

} // namespace winsim
