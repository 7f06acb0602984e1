// SPDX-License-Identifier: MIT
// The host's life of one module instance, in one place, so that every tool
// drives modules the same way:
//
//   1. create (newInstance)             5. start (op 0)
//   2. engine settings (op 1)           6. every value-carrying parameter set
//   3. pin counts and names (ops 2-11)     to its declared default, notified
//   4. parameter descriptions (op 12)      (op 14)
//      and choice lists (op 19)         7. the user's settings, in order
//                                       8. process, block by block
//                                       9. delete (deleteInstance)
//
// Steps 1 to 6 happen in the constructor, 7 in set(), 8 in process(), 9 in
// the destructor. Whatever the module tells the host on the way (values it
// computes, parameters it switches on or off, texts, the clip indicator)
// becomes HostMessages or indicator tallies for the caller to report.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "frame/HostRecords.h"
#include "host/hosting/HostedInstance.h"
#include "host/hosting/ParameterText.h"
#include "host/hosting/PluginLibrary.h"
#include "host/hosting/ProcessBuffers.h"

namespace quorveil::host {

// Something a module sent to the host, in words: "Rear Width" = "12.5".
struct HostMessage {
    enum class Kind { Value, Enabled, Text };
    Kind kind;
    std::string parameter;  // the parameter's label
    std::string value;      // the value as shown, "on"/"off" for Enabled
    std::string module;     // the class name of the module that sent it
};

// Hears what modules tell the host while an engine runs them: values they
// compute, controls they switch on or off, texts. Called on the thread that
// runs the engine, after the process call that produced the messages.
class HostMessageListener {
public:
    virtual ~HostMessageListener() = default;
    virtual void hostMessages(const std::vector<HostMessage>& messages) { (void)messages; }
};

// How often an indicator parameter (such as Clip4_6's clip light) was lit.
struct IndicatorTally {
    std::string parameter;
    uint64_t lit = 0;  // sample positions at which the module lit it
};

class ModuleSession {
public:
    // Runs steps 1 to 6 with `engine`; throws HostError when the library
    // refuses the module.
    ModuleSession(const PluginLibrary& library, ModuleRow module,
                  const plogue::biduleSDK::EngineInfo& engine);

    const ModuleRow& module() const { return module_; }
    const plogue::biduleSDK::EngineInfo& engine() const { return engine_; }
    const PinCounts& pins() const { return pins_; }
    const std::vector<std::string>& inputPinNames() const { return inputNames_; }
    const std::vector<std::string>& outputPinNames() const { return outputNames_; }

    // In array order, as a host panel shows them.
    const std::vector<ParameterDescription>& parameters() const { return parameters_; }

    // By label (letter case and surrounding blanks ignored) or, failing
    // that, by id written as a number; throws HostError naming the choices.
    const ParameterDescription& findParameter(const std::string& nameOrId) const;
    // The same search without the error: null when there is no such parameter.
    const ParameterDescription* lookUpParameter(const std::string& nameOrId) const;

    // The last part of the unique id: "Slice4_6".
    std::string className() const;

    // Whether the module has the control switched on now (a module may
    // switch a control off, as a host panel greys it out).
    bool isEnabled(int32_t id) const;
    // The label of parameter `id`, or "parameter N".
    std::string parameterLabel(int32_t id) const;

    // The value the host holds now, as shown to a user.
    std::string currentValue(const ParameterDescription& parameter);

    // Step 7: one "NAME=VALUE" setting; throws HostError on an unknown name,
    // a value that does not parse, or (without `force`) a Real outside its
    // declared range.
    void set(const ParameterAssignment& assignment, bool force);
    void setAll(const std::vector<ParameterAssignment>& assignments, bool force);

    // Step 8: buffers shaped for this module and engine, and one block.
    ProcessBuffers makeBuffers() const;
    void process(ProcessBuffers& buffers);

    // What the module said since the last call; a value repeated unchanged
    // is not listed again. Indicator calls are tallied instead.
    std::vector<HostMessage> takeMessages();
    std::vector<IndicatorTally> indicatorTallies() const;

    HostedInstance& instance() { return *instance_; }

private:
    void collect();
    const ParameterDescription* byId(int32_t id) const;

    ModuleRow module_;
    plogue::biduleSDK::EngineInfo engine_;
    std::unique_ptr<HostedInstance> instance_;
    PinCounts pins_;
    std::vector<std::string> inputNames_, outputNames_;
    std::vector<ParameterDescription> parameters_;
    std::vector<HostMessage> pending_;
    std::map<std::pair<int32_t, int>, std::string> lastSaid_;  // (id, kind) -> value
    std::map<int32_t, uint64_t> indicatorLit_;
};

// The pin counts of `module`, from a short-lived instance (create, ops 2-9,
// delete): enough to choose a render path before the engine is known.
PinCounts probePins(const PluginLibrary& library, const ModuleRow& module);

}  // namespace quorveil::host
