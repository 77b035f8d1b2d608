// Linux: the progress bar widget's message answers and painting. The answers follow the Windows
// control: setters return the previous value, the position is kept inside the range, PBM_STEPIT
// wraps around past either end of the range.
#include "platform/linux/ToolkitQtProgressBar.h"

#include <QPaintEvent>
#include <QPainter>

#include "platform/CommonControls.h"

namespace platform::qt {
namespace {

constexpr int kDefaultMarqueeInterval = 30;  // milliseconds, Windows' default
constexpr int kMarqueeStepPixels = 4;

std::intptr_t makeLong(std::int32_t low, std::int32_t high) {
    return static_cast<std::intptr_t>((static_cast<std::uint32_t>(high) & 0xFFFF) << 16 |
                                      (static_cast<std::uint32_t>(low) & 0xFFFF));
}

QColor fromColorRef(std::uint32_t color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

}  // namespace

QtProgressBar::QtProgressBar(QWidget* parent, std::uint32_t style)
    : QWidget(parent),
      style_(style),
      barColor_(CLR_DEFAULT),
      backgroundColor_(CLR_DEFAULT),
      state_(PBST_NORMAL) {
    connect(&marqueeTimer_, &QTimer::timeout, this, [this] {
        marqueeOffset_ += kMarqueeStepPixels;
        const int length = (style_ & PBS_VERTICAL) ? height() : width();
        if (marqueeOffset_ > length) marqueeOffset_ = -length / 5;
        update();
    });
}

void QtProgressBar::coercePosition() {
    if (position_ < min_) position_ = min_;
    if (position_ > max_) position_ = max_;
}

std::intptr_t QtProgressBar::answer(std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
    const auto wInt = static_cast<std::int32_t>(wParam);
    switch (message) {
        case PBM_SETRANGE:
        case PBM_SETRANGE32: {
            const std::intptr_t previous = makeLong(min_, max_);
            const auto packed = static_cast<std::uint32_t>(lParam);
            const std::int32_t low =
                message == PBM_SETRANGE ? static_cast<std::int32_t>(packed & 0xFFFF) : wInt;
            const std::int32_t high = message == PBM_SETRANGE
                                          ? static_cast<std::int32_t>(packed >> 16)
                                          : static_cast<std::int32_t>(lParam);
            if (low == min_ && high == max_) return previous;
            min_ = low;
            max_ = high;
            coercePosition();
            update();
            return previous;
        }
        case PBM_GETRANGE:
            if (lParam) {
                auto* range = reinterpret_cast<PBRANGE*>(lParam);
                range->iLow = min_;
                range->iHigh = max_;
            }
            return wParam ? min_ : max_;
        case PBM_SETPOS: {
            // A marquee bar has no position to set (answered as the Windows control does).
            if (style_ & PBS_MARQUEE) return 1;
            const std::int32_t previous = position_;
            if (previous != wInt) {
                position_ = wInt;
                coercePosition();
                update();
            }
            return previous;
        }
        case PBM_DELTAPOS: {
            const std::int32_t previous = position_;
            if (wInt != 0) {
                position_ += wInt;
                coercePosition();
                update();
            }
            return previous;
        }
        case PBM_GETPOS:
            return position_;
        case PBM_SETSTEP: {
            const std::int32_t previous = step_;
            step_ = wInt;
            return previous;
        }
        case PBM_GETSTEP:
            return step_;
        case PBM_STEPIT: {
            const std::int32_t previous = position_;
            position_ += step_;
            if (min_ != max_) {
                if (position_ > max_) position_ = (position_ - min_) % (max_ - min_) + min_;
                if (position_ < min_) position_ = (position_ - min_) % (max_ - min_) + max_;
            } else {
                position_ = min_;
            }
            if (position_ != previous) update();
            return previous;
        }
        case PBM_SETBARCOLOR: {
            const std::uint32_t previous = barColor_;
            barColor_ = static_cast<std::uint32_t>(lParam);
            update();
            return static_cast<std::intptr_t>(previous);
        }
        case PBM_GETBARCOLOR:
            return static_cast<std::intptr_t>(barColor_);
        case PBM_SETBKCOLOR: {
            const std::uint32_t previous = backgroundColor_;
            backgroundColor_ = static_cast<std::uint32_t>(lParam);
            update();
            return static_cast<std::intptr_t>(previous);
        }
        case PBM_GETBKCOLOR:
            return static_cast<std::intptr_t>(backgroundColor_);
        case PBM_SETMARQUEE:
            marquee_ = wParam != 0;
            if (marquee_) {
                marqueeTimer_.start(lParam ? static_cast<int>(lParam) : kDefaultMarqueeInterval);
            } else {
                marqueeTimer_.stop();
            }
            update();
            return marquee_ ? 1 : 0;
        case PBM_SETSTATE: {
            const std::uint32_t previous = state_;
            if (wParam == PBST_NORMAL || wParam == PBST_ERROR || wParam == PBST_PAUSED) {
                state_ = static_cast<std::uint32_t>(wParam);
                update();
            }
            return previous;
        }
        case PBM_GETSTATE:
            return state_;
        default:
            return 0;
    }
}

QColor QtProgressBar::barColor() const {
    // The state colours win over a chosen bar colour, as with the themed Windows control.
    if (state_ == PBST_ERROR) return QColor(0xDA, 0x26, 0x26);
    if (state_ == PBST_PAUSED) return QColor(0xDA, 0xCB, 0x26);
    if (barColor_ == CLR_DEFAULT) return QColor(0x06, 0xB0, 0x25);
    return fromColorRef(barColor_);
}

QColor QtProgressBar::backgroundColor() const {
    if (backgroundColor_ == CLR_DEFAULT) return palette().color(QPalette::Base);
    return fromColorRef(backgroundColor_);
}

void QtProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect outer = rect();
    painter.fillRect(outer, backgroundColor());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(outer.adjusted(0, 0, -1, -1));
    const QRect inner = outer.adjusted(2, 2, -2, -2);
    if (inner.isEmpty()) return;

    const bool vertical = (style_ & PBS_VERTICAL) != 0;
    const int length = vertical ? inner.height() : inner.width();
    const QColor bar = barColor();

    if (style_ & PBS_MARQUEE) {
        // A block of a fifth of the length travels along the bar while the animation runs.
        if (!marquee_) return;
        const int block = std::max(1, length / 5);
        const QRect along =
            vertical
                ? QRect(inner.left(), inner.bottom() - marqueeOffset_ - block, inner.width(), block)
                : QRect(inner.left() + marqueeOffset_, inner.top(), block, inner.height());
        painter.fillRect(along.intersected(inner), bar);
        return;
    }

    const double span = static_cast<double>(max_) - min_;
    const double fraction = span > 0 ? (static_cast<double>(position_) - min_) / span : 0.0;
    const int filled = static_cast<int>(length * std::clamp(fraction, 0.0, 1.0));
    if (style_ & PBS_SMOOTH) {
        const QRect done =
            vertical ? QRect(inner.left(), inner.bottom() - filled + 1, inner.width(), filled)
                     : QRect(inner.left(), inner.top(), filled, inner.height());
        painter.fillRect(done, bar);
        return;
    }
    // Blocks two thirds as long as the bar is thick, with a gap of two pixels.
    const int thickness = vertical ? inner.width() : inner.height();
    const int chunk = std::max(2, thickness * 2 / 3);
    for (int at = 0; at < filled; at += chunk + 2) {
        const int size = std::min(chunk, filled - at);
        const QRect piece =
            vertical ? QRect(inner.left(), inner.bottom() - at - size + 1, inner.width(), size)
                     : QRect(inner.left() + at, inner.top(), size, inner.height());
        painter.fillRect(piece, bar);
    }
}

}  // namespace platform::qt
