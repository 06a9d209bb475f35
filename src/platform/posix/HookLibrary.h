#pragma once

#include <string>
#include <vector>

namespace pelkora {

// The keyboard-hook library, loaded while the operator wants the hook. It is
// found beside the program first (a build tree, an unpacked folder), then in
// the installed private library folder, then by the system's own search.
// A library that is missing or lacks an export is not an error: the calls
// that need it do nothing.
// Threading: GUI thread only.
class HookLibrary {
  public:
    static constexpr const char* kFileName = "libpelkorahook.so";

    HookLibrary() = default;
    ~HookLibrary();
    HookLibrary(const HookLibrary&) = delete;
    HookLibrary& operator=(const HookLibrary&) = delete;

    // Where load() looks, in order, for a program in programDir.
    static std::vector<std::string> searchPaths(const std::string& programDir);

    // False when no candidate loads; a library already held is kept.
    bool load();
    bool loadFrom(const std::vector<std::string>& candidates);
    bool held() const { return handle_ != nullptr; }

    void setHook(unsigned long window);
    void clearHook();
    // Forgets the library; the library stops its own hook as it goes.
    void unload();

  private:
    void* symbol(const char* name) const;

    void* handle_ = nullptr;
};

}  // namespace pelkora
