#include "support/machine_fixture.h"
#include "winsim/data/modtest_ids.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

// One reference to a loaded module, released at the end of the scope.
class Library {
  public:
    explicit Library(HMODULE h) : m_h(h) {}
    ~Library() {
        if (m_h) FreeLibrary(m_h);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    HMODULE get() const { return m_h; }

  private:
    HMODULE m_h;
};

uintptr_t Value(HMODULE h) {
    return reinterpret_cast<uintptr_t>(h);
}

// A resource's bytes as one string, or "" when it is missing.
std::string ResourceBytes(HMODULE module, LPCSTR name, LPCSTR type) {
    HRSRC r = FindResourceA(module, name, type);
    if (!r) return "";
    const char* p = static_cast<const char*>(LockResource(LoadResource(module, r)));
    return p ? std::string(p, SizeofResource(module, r)) : "";
}

// The UTF-16 form of an ASCII text, as version data holds it.
std::string Utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii)
        out += std::string{c, '\0'};
    return out;
}

} // namespace

class ModuleSearchTest : public EveryOsTest {
  protected:
    void PlaceModule(const std::string& relative) {
        WriteHostFile(HostFile(relative), ReadHostFile(MODTEST_PATH));
    }
    std::string SystemFolder() const {
        return GetParam() == winsim::Os::Nt4 ? "WINDOWS/SYSTEM32/" : "WINDOWS/SYSTEM/";
    }
};
INSTANTIATE_EVERY_OS(ModuleSearchTest);

TEST_P(ModuleSearchTest, FindsABareNameInTheSystemFolderWithOrWithoutExtension) {
    PlaceModule(SystemFolder() + "MODTEST.DLL");
    Library lib(LoadLibraryA("modtest.dll"));
    ASSERT_NE(lib.get(), nullptr) << GetLastError();
    EXPECT_LE(Value(lib.get()), 0xFFFFFFFFu);
    Library again(LoadLibraryA("MODTEST"));
    EXPECT_EQ(again.get(), lib.get());
    EXPECT_EQ(LoadLibraryA("C:\\KV\\MODTEST.DLL"), nullptr) << "not there";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_P(ModuleSearchTest, FindsABareNameInTheCurrentAndWindowsFolders) {
    PlaceModule("WINDOWS/MODTEST.DLL");
    {
        Library lib(LoadLibraryA("modtest.dll"));
        EXPECT_NE(lib.get(), nullptr);
    }
    winsim::SetSetting("machine", "cwd", "C:\\KV");
    PlaceModule("KV/OTHER.DLL");
    Library lib(LoadLibraryA("OTHER.DLL"));
    EXPECT_NE(lib.get(), nullptr);
    EXPECT_EQ(LoadLibraryA("ABSENT.DLL"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

class ModuleTest : public MachineTest {
  protected:
    void SetUp() override {
        NewMachine();
        WriteHostFile(HostFile("KV/MODTEST.DLL"), ReadHostFile(MODTEST_PATH));
    }
};

TEST_F(ModuleTest, CountsReferencesToOneFileWhicheverWayItIsNamed) {
    HMODULE h = LoadLibraryA("C:\\KV\\MODTEST.DLL");
    ASSERT_NE(h, nullptr) << GetLastError();
    EXPECT_EQ(LoadLibraryA("c:\\kv\\modtest.dll"), h);
    EXPECT_EQ(LoadLibraryA("MODTEST.DLL"), h) << "a bare name finds the loaded module first";
    EXPECT_EQ(GetModuleHandleA("modtest"), h);

    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_EQ(GetModuleHandleA("MODTEST.DLL"), h) << "one reference is left";
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_EQ(GetModuleHandleA("MODTEST.DLL"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(FreeLibrary(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(ModuleTest, RefusesAFileThatIsNoModule) {
    WriteHostFile(HostFile("KV/BROKEN.DLL"), "not a module");
    EXPECT_EQ(LoadLibraryA("C:\\KV\\BROKEN.DLL"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_EQ(LoadLibraryA("C:\\KV\\"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(ModuleTest, GetProcAddressAnswersOnlyForTheModulesOwnExports) {
    Library lib(LoadLibraryA("C:\\KV\\MODTEST.DLL"));
    ASSERT_NE(lib.get(), nullptr);
    FARPROC answer = GetProcAddress(lib.get(), "ModTestAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    for (const char* name : {"NoSuchExport", "malloc", "LoadLibraryA", "modtestanswer"}) {
        SetLastError(0);
        EXPECT_EQ(GetProcAddress(lib.get(), name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << name;
    }
    EXPECT_EQ(GetProcAddress(lib.get(), MAKEINTRESOURCEA(1)), nullptr) << "no ordinals";
}

TEST_F(ModuleTest, MatchesModuleNamesWithoutRegardToCaseOrExtension) {
    Library lib(LoadLibraryA("C:\\KV\\MODTEST.DLL"));
    ASSERT_NE(lib.get(), nullptr);
    EXPECT_EQ(GetModuleHandleA("ModTest.Dll"), lib.get());
    EXPECT_EQ(GetModuleHandleA("C:\\ELSEWHERE\\MODTEST.DLL"), lib.get()) << "the file name counts";
    EXPECT_EQ(GetModuleHandleA("modtest."), nullptr) << "a trailing dot means no extension";
    HMODULE self = GetModuleHandleA(nullptr);
    EXPECT_NE(self, nullptr);
    EXPECT_NE(self, lib.get());
    EXPECT_LE(Value(self), 0xFFFFFFFFu);
}

TEST_F(ModuleTest, KernelIsBuiltInAndAlwaysMapped) {
    HMODULE kernel = GetModuleHandleA("kernel32");
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(LoadLibraryA("KERNEL32.DLL"), kernel) << "no file needed";
    EXPECT_TRUE(FreeLibrary(kernel));
    EXPECT_TRUE(FreeLibrary(kernel));
    EXPECT_EQ(GetModuleHandleA("KERNEL32.DLL"), kernel) << "never unloaded";
    FARPROC version = GetProcAddress(kernel, "GetVersion");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(static_cast<DWORD>(version()), GetVersion());
    EXPECT_EQ(GetProcAddress(kernel, MAKEINTRESOURCEA(1)), version) << "ordinal 1";
    EXPECT_EQ(GetProcAddress(kernel, "NetUserGetInfo"), nullptr);
    EXPECT_EQ(FindResourceA(kernel, MAKEINTRESOURCEA(1), RT_VERSION), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

TEST_F(ModuleTest, HostLibrariesShareTheModuleTable) {
    std::string error;
    uintptr_t h = winsim::LoadHostLibrary(MODTEST_PATH, &error);
    ASSERT_NE(h, 0u) << error;
    HMODULE module = reinterpret_cast<HMODULE>(h);
    EXPECT_EQ(LoadLibraryA("MODTEST"), module);
    EXPECT_NE(winsim::HostProcAddress(h, "ModTestAnswer"), nullptr);
    EXPECT_EQ(winsim::HostProcAddress(h, "malloc"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleA("MODTEST"), nullptr);
    EXPECT_EQ(winsim::LoadHostLibrary(m_dir + "/no-such.so", &error), 0u);
    EXPECT_FALSE(error.empty());
}

class ResourceTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        m_module = LoadLibraryA("C:\\KV\\MODTEST.DLL");
        ASSERT_NE(m_module, nullptr);
    }
    void TearDown() override {
        FreeLibrary(m_module);
        ModuleTest::TearDown();
    }
    std::string Load(UINT id, int size = 512) {
        std::string buffer(static_cast<size_t>(size) + 1, 'x');
        m_count = LoadStringA(m_module, id, &buffer[0], size);
        EXPECT_EQ(std::strlen(buffer.c_str()), static_cast<size_t>(m_count)) << "terminated";
        return buffer.c_str();
    }
    HMODULE m_module = nullptr;
    int m_count = -1;
};

TEST_F(ResourceTest, LoadsStringsFromEitherBlockInTheSystemCodePage) {
    EXPECT_EQ(Load(IDS_FIRST), "First string");
    EXPECT_EQ(m_count, 12);
    EXPECT_EQ(Load(IDS_NEXT_BLOCK), "Next block");
    EXPECT_EQ(Load(IDS_LATIN), "Caf\xe9, 5 \x80");
    EXPECT_EQ(Load(IDS_LONG).size(), static_cast<size_t>(IDS_LONG_LENGTH));
    EXPECT_EQ(Load(IDS_FIRST + 0x10000), "First string") << "only the low word counts";
}

TEST_F(ResourceTest, CutsAStringToTheBufferAndTerminatesIt) {
    EXPECT_EQ(Load(IDS_FIRST, 6), "First");
    EXPECT_EQ(m_count, 5);
    EXPECT_EQ(Load(IDS_FIRST, 1), "");
    EXPECT_EQ(m_count, 0);
    // The whole string first: the count checked next must be the cut load's.
    const std::string whole = Load(IDS_LONG);
    EXPECT_EQ(Load(IDS_LONG, MAX_PATH), whole.substr(0, MAX_PATH - 1));
    EXPECT_EQ(m_count, MAX_PATH - 1);

    char untouched[4] = "abc";
    EXPECT_EQ(LoadStringA(m_module, IDS_FIRST, untouched, 0), 0) << "no pointer mode in ANSI";
    EXPECT_STREQ(untouched, "abc");
}

TEST_F(ResourceTest, ReturnsZeroAndAnEmptyTextForAMissingString) {
    EXPECT_EQ(Load(IDS_MISSING), "") << "an empty slot of an existing block";
    EXPECT_EQ(m_count, 0);
    EXPECT_EQ(Load(5000), "") << "no such block";
    EXPECT_EQ(m_count, 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(ResourceTest, FindsResourcesByNumberAndByName) {
    EXPECT_EQ(ResourceBytes(m_module, MAKEINTRESOURCEA(ID_BLOB), RT_RCDATA), "KVP-DATA");
    EXPECT_EQ(ResourceBytes(m_module, "#7", RT_RCDATA), "KVP-DATA");
    EXPECT_EQ(ResourceBytes(m_module, "settings", RT_RCDATA), std::string("\x34\x12\x78\x56"));

    HRSRC version = FindResourceA(m_module, MAKEINTRESOURCEA(1), RT_VERSION);
    ASSERT_NE(version, nullptr);
    std::string data = ResourceBytes(m_module, MAKEINTRESOURCEA(1), RT_VERSION);
    ASSERT_GE(data.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(data[0]) | static_cast<unsigned char>(data[1]) << 8,
              static_cast<int>(SizeofResource(m_module, version)))
        << "the version data starts with its own length";
    EXPECT_NE(data.find(Utf16("Module Test")), std::string::npos);

    EXPECT_EQ(FindResourceA(m_module, MAKEINTRESOURCEA(8), RT_RCDATA), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceA(m_module, MAKEINTRESOURCEA(1), RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(SizeofResource(m_module, reinterpret_cast<HRSRC>(Value(m_module) + 0x400)), 0u);
}

TEST_F(ResourceTest, TheMainProgramCarriesResourcesOfItsOwn) {
    char text[32];
    EXPECT_EQ(LoadStringA(nullptr, IDS_NEXT_BLOCK, text, sizeof text), 10);
    EXPECT_STREQ(text, "Next block");
    EXPECT_EQ(ResourceBytes(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(ID_BLOB), RT_RCDATA),
              "KVP-DATA");
}

// The library's resources travel inside its file, as compiled .res bytes.
TEST_F(ModuleTest, ThePwsetupLibraryCarriesItsVersion) {
    std::string data = ReadHostFile(PWSETUP_PATH);
    ASSERT_FALSE(data.empty());
    EXPECT_NE(data.find(Utf16("1.00.5.020")), std::string::npos);
    EXPECT_NE(data.find(Utf16("KV Pellora 4720 Setup Library")), std::string::npos);
    EXPECT_NE(data.find(Utf16("Norvex")), std::string::npos);
    // VS_FIXEDFILEINFO: signature, structure version, then the file version 1.0.5.20.
    const DWORD fixed[] = {0xFEEF04BD, 0x00010000, 0x00010000, 0x00050014};
    EXPECT_NE(data.find(std::string(reinterpret_cast<const char*>(fixed), sizeof fixed)),
              std::string::npos);
}
