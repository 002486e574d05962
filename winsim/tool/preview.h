// A command's preview: the command runs on a copy of the machine, and what it changed there is
// printed (with what would stay for a shared count and what waits for the next start); the
// machine itself is not touched.
#ifndef WINSIM_TOOL_PREVIEW_H
#define WINSIM_TOOL_PREVIEW_H

#include <iosfwd>
#include <string>

namespace winsim {

// A copy of a machine folder in a scratch folder, removed with the object.
class MachineCopy {
  public:
    MachineCopy() = default;
    MachineCopy(const MachineCopy&) = delete;
    MachineCopy& operator=(const MachineCopy&) = delete;
    ~MachineCopy();
    // Copies `dir` (without its lock) to a new folder; false with *error when it cannot.
    bool Make(const std::string& dir, std::string* error);
    const std::string& Dir() const { return m_copy; }

  private:
    std::string m_scratch;
    std::string m_copy;
};

// Prints what `after` (a copy of `original` that a command ran on) differs by, the shared
// counts that keep files, and what the next start of Windows would still do on it. False when
// a machine cannot be opened (the reason on `err`).
bool PrintPreview(const std::string& original, const std::string& after, std::ostream& out,
                  std::ostream& err);

} // namespace winsim

#endif
