#include "app/SettingsGlyph.h"

#include <cmath>

platform::Bitmap SettingsGlyph() {
    constexpr int kWidth = 20;
    constexpr int kHeight = 19;
    constexpr double kPi = 3.14159265358979323846;
    constexpr std::uint32_t kBody = 0xFF505A64;
    constexpr std::uint32_t kEdge = 0xFF2B3036;
    platform::Bitmap glyph{kWidth, kHeight, std::vector<std::uint32_t>(kWidth * kHeight, 0)};
    const double cx = 9.5;
    const double cy = 9.0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double dx = x - cx;
            const double dy = y - cy;
            const double r = std::sqrt(dx * dx + dy * dy);
            // Eight teeth: the rim reaches further out around every eighth of a turn.
            const double turn = std::atan2(dy, dx) / (2 * kPi) * 8.0;
            const double fromTooth = std::fabs(turn - std::round(turn));
            const double outer = fromTooth < 0.22 ? 8.6 : 6.4;
            if (r > outer || r < 2.6) continue;
            const bool edge = r > outer - 1.0 || r < 3.6;
            glyph.pixels[y * kWidth + x] = edge ? kEdge : kBody;
        }
    }
    return glyph;
}
