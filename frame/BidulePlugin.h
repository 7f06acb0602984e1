// SPDX-License-Identifier: MIT
// The base class of every module, in the host SDK's namespace.
//
// The host never calls a member function: it calls the two entries stored in
// the PluginBlock. The dispatcher decodes an op code into one of the virtual
// operations below and converts between the host's fixed 128-byte entries and
// our lists of texts; the process entry bundles its ten arguments into one
// BlockBuffers, stands buffers of its own in for the pins the host left
// unconnected (UnconnectedPins) and hands that to process().
//
// A module gives the base class two tables, its pins (PinTable) and its
// parameters (ParameterEntry), and the base answers every count, name,
// description and choice operation from them. What is left to a module is
// start, parameterChanged and process.
//
// Module code talks back to the host only through the protected service
// operations, which build the data in local storage, call hostCallback and
// copy any answer out. They may run [re-entrant] from start, parameterChanged,
// onHostEvent20 and process.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "frame/HostRecords.h"
#include "frame/ParameterTable.h"
#include "frame/PinTable.h"
#include "frame/TextList.h"
#include "frame/UnconnectedPins.h"

namespace plogue::biduleSDK {

// The host's buffers for one process call, in the entry's argument order.
// Owner: the host; valid only until process() returns [host-audio]. Audio
// pins carry blockSize floats each; spectral pins a table of frameCount
// frames of binCount floats each.
//
// What process() may rely on: a pin table is either null (the host passed
// none: do nothing with that family) or holds a usable buffer for each of the
// module's pins, down to every frame of a spectral pin. Where the host passed
// null for a pin or a frame, the frame has put silence (inputs) or a scratch
// buffer of that pin's own (outputs) in its place; other pointers are the
// host's, unchanged, so an input and an output may still share memory.
struct BlockBuffers {
    AudioPins audioIn;
    AudioPins audioOut;
    void* midiIn;
    void* midiOut;
    SpectralPins frequencyIn;
    SpectralPins frequencyOut;
    SpectralPins magnitudeIn;
    SpectralPins magnitudeOut;
    void* hostArg9;   // carried, not read
    void* hostArg10;  // carried, not read
};

class BidulePlugin {
public:
    // Fills the block (version, both entries, this object, the host's record)
    // and zeroes flags and the engine settings. `pins` and `parameters` are
    // the module's tables; `parameters` must outlive the object (a module's
    // constexpr table does), `pins` is copied.
    BidulePlugin(HostRecord* host, const PinTable& pins,
                 std::span<const ParameterEntry> parameters);
    BidulePlugin(const BidulePlugin&) = delete;
    BidulePlugin& operator=(const BidulePlugin&) = delete;

    // The virtual operations, in the slot order every module keeps.
    virtual ~BidulePlugin();
    // Dispatcher op 1: copies the host's settings field by field.
    virtual void setEngineInfo(const EngineInfo* info);
    // Dispatcher op 13: true when every bit of `mask` is set in flags.
    virtual bool hasFlags(uint32_t mask);
    // Dispatcher op 0: announce the module, set initial parameter states.
    virtual bool start() = 0;
    virtual void onHostEvent15();
    virtual void onHostEvent16();
    // Dispatcher op 14: the parameter with this id changed in the host.
    virtual void parameterChanged(int32_t id) = 0;
    // Dispatcher op 12, in two steps: infos null sets *count to the parameter
    // count; otherwise fills the array when *count equals it.
    virtual int32_t describeParameters(int32_t* count, ParameterInfo* infos);
    virtual int32_t getNumParameters();
    // Writes exactly one record per row of the parameter table.
    virtual void fillParameterInfo(ParameterInfo* infos);
    // Dispatcher op 19: appends the choices of parameter `id` from the table.
    // Whatever an override appends, the host receives at most the choiceCount
    // that the parameter table declares for `id` (none for an unknown id).
    virtual void fillChoiceList(int32_t id, TextList& choices);
    // The process entry: one block [host-audio], with every null entry of a
    // pin table already replaced (see BlockBuffers).
    virtual void process(const BlockBuffers& buffers) = 0;
    // Pin names, one family each, appended in pin order, from the pin table.
    virtual void getAudioInNames(TextList& names);
    virtual void getAudioOutNames(TextList& names);
    virtual void getMidiInNames(TextList& names);
    virtual void getMidiOutNames(TextList& names);
    virtual void getFrequencyInNames(TextList& names);
    virtual void getFrequencyOutNames(TextList& names);
    virtual void getMagnitudeInNames(TextList& names);
    virtual void getMagnitudeOutNames(TextList& names);
    virtual void onHostEvent20();

    PluginBlock* block() { return &pluginBlock; }

protected:
    // Host services, one per host op code.
    double getRealValue(int32_t id);                 // op 0
    std::string getTextValue(int32_t id);            // op 1
    int32_t getIntValue(int32_t id);                 // op 2
    void setRealValue(int32_t id, double value);     // op 3
    void setTextValue(int32_t id, const char* text); // op 4; cut to 23999 characters
    void setIntValue(int32_t id, int32_t value);     // op 5
    void setParameterEnabled(int32_t id, bool enabled);  // op 6
    void sendTextBuffer(int32_t id, char* buffer);   // op 7
    void sendHostText(const char* text);             // op 9; cut to 511 characters
    void sendRaw(int32_t id, void* data);            // op 10

    EngineInfo engineInfo;
    uint32_t flags = 0;
    PluginBlock pluginBlock;

private:
    int32_t callHost(HostOp op, int32_t id, void* data);

    const PinTable pins_;
    const std::span<const ParameterEntry> parameters_;
    // Silence and scratch buffers for unconnected pins, sized by op 1.
    UnconnectedPins unconnectedPins_;

    static void dispatchEntry(PluginBlock* block, int32_t op, void* arg, int32_t* value);
    static void processEntry(PluginBlock* block, AudioPins audioIn, AudioPins audioOut,
                             void* midiIn, void* midiOut, SpectralPins frequencyIn,
                             SpectralPins frequencyOut, SpectralPins magnitudeIn,
                             SpectralPins magnitudeOut, void* hostArg9, void* hostArg10);
    void dispatch(DispatchOp op, void* arg, int32_t* value);
    void copyPinNames(bool inputs, void* arg, int32_t* value);
};

}  // namespace plogue::biduleSDK
