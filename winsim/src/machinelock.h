// One program at a time per machine: the lock a process holds on a machine folder for as long as
// the machine is open in it (machine.cpp takes it on open and drops it on close).
#ifndef WINSIM_MACHINELOCK_H
#define WINSIM_MACHINELOCK_H

#include <string>

namespace winsim {

// An exclusive flock on the folder's ".lock" file, which names the holder's process ID. The
// kernel drops it when the holding process ends, however it ends, so a killed program never
// leaves a machine locked. Move-only; released when destroyed.
class MachineLock {
public:
    MachineLock() = default;
    MachineLock(MachineLock&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    MachineLock& operator=(MachineLock&& other) noexcept;
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;
    ~MachineLock() { Release(); }

    // Holds the lock of the machine in `dir`, waiting while another process holds it, and saying
    // so once on standard error. A lock this object already holds on that folder is kept (no other
    // program slips in between); one on another folder is released first. False, with *error,
    // when the lock file cannot be opened or locked.
    bool Take(const std::string& dir, std::string* error);
    void Release();

private:
    int m_fd = -1;
};

} // namespace winsim

#endif
