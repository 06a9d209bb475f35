#include "RunVerdict.h"

#include "core/keyer/BeaconCommand.h"
#include "core/keyer/KeyerEngine.h"
#include "core/keyer/QueueEntry.h"

namespace pelkora {

namespace {

// A beacon command at the end of the queue that does not parse: known when
// the macro was expanded, whether or not the transmitter is keyed.
bool endsWithMalformedBeacon(const KeyerEngine& engine) {
    const auto& queue = engine.PlayQueue();
    return !queue.empty() && QueueEntry::isBeacon(queue.back()) &&
           !BeaconCommand::parse(queue.back()).valid();
}

}  // namespace

RunVerdict RunVerdict::judge(const KeyerEngine& engine, Ending ending) {
    if (ending == Ending::EndlessUnbounded) {
        return {BeaconStuck,
                "the beacon repeats until stopped (count 0 or less); give a bound with --max-ms N"};
    }
    if (ending == Ending::BoundReached) {
        return {Done, {}};
    }
    if (engine.beacon().running()) {
        return {BeaconStuck,
                "the beacon cannot repeat by itself (interval 0 or less, or an entry that could "
                "not be played); stopped"};
    }
    if (endsWithMalformedBeacon(engine) || (!engine.PlayQueue().empty() && engine.txDown())) {
        return {MacroError, "the queue was not played out: the macro has an error (see above)"};
    }
    if (!engine.PlayQueue().empty()) {
        return {WaitsForTransmitter,
                "the queue waits for the transmitter: key it in the macro with ~[tx] or give --tx"};
    }
    return {Done, {}};
}

}  // namespace pelkora
