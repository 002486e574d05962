// A fresh machine with the uninstaller's state reset as the program entry sets it, a script at
// C:\KV\UNINST.INI, and helpers to place and inspect files by their Windows paths.
#ifndef TESTS_UNINSTALL_REMOVAL_FIXTURE_H
#define TESTS_UNINSTALL_REMOVAL_FIXTURE_H

#include "support/machine_fixture.h"

#include "common/registry.h"
#include "pwuninst.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

class RemovalTest : public EveryOsTest {
  protected:
    void SetUp() override {
        EveryOsTest::SetUp();
        ResetState();
    }

    // What WinMain sets before any removal runs.
    static void ResetState() {
        Instance = GetModuleHandleA(nullptr);
        IsWindowsNT = GetVersion() < 0x80000000u ? 1 : 0;
        char dir[UN_PATH_SIZE];
        GetWindowsDirectoryA(dir, sizeof dir);
        std::strcpy(WininitPath, dir);
        if (WininitPath[std::strlen(WininitPath) - 1] != '\\') std::strcat(WininitPath, "\\");
        std::strcat(WininitPath, "WININIT.INI");
        std::strcpy(ScriptPath, "C:\\KV\\UNINST.INI");
        CaptionText[0] = '\0';
        RestartNeeded = 0;
        BatchNeeded = 0;
        PageWindow = nullptr;
        BackgroundWindow = nullptr;
    }

    bool Nt() const { return GetParam() == winsim::Os::Nt4; }

    // A text of the program's string table; its wording is checked once, in resources_test.
    static std::string StringOf(UINT id) {
        char text[UN_TEXT_SIZE];
        const int n = LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text);
        return n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
    }

    void WriteScript(const std::string& text) { Put("C:\\KV\\UNINST.INI", text); }

    // A file with the given content at a Windows path, folders created as needed.
    static void Put(const std::string& windowsPath, const std::string& text = "MZ") {
        const size_t bs = windowsPath.rfind('\\');
        std::string dir = windowsPath.substr(0, bs);
        std::filesystem::create_directories(HostDir(dir));
        WriteHostFile(winsim::HostPath(dir) + "/" + windowsPath.substr(bs + 1), text);
    }
    static bool Exists(const std::string& windowsPath) {
        return GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    static std::string Read(const std::string& windowsPath) {
        return ReadHostFile(winsim::HostPath(windowsPath));
    }
    // Host folder of a Windows folder that may not exist yet (case kept as written).
    static std::string HostDir(const std::string& windowsDir) {
        std::string host = winsim::MachineDir() + "/drive_" +
                           std::string(1, static_cast<char>(std::tolower(windowsDir[0])));
        std::string existing = winsim::HostPath(windowsDir);
        if (!existing.empty() && std::filesystem::exists(existing)) return existing;
        std::string rest = windowsDir.substr(2);
        for (char& c : rest)
            if (c == '\\') c = '/';
        return host + rest;
    }

    static std::string WindowsDir() {
        char dir[UN_PATH_SIZE];
        GetWindowsDirectoryA(dir, sizeof dir);
        return dir;
    }
    static std::string SystemDir() {
        char dir[UN_PATH_SIZE];
        GetSystemDirectoryA(dir, sizeof dir);
        return dir;
    }
    static std::string ShellFolder(HKEY root, const char* name) {
        HKEY key = nullptr;
        char value[UN_PATH_SIZE] = "";
        if (RegOpenKeyA(root,
                        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                        &key) == ERROR_SUCCESS) {
            DWORD size = sizeof value;
            RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(value), &size);
            RegCloseKey(key);
        }
        return value;
    }
    // The Programs and desktop folders the uninstaller uses: the machine's on NT, the user's on
    // 95/98.
    std::string Programs() const {
        return Nt() ? ShellFolder(HKEY_LOCAL_MACHINE, "Common Programs")
                    : ShellFolder(HKEY_CURRENT_USER, "Programs");
    }
    std::string Desktop() const {
        return Nt() ? ShellFolder(HKEY_LOCAL_MACHINE, "Common Desktop")
                    : ShellFolder(HKEY_CURRENT_USER, "Desktop");
    }

    // The lines of a text file (CR LF stripped).
    static std::vector<std::string> Lines(const std::string& windowsPath) {
        std::vector<std::string> out;
        std::string text = Read(windowsPath);
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find("\r\n", pos);
            if (end == std::string::npos) end = text.size();
            out.push_back(text.substr(pos, end - pos));
            pos = end + 2;
        }
        return out;
    }

    // NT's delayed deletions, in order (the "\??\" prefix dropped).
    static std::vector<std::string> PendingDeletions() {
        uint32_t type = 0;
        std::vector<uint8_t> data;
        std::vector<std::string> out;
        if (!winsim::ReadValue(
                "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                "PendingFileRenameOperations", &type, &data))
            return out;
        std::vector<std::string> items;
        std::string cur;
        for (uint8_t b : data) {
            if (b == 0) {
                items.push_back(cur);
                cur.clear();
            } else {
                cur += static_cast<char>(b);
            }
        }
        for (size_t i = 0; i + 1 < items.size(); i += 2)
            if (items[i + 1].empty() && !items[i].empty())
                out.push_back(items[i].substr(items[i].rfind("\\??\\") == 0 ? 4 : 0));
        return out;
    }

    static DWORD ReadCount(const std::string& path) {
        uint32_t type = 0;
        std::vector<uint8_t> data;
        if (!winsim::ReadValue("HKEY_LOCAL_MACHINE\\" PW_SHARED_DLLS_KEY, path, &type, &data) ||
            data.size() != 4)
            return 0xFFFFFFFFu;
        return data[0] | data[1] << 8 | data[2] << 16 | static_cast<DWORD>(data[3]) << 24;
    }
    static void SetCount(const std::string& path, DWORD count) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, PW_SHARED_DLLS_KEY, &key), ERROR_SUCCESS);
        RegSetValueExA(key, path.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count),
                       sizeof count);
        RegCloseKey(key);
    }
};

#endif
