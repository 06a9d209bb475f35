#pragma once

#include <cstdint>
#include <string_view>

namespace pelkora {

// The automation objects that clients hold. A program the system started
// for a client ends when the last of them is released; one the operator
// started stays. The operator closing the program while objects are alive
// is asked first whether to go on.
// Threading: loop thread only.
class ObjectCount {
  public:
    static constexpr std::string_view kCloseWarningTitle = "COM Server Warning";
    static constexpr std::string_view kCloseWarningText =
        "There are still active COM objects in this application.  One or more clients may have "
        "references to these objects, so manually closing this application may cause those "
        "client application(s) to fail.\n\nAre you sure you want to close this application?";

    explicit ObjectCount(bool endsWithLastObject) : endsWithLastObject_(endsWithLastObject) {}

    void created() { ++count_; }
    // True when this release ended the last object and the program is to end
    // now. A release with no object alive (a client releasing twice) changes
    // nothing.
    [[nodiscard]] bool released();

    std::int64_t count() const { return count_; }
    // The operator's close asks the warning question first.
    bool closeNeedsWarning() const { return count_ > 0; }

  private:
    bool endsWithLastObject_;
    std::int64_t count_ = 0;
};

}  // namespace pelkora
