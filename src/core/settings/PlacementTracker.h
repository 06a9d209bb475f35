#pragma once

namespace pelkora {

// When a window's placement is saved: on a granted close of a window that
// was shown this run, and at its destruction unless it was already saved
// since it was last shown. A window never shown saves nothing.
class PlacementTracker {
  public:
    void onRestored() {
        restoredOnce_ = true;
        savedSinceShown_ = false;
    }
    void onSaved() { savedSinceShown_ = true; }

    bool shouldSaveOnClose() const { return restoredOnce_; }
    bool shouldSaveOnDestroy() const { return restoredOnce_ && !savedSinceShown_; }

  private:
    bool restoredOnce_ = false;
    bool savedSinceShown_ = false;
};

}  // namespace pelkora
