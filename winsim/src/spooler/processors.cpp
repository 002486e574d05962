// Print processors: their keys per environment, their files in the processor directory, and
// the calls that add, list and delete them.
#include "pack.h"
#include "spooler.h"

namespace winsim::spooler {

namespace {

// The environment a processor call names. 95/98 have a single environment and do not look at
// the one asked for; false (error set) for one NT does not keep.
bool ProcessorEnv(LPCSTR asked, std::string* env) {
    *env = OwnEnv();
    return !IsNT() || ResolveEnv(asked, env) || Fail(ERROR_INVALID_ENVIRONMENT);
}

} // namespace

// 95/98 keep their built-in processor out of the registry; it is listed all the same.
std::vector<ProcessorRec> Processors(const std::string& env) {
    std::vector<ProcessorRec> list;
    bool builtin = false;
    for (const std::string& k : Subkeys(ProcessorsKey(env))) {
        std::string file = Values(ProcessorsKey(env) + "\\" + k).Text("Driver");
        if (IEquals(k, kWinPrint)) builtin = true;
        list.push_back(ProcessorRec{k, env, file});
    }
    if (!builtin && env == OwnEnv())
        list.insert(list.begin(),
                    ProcessorRec{kWinPrint, env, IsNT() ? "winprint.dll" : "spoolss.dll"});
    return list;
}

bool FindProcessor(const std::string& env, const std::string& name) {
    return FindByName<ProcessorRec>(Processors(env), name, nullptr);
}

// ---- the calls ------------------------------------------------------------------------------

extern "C" {

BOOL WINAPI AddPrintProcessorA(LPSTR pName, LPSTR pEnvironment, LPSTR pPathName,
                               LPSTR pPrintProcessorName) {
    if (!Begin(WINSIM_API_NAME(), pName)) return FALSE;
    const std::string name = Str(pPrintProcessorName), file = Str(pPathName);
    if (name.empty() || name.find('\\') != std::string::npos || file.empty())
        return Fail(ERROR_INVALID_PARAMETER);
    std::string env;
    if (!ProcessorEnv(pEnvironment, &env)) return FALSE;
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    if (FindProcessor(env, name)) return Fail(ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED);
    // The spooler loads a processor built for its own system to find its entry points; one for
    // another system's clients it only keeps.
    if (env == OwnEnv()) {
        if (!LoadProcessor(file, ProcessorDirectory(env))) return FALSE;
    } else if (!FileThere(file, {ProcessorDirectory(env)})) {
        return Fail(ERROR_MOD_NOT_FOUND);
    }
    PutText(ProcessorsKey(env) + "\\" + name, "Driver", FileName(file));
    return TRUE;
}

BOOL WINAPI EnumPrintProcessorsA(LPSTR pName, LPSTR pEnvironment, DWORD Level,
                                 LPBYTE pPrintProcessorInfo, DWORD cbBuf, LPDWORD pcbNeeded,
                                 LPDWORD pcReturned) {
    if (!EnumReady(WINSIM_API_NAME(), pName, pcbNeeded, pcReturned)) return FALSE;
    if (Level != 1) return Fail(ERROR_INVALID_LEVEL);
    // NT refuses a size with no buffer to it; 98 faults there, so 95/98 keep the size answer.
    if (IsNT() && !pPrintProcessorInfo && cbBuf) return Fail(ERROR_INVALID_USER_BUFFER);
    // NT 4.0 lists its own processors for an environment it does not know; 95/98 refuse one.
    std::string env = OwnEnv();
    if (!ResolveEnv(pEnvironment, &env) && !IsNT()) return Fail(ERROR_INVALID_PARAMETER);
    return PackNames(Processors(env), &PRINTPROCESSOR_INFO_1A::pName, pPrintProcessorInfo, cbBuf,
                     pcbNeeded, pcReturned);
}

BOOL WINAPI GetPrintProcessorDirectoryA(LPSTR pName, LPSTR pEnvironment, DWORD Level,
                                        LPBYTE pPrintProcessorInfo, DWORD cbBuf,
                                        LPDWORD pcbNeeded) {
    return QueryDirectory(WINSIM_API_NAME(), ProcessorDirectory, pName, pEnvironment, Level,
                          pPrintProcessorInfo, cbBuf, pcbNeeded);
}

BOOL WINAPI DeletePrintProcessorA(LPSTR pName, LPSTR pEnvironment, LPSTR pPrintProcessorName) {
    std::string env;
    if (!Begin(WINSIM_API_NAME(), pName) || !ProcessorEnv(pEnvironment, &env)) return FALSE;
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    const std::string name = Str(pPrintProcessorName);
    if (!FindProcessor(env, name)) return Fail(ERROR_UNKNOWN_PRINTPROCESSOR);
    if (IEquals(name, kWinPrint)) return Fail(ERROR_ACCESS_DENIED); // the spooler's own
    SysDeleteTree(ProcessorsKey(env) + "\\" + name);
    return TRUE;
}

} // extern "C"

} // namespace winsim::spooler
