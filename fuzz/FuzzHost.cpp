// SPDX-License-Identifier: MIT
#include "fuzz/FuzzHost.h"

#include <cstring>

#include "library/Exports.h"

namespace quorveil::fuzz {

using namespace plogue::biduleSDK;

namespace {

std::size_t countOf(int32_t count) { return count > 0 ? static_cast<std::size_t>(count) : 0; }

}  // namespace

std::vector<std::string> uniqueIds() {
    std::vector<std::string> ids;
    for (int32_t i = 0; i < getNumBidules(); ++i) {
        BiduleInfo info{};
        if (fillBiduleInfo(i, &info) == 0) ids.emplace_back(info.uniqueId);
    }
    return ids;
}

// --- Instance --------------------------------------------------------------

Instance::Instance(const char* uniqueId) {
    host_.record.hostCallback = &Instance::callback;
    host_.owner = this;
    block_ = newInstance(uniqueId, &host_.record);
}

Instance::~Instance() { deleteInstance(block_); }

void Instance::dispatch(int32_t op, void* arg, int32_t* value) {
    if (block_ != nullptr) block_->dispatch(block_, op, arg, value);
}

void Instance::setEngine(const EngineInfo& engine) {
    engine_ = engine;
    dispatch(static_cast<int32_t>(DispatchOp::SetEngineInfo), &engine_, nullptr);
}

PinCounts Instance::pinCounts() {
    PinCounts counts{};
    for (int family = 0; family < kFamilies; ++family) {
        int32_t value = 0;
        dispatch(static_cast<int32_t>(DispatchOp::AudioInCount) + family, nullptr, &value);
        counts[static_cast<std::size_t>(family)] = value;
    }
    return counts;
}

std::vector<ParameterInfo> Instance::describe() {
    int32_t count = 0;
    dispatch(static_cast<int32_t>(DispatchOp::DescribeParameters), nullptr, &count);
    std::vector<ParameterInfo> infos(countOf(count));
    std::memset(static_cast<void*>(infos.data()), 0, infos.size() * sizeof(ParameterInfo));
    dispatch(static_cast<int32_t>(DispatchOp::DescribeParameters), infos.data(), &count);
    return infos;
}

void Instance::setReal(int32_t id, double value) {
    reals_[id] = value;
    dispatch(static_cast<int32_t>(DispatchOp::ParameterChanged), nullptr, &id);
}

void Instance::setInt(int32_t id, int32_t value) {
    ints_[id] = value;
    dispatch(static_cast<int32_t>(DispatchOp::ParameterChanged), nullptr, &id);
}

void Instance::setText(int32_t id, const std::string& text) {
    texts_[id] = text.substr(0, kTextValueBytes - 1);
    dispatch(static_cast<int32_t>(DispatchOp::ParameterChanged), nullptr, &id);
}

void Instance::setDefaults(const std::vector<ParameterInfo>& infos) {
    for (const ParameterInfo& info : infos) {
        switch (static_cast<ParameterKind>(info.kind)) {
        case ParameterKind::Real: setReal(info.id, info.defaultValue); break;
        case ParameterKind::Choice: setInt(info.id, info.integerDefault.defaultInt); break;
        case ParameterKind::Integer:
            if (info.controlStyle == static_cast<int32_t>(ControlStyle::Switch)) {
                setInt(info.id, info.integerDefault.defaultInt);
            }
            break;
        default: break;  // text items and indicators are the module's to write
        }
    }
}

int32_t Instance::callback(HostRecord* host, int32_t op, int32_t id, void* data) {
    Instance& self = *reinterpret_cast<HostSide*>(host)->owner;
    if (data == nullptr) return 0;
    switch (static_cast<HostOp>(op)) {
    case HostOp::GetRealValue: {
        const auto found = self.reals_.find(id);
        if (found != self.reals_.end()) *static_cast<double*>(data) = found->second;
        break;
    }
    case HostOp::GetIntValue: {
        const auto found = self.ints_.find(id);
        if (found != self.ints_.end()) *static_cast<int32_t*>(data) = found->second;
        break;
    }
    case HostOp::GetTextValue: {
        const std::string& text = self.texts_[id];
        std::memcpy(data, text.c_str(), text.size() + 1);
        break;
    }
    case HostOp::SetRealValue: self.reals_[id] = *static_cast<const double*>(data); break;
    case HostOp::SetIntValue: self.ints_[id] = *static_cast<const int32_t*>(data); break;
    case HostOp::SetTextValue:
        self.texts_[id] = std::string(static_cast<const char*>(data),
                                      strnlen(static_cast<const char*>(data), kTextValueBytes - 1));
        break;
    case HostOp::SendHostText:
        (void)strnlen(static_cast<const char*>(data), kHostTextBytes);
        break;
    default: break;  // enabling, raw data: nothing to keep
    }
    return 0;
}

// --- Buffers ---------------------------------------------------------------

Buffers::Buffers(const PinCounts& pins, const EngineInfo& engine)
    : blockSize_(countOf(engine.blockSize)), binCount_(countOf(engine.binCount)),
      frameCount_(countOf(engine.frameCount)), pins_(pins) {
    for (int family = 0; family < kFamilies; ++family) {
        const auto f = static_cast<std::size_t>(family);
        const std::size_t count = countOf(pins_[f]);
        if (isAudio(family)) {
            values_[f].assign(count * blockSize_, 0.0f);
            for (std::size_t p = 0; p < count; ++p) audioTables_[f].push_back(values_[f].data() + p * blockSize_);
        } else if (isSpectral(family)) {
            values_[f].assign(count * frameCount_ * binCount_, 0.0f);
            for (std::size_t i = 0; i < count * frameCount_; ++i) {
                frameTables_[f].push_back(values_[f].data() + i * binCount_);
            }
            for (std::size_t p = 0; p < count; ++p) spectralTables_[f].push_back(frameTables_[f].data() + p * frameCount_);
        }
    }
}

void Buffers::unplugPin(int family, int32_t pin) {
    const auto f = static_cast<std::size_t>(family);
    const auto p = static_cast<std::size_t>(pin);
    if (isAudio(family) && p < audioTables_[f].size()) audioTables_[f][p] = nullptr;
    if (isSpectral(family) && p < spectralTables_[f].size()) spectralTables_[f][p] = nullptr;
}

void Buffers::unplugFrame(int family, int32_t pin, std::size_t frame) {
    const auto f = static_cast<std::size_t>(family);
    const std::size_t i = static_cast<std::size_t>(pin) * frameCount_ + frame;
    if (isSpectral(family) && frame < frameCount_ && i < frameTables_[f].size()) frameTables_[f][i] = nullptr;
}

void Buffers::share(int outputFamily, int32_t outputPin, int inputFamily, int32_t inputPin) {
    const auto out = static_cast<std::size_t>(outputFamily);
    const auto in = static_cast<std::size_t>(inputFamily);
    const auto outPin = static_cast<std::size_t>(outputPin);
    const auto inPin = static_cast<std::size_t>(inputPin);
    if (isAudio(outputFamily) && isAudio(inputFamily)) {
        if (outPin < audioTables_[out].size() && inPin < audioTables_[in].size()) {
            audioTables_[out][outPin] = audioTables_[in][inPin];
        }
    } else if (isSpectral(outputFamily) && isSpectral(inputFamily)) {
        for (std::size_t f = 0; f < frameCount_; ++f) {
            const std::size_t o = outPin * frameCount_ + f, i = inPin * frameCount_ + f;
            if (o < frameTables_[out].size() && i < frameTables_[in].size()) {
                frameTables_[out][o] = frameTables_[in][i];
            }
        }
    }
}

bool Buffers::connected(int family, int32_t pin, std::size_t frame) const {
    const auto f = static_cast<std::size_t>(family);
    const auto p = static_cast<std::size_t>(pin);
    if (dropped_[f] || p >= countOf(pins_[f])) return false;
    if (isAudio(family)) return audioTables_[f][p] == values_[f].data() + p * blockSize_;
    if (frame >= frameCount_) return false;
    const std::size_t i = p * frameCount_ + frame;
    return spectralTables_[f][p] == frameTables_[f].data() + p * frameCount_ &&
           frameTables_[f][i] == values_[f].data() + i * binCount_;
}

void Buffers::process(PluginBlock* block) {
    if (block == nullptr) return;
    auto audio = [this](int family) -> AudioPins {
        auto& table = audioTables_[static_cast<std::size_t>(family)];
        return dropped_[static_cast<std::size_t>(family)] || table.empty() ? nullptr : table.data();
    };
    auto spectral = [this](int family) -> SpectralPins {
        auto& table = spectralTables_[static_cast<std::size_t>(family)];
        return dropped_[static_cast<std::size_t>(family)] || table.empty() ? nullptr : table.data();
    };
    block->process(block, audio(AudioIn), audio(AudioOut), nullptr, nullptr, spectral(FrequencyIn),
                   spectral(FrequencyOut), spectral(MagnitudeIn), spectral(MagnitudeOut), nullptr,
                   nullptr);
}

}  // namespace quorveil::fuzz
