#include "support/machine_fixture.h"

#include "frame/diskspace.h"

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD kOwnUnits[PW_UNIT_CLASSES] = {1024, 2048, 4096, 8192, 16384, 32768, 65536};

// The library's state is process-wide; each test starts from the state of a fresh load, on a
// machine whose drive list the test sets (machine.ini [drives] BYTES,SECTORS,FREE,TOTAL).
class DiskSpaceTest : public EveryOsTest {
  protected:
    void SetUp() override {
        EveryOsTest::SetUp();
        std::memset(&g_Settings, 0, sizeof g_Settings);
        std::memset(&g_DiskSpace, 0, sizeof g_DiskSpace);
        std::string error;
        // The drive list's size format comes from the library's own string table.
        m_module = winsim::LoadHostLibrary(PWSETUP_PATH, &error);
        ASSERT_NE(m_module, 0u) << error;
    }
    void TearDown() override {
        DLL_CleanupDiskInfo();
        if (m_module) FreeLibrary(reinterpret_cast<HMODULE>(m_module));
        EveryOsTest::TearDown();
    }
    void AddDrive(char letter, const std::string& spec) {
        mkdir((m_dir + "/drive_" + std::string(1, static_cast<char>(letter - 'A' + 'a'))).c_str(),
              0755);
        winsim::SetSetting("drives", std::string(1, letter), spec);
    }
    static HWND ComponentDialog() {
        return reinterpret_cast<HWND>(winsim::CreateEngineDialog("Select Components",
                                                                 PW_DRIVE_LIST_ID));
    }
    static std::vector<std::string> Rows(HWND dialog) {
        return winsim::ListBoxRows(reinterpret_cast<uintptr_t>(dialog), PW_DRIVE_LIST_ID);
    }
    bool IsNt() const { return GetParam() == winsim::Os::Nt4; }

    uintptr_t m_module = 0;
};

TEST_P(DiskSpaceTest, RoundsOwnFilesForEveryUnitAndSharedFilesForTheirDrive) {
    AddDrive('D', "512,64,1000,2000"); // 32768-byte clusters
    ASSERT_EQ(DLL_SysDrvInfo('D'), 1);
    EXPECT_EQ(g_DiskSpace.Drives[3].UnitClass, 5);
    ASSERT_EQ(DLL_SetStr(1010, "D:\\WINNT\\SYSTEM32"), 0);
    EXPECT_EQ(DLL_InitComp(0, 1, 'C', 1, 'C'), 2);
    EXPECT_EQ(DLL_AddCompFile(1000, "", 1), 0);
    EXPECT_EQ(DLL_AddCompFile(0, "", 1), 0) << "an empty file takes no room";
    for (int k = 0; k < PW_UNIT_CLASSES; ++k)
        EXPECT_EQ(g_DiskSpace.Components[0].SizeByUnit[k], kOwnUnits[k]) << "class " << k;
    EXPECT_EQ(DLL_AddCompFile(1, "WINSYSDIR", 1), 32768) << "one byte takes a whole cluster";
    EXPECT_EQ(DLL_AddCompFile(40000, "WINSYSDIR", 1), 32768 + 65536);
    // The Windows drive was never queried: its unit is the smallest.
    EXPECT_EQ(DLL_AddCompFile(1000, "WINDIR", 1), 1024);
    EXPECT_EQ(DLL_AddCompFile(100, "SETUPDIR", 1), 512) << "drive A, never queried";
}

TEST_P(DiskSpaceTest, ClusterSizesGiveUnitClassesAndFreeSpaceHoldsPast4GiB) {
    struct {
        char letter;
        const char* spec;
        LONG unitClass;
    } const drives[] = {{'D', "512,1,100,100", 0},  {'E', "512,4,100,100", 1},
                        {'F', "1024,1,100,100", 6}, {'G', "4096,8,100,100", 5},
                        {'H', "512,128,100,100", 6}};
    for (const auto& d : drives) {
        AddDrive(d.letter, d.spec);
        ASSERT_EQ(DLL_SysDrvInfo(d.letter), 1);
        EXPECT_EQ(g_DiskSpace.Drives[d.letter - 'A'].UnitClass, d.unitClass) << d.spec;
    }
    EXPECT_EQ(DLL_GetFreeSpace('e'), 100 * 2048) << "a lower-case letter names the same drive";
    // 200000 clusters of 32 KiB are 6.1 GiB: held at the largest 32-bit count on NT, which
    // reports it; 95/98 report no more than 2 GB.
    AddDrive('I', "512,64,200000,400000");
    ASSERT_EQ(DLL_SysDrvInfo('I'), 1);
    EXPECT_EQ(static_cast<DWORD>(DLL_GetFreeSpace('I')), IsNt() ? 0xFFFFFFFFu : 65535u * 32768u);
    EXPECT_EQ(DLL_SysDrvInfo('1'), 0);
    EXPECT_EQ(DLL_GetFreeSpace('1'), 0);
    // A drive that does not answer is present with no room, and keeps the largest unit.
    ASSERT_EQ(DLL_SysDrvInfo('R'), 1);
    EXPECT_EQ(g_DiskSpace.Drives['R' - 'A'].Present, 1);
    EXPECT_EQ(g_DiskSpace.Drives['R' - 'A'].FreeBytes, 0u);
    EXPECT_EQ(g_DiskSpace.Drives['R' - 'A'].UnitClass, 6);
}

TEST_P(DiskSpaceTest, DirectoryCodesComeFromTheSetupIni) {
    WriteHostFile(HostFile("SETUP/SETUP.INI"), "[DirCodes]\r\n"
                                               "SYS=<WINSYSDIR>\\KV\r\n"
                                               "windir=WINDIR\r\n"
                                               "APP=<TARGETDIR>\r\n"
                                               "LOW=winsysdir\r\n");
    ASSERT_EQ(DLL_SetStr(1020, "C:\\SETUP\\SETUP.INI"), 0);
    DLL_InitComp(0, 1, 'C', 1, 'C');
    EXPECT_EQ(DLL_AddCompFile(100, "SYS", 1), 512) << "WINSYSDIR inside other text";
    EXPECT_EQ(g_DiskSpace.Components[0].WinSysDirBytes, 512u);
    EXPECT_EQ(DLL_AddCompFile(100, "windir", 1), 512) << "lower case is looked up";
    EXPECT_EQ(g_DiskSpace.Components[0].WinDirBytes, 512u);
    EXPECT_EQ(DLL_AddCompFile(100, "APP", 1), 0);
    EXPECT_EQ(DLL_AddCompFile(100, "LOW", 1), 0) << "a value is searched with case";
    EXPECT_EQ(DLL_AddCompFile(100, "NONE", 1), 0);
    EXPECT_EQ(DLL_AddCompFile(100, nullptr, 1), 0);
    EXPECT_EQ(g_DiskSpace.Components[0].SizeByUnit[0], 4u * 512);
    EXPECT_EQ(g_DiskSpace.Components[0].WinSysDirBytes, 512u);
}

TEST_P(DiskSpaceTest, RequiredSpaceCountsSelectedRecordsOnTheirDrives) {
    AddDrive('D', "512,8,100,1000"); // 4096-byte clusters, 409600 bytes free
    ASSERT_EQ(DLL_SetStr(1000, "C:\\WINDOWS"), 0);
    ASSERT_EQ(DLL_SysDrvInfo('C'), 1);
    ASSERT_EQ(DLL_SysDrvInfo('D'), 1);
    DLL_InitComp(0, 1, 'D', 1, 'D');
    DLL_AddCompFile(5000, "", 1);     // 8192 on D
    DLL_AddCompFile(5000, "WINDIR", 1); // 8192 on C
    DLL_InitComp(0, 1, 'D', 0, 'D');
    DLL_AddCompFile(100, "", 2);
    DLL_InitComp(1, 0, 'D', 0, 'D'); // unselected sub-component
    DLL_AddCompFile(100, "", 2);
    DLL_InitComp(1, 0, 'D', 1, 'D'); // unselected component, its selected sub-component
    DLL_InitComp(0, 1, 'D', 0, 'D');
    DLL_AddCompFile(100000, "", 2);
    DLL_UpdateSizeReq(0);
    EXPECT_EQ(DLL_GetReqSpace('D'), 8192 + 4096) << "the unselected sub-component and the "
                                                   "sub-component of an unselected component "
                                                   "never count";
    EXPECT_EQ(DLL_GetReqSpace('C'), 8192);
    LONG letter = 0, bytes = 0;
    EXPECT_EQ(DLL_ReqSpace(&letter, &bytes), 0);
    EXPECT_EQ(letter, 0) << "untouched";

    DLL_ChgCompDrv(0, 'C');
    EXPECT_EQ(DLL_GetReqSpace('D'), 0);
    EXPECT_EQ(DLL_GetReqSpace('C'), 8192 + 8192 + 4096);
    EXPECT_EQ(g_DiskSpace.CurrentComp, 0);

    // All of it, on the drives the components name for the maximum.
    DLL_InitMaxSpace();
    EXPECT_EQ(g_DiskSpace.Drives[3].MaxBytes, 8192u + 4096 + 4096 + 102400);
    EXPECT_EQ(g_DiskSpace.Drives[2].MaxBytes, 8192u);
    AddDrive('D', "512,8,29,1000"); // 118784 bytes free: exactly what the maximum needs
    EXPECT_EQ(DLL_MaxSpace(&letter, &bytes), 1) << "equality counts as short";
    EXPECT_EQ(letter, 'D');
    EXPECT_EQ(bytes, 118784);
    EXPECT_EQ(DLL_GetFreeSpace('D'), 118784) << "the search queried the drive afresh";
}

TEST_P(DiskSpaceTest, ChainsAreReplacedAndRecordsThatDoNotExistChangeNothing) {
    DLL_InitComp(2, 1, 'C', 1, 'C');
    DLL_InitComp(0, 1, 'C', 0, 'C');
    DLL_AddCompFile(100, "", 2);
    DLL_InitComp(1, 1, 'C', 0, 'C');
    DLL_AddCompFile(100, "", 2);
    DLL_InitComp(0, 1, 'C', 0, 'C'); // a second chain
    DLL_AddCompFile(3000, "", 2);
    const CompRecord& comp = g_DiskSpace.Components[2];
    ASSERT_NE(comp.Next, nullptr);
    EXPECT_EQ(comp.Next->Next, nullptr) << "only the second chain is left";
    EXPECT_EQ(comp.Next->SizeByUnit[0], 3072u);
    EXPECT_EQ(DLL_SetSubIndx(3), 3);
    EXPECT_EQ(DLL_AddCompFile(100, "WINDIR", 2), 0) << "no sub-component 3";
    EXPECT_EQ(DLL_InitComp(3, 1, 'C', 0, 'C'), -1) << "number 1 was not added";
    EXPECT_EQ(DLL_AddCompFile(100, "WINDIR", 2), 0) << "and its files go nowhere";
    EXPECT_EQ(comp.Next->WinDirBytes, 0u);

    const DiskSpaceState before = g_DiskSpace;
    EXPECT_EQ(DLL_InitComp(8, 1, 'C', 1, 'C'), -1);
    EXPECT_EQ(DLL_AddCompFile(100, "", 1), 0);
    EXPECT_EQ(DLL_InitComp(-1, 1, 'C', 1, 'C'), -1);
    EXPECT_EQ(DLL_InitComp(0, 1, 'C', 0, 'C'), -1) << "no component to hold it";
    DLL_ChgCompDrv(8, 'D');
    EXPECT_EQ(std::memcmp(before.Components, g_DiskSpace.Components, sizeof before.Components), 0);
    EXPECT_EQ(g_DiskSpace.CurrentComp, -1);

    // Records of no drive count nowhere: only component 2's sub-component is counted.
    EXPECT_EQ(DLL_InitComp(4, 1, '?', 1, '?'), -1);
    DLL_AddCompFile(100, "", 1);
    DLL_UpdateSizeReq(0);
    DLL_InitMaxSpace();
    DWORD required = 0, most = 0;
    for (const DriveInfo& d : g_DiskSpace.Drives) {
        required += d.RequiredBytes;
        most += d.MaxBytes;
    }
    EXPECT_EQ(required, 3072u);
    EXPECT_EQ(most, 3072u);

    DLL_CleanupDiskInfo();
    EXPECT_EQ(comp.Next, nullptr);
    EXPECT_EQ(g_DiskSpace.Components[4].SizeByUnit[0], 512u) << "components keep their sizes";
    EXPECT_EQ(comp.Selected, 1);
}

TEST_P(DiskSpaceTest, TotalsHoldAtTheLargest32BitCount) {
    AddDrive('D', "512,1,100000,200000");
    ASSERT_EQ(DLL_SysDrvInfo('D'), 1);
    for (LONG comp = 0; comp < 2; ++comp) {
        DLL_InitComp(comp, 1, 'D', 1, 'D');
        DLL_AddCompFile(static_cast<LONG>(0xC0000000u), "", 1); // 3 GiB each
    }
    EXPECT_EQ(DLL_AddCompFile(-1, "WINDIR", 1), -1) << "4 GiB - 1 rounds past 32 bits";
    DLL_UpdateSizeReq(0);
    EXPECT_EQ(g_DiskSpace.Drives[3].RequiredBytes, 0xFFFFFFFFu) << "6 GiB do not wrap to 2";
    LONG letter = 0, bytes = 0;
    EXPECT_EQ(DLL_ReqSpace(&letter, &bytes), 1);
    EXPECT_EQ(letter, 'D');
}

TEST_P(DiskSpaceTest, DriveListShowsEachPresentDriveInMebibytes) {
    HWND dialog = ComponentDialog();
    ASSERT_NE(dialog, nullptr);
    DLL_InitCompDlg(dialog);
    EXPECT_EQ(DLL_UpdateDriveList(dialog), 1);
    EXPECT_TRUE(Rows(dialog).empty()) << "no drive queried";
    for (const winsim::WindowInfo& w : winsim::Windows())
        if (w.id == PW_DRIVE_LIST_ID) {
            EXPECT_EQ(w.tabStops, (std::vector<int>{24, 84}));
        }

    AddDrive('D', "4096,1,384,1000");     // 1,572,864 bytes free
    AddDrive('E', "1,1,1048575,2000000");  // 1,048,575 bytes free
    AddDrive('F', "512,1,2097151,4000000"); // 1 GiB - 512: 1023.9995 Mb rounds up
    for (char d : {'F', 'E', 'D'})
        ASSERT_EQ(DLL_SysDrvInfo(d), 1);
    DLL_InitComp(0, 1, 'D', 1, 'D');
    DLL_AddCompFile(512 * 1024, "", 1);
    DLL_UpdateSizeReq(0);
    EXPECT_EQ(DLL_UpdateDriveList(dialog), 1);
    EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"D:\t    0.50 Mb\t    1.50 Mb",
                                                      "E:\t    0.00 Mb\t    1.00 Mb",
                                                      "F:\t    0.00 Mb\t 1024.00 Mb"}));
    EXPECT_EQ(DLL_UpdateDriveList(nullptr), 0) << "no list box";
}

INSTANTIATE_EVERY_OS(DiskSpaceTest);

} // namespace
