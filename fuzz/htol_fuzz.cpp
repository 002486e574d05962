// Setup's hexadecimal texts (a driver's version, a printer's attributes), of any content.
#include "support/fuzz_machine.h"

#include "printer/inf.h"

#include "winsim/machine.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::EnsureMachine();
    const std::string text = fuzz::Text(data, size);
    // A buffer of exactly the text, so a read or write past its end is seen.
    std::unique_ptr<char[]> buffer(new char[text.size() + 1]);
    std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
    htol(buffer.get());
    winsim::ClearDebugOutput();
    return 0;
}
