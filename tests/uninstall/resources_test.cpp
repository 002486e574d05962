#include "support/machine_fixture.h"

#include "pwuninst.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

class UninstallResourcesTest : public MachineTest {
  protected:
    void SetUp() override {
        NewMachine();
        Instance = GetModuleHandleA(nullptr);
    }

    std::string String(UINT id) {
        char text[UN_TEXT_SIZE];
        int n = LoadStringA(Instance, id, text, sizeof text);
        return n > 0 ? std::string(text, n) : std::string();
    }

    // The bytes of a resource; empty when there is none.
    std::vector<unsigned char> Resource(LPCSTR type, int id) {
        HRSRC found = FindResourceA(Instance, MAKEINTRESOURCEA(id), type);
        if (!found) return {};
        HGLOBAL loaded = LoadResource(Instance, found);
        const auto* data = static_cast<const unsigned char*>(LockResource(loaded));
        if (!data) return {};
        return std::vector<unsigned char>(data, data + SizeofResource(Instance, found));
    }
};

TEST_F(UninstallResourcesTest, StringTableHoldsEveryTextAsWritten) {
    const std::pair<UINT, const char*> texts[] = {
        {1000, "KV Pellora 4720 Uninstaller"},
        {1001, "The interface file name is unknown."},
        {1002, "Something is wrong with the component file"},
        {1003, "No components are installed"},
        {1004, "Select one or more components to remove"},
        {1005, "KV Uninstaller must reboot your computer to finish.  You may close your other "
               "applications before continuing."},
        {1006, "KV Uninstaller must reboot your computer to finish.  If you do not press OK and "
               "reboot files will be left on your computer forever."},
        {1007, "KV Pellora 4720 Uninstaller"},
        {1008, "10"},
        {1009, "Unable to reboot. - Please reboot manually after shutting down open applications."},
        {1010, "Times"},
        {1011, "The uninstaller has removed the component(s) selected."},
        {1012, "The Uninstaller cannot continue due to a missing or corrupt uninstallation file."},
        {1013, "You must be logged in as an administrator to continue."},
    };
    for (const auto& [id, text] : texts)
        EXPECT_EQ(String(id), text) << id;
    // The title's character set is looked up but never present.
    EXPECT_EQ(String(IDS_TITLE_CHARSET), "");
    EXPECT_EQ(String(IDS_PUSH_MONITOR), "Pellora Push Monitor");
    EXPECT_NE(IDS_PUSH_MONITOR / 16, 1013 / 16) << "a block of its own";
}

TEST_F(UninstallResourcesTest, PifTemplateRunsTheBatchThroughTheInterpreter) {
    auto pif = Resource(MAKEINTRESOURCEA(RT_PIFTEMPLATE), IDR_PIFTEMPLATE);
    ASSERT_EQ(pif.size(), 967u);
    auto text = [&](size_t at, size_t size) {
        return std::string(reinterpret_cast<const char*>(&pif[at]), size);
    };
    auto asciiz = [&](size_t at) { return std::string(reinterpret_cast<const char*>(&pif[at])); };
    auto word = [&](size_t at) { return pif[at] | (pif[at + 1] << 8); };

    EXPECT_EQ(text(0x002, 30), "MS-DOS Prompt                 ");
    EXPECT_EQ(word(0x020), 640);
    EXPECT_EQ(word(0x022), 0);
    EXPECT_EQ(asciiz(0x024), "COMMAND.COM");
    EXPECT_EQ(asciiz(0x065), "");
    EXPECT_EQ(asciiz(0x0A5), "NUL /C DEL4720.BAT");
    unsigned sum = 0;
    for (size_t i = 0x002; i <= 0x170; ++i)
        sum += pif[i];
    EXPECT_EQ(pif[0x001], sum & 0xFF) << "checksum of the basic section";

    struct Header {
        size_t at;
        const char* name;
        int next, data, length;
    };
    for (const Header& h : {Header{0x171, "MICROSOFT PIFEX", 0x187, 0x000, 0x171},
                            Header{0x187, "WINDOWS 386 3.0", 0x205, 0x19D, 0x068},
                            Header{0x205, "WINDOWS VMM 4.0", 0xFFFF, 0x21B, 0x1AC}}) {
        EXPECT_EQ(text(h.at, 16),
                  std::string(h.name) + std::string(16 - std::strlen(h.name), '\0'));
        EXPECT_EQ(word(h.at + 16), h.next) << h.name;
        EXPECT_EQ(word(h.at + 18), h.data) << h.name;
        EXPECT_EQ(word(h.at + 20), h.length) << h.name;
    }
    EXPECT_EQ(asciiz(0x19D + 0x28), "NUL /C DEL4720.BAT");
    const std::string vmm = text(0x21B, 0x1AC);
    for (const char* name : {"PIFMGR.DLL", "Terminal", "Lucida Console"})
        EXPECT_NE(vmm.find(std::string(name) + '\0'), std::string::npos) << name;
}

TEST_F(UninstallResourcesTest, PicturesHaveTheirSizesAndColours) {
    struct Picture {
        int id, width, height, bits;
    };
    for (const Picture& p : {Picture{IDB_SPLASH, 322, 142, 4}, Picture{IDB_SIDE, 143, 277, 8},
                             Picture{IDB_CHECKED, 11, 11, 4}, Picture{IDB_UNCHECKED, 11, 11, 4},
                             Picture{IDB_STRIP, 229, 22, 4}}) {
        auto data = Resource(RT_BITMAP, p.id);
        ASSERT_GE(data.size(), 40u) << p.id;
        int32_t width, height;
        uint16_t bits;
        std::memcpy(&width, &data[4], 4);
        std::memcpy(&height, &data[8], 4);
        std::memcpy(&bits, &data[14], 2);
        EXPECT_EQ(width, p.width) << p.id;
        EXPECT_EQ(height, p.height) << p.id;
        EXPECT_EQ(bits, p.bits) << p.id;
    }
    EXPECT_FALSE(Resource(RT_GROUP_ICON, IDI_UNINSTALL).empty());
}

// A dialog template read back: the frame and each control.
struct Control {
    int id, x, y, cx, cy;
    std::string text;
    DWORD style;
};
struct Dialog {
    DWORD style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string caption, face;
    int points = 0;
    std::vector<Control> controls;
};

class TemplateReader {
  public:
    explicit TemplateReader(const std::vector<unsigned char>& data) : m_data(data) {}
    DWORD Dword() {
        DWORD v = 0;
        if (m_at + 4 <= m_data.size()) std::memcpy(&v, &m_data[m_at], 4);
        m_at += 4;
        return v;
    }
    int Word() {
        uint16_t v = 0;
        if (m_at + 2 <= m_data.size()) std::memcpy(&v, &m_data[m_at], 2);
        m_at += 2;
        return v;
    }
    int Short() { return static_cast<int16_t>(Word()); }
    // A string or an ordinal (0xFFFF, number); code page 1252 text is ASCII here.
    std::string Text() {
        std::string s;
        int c = Word();
        if (c == 0xFFFF) return "#" + std::to_string(Word());
        for (; c != 0 && m_at <= m_data.size(); c = Word())
            s += static_cast<char>(c);
        return s;
    }
    void AlignDword() { m_at = (m_at + 3) & ~size_t(3); }

  private:
    const std::vector<unsigned char>& m_data;
    size_t m_at = 0;
};

Dialog ReadDialog(const std::vector<unsigned char>& data) {
    Dialog d;
    TemplateReader r(data);
    d.style = r.Dword();
    r.Dword(); // extended style
    int count = r.Word();
    d.x = r.Short();
    d.y = r.Short();
    d.cx = r.Short();
    d.cy = r.Short();
    r.Text(); // menu
    r.Text(); // class
    d.caption = r.Text();
    if (d.style & DS_SETFONT) {
        d.points = r.Word();
        d.face = r.Text();
    }
    for (int i = 0; i < count; ++i) {
        r.AlignDword();
        Control c;
        c.style = r.Dword();
        r.Dword();
        c.x = r.Short();
        c.y = r.Short();
        c.cx = r.Short();
        c.cy = r.Short();
        c.id = static_cast<int16_t>(r.Word());
        r.Text(); // class
        c.text = r.Text();
        r.Word(); // creation data
        d.controls.push_back(c);
    }
    return d;
}

void ExpectControl(const Dialog& d, const Control& want) {
    for (const Control& c : d.controls) {
        if (c.id != want.id || c.y != want.y) continue;
        EXPECT_EQ(c.x, want.x) << want.id;
        EXPECT_EQ(c.cx, want.cx) << want.id;
        EXPECT_EQ(c.cy, want.cy) << want.id;
        EXPECT_EQ(c.text, want.text) << want.id;
        EXPECT_EQ(c.style & want.style, want.style) << want.id;
        return;
    }
    ADD_FAILURE() << "no control " << want.id << " at y " << want.y;
}

TEST_F(UninstallResourcesTest, PagesHaveTheirFramesAndControls) {
    const DWORD page = WS_POPUP | WS_CAPTION | DS_MODALFRAME;

    Dialog welcome = ReadDialog(Resource(RT_DIALOG, IDD_WELCOME));
    EXPECT_EQ(welcome.style & (page | WS_SYSMENU), page);
    EXPECT_EQ(welcome.caption, "KV Pellora 4720 Uninstaller");
    EXPECT_EQ(welcome.points, 8);
    EXPECT_EQ(welcome.face, "MS Sans Serif");
    EXPECT_EQ((std::vector<int>{welcome.x, welcome.y, welcome.cx, welcome.cy}),
              (std::vector<int>{83, 65, 315, 204}));
    ASSERT_EQ(welcome.controls.size(), 8u);
    ExpectControl(welcome, {710, 99, 11, 204, 15, "Welcome to the KV Pellora 4720 Uninstaller", 0});
    ExpectControl(welcome,
                  {715, 99, 33, 204, 37,
                   "Running this program will allow you to remove the KV Pellora 4720 "
                   "printer driver and scanning components from your Windows system.  It "
                   "will also allow you to remove related KV utilities from your computer.",
                   SS_NOPREFIX});
    ExpectControl(welcome, {720, 99, 78, 204, 45,
                            "It is strongly recommended that you exit all Windows programs before "
                            "running this Uninstall program.\n\nClick Cancel to quit Uninstall and "
                            "then close any programs you have running.",
                            SS_NOPREFIX});
    ExpectControl(welcome, {721, 99, 128, 204, 13,
                            "Click Next to continue with the Uninstall program.", SS_NOPREFIX});
    ExpectControl(welcome, {1300, 9, 178, 296, 1, "", SS_BLACKFRAME});
    ExpectControl(welcome, {IDOK, 197, 185, 50, 14, "&Next >", BS_DEFPUSHBUTTON | WS_GROUP});
    ExpectControl(welcome, {IDCANCEL, 255, 185, 50, 14, "&Cancel", 0});

    Dialog select = ReadDialog(Resource(RT_DIALOG, IDD_SELECT));
    EXPECT_EQ(select.style & (page | WS_SYSMENU), page);
    EXPECT_EQ(select.caption, "Select Components");
    EXPECT_EQ((std::vector<int>{select.x, select.y, select.cx, select.cy}),
              (std::vector<int>{55, 41, 315, 204}));
    ASSERT_EQ(select.controls.size(), 6u);
    ExpectControl(select, {1300, 8, 178, 297, 1, "", SS_BLACKFRAME});
    ExpectControl(select, {-1, 100, 8, 205, 18,
                           "Please select the components that you want to remove.", SS_NOPREFIX});
    ExpectControl(select, {2003, 100, 20, 205, 10, "&All KV Pellora 4720 Software",
                           BS_AUTOCHECKBOX | WS_TABSTOP});
    ExpectControl(select, {2002, 110, 36, 180, 120, "",
                           LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT |
                               LBS_EXTENDEDSEL | WS_VSCROLL | WS_BORDER | WS_TABSTOP});
    for (const Control& c : select.controls)
        if (c.id == 2002) {
            EXPECT_EQ(c.style & LBS_SORT, 0u) << "rows keep the script's order";
        }
    ExpectControl(select, {IDOK, 197, 185, 50, 14, "&OK", BS_DEFPUSHBUTTON});
    ExpectControl(select, {IDCANCEL, 255, 185, 50, 14, "E&xit", 0});

    Dialog splash = ReadDialog(Resource(RT_DIALOG, IDD_SPLASH));
    EXPECT_NE(splash.style & WS_VISIBLE, 0u);
    EXPECT_EQ((std::vector<int>{splash.x, splash.y, splash.cx, splash.cy}),
              (std::vector<int>{55, 41, 100, 50}));
    EXPECT_EQ(splash.face, "MS Sans Serif");
    EXPECT_TRUE(splash.controls.empty());
}

} // namespace
