// The hives' logs. A log is REGEDIT4 text: a header with its generation, then one record per
// change, "[path]" or "[-path]" and the lines of the change, ended by a blank line, each written
// in one write(). A kill can thus leave at most a torn last record, which the next open leaves out
// (its call never returned).
#include "hivelog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace winsim;
using namespace winsim::registry;

namespace {

constexpr char kGenerationLine[] = ";generation=";
constexpr char kRecordEnd[] = "\r\n\r\n";

struct LogFile {
    int fd = -1;
    uint64_t size = 0;           // bytes of whole records: where the next one goes
    bool exists = false;         // a file with our header and `size` bytes to keep
    uint64_t hiveGeneration = 0; // carried by the hive as it was last read or written
    uint64_t generation = 1;     // of this log: the hive's next
};

LogFile g_logs[2];
bool g_logging = false;

std::string Header(uint64_t generation) {
    return std::string("REGEDIT4\r\n") + kGenerationLine + std::to_string(generation) + kRecordEnd;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Opens the log for appending after its whole records (a stale or torn rest is cut off).
bool OpenForAppend(Hive hive, LogFile* l) {
    if (l->fd >= 0) return true;
    l->fd = open(LogPath(hive).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (l->fd < 0) return false;
    if (!l->exists) l->size = 0;
    if (ftruncate(l->fd, static_cast<off_t>(l->size)) != 0 ||
        lseek(l->fd, static_cast<off_t>(l->size), SEEK_SET) < 0) {
        close(l->fd);
        l->fd = -1;
        return false;
    }
    return true;
}

} // namespace

namespace winsim::registry {

std::string LogPath(Hive hive) {
    return MachineDir() + (hive == kSystemHive ? "/system.reg.log" : "/user.reg.log");
}

bool IsLogged(const Key& k) {
    return g_logging && k.hive != kNoHive && !k.isVolatile;
}

void SetLogging(bool on) {
    g_logging = on;
}

bool LogChange(const Key& k, const std::string& lines, bool deleteKey) {
    LogFile& l = g_logs[k.hive];
    std::string record = l.exists ? "" : Header(l.generation);
    record += deleteKey ? "[-" : "[";
    record += FullPath(&k);
    record += "]\r\n";
    record += lines;
    record += "\r\n";
    if (OpenForAppend(k.hive, &l) && WriteAll(l.fd, record)) {
        l.size += record.size();
        l.exists = true;
        return true;
    }
    const int why = errno;
    if (l.fd >= 0 && (ftruncate(l.fd, static_cast<off_t>(l.size)) != 0 ||
                      lseek(l.fd, static_cast<off_t>(l.size), SEEK_SET) < 0)) {
        close(l.fd); // reopened and cut at the next change
        l.fd = -1;
    }
    NoteMachineError(LogPath(k.hive) + ": cannot be written: " + std::strerror(why));
    return false;
}

bool ReadLog(Hive hive, uint64_t hiveGeneration, std::string* text) {
    LogFile& l = g_logs[hive];
    l = LogFile{};
    l.hiveGeneration = hiveGeneration;
    l.generation = hiveGeneration + 1;
    text->clear();
    std::string all;
    struct stat st;
    if (stat(LogPath(hive).c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISREG(st.st_mode) || !ReadWholeFile(LogPath(hive), &all)) return false;
    // A header cut short came with no record: the first write carries both.
    const std::string start = std::string("REGEDIT4\r\n") + kGenerationLine;
    if (all.compare(0, start.size(), start) != 0) return all.size() < start.size();
    size_t end = all.find(kRecordEnd);
    if (end == std::string::npos) return true;
    const uint64_t generation = std::strtoull(all.c_str() + start.size(), nullptr, 10);
    if (generation <= hiveGeneration) return true; // folded before a kill could remove it
    size_t whole = all.rfind(kRecordEnd);
    all.resize(whole + std::strlen(kRecordEnd));
    l.exists = true;
    l.size = all.size();
    l.generation = generation;
    *text = std::move(all);
    return true;
}

void RemoveFoldedLog(Hive hive) {
    if (!g_logs[hive].exists) unlink(LogPath(hive).c_str());
}

uint64_t FoldGeneration(Hive hive) {
    return g_logs[hive].generation;
}

bool LogFolded(Hive hive) {
    LogFile& l = g_logs[hive];
    if (l.fd >= 0) close(l.fd);
    const uint64_t folded = l.generation;
    l = LogFile{};
    l.hiveGeneration = folded;
    l.generation = folded + 1;
    return unlink(LogPath(hive).c_str()) == 0 || errno == ENOENT;
}

void CloseLogs() {
    for (LogFile& l : g_logs) {
        if (l.fd >= 0) close(l.fd);
        l = LogFile{};
    }
    g_logging = false;
}

} // namespace winsim::registry
