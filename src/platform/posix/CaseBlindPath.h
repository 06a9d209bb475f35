#pragma once

#include <string>

namespace pelkora {

// Finds a sound file whose name differs from the one asked for only in the
// case of its letters: a sound directory copied from a Windows machine holds
// CQ.WAV where the macro says cq.wav. Only the file opened changes; the keyer
// goes on naming the entry as it was written.
// Threading: any thread; it keeps no state.
class CaseBlindPath {
  public:
    // path itself when an entry of that name exists. Otherwise each component
    // that does not exist as written is looked up among its directory's
    // entries with ASCII letters compared case-blind; of several matches the
    // first in byte order is taken. path unchanged when a component has no
    // match or its directory cannot be read, so that opening it fails as it
    // would have.
    static std::string resolve(const std::string& path);
};

}  // namespace pelkora
