// A fresh machine (NT 4.0 unless named) in a temporary folder, open for the length of one
// benchmark.
#ifndef BENCH_BENCH_MACHINE_H
#define BENCH_BENCH_MACHINE_H

#include <winsim/machine.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

class BenchMachine {
  public:
    explicit BenchMachine(winsim::Os os = winsim::Os::Nt4) {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "winsim-bench-XXXXXX").string();
        const char* made = mkdtemp(tmpl.data());
        if (!made || !winsim::CreateMachine(made, os) || !winsim::OpenMachine(made)) {
            std::fprintf(stderr, "cannot create a machine\n");
            std::abort();
        }
        m_dir = made;
    }
    ~BenchMachine() {
        winsim::CloseMachine();
        std::filesystem::remove_all(m_dir);
    }
    BenchMachine(const BenchMachine&) = delete;
    BenchMachine& operator=(const BenchMachine&) = delete;

    const std::string& Dir() const { return m_dir; }

  private:
    std::string m_dir;
};

#endif
