// The change notifications behind FileWatch: one inotify instance of the process, its watches
// counted by the FileWatch objects that use them, its queue read (without waiting) whenever one
// asks whether its file is unchanged. A watch is set before its owner checks the file, and the
// kernel queues an event once a change is made, so a change made after the check is in the queue
// by the time the next call reads it. Events that were lost (the queue overflowed) vouch for
// nothing: every watch then checks its file again and sets its watches afresh.
#include "filewatch.h"

#include "internal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <map>

#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace winsim {

namespace {

// A folder on the path: an entry named as the path's next component made, deleted or renamed,
// or the folder itself moved or deleted. A symbolic link is not followed, so a link on the path
// is refused (IN_ONLYDIR) rather than watched in place of the folder it names.
constexpr uint32_t kFolderMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                 IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;
// The file: written, truncated, closed after writing, its times or links changed (a touch, a
// rename over it or a delete under any of its names), or itself moved or deleted.
constexpr uint32_t kFileMask = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF |
                               IN_MOVE_SELF | IN_DONT_FOLLOW;
// The events that say the watched folder or file itself is gone from where it was watched.
constexpr uint32_t kSelfGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

// File systems whose files other machines change without a notification here.
bool ReportsEveryChange(const std::string& host) {
    struct statfs fs;
    if (statfs(host.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969UL:     // NFS
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case 0x65735546UL: // FUSE
    case 0x01021997UL: // 9P
    case 0x00C36400UL: // Ceph
    case 0x5346414FUL: // AFS
        return false;
    default:
        return true;
    }
}

// An absolute path without empty, "." or ".." components, so that each prefix is the folder the
// file lies in at that depth.
bool IsPlainAbsolute(const std::string& host) {
    if (host.size() < 2 || host[0] != '/' || host.back() == '/') return false;
    size_t pos = 1;
    while (pos <= host.size()) {
        size_t end = host.find('/', pos);
        if (end == std::string::npos) end = host.size();
        const size_t len = end - pos;
        if (len == 0 || (len == 1 && host[pos] == '.') ||
            (len == 2 && host[pos] == '.' && host[pos + 1] == '.'))
            return false;
        pos = end + 1;
    }
    return true;
}

} // namespace

// The process's notifications and the FileWatch objects they report to.
class Watches {
  public:
    static Watches& Instance() {
        // Never destroyed: cached files may be dropped by a static destructor at exit.
        static auto* watches = new Watches;
        return *watches;
    }

    bool Open() {
        if (m_fd < 0 && !m_failed) {
            m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            m_failed = m_fd < 0;
        }
        return m_fd >= 0;
    }

    // A watch on `path` for its owner, counted; -1 when it cannot be set.
    int Add(const std::string& path, uint32_t mask) {
        const int wd = ::inotify_add_watch(m_fd, path.c_str(), mask);
        if (wd >= 0) ++m_uses[wd];
        return wd;
    }

    void Remove(int wd) {
        auto it = m_uses.find(wd);
        if (it == m_uses.end()) return; // the kernel dropped it already
        if (--it->second == 0) {
            ::inotify_rm_watch(m_fd, wd);
            m_uses.erase(it);
        }
    }

    void List(FileWatch* w) { m_watchers.push_back(w); }
    void Unlist(FileWatch* w) {
        m_watchers.erase(std::remove(m_watchers.begin(), m_watchers.end(), w), m_watchers.end());
    }

    // Reads what the kernel queued, without waiting, and tells each watch what concerns it.
    void Drain() {
        if (m_fd >= 0) ReadNotifications(m_fd, [this](const inotify_event& ev) { Apply(ev); });
    }

  private:
    Watches() {
        pthread_atfork(nullptr, nullptr, [] { Instance().ForgetInChild(); });
    }

    void Apply(const inotify_event& ev) {
        if (ev.mask & IN_Q_OVERFLOW) {
            for (FileWatch* w : m_watchers)
                w->Lost();
            return;
        }
        if (ev.mask & IN_IGNORED) m_uses.erase(ev.wd); // the kernel dropped the watch
        const char* name = ev.len ? ev.name : "";
        for (FileWatch* w : m_watchers)
            w->Apply(ev.wd, ev.mask, name);
    }

    // A forked child shares the parent's queue: reading it would take the parent's events. The
    // child closes its copy and sets watches of its own when it next checks a file.
    void ForgetInChild() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        m_failed = false;
        m_uses.clear();
        for (FileWatch* w : m_watchers) {
            w->m_deps.clear();
            w->m_valid = 0;
            w->m_vouched = false;
            w->m_listed = false;
        }
        m_watchers.clear();
    }

    int m_fd = -1;
    bool m_failed = false;
    std::map<int, int> m_uses; // watch descriptor: how many deps use it
    std::vector<FileWatch*> m_watchers;
};

void ReadNotifications(int fd, const std::function<void(const inotify_event&)>& apply) {
    // The instance does not block: a read of an empty queue answers EAGAIN in the one call that
    // asking how much is queued would cost, and a queue with events is read in that call too.
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // EAGAIN: the queue is empty
        for (char* p = buffer; p < buffer + n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(p);
            apply(*ev);
            p += sizeof(inotify_event) + ev->len;
        }
        // A read takes every queued event that fits, so one that left room for the longest
        // emptied the queue: asking again would only find nothing.
        if (static_cast<size_t>(n) <= sizeof buffer - (sizeof(inotify_event) + NAME_MAX + 1))
            return;
    }
}

FileWatch::~FileWatch() {
    Release(0);
    if (m_listed) Watches::Instance().Unlist(this);
}

void FileWatch::Release(size_t from) {
    Watches& watches = Watches::Instance();
    for (size_t i = from; i < m_deps.size(); ++i)
        watches.Remove(m_deps[i].wd);
    m_deps.resize(std::min(from, m_deps.size()));
    m_valid = std::min(m_valid, m_deps.size());
    m_vouched = false;
}

bool FileWatch::Arm(const std::string& host) {
    Watches& watches = Watches::Instance();
    if (host != m_host) {
        Release(0);
        m_host = host;
    }
    // What was reported before the check is taken in now, so the check answers for it.
    watches.Drain();
    if (!m_deps.empty() && m_valid == m_deps.size()) return true;
    if (!watches.Open() || !IsPlainAbsolute(host) || !ReportsEveryChange(host)) {
        Release(0);
        return false;
    }
    if (!m_listed) {
        watches.List(this);
        m_listed = true;
    }
    // What the path names from the first dep no longer trusted: watched anew (the same folder or
    // file keeps its watch descriptor), then the old watches let go.
    std::vector<Dep> fresh;
    bool ok = true;
    // Each folder from the root down, with the path's next component in it, then the file.
    size_t depth = 0;
    for (size_t pos = 0; ok && pos != std::string::npos; ++depth) {
        const size_t next = host.find('/', pos + 1);
        if (depth >= m_valid) {
            const int wd = watches.Add(pos == 0 ? "/" : host.substr(0, pos), kFolderMask);
            const size_t nameEnd = next == std::string::npos ? host.size() : next;
            if (wd < 0)
                ok = false;
            else
                fresh.push_back(Dep{wd, host.substr(pos + 1, nameEnd - pos - 1)});
        }
        pos = next;
    }
    if (ok) {
        // IN_DONT_FOLLOW would watch a link itself: the file must be a plain file.
        struct stat st;
        const int wd = lstat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode)
                           ? watches.Add(host, kFileMask)
                           : -1;
        if (wd < 0)
            ok = false;
        else
            fresh.push_back(Dep{wd, ""});
    }
    const size_t keep = std::min(m_valid, m_deps.size());
    Release(keep);
    for (Dep& d : fresh)
        m_deps.push_back(std::move(d));
    if (!ok) {
        Release(0);
        return false;
    }
    m_valid = m_deps.size();
    return true;
}

void FileWatch::Vouch() {
    m_vouched = !m_deps.empty() && m_valid == m_deps.size();
}

bool FileWatch::Unchanged() {
    if (!m_vouched) return false;
    Watches::Instance().Drain();
    return m_vouched;
}

void FileWatch::Apply(int wd, unsigned mask, const char* name) {
    if (m_deps.empty()) return;
    const size_t fileAt = m_deps.size() - 1;
    for (size_t i = 0; i < m_deps.size(); ++i) {
        if (m_deps[i].wd != wd) continue;
        if (mask & kSelfGone) {
            m_vouched = false;
            m_valid = std::min(m_valid, i);
        } else if (i == fileAt) {
            m_vouched = false; // written, touched, or a name of it changed
        } else if (*name && IEquals(name, m_deps[i].name)) {
            // The entry at this depth (any spelling: the path's name may be looked up without
            // regard to case) may now be another.
            m_vouched = false;
            m_valid = std::min(m_valid, i + 1);
        }
    }
}

void FileWatch::Lost() {
    m_vouched = false;
    m_valid = 0;
}

} // namespace winsim
