#pragma once

namespace pelkora {

// The exit status of pelkora-play, the same for a live and an offline run.
enum PlayExit {
    Done = 0,          // the queue was played out, or the --max-ms bound was reached
    CannotStart = 1,   // no sound server, the port cannot be opened
    OutputFailed = 1,  // the rendering could not be finished
    SoundServerLost = 1,
    BadArguments = 2,  // includes an output file that cannot be created
    WaitsForTransmitter = 3,
    BeaconStuck = 4,        // a beacon that cannot go on by itself
    MacroError = 5,         // an error in the macro stops its queue
    InternalError = 6,      // an exception reached the top; the transmitter was released
    StoppedBySignal = 128,  // plus the signal number
};

}  // namespace pelkora
