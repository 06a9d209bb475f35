#pragma once

#include <cstdint>
#include <string>

namespace pelkora {

// One command-line request, parsed and checked: what pelkora-ctl asks of the
// keyer. Only the fields of its verb are meaningful.
struct CtlRequest {
    enum class Verb {
        Play,
        Key,
        TxOn,
        TxOff,
        Pause,
        Resume,
        Code,
        Show,
        Hide,
        GetGeometry,
        SetGeometry,
        SetStartDir,
        Monitor,
    };

    Verb verb = Verb::Show;
    std::string text;  // the macro of play, the directory of set-start-dir
    std::string call;  // play: empty leaves the keyer's field as it is
    std::string rs;
    std::int32_t code = 0;  // key (1..12) and code
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

}  // namespace pelkora
