// Pixels of the screen as the user sees them: what the automation reads when
// the only way to tell two things apart is how they look (the icon of a
// message box of another process), and the screenshots kept for the README.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

// A picture held top-down, one 0x00RRGGBB value per pixel.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    bool empty() const { return pixels.empty(); }
    std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// The screen's pixels inside `area` (screen coordinates). False when the area
// is empty or the screen cannot be read.
bool captureScreen(const RECT& area, Image& out);
bool captureWholeScreen(Image& out);

// A picture of the given size, filled with `background` and then drawn on by
// `draw` through a memory device context.
Image render(int width, int height, std::uint32_t background, const std::function<void(HDC)>& draw);

// An icon of this process drawn at the given size over a plain background,
// as a static icon control draws it.
Image renderIcon(HICON icon, int width, int height, std::uint32_t background);

// Mean difference per colour channel (0 to 255) of two pictures of the same
// size; a large value when the sizes differ.
double meanDifference(const Image& a, const Image& b);

// How many different colours the picture holds, counting up to `limit`.
size_t distinctColours(const Image& image, size_t limit = 256);

// Writes a 24-bit bottom-up .bmp, creating the folders leading to it.
bool writeBmp(const Image& image, const std::string& path);
// Reads back a 24-bit .bmp as writeBmp writes it.
bool readBmp(const std::string& path, Image& out);

}  // namespace e2e
