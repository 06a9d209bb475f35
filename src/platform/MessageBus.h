#pragma once

namespace pelkora {

// Tells other programs (a logger) about the keyer's transmit and pause state.
// Codes: 100 pause released, 101 paused, 110 transmitter released,
// 111 transmitter keyed.
// Threading: called only on the loop thread; the call returns when the
// message has been handed on.
class MessageBus {
  public:
    virtual ~MessageBus() = default;
    virtual void broadcastState(int code) = 0;
};

}  // namespace pelkora
