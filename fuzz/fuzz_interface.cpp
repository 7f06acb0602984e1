// SPDX-License-Identifier: MIT
// The C interface as a careless or hostile host drives it: up to three
// instances at once, dispatcher ops in any order with any ids, values and
// counts, engine settings from sane to absurd, parameter values that are not
// numbers, texts of any length, and blocks whose samples are NaN, infinite,
// subnormal or huge, with null entries in the pin tables and tables missing.
// What the host hands over always matches what it announced (buffers as
// large as the counts and settings say); within that, nothing may crash or
// trip AddressSanitizer or UndefinedBehaviorSanitizer.
#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzHost.h"

namespace {

using namespace quorveil::fuzz;
using namespace plogue::biduleSDK;

constexpr std::size_t kMostInstances = 3;
constexpr int kMostActions = 48;

const std::vector<std::string>& moduleIds() {
    static const std::vector<std::string> ids = uniqueIds();
    return ids;
}

float oddFloat(FuzzedDataProvider& in) {
    constexpr float kSpecial[] = {std::numeric_limits<float>::quiet_NaN(),
                                  std::numeric_limits<float>::infinity(),
                                  -std::numeric_limits<float>::infinity(),
                                  std::numeric_limits<float>::denorm_min(),
                                  -std::numeric_limits<float>::denorm_min(),
                                  std::numeric_limits<float>::max(),
                                  -std::numeric_limits<float>::max(),
                                  0.0f,
                                  -0.0f,
                                  1.0f};
    const auto pick = in.ConsumeIntegralInRange<std::size_t>(0, std::size(kSpecial));
    return pick < std::size(kSpecial) ? kSpecial[pick] : std::bit_cast<float>(in.ConsumeIntegral<uint32_t>());
}

double oddDouble(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0: return std::numeric_limits<double>::quiet_NaN();
    case 1: return in.ConsumeBool() ? std::numeric_limits<double>::infinity()
                                    : -std::numeric_limits<double>::infinity();
    case 2: return std::numeric_limits<double>::denorm_min() * in.ConsumeIntegral<uint8_t>();
    case 3: return in.ConsumeFloatingPointInRange(-400.0, 400.0);
    case 4: return static_cast<double>(in.ConsumeIntegralInRange(-2, 3));
    default: return std::bit_cast<double>(in.ConsumeIntegral<uint64_t>());
    }
}

int32_t oddCount(FuzzedDataProvider& in, int32_t usualMost) {
    switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0: return in.ConsumeIntegralInRange(-3, 0);
    case 1: return std::numeric_limits<int32_t>::min();
    default: return in.ConsumeIntegralInRange(1, usualMost);
    }
}

// Settings a host announces: block, bin and frame counts kept small enough
// to allocate, everything else as odd as it likes.
EngineInfo oddEngine(FuzzedDataProvider& in) {
    EngineInfo engine{};
    engine.sampleRate = in.ConsumeBool() ? 44100.0 : oddDouble(in);
    engine.blockSize = oddCount(in, 1024);
    engine.fftSize = in.ConsumeBool() ? 256 << in.ConsumeIntegralInRange(0, 7) : in.ConsumeIntegral<int32_t>();
    engine.binCount = oddCount(in, 1100);
    engine.overlap = in.ConsumeBool() ? 1 << in.ConsumeIntegralInRange(0, 5) : in.ConsumeIntegral<int32_t>();
    engine.frameCount = oddCount(in, 6);
    engine.auxInt1 = in.ConsumeIntegral<int32_t>();
    engine.auxReal1 = oddDouble(in);
    return engine;
}

struct Live {
    std::unique_ptr<Instance> instance;
    std::vector<ParameterInfo> infos;  // as last described
};

int32_t someId(FuzzedDataProvider& in, const Live& live) {
    if (!live.infos.empty() && in.ConsumeBool()) {
        return live.infos[in.ConsumeIntegralInRange<std::size_t>(0, live.infos.size() - 1)].id;
    }
    return in.ConsumeIntegral<int32_t>();
}

// The choiceCount the host read for `id` (0 when not described or no choice).
std::size_t declaredChoices(const Live& live, int32_t id) {
    for (const ParameterInfo& info : live.infos) {
        if (info.id == id && info.kind == static_cast<int32_t>(ParameterKind::Choice)) {
            return info.integerDefault.choiceCount > 0 ? static_cast<std::size_t>(info.integerDefault.choiceCount) : 0;
        }
    }
    return 0;
}

void fillBlock(FuzzedDataProvider& in, Buffers& buffers) {
    // A handful of odd values repeated through the block: enough variety per
    // block without spending the input on every sample.
    float palette[8];
    for (float& value : palette) value = oddFloat(in);
    uint32_t state = in.ConsumeIntegral<uint32_t>();
    for (int family = 0; family < kFamilies; ++family) {
        for (float& value : buffers.values(family)) {
            state = state * 1664525u + 1013904223u;
            value = palette[state >> 29];
        }
    }
    const int nulls = in.ConsumeIntegralInRange(0, 4);
    for (int n = 0; n < nulls; ++n) {
        const int family = in.PickValueInArray({AudioIn, AudioOut, FrequencyIn, FrequencyOut, MagnitudeIn, MagnitudeOut});
        const int32_t pin = in.ConsumeIntegralInRange(0, 12);
        switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: buffers.unplugPin(family, pin); break;
        case 1: buffers.unplugFrame(family, pin, in.ConsumeIntegralInRange<std::size_t>(0, 5)); break;
        case 2: buffers.dropTable(family); break;
        default:  // working in place: an output on an input's buffer
            buffers.share(in.PickValueInArray({AudioOut, FrequencyOut, MagnitudeOut}), pin,
                          in.PickValueInArray({AudioIn, FrequencyIn, MagnitudeIn}),
                          in.ConsumeIntegralInRange(0, 4));
            break;
        }
    }
}

void act(FuzzedDataProvider& in, std::vector<Live>& lives) {
    const int action = in.ConsumeIntegralInRange(0, 11);
    if (action == 0 || lives.empty()) {
        if (lives.size() < kMostInstances) {
            const auto& ids = moduleIds();
            const std::string id = in.ConsumeIntegralInRange<std::size_t>(0, ids.size()) < ids.size()
                                       ? ids[in.ConsumeIntegralInRange<std::size_t>(0, ids.size() - 1)]
                                       : in.ConsumeRandomLengthString(40);
            auto instance = std::make_unique<Instance>(id.c_str());
            if (instance->block() != nullptr) lives.push_back({std::move(instance), {}});
        }
        return;
    }
    Live& live = lives[in.ConsumeIntegralInRange<std::size_t>(0, lives.size() - 1)];
    Instance& instance = *live.instance;
    switch (action) {
    case 1:
        lives.erase(lives.begin() + (&live - lives.data()));
        return;
    case 2: instance.setEngine(oddEngine(in)); return;
    case 3: instance.dispatch(0, nullptr, nullptr); return;
    case 4: {  // pin counts and names; a name buffer of exactly the offered entries
        const int32_t op = in.ConsumeIntegralInRange(2, 11);
        int32_t value = in.ConsumeIntegralInRange(-2, 20);
        std::vector<char> entries(static_cast<std::size_t>(value > 0 ? value : 0) * kNameEntryBytes);
        const bool names = op >= 10;
        instance.dispatch(op, names && in.ConsumeBool() ? entries.data() : nullptr, &value);
        return;
    }
    case 5: {  // descriptions, with a count that may be wrong
        live.infos = instance.describe();
        int32_t count = in.ConsumeIntegralInRange(-1, 20);
        std::vector<ParameterInfo> infos(static_cast<std::size_t>(count > 0 ? count : 0));
        instance.dispatch(12, infos.empty() ? nullptr : infos.data(), &count);
        return;
    }
    case 6: {
        const int32_t id = someId(in, live);
        switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: instance.setReal(id, oddDouble(in)); break;
        case 1: instance.setInt(id, in.ConsumeIntegral<int32_t>()); break;
        default:
            instance.setText(id, in.ConsumeBool() ? in.ConsumeRandomLengthString(64)
                                                  : std::string(kTextValueBytes + 8, 'x'));
            break;
        }
        return;
    }
    case 7: {  // choices into a buffer of exactly the declared entries (1 byte for none)
        int32_t id = someId(in, live);
        const std::size_t declared = declaredChoices(live, id);
        std::vector<char> entries(declared > 0 ? declared * kNameEntryBytes : 1);
        instance.dispatch(19, entries.data(), &id);
        return;
    }
    case 8: {
        int32_t value = in.ConsumeIntegral<int32_t>();
        int32_t answer = 0;
        instance.dispatch(13, in.ConsumeBool() ? &answer : nullptr, &value);
        return;
    }
    case 9: instance.dispatch(in.PickValueInArray({15, 16, 20}), nullptr, nullptr); return;
    case 10: {  // ops nobody serves, with and without their arguments
        int32_t value = in.ConsumeIntegral<int32_t>();
        char scratch[16] = {};
        instance.dispatch(in.PickValueInArray({-1, 17, 18, 21, 1000, std::numeric_limits<int32_t>::min()}),
                          in.ConsumeBool() ? scratch : nullptr, in.ConsumeBool() ? &value : nullptr);
        return;
    }
    default: {
        Buffers buffers(instance.pinCounts(), instance.engine());
        fillBlock(in, buffers);
        const int blocks = in.ConsumeIntegralInRange(1, 3);
        for (int b = 0; b < blocks; ++b) buffers.process(instance.block());
        return;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<Live> lives;
    for (int a = 0; a < kMostActions && in.remaining_bytes() > 0; ++a) act(in, lives);
    return 0;
}
