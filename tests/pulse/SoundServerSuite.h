#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "pulse/PrivateSoundServer.h"

namespace pelkora::test {

// A test suite on a private sound server of its own, started once for the
// suite and reached through PULSE_SERVER (so that a recorder or a child
// process finds it too). A suite that could not start one reports why in
// setupError(); each test asserts on it first.
// Suite is the test class itself, so that each suite has its own server.
template <typename Suite>
class SoundServerSuite : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!PrivateSoundServer::installed()) {
            setupError() = PrivateSoundServer::missing();
            return;
        }
        server() = std::make_unique<PrivateSoundServer>();
        setupError() = server()->start();
        ::setenv("PULSE_SERVER", server()->address().c_str(), 1);
    }
    static void TearDownTestSuite() { server().reset(); }

    static std::unique_ptr<PrivateSoundServer>& server() {
        static std::unique_ptr<PrivateSoundServer> instance;
        return instance;
    }
    static std::string& setupError() {
        static std::string error;
        return error;
    }
};

}  // namespace pelkora::test
