// Linux: a Qt widget that behaves as the Windows progress bar control "msctls_progress32": it
// takes the PBM_* messages and answers them with the Windows numbers, and paints range,
// position, blocks or a smooth bar, the marquee animation and the error and paused colours.
#pragma once

#include <QTimer>
#include <QWidget>
#include <cstdint>

namespace platform::qt {

class QtProgressBar final : public QWidget {
  public:
    QtProgressBar(QWidget* parent, std::uint32_t style);

    // The window procedure: the answer to a message sent to the control.
    std::intptr_t answer(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
    std::uint32_t style() const { return style_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void coercePosition();
    QColor barColor() const;
    QColor backgroundColor() const;

    std::uint32_t style_;
    std::int32_t min_ = 0;
    std::int32_t max_ = 100;
    std::int32_t position_ = 0;
    std::int32_t step_ = 10;
    std::uint32_t barColor_;
    std::uint32_t backgroundColor_;
    std::uint32_t state_;
    bool marquee_ = false;
    int marqueeOffset_ = 0;
    QTimer marqueeTimer_;
};

}  // namespace platform::qt
