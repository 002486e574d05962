// The simulated machine a fuzz target works on: made fresh in a temporary folder once per
// process, and removed when the process ends.
#ifndef PW_FUZZ_MACHINE_H
#define PW_FUZZ_MACHINE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// Opens the process's machine (an NT 4.0 one) on the first call; later calls do nothing.
void EnsureMachine();

// Closes the machine, so that what it holds in memory is written to its folder, and opens it
// again: false (and *error) when it cannot read back what it wrote.
bool ReopenMachine(std::string* error);

// Puts back the machine's own files (machine.ini, the hives) as they were when it was made, and
// opens it again: the next input finds a fresh registry.
void RestoreMachine();

// Replaces the file at a Windows path of the machine ("C:\FUZZ.INI") with `size` bytes.
void PutFile(const char* windowsPath, const uint8_t* data, size_t size);

// A number that follows every byte of the input, for the choices a target makes (buffer sizes),
// so that one input always takes the same path.
uint32_t Choice(const uint8_t* data, size_t size);

// Every name of a double-NUL list.
std::vector<std::string> ListNames(const char* list, size_t size);

// Ends the run as a crash, saying what did not hold, when `holds` is false.
void Require(bool holds, const std::string& what);

// True when `buffer` holds a whole double-NUL list within its `size` bytes: names each ended by a
// NUL, then an empty name. Callers walk such a list to its empty name.
bool IsWholeList(const char* buffer, size_t size);

// True when `buffer` holds a text ended within its `size` bytes.
bool IsWholeText(const char* buffer, size_t size);

// A text of the input as the product gets one: up to its first NUL.
std::string Text(const uint8_t* data, size_t size);

} // namespace fuzz

#endif
