// REGEDIT4 text: an import of any text, and the hives written from what it imported, which the
// machine must read back as they were.
#include "support/fuzz_machine.h"

#include "winsim/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::EnsureMachine();
    std::string error;
    // A malformed text applies nothing: the registry stays fresh for the next input.
    if (!winsim::ImportRegistry(std::string(reinterpret_cast<const char*>(data), size), &error))
        return 0;
    const std::string imported = winsim::ExportRegistry();
    fuzz::Require(fuzz::ReopenMachine(&error), "the hives written do not read back: " + error);
    fuzz::Require(winsim::ExportRegistry() == imported, "the hives read back differ from those written");
    fuzz::RestoreMachine();
    return 0;
}
