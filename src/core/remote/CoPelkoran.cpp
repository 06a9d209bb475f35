#include "core/remote/CoPelkoran.h"

#include <algorithm>
#include <string>

#include "core/remote/RemoteMacro.h"
#include "core/text/TextRules.h"

namespace pelkora {

void CoPelkoran::PlayMacros(std::string_view Macro, std::string_view eCall, std::string_view eRS) {
    if (!eCall.empty()) {
        host_.setCallField(std::string(eCall));
    }
    if (!eRS.empty()) {
        host_.setReportField(std::string(eRS));
    }
    queueRemoteMacro(engine_, host_, Macro);
    engine_.PlayStack();
}

void CoPelkoran::SetStartDir(std::string_view StartDir) {
    const std::string_view dir = trimBlanks(StartDir);
    if (!dir.empty()) {
        host_.setStartDir(std::string(dir));
    }
    host_.FindMicrophoneLines();
}

void CoPelkoran::setTop(std::int32_t top) {
    WindowFrame::Bounds bounds = frame_.mainBounds();
    bounds.top = top;
    frame_.setMainBounds(bounds);
}

void CoPelkoran::setLeft(std::int32_t left) {
    WindowFrame::Bounds bounds = frame_.mainBounds();
    bounds.left = left;
    frame_.setMainBounds(bounds);
}

void CoPelkoran::setWidth(std::int32_t width) {
    WindowFrame::Bounds bounds = frame_.mainBounds();
    bounds.width = std::max(width, std::int32_t{0});
    frame_.setMainBounds(bounds);
}

void CoPelkoran::setHeight(std::int32_t height) {
    WindowFrame::Bounds bounds = frame_.mainBounds();
    bounds.height = std::max(height, std::int32_t{0});
    frame_.setMainBounds(bounds);
}

}  // namespace pelkora
