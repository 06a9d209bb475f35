#include "platform/pulse/PulseMixerLayer.h"

#include <pulse/version.h>

#include <algorithm>
#include <utility>

namespace pelkora {
namespace {

constexpr std::uint32_t kDeviceEvents =
    PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER;

std::string textOf(const char* text) {
    return text != nullptr ? text : "";
}

bool sameVolume(const pa_cvolume& one, const pa_cvolume& other) {
    return one.channels == other.channels && pa_cvolume_equal(&one, &other) != 0;
}

std::uint32_t volumeControl(std::uint32_t destination) {
    return PulseMixerState::controlId(PulseMixerState::destinationLineId(destination), 0);
}

std::uint32_t muteControl(std::uint32_t destination) {
    return PulseMixerState::controlId(PulseMixerState::destinationLineId(destination), 1);
}

std::uint32_t listControl() {
    return PulseMixerState::controlId(PulseMixerState::destinationLineId(1), 2);
}

void drop(pa_operation* operation) {
    if (operation != nullptr) {
        pa_operation_unref(operation);
    }
}

bool sent(pa_operation* operation) {
    drop(operation);
    return operation != nullptr;
}

// Nothing may unwind into libpulse's C code. What throws here is memory
// running short: the answer is missed, and the next change event brings the
// mirror up to date.
template <typename Body>
void guardedCall(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

}  // namespace

PulseMixerLayer::PulseMixerLayer(LoopPoster& poster, PulseConnection& connection,
                                 std::string sinkName, std::string sourceName,
                                 PulseSoundOutput* wave)
    : connection_(connection),
      poster_(poster),
      sinkSetting_(std::move(sinkName)),
      sourceSetting_(std::move(sourceName)),
      wave_(wave) {
    subscription_ = connection_.subscribe([this](pa_context* context, bool) { onReady(context); },
                                          [this](const std::string&) { onLost(); });
    {
        PulseConnection::Lock lock(connection_);
        present_ = connection_.readyContext() != nullptr;
    }
    if (present_) {
        std::unique_lock lock(mutex_);
        looked_.wait_for(lock, kFirstLookWait, [this] { return firstLook_; });
    }
}

// Off the connection first; then nothing may call back into this layer.
PulseMixerLayer::~PulseMixerLayer() {
    connection_.unsubscribe(subscription_);
    PulseConnection::Lock lock(connection_);
    cancelQueries();
    meter_.stop();
    loopback_.stop();
    if (pa_context* context = connection_.readyContext()) {
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
        drop(pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_NULL, nullptr, nullptr));
    }
}

bool PulseMixerLayer::open(int device, MixerChangeListener& listener) {
    if (!exists(device)) {
        return false;
    }
    listener_ = &listener;
    return true;
}

void PulseMixerLayer::close(int device) {
    if (exists(device)) {
        listener_ = nullptr;
    }
}

std::optional<MixerCaps> PulseMixerLayer::capabilities(int device) const {
    if (!exists(device)) {
        return std::nullopt;
    }
    MixerCaps caps;
    caps.driverVersion = static_cast<std::uint32_t>(PA_MAJOR << 8 | PA_MINOR);
    caps.destinations = PulseMixerState::kDestinations;
    std::lock_guard lock(mutex_);
    const PulseDevice& sink = state_.sink;
    caps.productName = !sink.description.empty() ? sink.description
                       : !sink.name.empty()      ? sink.name
                                                 : std::string("Sound server");
    return caps;
}

std::optional<MixerLine> PulseMixerLayer::destinationLine(int device,
                                                          std::uint32_t destination) const {
    if (!exists(device)) {
        return std::nullopt;
    }
    std::lock_guard lock(mutex_);
    const auto line = state_.destination(destination);
    return line ? std::optional<MixerLine>(line->line) : std::nullopt;
}

std::optional<MixerLine> PulseMixerLayer::sourceLine(int device, std::uint32_t destination,
                                                     std::uint32_t source) const {
    if (!exists(device)) {
        return std::nullopt;
    }
    std::lock_guard lock(mutex_);
    const auto line = state_.sourceOf(destination, source);
    return line ? std::optional<MixerLine>(line->line) : std::nullopt;
}

// A count that is not the line's own comes from a line that has changed since.
std::optional<std::vector<MixerControl>> PulseMixerLayer::lineControls(int device,
                                                                       std::uint32_t lineId,
                                                                       std::uint32_t count) const {
    if (!exists(device)) {
        return std::nullopt;
    }
    std::lock_guard lock(mutex_);
    const auto line = state_.lineById(lineId);
    if (!line || line->controls.size() != count) {
        return std::nullopt;
    }
    std::vector<MixerControl> controls;
    for (const PulseMixerState::Control& control : line->controls) {
        controls.push_back(control.control);
    }
    return controls;
}

std::optional<MixerControl> PulseMixerLayer::controlOfType(int device, std::uint32_t lineId,
                                                           std::uint32_t controlType) const {
    if (!exists(device)) {
        return std::nullopt;
    }
    std::lock_guard lock(mutex_);
    const auto line = state_.lineById(lineId);
    if (!line) {
        return std::nullopt;
    }
    for (const PulseMixerState::Control& control : line->controls) {
        if (control.control.controlType == controlType) {
            return control.control;
        }
    }
    return std::nullopt;
}

bool PulseMixerLayer::readValues(int device, const ControlRequest& request,
                                 std::span<std::int32_t> values) const {
    if (!exists(device)) {
        return false;
    }
    bool meter = false;
    bool done = false;
    {
        std::lock_guard lock(mutex_);
        const std::optional<PulseMixerState::Control> control = state_.control(request.controlId);
        meter = control && control->target == PulseTarget::Peak;
        done = state_.read(request, values, meter_.peak());
    }
    if (meter && !meterWanted_.exchange(true)) {
        startMeter();
    }
    return done;
}

void PulseMixerLayer::startMeter() const {
    PulseConnection::Lock lock(connection_);
    pa_context* context = connection_.readyContext();
    std::string monitor;
    {
        std::lock_guard guard(mutex_);
        monitor = state_.sink.known ? state_.sink.monitor : std::string();
    }
    if (context != nullptr && !monitor.empty()) {
        meter_.follow(context, monitor);
    }
}

// The mirror takes the values at once, so that a read right after a write
// gives them back; the server's own report follows and confirms them.
bool PulseMixerLayer::writeValues(int device, const ControlRequest& request,
                                  std::span<const std::int32_t> values) {
    if (!exists(device)) {
        return false;
    }
    std::optional<PulseWrite> change;
    {
        std::lock_guard lock(mutex_);
        change = state_.write(request, values);
    }
    if (!change) {
        return false;
    }
    PulseConnection::Lock lock(connection_);
    pa_context* context = connection_.readyContext();
    return context != nullptr && send(context, *change);
}

bool PulseMixerLayer::send(pa_context* context, const PulseWrite& change) {
    const char* sink = sinkName_.c_str();
    const char* source = sourceName_.c_str();
    switch (change.target) {
        case PulseTarget::SinkVolume:
            return sent(pa_context_set_sink_volume_by_name(context, sink, &change.volume, nullptr,
                                                           nullptr));
        case PulseTarget::SinkMute:
            return sent(pa_context_set_sink_mute_by_name(context, sink, change.mute ? 1 : 0,
                                                         nullptr, nullptr));
        case PulseTarget::SourceVolume:
            return sent(pa_context_set_source_volume_by_name(context, source, &change.volume,
                                                             nullptr, nullptr));
        case PulseTarget::SourceMute:
            return sent(pa_context_set_source_mute_by_name(context, source, change.mute ? 1 : 0,
                                                           nullptr, nullptr));
        case PulseTarget::SourcePort:
            return change.port.empty() ||
                   sent(pa_context_set_source_port_by_name(context, source, change.port.c_str(),
                                                           nullptr, nullptr));
        case PulseTarget::WaveVolume:
        case PulseTarget::WaveMute:
            sendWave();
            return true;
        case PulseTarget::MicrophoneVolume:
        case PulseTarget::MicrophoneMute:
            routeMicrophone(context);
            return true;
        case PulseTarget::Peak:
            break;
    }
    return false;
}

// The level is in the sink's channels; the output puts it on its stream's.
void PulseMixerLayer::sendWave() {
    PulseStreamLevel level;
    pa_channel_map map{};
    {
        std::lock_guard lock(mutex_);
        level = state_.wave;
        map = state_.sink.map;
    }
    if (wave_ != nullptr) {
        wave_->setStreamLevel(level.volume, map, level.mute);
    }
}

void PulseMixerLayer::routeMicrophone(pa_context* context) {
    PulseLoopback::Route route;
    {
        std::lock_guard lock(mutex_);
        if (state_.sink.known && state_.source.known) {
            route.source = sourceName_;
            route.sink = sinkName_;
        }
        route.spec = state_.source.spec;
        route.map = state_.source.map;
        route.level = state_.microphone;
    }
    loopback_.apply(context, route);
}

void PulseMixerLayer::onReady(pa_context* context) {
    pa_context_set_subscribe_callback(context, &PulseMixerLayer::eventArrived, this);
    drop(pa_context_subscribe(context, static_cast<pa_subscription_mask_t>(kDeviceEvents), nullptr,
                              nullptr));
    lookUpDevices(context);
}

// The server is gone and with it every stream: the mirror is empty until it
// is back, and the keyer's levels wait for the next streams.
void PulseMixerLayer::onLost() {
    cancelQueries();
    meter_.stop();
    loopback_.stop();
    {
        std::lock_guard lock(mutex_);
        state_.sink.known = false;
        state_.source.known = false;
    }
    tellLine(PulseMixerState::destinationLineId(0));
    tellLine(PulseMixerState::destinationLineId(1));
    settle();
}

void PulseMixerLayer::lookUpDevices(pa_context* context) {
    track(pa_context_get_server_info(context, &PulseMixerLayer::serverInfoArrived, this));
}

void PulseMixerLayer::serverInfoArrived(pa_context* context, const pa_server_info* info,
                                        void* userdata) {
    auto* self = static_cast<PulseMixerLayer*>(userdata);
    guardedCall([&] { self->onServer(context, info); });
}

void PulseMixerLayer::onServer(pa_context* context, const pa_server_info* info) {
    const bool answered = info != nullptr;
    sinkName_ = !sinkSetting_.empty() ? sinkSetting_
                : answered            ? textOf(info->default_sink_name)
                                      : std::string();
    sourceName_ = !sourceSetting_.empty() ? sourceSetting_
                  : answered              ? textOf(info->default_source_name)
                                          : std::string();
    if (!sinkName_.empty()) {
        track(pa_context_get_sink_info_by_name(context, sinkName_.c_str(),
                                               &PulseMixerLayer::sinkInfoArrived, this));
    }
    // The source's answer comes last (the server answers in order): the first look is done.
    if (sourceName_.empty()) {
        settle();
        return;
    }
    track(pa_context_get_source_info_by_name(context, sourceName_.c_str(),
                                             &PulseMixerLayer::sourceInfoArrived, this));
}

void PulseMixerLayer::sinkInfoArrived(pa_context* context, const pa_sink_info* info, int eol,
                                      void* userdata) {
    auto* self = static_cast<PulseMixerLayer*>(userdata);
    guardedCall([&] {
        if (eol == 0 && info != nullptr) {
            self->onSink(context, info);
        } else if (eol < 0) {
            self->onSinkMissing(context);
        }
    });
}

void PulseMixerLayer::onSinkMissing(pa_context* context) {
    {
        std::lock_guard lock(mutex_);
        state_.sink.known = false;
    }
    meter_.stop();
    routeMicrophone(context);
    tellLine(PulseMixerState::destinationLineId(0));
}

void PulseMixerLayer::onSink(pa_context* context, const pa_sink_info* info) {
    PulseDevice sink;
    sink.known = true;
    sink.name = textOf(info->name);
    sink.description = textOf(info->description);
    sink.monitor = textOf(info->monitor_source_name);
    sink.spec = info->sample_spec;
    sink.volume = info->volume;
    sink.map = info->channel_map;
    sink.mute = info->mute != 0;
    PulseDevice before;
    {
        std::lock_guard lock(mutex_);
        before = std::exchange(state_.sink, sink);
    }
    if (!before.known || before.description != sink.description ||
        before.volume.channels != sink.volume.channels) {
        tellLine(PulseMixerState::destinationLineId(0));
    }
    if (!sameVolume(before.volume, sink.volume)) {
        tellControl(volumeControl(0));
    }
    if (before.mute != sink.mute) {
        tellControl(muteControl(0));
    }
    if (meterWanted_ && !sink.monitor.empty()) {
        meter_.follow(context, sink.monitor);
    }
    routeMicrophone(context);
}

void PulseMixerLayer::sourceInfoArrived(pa_context* context, const pa_source_info* info, int eol,
                                        void* userdata) {
    auto* self = static_cast<PulseMixerLayer*>(userdata);
    guardedCall([&] {
        if (eol == 0 && info != nullptr) {
            self->onSource(context, info);
        } else if (eol < 0) {
            self->onSourceMissing(context);
        }
    });
    if (eol != 0) {
        self->settle();
    }
}

void PulseMixerLayer::onSourceMissing(pa_context* context) {
    {
        std::lock_guard lock(mutex_);
        state_.source.known = false;
    }
    routeMicrophone(context);
    tellLine(PulseMixerState::destinationLineId(1));
}

void PulseMixerLayer::onSource(pa_context* context, const pa_source_info* info) {
    PulseDevice source;
    source.known = true;
    source.name = textOf(info->name);
    source.description = textOf(info->description);
    source.spec = info->sample_spec;
    source.volume = info->volume;
    source.map = info->channel_map;
    source.mute = info->mute != 0;
    for (std::uint32_t index = 0; index < info->n_ports; ++index) {
        const pa_source_port_info* port = info->ports[index];
        source.ports.push_back(
            PulseDevice::Port{textOf(port->name), textOf(port->description),
                              PulseMixerState::portComponent(port->type, textOf(port->name))});
        if (port == info->active_port) {
            source.activePort = index;
        }
    }
    PulseDevice before;
    {
        std::lock_guard lock(mutex_);
        before = std::exchange(state_.source, source);
    }
    const auto portNames = [](const PulseDevice& device) {
        std::vector<std::string> names;
        for (const PulseDevice::Port& port : device.ports) {
            names.push_back(port.name);
        }
        return names;
    };
    if (!before.known || before.description != source.description ||
        before.volume.channels != source.volume.channels ||
        portNames(before) != portNames(source)) {
        tellLine(PulseMixerState::destinationLineId(1));
    }
    if (!sameVolume(before.volume, source.volume)) {
        tellControl(volumeControl(1));
    }
    if (before.mute != source.mute) {
        tellControl(muteControl(1));
    }
    if (before.activePort != source.activePort) {
        tellControl(listControl());
    }
    routeMicrophone(context);
}

void PulseMixerLayer::eventArrived(pa_context* context, pa_subscription_event_type_t type,
                                   std::uint32_t, void* userdata) {
    auto* self = static_cast<PulseMixerLayer*>(userdata);
    guardedCall([&] { self->onEvent(context, type); });
}

void PulseMixerLayer::onEvent(pa_context* context, pa_subscription_event_type_t type) {
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK && !sinkName_.empty()) {
        track(pa_context_get_sink_info_by_name(context, sinkName_.c_str(),
                                               &PulseMixerLayer::sinkInfoArrived, this));
    } else if (facility == PA_SUBSCRIPTION_EVENT_SOURCE && !sourceName_.empty()) {
        track(pa_context_get_source_info_by_name(context, sourceName_.c_str(),
                                                 &PulseMixerLayer::sourceInfoArrived, this));
    } else if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
        lookUpDevices(context);
    }
}

// Answers still to come hold this layer as their userdata: kept, so that
// destruction can cancel them. Those answered already are let go here.
void PulseMixerLayer::track(pa_operation* operation) {
    std::erase_if(queries_, [](pa_operation* query) {
        if (pa_operation_get_state(query) == PA_OPERATION_RUNNING) {
            return false;
        }
        pa_operation_unref(query);
        return true;
    });
    if (operation == nullptr) {
        return;
    }
    try {
        queries_.push_back(operation);
    } catch (...) {
        pa_operation_cancel(operation);
        pa_operation_unref(operation);
        throw;
    }
}

void PulseMixerLayer::cancelQueries() noexcept {
    for (pa_operation* query : queries_) {
        pa_operation_cancel(query);
        pa_operation_unref(query);
    }
    queries_.clear();
}

void PulseMixerLayer::settle() noexcept {
    {
        std::lock_guard lock(mutex_);
        firstLook_ = true;
    }
    looked_.notify_all();
}

// A change the listener misses for want of memory is not worth more: the
// next read gives the value.
void PulseMixerLayer::tellControl(std::uint32_t controlId) noexcept {
    try {
        poster_.post([this, controlId] {
            if (listener_ != nullptr) {
                listener_->onControlChange(0, controlId);
            }
        });
    } catch (...) {
    }
}

void PulseMixerLayer::tellLine(std::uint32_t lineId) noexcept {
    try {
        poster_.post([this, lineId] {
            if (listener_ != nullptr) {
                listener_->onLineChange(0, lineId);
            }
        });
    } catch (...) {
    }
}

}  // namespace pelkora
