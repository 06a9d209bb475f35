#include "platform/posix/HookLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>

namespace pelkora {

namespace {

// Installed as bin/pelkora and lib/pelkora/libpelkorahook.so.
constexpr const char* kInstalledDir = "/../lib/pelkora/";

std::string programDirectory() {
    std::array<char, 4096> path{};
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0) {
        return {};
    }
    std::string program(path.data(), static_cast<std::size_t>(length));
    const auto slash = program.rfind('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

}  // namespace

HookLibrary::~HookLibrary() {
    unload();
}

std::vector<std::string> HookLibrary::searchPaths(const std::string& programDir) {
    std::vector<std::string> paths;
    if (!programDir.empty()) {
        paths.push_back(programDir + "/" + kFileName);
        paths.push_back(programDir + kInstalledDir + kFileName);
    }
    paths.emplace_back(kFileName);
    return paths;
}

bool HookLibrary::load() {
    return loadFrom(searchPaths(programDirectory()));
}

bool HookLibrary::loadFrom(const std::vector<std::string>& candidates) {
    for (const std::string& path : candidates) {
        if (held()) {
            break;
        }
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    return held();
}

void HookLibrary::setHook(unsigned long window) {
    using SetHookFunction = void (*)(unsigned long);
    if (auto* set = reinterpret_cast<SetHookFunction>(symbol("SetHook"))) {
        set(window);
    }
}

void HookLibrary::clearHook() {
    using ClearHookFunction = void (*)();
    if (auto* clear = reinterpret_cast<ClearHookFunction>(symbol("ClearHook"))) {
        clear();
    }
}

void HookLibrary::unload() {
    if (held()) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

void* HookLibrary::symbol(const char* name) const {
    return held() ? dlsym(handle_, name) : nullptr;
}

}  // namespace pelkora
