// The spooler as the control API shows it to tests and to `winsim show`.
#include "spooler.h"

#include <cstdio>

namespace winsim {

using namespace spooler;

SpoolerState ReadSpooler() {
    SpoolerState s;
    Require();
    const std::string def = DefaultPrinterName(), profile = ProfileDefault();
    for (const PrinterRec& p : LocalPrinters())
        s.printers.push_back(SpoolerPrinter{p.name, p.port, p.driver, p.processor, p.datatype,
                                            ReportedAttributes(p.name, p.attributes, profile),
                                            IEquals(p.name, def)});
    std::vector<std::string> envs{OwnEnv()};
    if (IsNT()) envs.push_back(kEnv40);
    for (const std::string& env : envs) {
        for (const DriverRec& d : Drivers(env))
            s.drivers.push_back(
                SpoolerDriver{d.name, d.env, d.version, d.file, d.monitor, d.dependents});
        for (const ProcessorRec& p : Processors(env))
            s.processors.push_back(SpoolerProcessor{p.name, p.env, p.file});
    }
    for (const MonitorRec& m : Monitors())
        s.monitors.push_back(SpoolerMonitor{m.name, m.file});
    for (const PortRec& p : Ports())
        s.ports.push_back(SpoolerPort{p.name, p.monitor});
    for (const ConnectionRec& c : Connections())
        s.connections.push_back(SpoolerConnection{c.name, c.driver, IEquals(c.name, def)});
    s.defaultPrinter = def;
    return s;
}

std::vector<std::string> SpoolerLines() {
    SpoolerState s = ReadSpooler();
    std::vector<std::string> lines;
    auto q = [](const std::string& t) { return "\"" + t + "\""; };
    for (const SpoolerPrinter& p : s.printers) {
        char attr[16];
        std::snprintf(attr, sizeof attr, "0x%08X", p.attributes);
        lines.push_back("printer " + q(p.name) + " port " + q(p.port) + " driver " + q(p.driver) +
                        " processor " + q(p.processor) + " datatype " + q(p.datatype) +
                        " attributes " + attr + (p.isDefault ? " default" : ""));
    }
    for (const SpoolerDriver& d : s.drivers)
        lines.push_back("driver " + q(d.name) + " environment " + q(d.environment) + " version " +
                        std::to_string(d.version) + " file " + q(d.file) + " monitor " +
                        q(d.monitor));
    for (const SpoolerMonitor& m : s.monitors)
        lines.push_back("monitor " + q(m.name) + " file " + q(m.file));
    for (const SpoolerProcessor& p : s.processors)
        lines.push_back("processor " + q(p.name) + " environment " + q(p.environment) + " file " +
                        q(p.file));
    for (const SpoolerPort& p : s.ports)
        lines.push_back("port " + q(p.name) + " monitor " + q(p.monitor));
    for (const SpoolerConnection& c : s.connections)
        lines.push_back("connection " + q(c.name));
    return lines;
}

} // namespace winsim
