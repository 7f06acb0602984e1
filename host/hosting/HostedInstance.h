// SPDX-License-Identifier: MIT
// One module instance as the host lives with it: created through newInstance,
// driven through its PluginBlock's dispatcher and process entry, answered
// through a HostRecord whose callback keeps every parameter's value and
// enabled state by id and logs each service call. Tests and tools drive
// modules only through this class, that is through the exported C interface.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "frame/HostRecords.h"
#include "host/hosting/PluginLibrary.h"
#include "host/hosting/ProcessBuffers.h"

namespace quorveil::host {

// What the host remembers of one parameter, by id.
struct StoredParameter {
    double real = 0.0;
    int32_t integer = 0;
    std::string text;
    bool enabled = true;
    // How often the module set a non-zero integer here (an indicator lit),
    // counted whether or not the service log is kept.
    uint64_t raised = 0;
};

// One call a module made to the host's callback, with the value that crossed.
struct ServiceCall {
    plogue::biduleSDK::HostOp op;
    int32_t id;
    double real = 0.0;     // ops 0, 3
    int32_t integer = 0;   // ops 2, 5, 6
    std::string text;      // ops 1, 4, 7, 9
};

class HostedInstance {
public:
    // newInstance for `uniqueId`; throws HostError when the library refuses it.
    HostedInstance(const PluginLibrary& library, const std::string& uniqueId);
    ~HostedInstance();  // deleteInstance
    HostedInstance(const HostedInstance&) = delete;
    HostedInstance& operator=(const HostedInstance&) = delete;

    plogue::biduleSDK::PluginBlock* block() const { return block_; }

    // Raw dispatcher call.
    void dispatch(plogue::biduleSDK::DispatchOp op, void* arg, int32_t* value);
    void dispatch(int32_t op, void* arg, int32_t* value);

    // One call per dispatcher op.
    void start();                                                    // 0
    void setEngineInfo(const plogue::biduleSDK::EngineInfo& engine); // 1
    int32_t pinCount(plogue::biduleSDK::DispatchOp countOp);         // 2..9
    PinCounts pinCounts();
    std::vector<std::string> inputPinNames();                        // 10
    std::vector<std::string> outputPinNames();                       // 11
    std::vector<plogue::biduleSDK::ParameterInfo> describeParameters();  // 12, two steps
    bool hasFlags(int32_t mask);                                     // 13
    void notifyParameterChanged(int32_t id);                         // 14
    void hostEvent(plogue::biduleSDK::DispatchOp eventOp);           // 15, 16, 20
    std::vector<std::string> choiceList(int32_t id, int32_t choiceCount);  // 19

    // The start-up every host runs on a fresh instance once it has its engine
    // settings and descriptions: op 0, then every setting at its declared
    // default. Tools and the cross-check both start instances through these
    // two calls, so they start them alike.
    //   setToDefault: stores the declared default of a host setting (a Real,
    //   a switch or a choice) and notifies it with op 14. Indicators and text
    //   items are the module's to write: nothing is stored or notified.
    void setToDefault(const plogue::biduleSDK::ParameterInfo& info);

    // "Set parameter" as a host does it: store the value, then op 14.
    void setRealParameter(int32_t id, double value);
    void setIntParameter(int32_t id, int32_t value);
    void setTextParameter(int32_t id, const std::string& value);

    // Every parameter the host knows of, by id.
    std::map<int32_t, StoredParameter>& parameters() { return parameters_; }
    StoredParameter& parameter(int32_t id) { return parameters_[id]; }

    const std::vector<ServiceCall>& serviceLog() const { return serviceLog_; }
    void clearServiceLog() { serviceLog_.clear(); }

    // The log is kept unless switched off. Off, a module's calls still
    // update the stored values and their `raised` counts but append nothing,
    // so a process call allocates nothing on the host's side (for engines
    // on an audio thread) as long as the ids it touches are already stored
    // (parameter(id) stores one) and it sends no text. Main thread, between
    // process calls.
    void setServiceLogKept(bool kept) { logKept_ = kept; }

    // The process entry with host-shaped buffers.
    void process(ProcessBuffers& buffers);

private:
    // The record the library sees first, then our way back to this object.
    struct HostSide {
        plogue::biduleSDK::HostRecord record;
        HostedInstance* owner;
    };

    static int32_t hostCallback(plogue::biduleSDK::HostRecord* host, int32_t op, int32_t id,
                                void* data);
    void serve(plogue::biduleSDK::HostOp op, int32_t id, void* data);
    std::vector<std::string> pinNames(plogue::biduleSDK::DispatchOp namesOp);

    const PluginLibrary& library_;
    HostSide hostSide_;
    plogue::biduleSDK::PluginBlock* block_ = nullptr;
    std::map<int32_t, StoredParameter> parameters_;
    std::vector<ServiceCall> serviceLog_;
    bool logKept_ = true;
};

// A parameter the host sets (and a user may change): a Real, a switch or a
// choice. Indicators and text items are written by the module only.
bool isHostSetting(const plogue::biduleSDK::ParameterInfo& info);

// Reads a NUL-terminated text out of a fixed host field of `bytes` bytes.
std::string fieldText(const char* field, std::size_t bytes);

}  // namespace quorveil::host
