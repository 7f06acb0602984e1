// One module as a render drives it, its whole life in one place: created by
// unique id, given the engine settings, its parameters described, started,
// every value-carrying parameter set to its declared default (modules start
// from 0 until the host reports values), then processed call by call with
// buffers shaped by its pin counts, and deleted with this object.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/HostedInstance.h"
#include "host/PluginLibrary.h"
#include "host/ProcessBuffers.h"

namespace quorveil::spectral {

class HostedModule {
public:
    // `query`: class name, display name or unique id. Throws host::HostError
    // when the library does not offer or refuses the module.
    HostedModule(const host::PluginLibrary& library, const std::string& query,
                 const plogue::biduleSDK::EngineInfo& engine);

    const std::string& className() const { return className_; }
    const host::PinCounts& pins() const { return pins_; }
    host::HostedInstance& instance() { return *instance_; }
    host::ProcessBuffers& buffers() { return *buffers_; }

    bool hasParameter(const std::string& name) const;
    // Sets a parameter by name from a user's text: a number for sliders, on /
    // off (or an integer) for switches, a choice's name or index for menus.
    // Throws host::HostError naming what was wrong.
    void setParameter(const std::string& name, const std::string& value);

    void process() { instance_->process(*buffers_); }

private:
    const plogue::biduleSDK::ParameterInfo* find(const std::string& name) const;

    std::string className_;
    std::unique_ptr<host::HostedInstance> instance_;
    host::PinCounts pins_;
    std::vector<plogue::biduleSDK::ParameterInfo> parameters_;
    std::unique_ptr<host::ProcessBuffers> buffers_;
};

// Parses "NAME=VALUE" or "MODULE:NAME=VALUE" (MODULE a class name).
struct ParameterSetting {
    std::string module;  // empty: every module of the chain that has NAME
    std::string name;
    std::string value;
};
ParameterSetting parseSetting(const std::string& text);  // throws host::HostError

// Applies each setting to the modules that have the parameter; a setting that
// reaches no module is an error.
void applySettings(const std::vector<ParameterSetting>& settings,
                   const std::vector<HostedModule*>& modules);

}  // namespace quorveil::spectral
