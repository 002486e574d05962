// version.dll's calls: a module file's version resource as the A calls hand it out on each
// system, files without one, and the library's export table.
#include "setup/resources/version.h"
#include "support/machine_fixture.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kLibrary[] = "C:\\KV\\PWSETUP.DLL";

class VersionTest : public EveryOsTest {
  protected:
    void SetUp() override {
        EveryOsTest::SetUp();
        ASSERT_TRUE(CreateDirectoryA("C:\\KV", nullptr));
        WriteHostFile(HostFile("KV/PWSETUP.DLL"), ReadHostFile(PWSETUP_PATH));
    }
    bool Nt() const { return GetParam() == winsim::Os::Nt4; }

    // The file's version block, read as installers read it.
    std::vector<char> Block(const char* file) {
        DWORD handle = 0x5555;
        const DWORD size = GetFileVersionInfoSizeA(file, &handle);
        EXPECT_EQ(handle, 0u);
        std::vector<char> block(size);
        if (size) {
            EXPECT_TRUE(GetFileVersionInfoA(file, 0, size, block.data())) << GetLastError();
        }
        return block;
    }
    // A text of the block's string table, "" when it has none.
    static std::string Text(std::vector<char>& block, const std::string& name) {
        LPVOID p = nullptr;
        UINT len = 0;
        std::string path = "\\StringFileInfo\\040904E4\\" + name;
        if (!VerQueryValueA(block.data(), path.c_str(), &p, &len)) return "";
        EXPECT_EQ(len, std::strlen(static_cast<char*>(p)) + 1) << name;
        return static_cast<char*>(p);
    }
};
INSTANTIATE_EVERY_OS(VersionTest);

TEST_P(VersionTest, TheLibrarysVersionReadsAsItsResourceStatesIt) {
    std::vector<char> block = Block(kLibrary);
    ASSERT_FALSE(block.empty()) << GetLastError();
    // NT asks for room behind the resource for the texts' code page copies; 95/98 for the
    // resource's size, which their code page form never exceeds.
    const WORD stored = *reinterpret_cast<WORD*>(block.data());
    if (Nt()) {
        EXPECT_EQ(block.size(), stored + stored / 2u);
    } else {
        EXPECT_LT(stored, block.size());
    }

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<LPVOID*>(&fixed), &len));
    ASSERT_EQ(len, sizeof(VS_FIXEDFILEINFO));
    const WORD numbers[] = {PW_VERSION_NUMBERS};
    EXPECT_EQ(fixed->dwSignature, static_cast<DWORD>(VS_FFI_SIGNATURE));
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(numbers[0] << 16 | numbers[1]));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(numbers[2] << 16 | numbers[3]));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<LPVOID*>(&translation), &len));
    ASSERT_EQ(len, 4u);
    EXPECT_EQ(translation[0], 0x409);
    EXPECT_EQ(translation[1], 1252);

    // Every text keeps its own copy: reading one does not spoil another read before it.
    const std::string fileVersion = Text(block, "FileVersion");
    const std::string product = Text(block, "productname"); // keys compare without case
    EXPECT_EQ(fileVersion, PW_VERSION_TEXT);
    EXPECT_EQ(Text(block, "ProductVersion"), PW_VERSION_TEXT);
    EXPECT_EQ(product, "KV Pellora 4720 Setup Library");
    EXPECT_EQ(Text(block, "FileVersion"), fileVersion);
    EXPECT_EQ(Text(block, "CompanyName"), "Norvex");

    LPVOID p = nullptr;
    SetLastError(0);
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904E4\\Comments", &p, &len));
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\StringFileInfo\\04070000\\FileVersion", &p, &len));
    EXPECT_NE(GetLastError(), 0u);
}

TEST_P(VersionTest, TheCallsLoadTheFileForAMomentOnlyAndSearchAsLoadLibraryDoes) {
    EXPECT_NE(Block(kLibrary).size(), 0u);
    EXPECT_EQ(GetModuleHandleA("PWSETUP.DLL"), nullptr) << "released again";
    // A bare name is looked for where LoadLibraryA looks: here the current folder.
    winsim::SetSetting("machine", "cwd", "C:\\KV");
    EXPECT_EQ(Block("pwsetup.dll"), Block(kLibrary));
}

TEST_P(VersionTest, FailuresAreTheirOwnNotLoadLibrarysOrFreeLibrarys) {
    winsim::FailCall("LoadLibraryA", ERROR_NOT_ENOUGH_MEMORY);
    winsim::FailCall("FreeLibrary", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_NE(Block(kLibrary).size(), 0u);
    winsim::FailCall("GetFileVersionInfoSizeA", ERROR_NOT_ENOUGH_MEMORY, 1);
    DWORD handle = 0x5555;
    EXPECT_EQ(GetFileVersionInfoSizeA(kLibrary, &handle), 0u);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_P(VersionTest, FilesWithoutVersionInformation) {
    DWORD handle = 0x5555;
    // The system libraries' files here are no modules of their own.
    EXPECT_EQ(GetFileVersionInfoSizeA("VERSION.DLL", &handle), 0u);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));

    WriteHostFile(HostFile("KV/README.TXT"), "Read me\r\n");
    EXPECT_EQ(GetFileVersionInfoSizeA("C:\\KV\\README.TXT", &handle), 0u);
    EXPECT_EQ(GetLastError(),
              static_cast<DWORD>(Nt() ? ERROR_RESOURCE_DATA_NOT_FOUND : ERROR_BAD_FORMAT));
    char buffer[64];
    EXPECT_FALSE(GetFileVersionInfoA("C:\\KV\\README.TXT", 0, sizeof buffer, buffer));

    EXPECT_EQ(GetFileVersionInfoSizeA("C:\\KV\\ABSENT.DLL", &handle), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(GetFileVersionInfoA("C:\\KV\\ABSENT.DLL", 0, sizeof buffer, buffer));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_P(VersionTest, AShortBufferTakesWhatFitsAndQueriesStayInsideIt) {
    const DWORD size = GetFileVersionInfoSizeA(kLibrary, nullptr);
    ASSERT_GT(size, 150u);
    // Room for the fixed part but not for the string table.
    const DWORD shortLen = 150;
    std::vector<char> buffer(size, '\x7E');
    ASSERT_TRUE(GetFileVersionInfoA(kLibrary, 0, shortLen, buffer.data()));
    for (DWORD i = shortLen; i < size; ++i)
        ASSERT_EQ(buffer[i], '\x7E') << "written past the length given, at " << i;

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(buffer.data(), "\\", reinterpret_cast<LPVOID*>(&fixed), &len));
    const WORD numbers[] = {PW_VERSION_NUMBERS};
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(numbers[0] << 16 | numbers[1]));
    LPVOID p = nullptr;
    EXPECT_FALSE(VerQueryValueA(buffer.data(), "\\StringFileInfo\\040904E4\\FileVersion", &p,
                                &len))
        << "the texts lie beyond the copy";
    for (DWORD i = shortLen; i < size; ++i)
        ASSERT_EQ(buffer[i], '\x7E') << "a query wrote past the copy, at " << i;
}

TEST_P(VersionTest, VersionDllHandsOutItsCalls) {
    HMODULE version = LoadLibraryA("version.dll");
    ASSERT_NE(version, nullptr) << GetLastError();
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoSizeA")),
              reinterpret_cast<void*>(&GetFileVersionInfoSizeA));
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoA")),
              reinterpret_cast<void*>(&GetFileVersionInfoA));
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(version, "VerQueryValueA")),
              reinterpret_cast<void*>(&VerQueryValueA));
    EXPECT_EQ(GetProcAddress(version, "GetFileVersionInfoExA"), nullptr) << "a later system's";
    FreeLibrary(version);
}

} // namespace
