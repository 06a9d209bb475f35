#include "ui/app/QtPlacement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cstdint>

namespace pelkora {

namespace {

constexpr int kFallbackPixelsPerInch = 96;

QScreen* screenOf(const QWidget& window) {
    QScreen* screen = window.screen();
    return screen != nullptr ? screen : QGuiApplication::primaryScreen();
}

int boundedExtent(std::int64_t extent, int available) {
    return static_cast<int>(std::clamp<std::int64_t>(extent, 1, std::max(available, 1)));
}

QSize boundedSize(const WindowPlacement::Rect& rect, const QRect& area) {
    return {boundedExtent(rect.width(), area.width()), boundedExtent(rect.height(), area.height())};
}

bool overlaps(const QRect& area, QPoint corner, QSize size) {
    // In 64 bits: a hand-edited corner can sit at the ends of the 32-bit range.
    return corner.x() < std::int64_t{area.x()} + area.width() &&
           area.x() < std::int64_t{corner.x()} + size.width() &&
           corner.y() < std::int64_t{area.y()} + area.height() &&
           area.y() < std::int64_t{corner.y()} + size.height();
}

// Where the window goes: the stored corner, with the size bounded by the
// work area of the screen it lands on. A window that would land on no screen
// (the monitor it was saved on may be gone) goes to the primary screen's
// work area, as the Windows placement call keeps a window within reach.
QRect reachableRect(const WindowPlacement::Rect& rect) {
    const QPoint corner(rect.left, rect.top);
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        const QSize size = boundedSize(rect, area);
        if (overlaps(area, corner, size)) {
            return {corner, size};
        }
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) {
        // No screen to measure against: a modest size at the origin.
        return {QPoint(0, 0), boundedSize(rect, QRect(0, 0, 640, 480))};
    }
    const QRect area = primary->availableGeometry();
    return {area.topLeft(), boundedSize(rect, area)};
}

std::int32_t showCmdOf(Qt::WindowStates state) {
    if (state.testFlag(Qt::WindowMinimized)) {
        return WindowPlacement::kShowMinimised;
    }
    if (state.testFlag(Qt::WindowMaximized)) {
        return WindowPlacement::kShowMaximised;
    }
    return WindowPlacement::kShowNormal;
}

}  // namespace

WindowPlacement::Record QtPlacement::recordOf(const QWidget& window) {
    // normalGeometry() is empty for a window that was never shown.
    QRect client = window.normalGeometry();
    if (!client.isValid()) {
        client = window.geometry();
    }

    WindowPlacement::Record record;
    record.flags = 0;
    record.showCmd = showCmdOf(window.windowState());
    record.normal = {client.x(), client.y(), client.x() + client.width(),
                     client.y() + client.height()};
    const QScreen* screen = screenOf(window);
    record.pixelsPerInch =
        screen != nullptr ? qRound(screen->logicalDotsPerInch()) : kFallbackPixelsPerInch;
    return record;
}

WindowPlacement::CurrentWindow QtPlacement::currentOf(const QWidget& window, bool centredOnScreen) {
    WindowPlacement::CurrentWindow now;
    now.placement = recordOf(window);
    now.fixedSize = window.minimumSize() == window.maximumSize();
    now.centredOnScreen = centredOnScreen;
    return now;
}

void QtPlacement::apply(QWidget& window, const WindowPlacement::RestoreDecision& decision) {
    if (decision.applyGeometry) {
        window.setGeometry(reachableRect(decision.placement.normal));
    }
    if (decision.showState) {
        window.setWindowState(windowStateFor(*decision.showState, window.windowState()));
    }
}

Qt::WindowStates QtPlacement::windowStateFor(WindowPlacement::ShowState state,
                                             Qt::WindowStates current) {
    Qt::WindowStates result =
        current & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
    switch (state) {
        case WindowPlacement::ShowState::Minimised:
            return result | Qt::WindowMinimized;
        case WindowPlacement::ShowState::Maximised:
            return result | Qt::WindowMaximized;
        case WindowPlacement::ShowState::Normal:
            break;
    }
    return result;
}

void QtPlacement::save(ProfileStore& store, const std::string& file, const std::string& section,
                       const QWidget& window, bool destroying) {
    WindowPlacement::save(store, file, section, recordOf(window), destroying);
}

WindowPlacement::RestoreDecision QtPlacement::restore(ProfileStore& store, const std::string& file,
                                                      const std::string& section, QWidget& window,
                                                      bool centredOnScreen) {
    const auto decision =
        WindowPlacement::restore(store, file, section, currentOf(window, centredOnScreen));
    apply(window, decision);
    return decision;
}

}  // namespace pelkora
