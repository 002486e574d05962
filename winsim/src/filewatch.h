// Host files watched for changes, whoever makes them (this process, another program, a person in
// the machine folder): a cache of a file's content learns that the file is as it was when the
// cache last checked it from one look at the host's change notifications (inotify), without a
// stat of the file.
#ifndef WINSIM_FILEWATCH_H
#define WINSIM_FILEWATCH_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct inotify_event;

namespace winsim {

// Hands each event queued on the inotify instance `fd` (made with IN_NONBLOCK) to `apply`,
// without waiting: a queue found empty costs one read.
void ReadNotifications(int fd, const std::function<void(const inotify_event&)>& apply);

// One cached file's watch: the file itself (its content and attributes, under any of its names)
// and every folder on its path from the root (an entry of the path created, deleted or renamed,
// a folder of it moved or deleted). Vouched for means: checked by its owner after the watches
// were set, and no event concerning it reported since. Not copied or moved: the watches report
// to it where it stands.
class FileWatch {
  public:
    FileWatch() = default;
    ~FileWatch();
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // Sets what is missing of the watches on `host` (an absolute host path): to be called before
    // the owner checks the file, so that any change after the check is reported. False when the
    // file cannot be watched soundly (no notifications to be had, a path through a symbolic
    // link or with "." or "..", a file system that does not report other machines' changes); the
    // owner then checks the file at every use, as without a watch.
    bool Arm(const std::string& host);
    // The owner checked the file since Arm succeeded: vouched for until an event concerns it.
    void Vouch();
    // Whether the file is vouched for still, once what the host reported meanwhile is read.
    bool Unchanged();
    // The owner's copy no longer follows the file (it wrote the file itself, or read another).
    void Doubt() { m_vouched = false; }

  private:
    friend class Watches;
    struct Dep {
        int wd;
        std::string name; // the path's next component in this folder; empty for the file
    };
    void Release(size_t from); // drops the watches of m_deps[from...]
    // An event on watch `wd`; name empty for one about the watched folder or file itself.
    void Apply(int wd, unsigned mask, const char* name);
    void Lost(); // events were lost: nothing of the watch can be trusted

    std::string m_host;
    std::vector<Dep> m_deps; // the folders from the root down, then the file
    size_t m_valid = 0;      // the leading deps that still watch what the path names
    bool m_vouched = false;
    bool m_listed = false; // among those the notifications report to
};

} // namespace winsim

#endif
