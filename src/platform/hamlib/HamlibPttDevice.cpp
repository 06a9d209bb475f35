#include "platform/hamlib/HamlibPttDevice.h"

#include <utility>

#include "platform/hamlib/ClosablePoster.h"
#include "platform/hamlib/HamlibRigSession.h"
#include "platform/hamlib/RigctldFaultRelease.h"

namespace pelkora {

HamlibPttDevice::HamlibPttDevice(const PortRoute& route, LoopPoster& poster)
    : session_(std::make_shared<HamlibRigSession>(route)),
      poster_(std::make_shared<ClosablePoster>(poster)) {}

HamlibPttDevice::~HamlibPttDevice() {
    poster_->shutDown();
    worker_.finish([session = session_] { session->close(); }, kCloseWait);
}

// The jobs capture `this` only for the tasks they post, which run on the
// loop thread and only while the device exists (ClosablePoster).
void HamlibPttDevice::open(Done done) {
    open_ = false;
    const unsigned generation = ++generation_;
    worker_.submit(
        [this, session = session_, poster = poster_, generation, done = std::move(done)]() mutable {
            Outcome outcome = session->open();
            poster->post([this, generation, outcome = std::move(outcome), done = std::move(done)] {
                if (outcome.ok() && generation == generation_) {
                    open_ = true;
                }
                done(outcome);
            });
        });
}

void HamlibPttDevice::setPtt(bool on, int /*lineChoice*/, Done done) {
    worker_.submit([on, session = session_, poster = poster_, done = std::move(done)]() mutable {
        Outcome outcome = session->setPtt(on);
        poster->post([outcome = std::move(outcome), done = std::move(done)] { done(outcome); });
    });
}

void HamlibPttDevice::close() {
    open_ = false;
    ++generation_;
    worker_.submit([session = session_] { session->close(); });
}

void HamlibPttDevice::releaseAfterFault() noexcept {
    RigctldFaultRelease::release();
}

}  // namespace pelkora
