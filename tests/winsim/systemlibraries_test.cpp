// The system libraries a fresh machine has as files in its system directory: which ones on which
// system, and that loading them by name or path behaves as on Windows.
#include "support/machine_fixture.h"

#include <windows.h>
#include <winspool.h>

#include <filesystem>
#include <string>

namespace {

class SystemLibraryTest : public EveryOsTest {
  protected:
    bool Nt() const { return GetParam() == winsim::Os::Nt4; }
    std::string SystemDir() {
        char sys[MAX_PATH];
        GetSystemDirectoryA(sys, sizeof sys);
        return sys;
    }
    bool HasFile(const std::string& windowsPath) {
        return GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
};

TEST_P(SystemLibraryTest, AFreshMachineHasTheSystemsOwnFiles) {
    const std::string sys = SystemDir();
    for (const char* name : {"KERNEL32.DLL", "NETAPI32.DLL", "WINSPOOL.DRV", "SPOOLSS.DLL",
                             "VERSION.DLL"})
        EXPECT_TRUE(HasFile(sys + "\\" + name)) << name;
    // 95/98's "Local Port" monitor is part of spoolss.dll; NT's is a file of its own, and NT
    // keeps its print processor in the processor directory.
    EXPECT_EQ(HasFile(sys + "\\localmon.dll"), Nt());
    EXPECT_EQ(HasFile(sys + "\\spool\\prtprocs\\w32x86\\winprint.dll"), Nt());
}

TEST_P(SystemLibraryTest, WinspoolLoadsByNameAndHandsOutTheSpoolersCalls) {
    HMODULE spool = LoadLibraryA("winspool.drv");
    ASSERT_NE(spool, nullptr) << GetLastError();
    EXPECT_EQ(LoadLibraryA((SystemDir() + "\\WINSPOOL.DRV").c_str()), spool) << "one module";
    EXPECT_EQ(GetModuleHandleA("WINSPOOL.DRV"), spool);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(spool, "OpenPrinterA")),
              reinterpret_cast<void*>(&OpenPrinterA));
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(spool, "DocumentPropertiesA")),
              reinterpret_cast<void*>(&DocumentPropertiesA));
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(spool, "EnumPrintersW")),
              reinterpret_cast<void*>(&EnumPrintersW));
    EXPECT_EQ(GetProcAddress(spool, "GetDefaultPrinterA"), nullptr) << "a later system's call";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(spool));
    EXPECT_TRUE(FreeLibrary(spool));
    EXPECT_EQ(GetModuleHandleA("WINSPOOL.DRV"), nullptr) << "unloaded with its last reference";

    // The router hands out the W calls only.
    HMODULE router = LoadLibraryA("spoolss.dll");
    ASSERT_NE(router, nullptr) << GetLastError();
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(router, "OpenPrinterW")),
              reinterpret_cast<void*>(&OpenPrinterW));
    EXPECT_EQ(GetProcAddress(router, "OpenPrinterA"), nullptr);
    FreeLibrary(router);
}

TEST_P(SystemLibraryTest, ALibraryWithoutItsFileDoesNotLoad) {
    ASSERT_TRUE(DeleteFileA((SystemDir() + "\\NETAPI32.DLL").c_str()));
    EXPECT_EQ(LoadLibraryA("netapi32.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    // A copy elsewhere is the same library, found where the search looks.
    ASSERT_TRUE(CopyFileA((SystemDir() + "\\VERSION.DLL").c_str(), "C:\\WINDOWS\\VER2.DLL", TRUE));
    HMODULE copy = LoadLibraryA("ver2");
    ASSERT_NE(copy, nullptr) << GetLastError();
    EXPECT_EQ(copy, LoadLibraryA("version.dll"));
    FreeLibrary(copy);
    FreeLibrary(copy);
}

TEST_P(SystemLibraryTest, ACallALibraryDoesNotExportIsNotFound) {
    HMODULE version = LoadLibraryA("version.dll");
    ASSERT_NE(version, nullptr) << GetLastError();
    EXPECT_EQ(GetProcAddress(version, "InitializePrintMonitor"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(LoadLibraryA("localmon.dll") != nullptr, Nt());
    if (!Nt()) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }
    FreeLibrary(version);
}

INSTANTIATE_EVERY_OS(SystemLibraryTest);

} // namespace
