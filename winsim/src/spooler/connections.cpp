// Printer connections: NT 4.0's per-user links to shared printers, kept under
// HKCU\Printers\Connections\,,SERVER,SHARE, and the shares the machine's network offers.
#include "spooler.h"


namespace winsim::spooler {

namespace {

const char kConnectionsKey[] = "HKEY_CURRENT_USER\\Printers\\Connections";

// "\\SERVER\SHARE" -> ",,SERVER,SHARE", the key name Windows NT gives a connection.
std::string ConnectionKey(const ConnectionRec& c) {
    return std::string(kConnectionsKey) + "\\,," + c.server + "," + c.share;
}

// The connection a call names, found by `find`; false with the error set. 95/98 keep no
// per-user connections: a network printer there is a local printer on a share name.
bool NamedConnection(LPCSTR name, bool (*find)(const std::string&, ConnectionRec*),
                     ConnectionRec* c) {
    if (!IsNT()) return Fail(ERROR_NOT_SUPPORTED);
    if (!name || !find(name, c)) return Fail(ERROR_INVALID_PRINTER_NAME);
    return true;
}

} // namespace

bool SplitShare(const std::string& path, std::string* server, std::string* share) {
    if (path.size() < 5 || path[0] != '\\' || path[1] != '\\') return false;
    size_t bs = path.find('\\', 2);
    if (bs == std::string::npos || bs == 2 || bs + 1 >= path.size()) return false;
    if (path.find_first_of("\\,", bs + 1) != std::string::npos) return false;
    if (path.find(',') < bs) return false;
    *server = path.substr(2, bs - 2);
    *share = path.substr(bs + 1);
    return true;
}

std::vector<ConnectionRec> Connections() {
    std::vector<ConnectionRec> list;
    if (!IsNT()) return list;
    for (const std::string& k : Subkeys(kConnectionsKey)) {
        if (k.size() < 4 || k.compare(0, 2, ",,") != 0) continue;
        size_t comma = k.find(',', 2);
        if (comma == std::string::npos) continue;
        ConnectionRec c;
        c.server = k.substr(2, comma - 2);
        c.share = k.substr(comma + 1);
        c.name = "\\\\" + c.server + "\\" + c.share;
        c.driver = Values(std::string(kConnectionsKey) + "\\" + k).Text("Printer Driver");
        list.push_back(c);
    }
    return list;
}

bool FindConnection(const std::string& path, ConnectionRec* c) {
    return FindByName(Connections(), path, c);
}

bool FindShare(const std::string& path, ConnectionRec* c) {
    MachineState& m = Require();
    if (GetSetting("machine", "network", "1") == "0") return false;
    for (const auto& e : m.ini.Entries("network")) {
        if (!IEquals(Trim(e.first), path)) continue;
        if (!SplitShare(Trim(e.first), &c->server, &c->share)) return false;
        c->name = Trim(e.first);
        c->driver = e.second;
        size_t semi = c->driver.find(';');
        if (semi != std::string::npos) c->driver = Trim(c->driver.substr(0, semi));
        return true;
    }
    return false;
}

PrinterView ViewOf(const ConnectionRec& c, const std::string& profileDefault) {
    PrinterView v;
    v.name = c.name;
    v.server = "\\\\" + c.server;
    v.share = c.share;
    v.driver = c.driver;
    v.processor = kWinPrint;
    v.datatype = "RAW";
    v.attributes = PRINTER_ATTRIBUTE_NETWORK;
    if (IEquals(profileDefault, c.name)) v.attributes |= PRINTER_ATTRIBUTE_DEFAULT;
    return v;
}

// ---- the calls ------------------------------------------------------------------------------

extern "C" {

BOOL WINAPI AddPrinterConnectionA(LPSTR pName) {
    ConnectionRec c, existing;
    if (!Begin(WINSIM_API_NAME()) || !NamedConnection(pName, FindShare, &c)) return FALSE;
    if (FindConnection(c.name, &existing)) return TRUE;
    const std::string key = ConnectionKey(c);
    PutText(key, "Server", "\\\\" + c.server);
    PutText(key, "Provider", "win32spl.dll");
    PutText(key, "Printer Driver", c.driver);
    return TRUE;
}

BOOL WINAPI DeletePrinterConnectionA(LPSTR pName) {
    ConnectionRec c;
    if (!Begin(WINSIM_API_NAME()) || !NamedConnection(pName, FindConnection, &c)) return FALSE;
    SysDeleteTree(ConnectionKey(c));
    ForgetDefault(c.name);
    return TRUE;
}

} // extern "C"

} // namespace winsim::spooler
