// The base class of every module, in the host SDK's namespace.
//
// The host never calls a member function: it calls the two entries stored in
// the PluginBlock. The dispatcher decodes an op code into one of the virtual
// operations below and converts between the host's fixed 128-byte entries and
// our lists of texts; the process entry forwards its ten arguments unchanged.
//
// Module code talks back to the host only through the protected service
// operations, which build the data in local storage, call hostCallback and
// copy any answer out. They may run [re-entrant] from start, parameterChanged,
// onHostEvent20 and process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/HostRecords.h"

namespace plogue::biduleSDK {

// An ordered, growable list of 8-bit texts, owned by the caller. Name and
// choice operations only append to it.
using TextList = std::vector<std::string>;

class BidulePlugin {
public:
    // Fills the block (version, both entries, this object, the host's record)
    // and zeroes flags, pin counts, parameter count and the engine settings.
    explicit BidulePlugin(HostRecord* host);
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
    // Writes exactly numParameters records into the host's array.
    virtual void fillParameterInfo(ParameterInfo* infos) = 0;
    // Dispatcher op 19: appends the choices of parameter `id`.
    virtual void fillChoiceList(int32_t id, TextList& choices);
    // The process entry: one block. Buffers are the host's, valid for the call.
    virtual void process(AudioPins audioIn, AudioPins audioOut, void* midiIn, void* midiOut,
                         SpectralPins frequencyIn, SpectralPins frequencyOut,
                         SpectralPins magnitudeIn, SpectralPins magnitudeOut, void* hostArg9,
                         void* hostArg10) = 0;
    // Pin names, one family each, appended in pin order. The base appends one
    // empty name per declared pin of the family.
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
    int32_t numAudioIn = 0;
    int32_t numAudioOut = 0;
    int32_t numMidiIn = 0;
    int32_t numMidiOut = 0;
    int32_t numFrequencyIn = 0;
    int32_t numFrequencyOut = 0;
    int32_t numMagnitudeIn = 0;
    int32_t numMagnitudeOut = 0;
    int32_t numParameters = 0;
    PluginBlock pluginBlock;

private:
    int32_t callHost(HostOp op, int32_t id, void* data);

    static void dispatchEntry(PluginBlock* block, int32_t op, void* arg, int32_t* value);
    static void processEntry(PluginBlock* block, AudioPins audioIn, AudioPins audioOut,
                             void* midiIn, void* midiOut, SpectralPins frequencyIn,
                             SpectralPins frequencyOut, SpectralPins magnitudeIn,
                             SpectralPins magnitudeOut, void* hostArg9, void* hostArg10);
    void dispatch(DispatchOp op, void* arg, int32_t* value);
    void copyPinNames(bool inputs, void* arg, int32_t* value);
};

}  // namespace plogue::biduleSDK
