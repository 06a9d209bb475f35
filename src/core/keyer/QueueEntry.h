#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelkora {

// How the player reads one play-queue entry.
struct QueueEntry {
    enum class Kind {
        SecondPause,  // "~[P]": one second
        Receive,      // "~[rx]" (or "`[rx]"): release the transmitter
        Pause,        // "~[P<n>]": n tens of milliseconds
        BadPause,     // starts like a pause, but n is not an integer
        SoundFile,    // anything else is the path of a sound file
    };

    Kind kind = Kind::SoundFile;
    std::string text;         // the entry without its surrounding blanks
    std::int32_t number = 0;  // n of a pause
    std::string badNumber;    // the text that failed to convert

    static QueueEntry classify(std::string_view entry);

    // Whether an entry is a beacon command ("~[RP" anywhere, any case).
    static bool isBeacon(std::string_view entry);

    // The text between the command letters and the closing bracket of a pause
    // entry: from the fourth character to the next-to-last.
    static std::string_view pauseArgument(std::string_view trimmed);
};

// Duration of a file entry in milliseconds, from its size and the bytes per
// second of its header; a file without a usable rate is timed from its
// decoded length.
std::int64_t fileEntryMs(std::uint64_t sizeBytes, std::uint32_t bytesPerSecond,
                         std::optional<double> decodedSeconds);

}  // namespace pelkora
