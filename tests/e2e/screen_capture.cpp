#include "tests/e2e/screen_capture.h"

#include "framework/handles.h"

#include <cstdlib>
#include <cstring>
#include <set>

namespace e2e {
namespace {

struct MemoryDcTraits {
    using Handle = HDC;
    static Handle invalid() noexcept { return nullptr; }
    static bool close(Handle h) noexcept { return DeleteDC(h) != FALSE; }
};
using MemoryDc = fw::UniqueHandle<MemoryDcTraits>;

struct BitmapTraits {
    using Handle = HBITMAP;
    static Handle invalid() noexcept { return nullptr; }
    static bool close(Handle h) noexcept { return DeleteObject(h) != FALSE; }
};
using Bitmap = fw::UniqueHandle<BitmapTraits>;

// The device context of the whole screen, given back on every path.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// A bitmap selected into a memory context; the context's previous bitmap is
// put back before either goes away.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selection() {
        if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    bool valid() const { return previous_ && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A 32-bit top-down DIB section in a memory context, ready to draw on.
struct Canvas {
    MemoryDc dc;
    Bitmap bitmap;
    std::uint32_t* bits = nullptr;
    int width = 0;
    int height = 0;

    bool create(int w, int h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* raw = nullptr;
        bitmap.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0));
        dc.reset(CreateCompatibleDC(nullptr));
        bits = static_cast<std::uint32_t*>(raw);
        width = w;
        height = h;
        return bitmap.valid() && dc.valid() && bits;
    }

    Image image() const {
        GdiFlush();
        Image out;
        out.width = width;
        out.height = height;
        out.pixels.assign(bits, bits + static_cast<size_t>(width) * height);
        for (auto& p : out.pixels) p &= 0x00FFFFFFu;
        return out;
    }
};

void makeParentDirs(const std::string& path) {
    for (size_t i = 3; i < path.size(); ++i)
        if (path[i] == '\\' || path[i] == '/') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

}  // namespace

bool captureScreen(const RECT& area, Image& out) {
    int w = area.right - area.left;
    int h = area.bottom - area.top;
    if (w <= 0 || h <= 0) return false;
    ScreenDc screen;
    Canvas canvas;
    if (!screen.get() || !canvas.create(w, h)) return false;
    {
        Selection selected(canvas.dc.get(), canvas.bitmap.get());
        if (!selected.valid()) return false;
        if (!BitBlt(canvas.dc.get(), 0, 0, w, h, screen.get(), area.left, area.top, SRCCOPY)) return false;
    }
    out = canvas.image();
    return true;
}

bool captureWholeScreen(Image& out) {
    RECT all{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return captureScreen(all, out);
}

Image render(int width, int height, std::uint32_t background, const std::function<void(HDC)>& draw) {
    Canvas canvas;
    if (width <= 0 || height <= 0 || !canvas.create(width, height)) return Image();
    for (int i = 0; i < width * height; ++i) canvas.bits[i] = background;
    {
        Selection selected(canvas.dc.get(), canvas.bitmap.get());
        if (!selected.valid()) return Image();
        draw(canvas.dc.get());
    }
    return canvas.image();
}

Image renderIcon(HICON icon, int width, int height, std::uint32_t background) {
    return render(width, height, background,
                  [&](HDC dc) { DrawIconEx(dc, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL); });
}

double meanDifference(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height || a.empty()) return 255.0;
    double total = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8)
            total += std::abs(static_cast<int>((a.pixels[i] >> shift) & 0xFF) -
                              static_cast<int>((b.pixels[i] >> shift) & 0xFF));
    return total / (a.pixels.size() * 3.0);
}

size_t distinctColours(const Image& image, size_t limit) {
    std::set<std::uint32_t> seen;
    for (auto p : image.pixels) {
        seen.insert(p);
        if (seen.size() >= limit) break;
    }
    return seen.size();
}

bool writeBmp(const Image& image, const std::string& path) {
    if (image.empty()) return false;
    const DWORD rowBytes = (static_cast<DWORD>(image.width) * 3 + 3) & ~3u;
    const DWORD dataBytes = rowBytes * image.height;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + dataBytes;
    info.biSize = sizeof info;
    info.biWidth = image.width;
    info.biHeight = image.height;  // bottom-up, as every reader expects
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = dataBytes;

    std::string bytes(file.bfSize, '\0');
    std::memcpy(&bytes[0], &file, sizeof file);
    std::memcpy(&bytes[sizeof file], &info, sizeof info);
    for (int y = 0; y < image.height; ++y) {
        char* row = &bytes[file.bfOffBits + static_cast<size_t>(image.height - 1 - y) * rowBytes];
        for (int x = 0; x < image.width; ++x) {
            std::uint32_t p = image.at(x, y);
            row[x * 3 + 0] = static_cast<char>(p & 0xFF);
            row[x * 3 + 1] = static_cast<char>((p >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<char>((p >> 16) & 0xFF);
        }
    }

    makeParentDirs(path);
    fw::FileHandle out(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return false;
    DWORD written = 0;
    if (!WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) return false;
    return written == bytes.size() && out.close();
}

bool readBmp(const std::string& path, Image& out) {
    fw::FileHandle in(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!in) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(in.get(), &size) || size.QuadPart > (64 << 20)) return false;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (bytes.empty() || !ReadFile(in.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) ||
        read != bytes.size())
        return false;

    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    if (bytes.size() < sizeof file + sizeof info) return false;
    std::memcpy(&file, bytes.data(), sizeof file);
    std::memcpy(&info, bytes.data() + sizeof file, sizeof info);
    if (file.bfType != 0x4D42 || info.biBitCount != 24 || info.biCompression != BI_RGB || info.biWidth <= 0 ||
        info.biHeight <= 0)
        return false;
    const size_t rowBytes = (static_cast<size_t>(info.biWidth) * 3 + 3) & ~static_cast<size_t>(3);
    if (file.bfOffBits + rowBytes * info.biHeight > bytes.size()) return false;

    out.width = info.biWidth;
    out.height = info.biHeight;
    out.pixels.assign(static_cast<size_t>(out.width) * out.height, 0);
    for (int y = 0; y < out.height; ++y) {
        const unsigned char* row =
            reinterpret_cast<const unsigned char*>(bytes.data()) + file.bfOffBits + (out.height - 1 - y) * rowBytes;
        for (int x = 0; x < out.width; ++x)
            out.pixels[static_cast<size_t>(y) * out.width + x] =
                row[x * 3] | (row[x * 3 + 1] << 8) | (static_cast<std::uint32_t>(row[x * 3 + 2]) << 16);
    }
    return true;
}

}  // namespace e2e
