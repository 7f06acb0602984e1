// SPDX-License-Identifier: MIT
// The records that cross the boundary between the host application and this
// library, laid out byte for byte as the host expects them.
//
// Ownership in one sentence: the host owns every record and buffer it hands
// in (BiduleInfo, EngineInfo, HostRecord, ParameterInfo arrays, name and
// choice entries, sample and frame arrays); the library owns only the module
// objects it creates, and each PluginBlock lives inside its module object.
//
// Thread tags used below, as the host drives us:
//   [host-main]   the host's set-up thread: listing, creation, dispatcher ops
//   [host-audio]  the host's processing thread: the process entry
//   [re-entrant]  a call the library makes back into the host from inside one
//                 of the host's own calls into the library
// The library starts no threads and takes no locks; a host that calls the
// dispatcher and the process entry of one instance at the same time must do
// its own serialising.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plogue::biduleSDK {

struct PluginBlock;
struct HostRecord;

// ---------------------------------------------------------------------------
// BiduleInfo: one row of the module table, as the host lists it in its menus.
// Owner: the host, which passes it to fillBiduleInfo() [host-main] and reads
// it back when that call returns. The library writes only the three texts and
// their terminators; every other byte keeps what the host put there.
// ---------------------------------------------------------------------------
struct BiduleInfo {
    char uniqueId[512];      // the id the host passes back to newInstance()
    char name[512];          // display name
    char categoryPath[512];  // menu path, levels separated by '\t'; the host
                             // sizes this field, the library writes at most 42
                             // bytes here, so 512 is ample for our own hosts
};
static_assert(offsetof(BiduleInfo, uniqueId) == 0);
static_assert(offsetof(BiduleInfo, name) == 512);
static_assert(offsetof(BiduleInfo, categoryPath) == 1024);

// ---------------------------------------------------------------------------
// EngineInfo: the host's engine settings.
// Owner: the host. Handed over by dispatcher op 1 [host-main]; the base class
// copies it field by field (bytes 0 to 80, never beyond) and does not keep
// the host's pointer. Modules read their copy on any later call.
// ---------------------------------------------------------------------------
struct EngineInfo {
    alignas(8) double sampleRate;  // Hz
    int32_t auxInt1;               // carried, not read
    alignas(8) double auxReal1;    // carried, not read
    int32_t blockSize;             // samples per audio pin per process call
    alignas(8) double auxReal2;    // carried, not read
    alignas(8) double auxReal3;    // carried, not read
    alignas(8) double auxReal4;    // carried, not read
    int32_t auxInt2;               // carried, not read
    int32_t fftSize;               // FFT length of the host's spectral path
    int32_t binCount;              // values per spectral frame
    int32_t overlap;               // FFT overlap factor
    int32_t frameCount;            // spectral frames per process call
    uint8_t auxFlags[5];           // carried, not read
};
static_assert(offsetof(EngineInfo, sampleRate) == 0);
static_assert(offsetof(EngineInfo, auxInt1) == 8);
static_assert(offsetof(EngineInfo, auxReal1) == 16);
static_assert(offsetof(EngineInfo, blockSize) == 24);
static_assert(offsetof(EngineInfo, auxReal2) == 32);
static_assert(offsetof(EngineInfo, auxReal3) == 40);
static_assert(offsetof(EngineInfo, auxReal4) == 48);
static_assert(offsetof(EngineInfo, auxInt2) == 56);
static_assert(offsetof(EngineInfo, fftSize) == 60);
static_assert(offsetof(EngineInfo, binCount) == 64);
static_assert(offsetof(EngineInfo, overlap) == 68);
static_assert(offsetof(EngineInfo, frameCount) == 72);
static_assert(offsetof(EngineInfo, auxFlags) == 76);
// The host's block may end right after auxFlags: bytes 0..80 are all we read.
inline constexpr std::size_t kEngineInfoBytesRead = 81;

// ---------------------------------------------------------------------------
// Host services: the op codes a module sends through hostCallback.
// ---------------------------------------------------------------------------
enum class HostOp : int32_t {
    GetRealValue = 0,         // data: double, preset 0.0; host stores the value
    GetTextValue = 1,         // data: 24000-byte buffer; host stores a text
    GetIntValue = 2,          // data: int32, preset 0; host stores the value
    SetRealValue = 3,         // data: the double
    SetTextValue = 4,         // data: 24000-byte buffer holding the text
    SetIntValue = 5,          // data: the int32
    SetParameterEnabled = 6,  // data: int32, 1 active, 0 inactive
    SendTextBuffer = 7,       // data: a caller's text buffer (unused by modules)
    Unused8 = 8,
    SendHostText = 9,         // id 0, data: 512-byte text (unused by modules)
    SendRaw = 10,             // id and data passed through (unused by modules)
};

inline constexpr std::size_t kTextValueBytes = 24000;  // text values, with NUL
inline constexpr std::size_t kHostTextBytes = 512;     // op 9 text, with NUL

// The host's callback. Called [re-entrant] by modules from within start,
// parameterChanged, onHostEvent20 and (Clip4_6) process, so the host must
// accept it while one of its own calls into the module is still running.
// `data` points into the module's own stack storage and is valid only for the
// duration of the call. The result is not examined.
using HostCallback = int32_t (*)(HostRecord* host, int32_t op, int32_t id, void* data);

// ---------------------------------------------------------------------------
// HostRecord: the host's own per-instance record.
// Owner: the host, which passes it to newInstance() and must keep it alive
// until deleteInstance() returns. The library reads only hostCallback; the
// host may place anything after it (our own host layer does).
// ---------------------------------------------------------------------------
struct HostRecord {
    HostCallback hostCallback;
};
static_assert(offsetof(HostRecord, hostCallback) == 0);

// ---------------------------------------------------------------------------
// Dispatcher op codes. The value/arg conventions are those of the host:
// "value" is the int32 the host's pointer refers to.
// ---------------------------------------------------------------------------
enum class DispatchOp : int32_t {
    Start = 0,                 // module start-up; result dropped
    SetEngineInfo = 1,         // arg: EngineInfo*
    AudioInCount = 2,          // value := numAudioIn
    AudioOutCount = 3,
    MidiInCount = 4,
    MidiOutCount = 5,
    FrequencyInCount = 6,
    FrequencyOutCount = 7,
    MagnitudeInCount = 8,
    MagnitudeOutCount = 9,
    InputPinNames = 10,        // arg null: value := total; else N entries of 128 bytes
    OutputPinNames = 11,
    DescribeParameters = 12,   // arg null: value := count; else fill value records
    HasFlags = 13,             // value: mask; *(int32*)arg := 1 or 0
    ParameterChanged = 14,     // value: parameter id
    HostEvent15 = 15,
    HostEvent16 = 16,
    Reserved17 = 17,
    Reserved18 = 18,
    ChoiceList = 19,           // value: parameter id; arg: 128-byte entries, at most
                               // the choiceCount its description declares (0: none)
    HostEvent20 = 20,
};

inline constexpr std::size_t kNameEntryBytes = 128;  // pin names and choices

// Dispatcher entry, [host-main]. Answers travel through arg and value; a
// request it cannot serve is silently ignored.
using DispatchEntry = void (*)(PluginBlock* block, int32_t op, void* arg, int32_t* value);

// Process entry, [host-audio]. The ten pointer-size arguments reach the
// module's process() in order. All buffers are the host's and are valid only
// until the call returns; the host may move or share them between calls.
//   audioIn/audioOut:  one array of blockSize floats per audio pin
//   frequency*/magnitude*: per pin a table of frameCount frames, each an
//                      array of binCount floats
// A null table means the family is absent: the module does nothing with it.
// A null entry inside a table (a pin, or one frame of a spectral pin) means
// an unconnected pin: an input reads as silence, an output is not written.
using AudioPins = float**;
using SpectralPins = float***;
using ProcessEntry = void (*)(PluginBlock* block, AudioPins audioIn, AudioPins audioOut,
                              void* midiIn, void* midiOut, SpectralPins frequencyIn,
                              SpectralPins frequencyOut, SpectralPins magnitudeIn,
                              SpectralPins magnitudeOut, void* hostArg9, void* hostArg10);

// ---------------------------------------------------------------------------
// PluginBlock: the C-level record the host holds for an instance.
// Owner: the module object, of which it is a member; newInstance() returns
// its address and it is valid until deleteInstance() for that block returns.
// The host reads it and calls through its two entries; it never writes it.
// ---------------------------------------------------------------------------
struct PluginBlock {
    int32_t version;         // always kPluginBlockVersion
    DispatchEntry dispatch;  // [host-main]
    ProcessEntry process;    // [host-audio]
    void* object;            // the module object that contains this block
    HostRecord* host;        // the HostRecord given to newInstance()
};
inline constexpr int32_t kPluginBlockVersion = 1000;
#if UINTPTR_MAX == 0xFFFFFFFFu
// The host's own target: 4-byte pointers.
static_assert(offsetof(PluginBlock, version) == 0);
static_assert(offsetof(PluginBlock, dispatch) == 4);
static_assert(offsetof(PluginBlock, process) == 8);
static_assert(offsetof(PluginBlock, object) == 12);
static_assert(offsetof(PluginBlock, host) == 16);
static_assert(sizeof(PluginBlock) == 20);
#endif

// ---------------------------------------------------------------------------
// Parameter descriptions.
// ---------------------------------------------------------------------------
enum class ParameterKind : int32_t {
    Real = 0,     // value travels as a double; controlStyle 1
    Text = 1,     // value travels as a NUL-terminated text; controlStyle 8
    Integer = 2,  // value travels as an int32; controlStyle 2 (switch) or 9 (indicator)
    Choice = 3,   // value travels as an int32 choice index; controlStyle 3
};

// The control a host draws for a parameter (ParameterInfo::controlStyle).
enum class ControlStyle : int32_t {
    Slider = 1,      // Real
    Switch = 2,      // Integer on/off
    ChoiceMenu = 3,  // Choice
    Label = 8,       // Text
    Indicator = 9,   // Integer written by the module only
};

// ParameterInfo: one 1176-byte description record.
// Owner: the host, which provides an array of numParameters records for the
// second call of dispatcher op 12 [host-main]. The module writes the first six
// fields and the fields of the record's kind, and nothing else: bytes it does
// not write keep the host's contents.
struct ParameterInfo {
    struct IntegerDefault {
        int32_t defaultInt;   // Integer, Choice: initial value or choice index
        int32_t choiceCount;  // Choice: number of choices; 0 for Integer
    };

    int32_t id;            // the only name host and module use afterwards
    char name[128];        // label
    int32_t kind;          // a ParameterKind
    int32_t controlStyle;  // the control the host draws
    int32_t switchA;       // 1 on value-carrying parameters, 0 on Text items
    int32_t switchB;       // same rule as switchA
    uint8_t gap148[4];     // alignment gap, never written
    union {
        double defaultValue;            // Real only
        IntegerDefault integerDefault;  // Integer and Choice only
    };
    char unit[128];        // Real only
    int32_t realFormat;    // Real only: display setting, 1 or 2
    uint8_t gap292[4];     // alignment gap, never written
    alignas(8) double minimum;  // Real only
    alignas(8) double maximum;  // Real only
    int32_t realOption;    // Real only: 0 in every module
    uint8_t reserved[860]; // never written
};
static_assert(offsetof(ParameterInfo, id) == 0);
static_assert(offsetof(ParameterInfo, name) == 4);
static_assert(offsetof(ParameterInfo, kind) == 132);
static_assert(offsetof(ParameterInfo, controlStyle) == 136);
static_assert(offsetof(ParameterInfo, switchA) == 140);
static_assert(offsetof(ParameterInfo, switchB) == 144);
static_assert(offsetof(ParameterInfo, gap148) == 148);
static_assert(offsetof(ParameterInfo, defaultValue) == 152);
static_assert(offsetof(ParameterInfo, integerDefault) == 152);
static_assert(offsetof(ParameterInfo, integerDefault) + offsetof(ParameterInfo::IntegerDefault, choiceCount) == 156);
static_assert(offsetof(ParameterInfo, unit) == 160);
static_assert(offsetof(ParameterInfo, realFormat) == 288);
static_assert(offsetof(ParameterInfo, gap292) == 292);
static_assert(offsetof(ParameterInfo, minimum) == 296);
static_assert(offsetof(ParameterInfo, maximum) == 304);
static_assert(offsetof(ParameterInfo, realOption) == 312);
static_assert(offsetof(ParameterInfo, reserved) == 316);
static_assert(sizeof(ParameterInfo) == 1176);

}  // namespace plogue::biduleSDK

// ---------------------------------------------------------------------------
// The shapes of the four exports, for hosts that resolve them by name.
// Declared for the library itself in library/Exports.h.
// ---------------------------------------------------------------------------
namespace plogue::biduleSDK {
using GetNumBidulesFn = int32_t (*)();
using FillBiduleInfoFn = int32_t (*)(int32_t index, BiduleInfo* info);
using NewInstanceFn = PluginBlock* (*)(const char* uniqueId, HostRecord* host);
using DeleteInstanceFn = void (*)(PluginBlock* block);
}  // namespace plogue::biduleSDK
