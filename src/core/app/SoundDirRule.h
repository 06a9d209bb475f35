#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace pelkora {

// Every sound file name is SoundDir followed directly by the file's name, so
// SoundDir always ends in a separator. Adds one "/" unless the text already
// ends in one; an empty text becomes "/" (the root).
std::string withTrailingSeparator(std::string_view directory);

// Where the directory chooser of the sound directory field opens: the
// directory in the field, or the SoundDir the dialog was opened with when the
// field is empty; "/" when that directory does not exist. isDirectory is the
// file system check, injected because the core does no I/O.
std::string chooserStartDirectory(std::string_view fieldText, std::string_view startingSoundDir,
                                  const std::function<bool(const std::string&)>& isDirectory);

}  // namespace pelkora
