#pragma once

#include <array>
#include <string>
#include <vector>

#include "KeyerFixture.h"
#include "core/remote/RemoteHost.h"
#include "core/remote/WindowFrame.h"

namespace pelkora::test {

// The window as the remote-control paths see it: macro n is "~[fm<n>.wav]"
// unless a test sets another, and every call is kept.
class FakeRemoteHost : public RemoteHost {
  public:
    FakeRemoteHost() {
        for (int key = 1; key <= 12; ++key) {
            macros[static_cast<std::size_t>(key - 1)] = "~[fm" + std::to_string(key) + ".wav]";
        }
    }
    std::string macro(int key) override {
        askedKeys.push_back(key);
        return macros.at(static_cast<std::size_t>(key - 1));
    }
    std::string callField() override { return call; }
    std::string reportField() override { return report; }
    void setCallField(const std::string& text) override { call = text; }
    void setReportField(const std::string& text) override { report = text; }
    void setStartDir(const std::string& dir) override { startDirs.push_back(dir); }
    void FindMicrophoneLines() override { ++microphoneLookups; }

    std::array<std::string, 12> macros;
    std::vector<int> askedKeys;
    std::string call;
    std::string report = "59";
    std::vector<std::string> startDirs;
    int microphoneLookups = 0;
};

class FakeWindowFrame : public WindowFrame {
  public:
    void showWindows() override { calls.push_back("show"); }
    void hideWindows() override { calls.push_back("hide"); }
    Bounds mainBounds() const override { return bounds; }
    void setMainBounds(const Bounds& b) override { bounds = b; }

    Bounds bounds{454, 206, 552, 349};
    std::vector<std::string> calls;
};

// A keyer on fakes with an open PTT port on COM1 (RTS).
class RemoteFixture : public KeyerFixture {
  protected:
    RemoteFixture() {
        ptt.setPortNumber(1);
        ptt.OpenPort();
        lines.clearCalls();
    }
    std::vector<std::string> queue() const {
        return {engine.PlayQueue().begin(), engine.PlayQueue().end()};
    }

    FakeRemoteHost host;
    FakeWindowFrame frame;
};

}  // namespace pelkora::test
