#pragma once

#include <vector>

#include "platform/MessageBus.h"

namespace pelkora {

// Keeps the codes broadcast, in order.
class RecordingMessageBus : public MessageBus {
  public:
    void broadcastState(int code) override { codes_.push_back(code); }
    const std::vector<int>& codes() const { return codes_; }
    void clear() { codes_.clear(); }

  private:
    std::vector<int> codes_;
};

}  // namespace pelkora
