// The machine folder's lock: one program at a time per machine (machinelock.h).
#include "machinelock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace winsim {

namespace {

bool SameFile(int fd, const std::string& path) {
    struct stat held, named;
    return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// " (process N)" from the lock file's first line, or "" while the holder has not named itself.
std::string Holder(int fd) {
    char buf[32] = {};
    ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
    std::string pid;
    for (ssize_t i = 0; i < n && buf[i] >= '0' && buf[i] <= '9'; ++i)
        pid += buf[i];
    return pid.empty() ? "" : " (process " + pid + ")";
}

// Written before the old text is cut, so a waiting program never reads an empty file.
void NameHolder(int fd) {
    const std::string pid = std::to_string(getpid()) + "\n";
    if (pwrite(fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size()) &&
        ftruncate(fd, static_cast<off_t>(pid.size())) != 0) {
        // Only the name of the holder is at stake; the lock holds.
    }
}

} // namespace

MachineLock& MachineLock::operator=(MachineLock&& other) noexcept {
    if (this != &other) {
        Release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

bool MachineLock::Take(const std::string& dir, std::string* error) {
    const std::string path = dir + "/.lock";
    if (m_fd >= 0 && SameFile(m_fd, path)) return true;
    Release();
    auto fail = [&](const char* what) {
        if (error) *error = std::string("cannot ") + what + " " + path + ": " + std::strerror(errno);
        return false;
    };
    // Not inherited by a program this one starts: that program opens the machine itself.
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return fail("open");
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            int saved = errno;
            close(fd);
            errno = saved;
            return fail("lock");
        }
        std::fprintf(stderr, "winsim: %s is in use by another program%s; waiting\n", dir.c_str(),
                     Holder(fd).c_str());
        std::fflush(stderr);
        while (flock(fd, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            int saved = errno;
            close(fd);
            errno = saved;
            return fail("lock");
        }
    }
    NameHolder(fd);
    m_fd = fd;
    return true;
}

// Closing drops the lock, and only the lock of this process: a child forked while it was held
// shares the open file, and flock(LOCK_UN) there would free the parent's machine under it.
void MachineLock::Release() {
    if (m_fd < 0) return;
    close(m_fd);
    m_fd = -1;
}

} // namespace winsim
