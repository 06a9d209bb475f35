#pragma once

#include <QtCore/qnamespace.h>

#include <string>

#include "core/settings/WindowPlacement.h"
#include "platform/ProfileStore.h"

class QWidget;

namespace pelkora {

// Saves and restores the placement of a top-level QWidget in pelkora.ini,
// with the rules of WindowPlacement.
//
// NormPos maps to the client area (QWidget::geometry(), the normal geometry
// of a maximised or minimised window): right = left + width and bottom =
// top + height, exclusive as in the Windows file. The frame is left out
// because Qt learns its size only after the window manager has framed the
// window, so a placement read back before showing could not be matched to
// it; the client area round-trips exactly in every state. The Windows
// program stores the outer rect, so a window placed from its file opens
// shifted and enlarged by the border once and keeps its place from then on.
//
// Threading: GUI thread only.
class QtPlacement {
  public:
    // Flags 0, MinMaxPos -1,-1,-1,-1 (Qt does not report them), ShowCmd
    // 2 minimised / 3 maximised / 1 otherwise, PixelsPerInch the logical DPI
    // of the window's screen.
    static WindowPlacement::Record recordOf(const QWidget& window);

    // A window whose minimum and maximum sizes are equal (setFixedSize)
    // counts as fixed size: only its position is restored.
    static WindowPlacement::CurrentWindow currentOf(const QWidget& window, bool centredOnScreen);

    // Moves and resizes the window when the decision says so, bringing a
    // rect that lies off every screen back to the primary screen's work area
    // and bounding its size by that area, and sets the window state. The
    // state takes effect when the caller shows the window.
    static void apply(QWidget& window, const WindowPlacement::RestoreDecision& decision);

    // current with its minimised / maximised / full-screen bits replaced.
    static Qt::WindowStates windowStateFor(WindowPlacement::ShowState state,
                                           Qt::WindowStates current);

    // recordOf + WindowPlacement::save. Throws ProfileWriteError.
    static void save(ProfileStore& store, const std::string& file, const std::string& section,
                     const QWidget& window, bool destroying);

    // WindowPlacement::restore + apply, before the window is shown. The
    // caller centres the window itself unless decision.dropCentring.
    static WindowPlacement::RestoreDecision restore(ProfileStore& store, const std::string& file,
                                                    const std::string& section, QWidget& window,
                                                    bool centredOnScreen);
};

}  // namespace pelkora
