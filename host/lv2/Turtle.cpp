// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/lv2/Turtle.h"

#include <cstdio>
#include <sstream>

namespace quorveil::lv2 {

namespace {

constexpr const char* kPrefixes =
    "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pg:    <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n";

// A number as Turtle reads it back exactly: always with a decimal point.
std::string decimal(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    std::string s = text;
    if (s.find_first_of(".eE") == std::string::npos) s += ".0";
    return s;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string groupUri(const PluginDescription& plugin, const std::string& symbol) {
    return "<" + plugin.uri + "#" + symbol + ">";
}

void writeGroup(std::ostream& out, const PluginDescription& plugin,
                const PortGroupDescription& group) {
    out << groupUri(plugin, group.symbol) << "\n"
        << "    a pg:" << group.type << " , " << (group.input ? "pg:InputGroup" : "pg:OutputGroup")
        << " ;\n"
        << "    lv2:symbol " << quoted(group.symbol) << " ;\n"
        << "    lv2:name " << quoted(group.name) << " .\n\n";
}

void writeControl(std::ostream& out, const PortDescription& port) {
    switch (port.control) {
    case ControlKind::Toggle: out << "        lv2:portProperty lv2:toggled ;\n"; break;
    case ControlKind::Enumeration:
        out << "        lv2:portProperty lv2:integer , lv2:enumeration ;\n";
        for (std::size_t i = 0; i < port.scalePoints.size(); ++i) {
            out << "        lv2:scalePoint [ rdfs:label " << quoted(port.scalePoints[i])
                << " ; rdf:value " << i << ".0 ] ;\n";
        }
        break;
    case ControlKind::Latency:
        out << "        lv2:designation lv2:latency ;\n"
            << "        lv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
            << "        units:unit units:frame ;\n";
        break;
    case ControlKind::Real: break;
    }
    if (!port.unit.empty()) out << "        units:unit units:" << port.unit << " ;\n";
    out << "        lv2:default " << decimal(port.defaultValue) << " ;\n"
        << "        lv2:minimum " << decimal(port.minimum) << " ;\n"
        << "        lv2:maximum " << decimal(port.maximum) << " ;\n";
}

// The version hosts compare between bundles of the same URI; both files
// carry it, as a host may read either first.
void writeVersion(std::ostream& out) {
    const PluginVersion version = pluginVersion();
    out << "    lv2:minorVersion " << version.minor << " ;\n"
        << "    lv2:microVersion " << version.micro << " ;\n";
}

void writePort(std::ostream& out, const PluginDescription& plugin, std::size_t index) {
    const PortDescription& port = plugin.ports[index];
    const char* kind = "";
    switch (port.kind) {
    case PortKind::AudioInput: kind = "lv2:InputPort , lv2:AudioPort"; break;
    case PortKind::AudioOutput: kind = "lv2:OutputPort , lv2:AudioPort"; break;
    case PortKind::ControlInput: kind = "lv2:InputPort , lv2:ControlPort"; break;
    case PortKind::ControlOutput: kind = "lv2:OutputPort , lv2:ControlPort"; break;
    }
    out << "    [\n"
        << "        a " << kind << " ;\n"
        << "        lv2:index " << index << " ;\n"
        << "        lv2:symbol " << quoted(port.symbol) << " ;\n"
        << "        lv2:name " << quoted(port.name) << " ;\n";
    if (!port.group.empty()) {
        out << "        pg:group " << groupUri(plugin, port.group) << " ;\n";
    }
    if (!port.designation.empty()) {
        out << "        lv2:designation pg:" << port.designation << " ;\n";
    }
    if (port.kind == PortKind::ControlInput || port.kind == PortKind::ControlOutput) {
        writeControl(out, port);
    }
    if (port.connectionOptional) out << "        lv2:portProperty lv2:connectionOptional ;\n";
    out << "    ]";
}

}  // namespace

std::string manifestTurtle(const std::vector<BundlePlugin>& plugins) {
    std::ostringstream out;
    out << "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
        << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";
    for (const BundlePlugin& entry : plugins) {
        out << "\n<" << entry.plugin.uri << ">\n"
            << "    a lv2:Plugin ;\n";
        writeVersion(out);
        out << "    lv2:binary <" << entry.plugin.binary << "> ;\n"
            << "    rdfs:seeAlso <" << entry.file << "> .\n";
    }
    return out.str();
}

std::string manifestTurtle(const PluginDescription& plugin, const std::string& pluginFile) {
    return manifestTurtle(std::vector<BundlePlugin>{{plugin, pluginFile}});
}

std::string pluginTurtle(const PluginDescription& plugin) {
    std::ostringstream out;
    out << kPrefixes << "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n\n"
        << "# Generated by quorveil-lv2-turtle from the parameter tables the command line\n"
        << "# reads; edits here are lost at the next build.\n\n";
    for (const PortGroupDescription& group : plugin.groups) {
        writeGroup(out, plugin, group);
    }
    out << "<" << plugin.uri << ">\n"
        << "    a lv2:Plugin , lv2:SpatialPlugin ;\n"
        << "    doap:name " << quoted(plugin.name) << " ;\n"
        << "    doap:license <" << plugin.license << "> ;\n";
    writeVersion(out);
    out << "    lv2:optionalFeature lv2:hardRTCapable ;\n";
    for (const PortGroupDescription& group : plugin.groups) {
        out << "    " << (group.input ? "pg:mainInput " : "pg:mainOutput ")
            << groupUri(plugin, group.symbol) << " ;\n";
    }
    out << "    lv2:port\n";
    for (std::size_t i = 0; i < plugin.ports.size(); ++i) {
        writePort(out, plugin, i);
        out << (i + 1 < plugin.ports.size() ? " ,\n" : " .\n");
    }
    return out.str();
}

}  // namespace quorveil::lv2
