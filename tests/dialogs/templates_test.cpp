// The eight templates, compared with a table written by hand from the dialogs' description
// (not generated from dialogs.rc), and the parser's refusals.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "dialogs/control_kind.h"
#include "dialogs/dialog_templates.h"

namespace orb::dialogs {
namespace {

// Windows' values, written out here on purpose.
constexpr uint32_t WS_POPUP = 0x80000000, WS_CHILD = 0x40000000, WS_VISIBLE = 0x10000000, WS_CAPTION = 0x00C00000,
                   WS_BORDER = 0x00800000, WS_VSCROLL = 0x00200000, WS_SYSMENU = 0x00080000, WS_GROUP = 0x00020000,
                   WS_TABSTOP = 0x00010000;
constexpr uint32_t DS_SETFONT = 0x40, DS_MODALFRAME = 0x80;
constexpr uint32_t ES_CENTER = 0x1, ES_MULTILINE = 0x4, ES_PASSWORD = 0x20, ES_AUTOHSCROLL = 0x80, ES_READONLY = 0x800;
constexpr uint32_t BS_PUSHBUTTON = 0x0, BS_DEFPUSHBUTTON = 0x1;
constexpr uint32_t SS_LEFT = 0x0, SS_CENTER = 0x1, SS_RIGHT = 0x2, SS_ICON = 0x3;
constexpr uint32_t CBS_DROPDOWNLIST = 0x3;

constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;
constexpr uint32_t kReadOnlyText = ES_READONLY | ES_AUTOHSCROLL;
constexpr uint32_t kReadOnlyArea = ES_READONLY | ES_AUTOHSCROLL | ES_MULTILINE;

struct C {
    const char* cls;  // "button", "edit", "static", "combobox", "msctls_progress32", "SysIPAddress32"
    int id;
    const char* text;  // nullptr: the icon ordinal 106
    uint32_t style;    // without WS_CHILD | WS_VISIBLE
    int x, y, w, h;
};

struct D {
    int id;
    const char* caption;
    int x, y, w, h;
    std::vector<C> controls;
};

// At namespace scope: the table is data, not a function body to keep short.
const std::vector<D> kExpectedTable = {
    {139,
     "ORB-4100 Firmware Upgrade",
     0,
     0,
     204,
     143,
     {
         {"button", 1, "Continue", BS_PUSHBUTTON | WS_TABSTOP, 41, 116, 50, 14},
         {"button", 2, "Cancel", BS_DEFPUSHBUTTON | WS_TABSTOP, 109, 116, 50, 14},
         {"edit", 1021, "", kReadOnlyArea, 12, 13, 189, 95},
     }},
    {101,
     "Enter ORB IP Address",
     200,
     200,
     158,
     181,
     {
         {"button", 1, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 26, 126, 50, 14},
         {"button", 2, "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 79, 126, 50, 14},
         {"edit", 1007, "", kReadOnlyArea | WS_TABSTOP, 13, 6, 139, 16},
         {"edit", 1008, "", kReadOnlyArea | WS_TABSTOP, 13, 42, 139, 56},
         {"edit", 1015, "", kReadOnlyText | WS_TABSTOP, 37, 28, 89, 14},
         {"combobox", 1017, "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 63, 153, 79, 80},
         {"static", -1, "Your IP Address", SS_LEFT | WS_GROUP, 9, 156, 52, 8},
         {"static", -1, nullptr, SS_ICON, 119, 18, 20, 20},
         {"SysIPAddress32", 1000, "IPAddress1", WS_TABSTOP, 26, 103, 103, 15},
     }},
    {105,
     "Connecting with ORB",
     200,
     200,
     186,
     55,
     {
         {"button", 2, "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 65, 34, 50, 14},
         {"msctls_progress32", 1010, "Progress1", WS_BORDER, 22, 10, 141, 14},
     }},
    {104,
     "Enter Password Information",
     200,
     200,
     191,
     236,
     {
         {"button", 1, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 32, 210, 50, 14},
         {"button", 2, "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 104, 210, 50, 14},
         {"edit", 1003, "", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 68, 168, 85, 14},
         {"edit", 1005, "", ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 68, 186, 85, 14},
         {"static", -1, "User", SS_RIGHT | WS_GROUP, 18, 170, 44, 8},
         {"static", -1, "Password", SS_RIGHT | WS_GROUP, 18, 191, 44, 8},
         {"edit", 1007, "", kReadOnlyArea | WS_TABSTOP, 15, 9, 165, 152},
     }},
    {103,
     "Confirm Upgrade",
     200,
     200,
     172,
     170,
     {
         {"button", 1, "Upgrade", BS_DEFPUSHBUTTON | WS_TABSTOP, 29, 146, 50, 14},
         {"button", 2, "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 83, 146, 50, 14},
         {"edit", 1002, "", kReadOnlyText | WS_BORDER | WS_TABSTOP, 78, 47, 67, 14},
         {"edit", 1003, "", kReadOnlyText | WS_BORDER | WS_TABSTOP, 78, 64, 67, 14},
         {"edit", 1004, "", kReadOnlyText | WS_BORDER | WS_TABSTOP, 78, 81, 67, 14},
         {"edit", 1005, "", kReadOnlyText | WS_BORDER | WS_TABSTOP, 78, 98, 67, 14},
         {"edit", 1006, "", kReadOnlyText | WS_BORDER | WS_TABSTOP, 78, 115, 67, 14},
         {"static", -1, "Serial Number", SS_RIGHT | WS_GROUP, 0, 50, 72, 8},
         {"static", -1, "MAC Address", SS_RIGHT | WS_GROUP, 0, 67, 72, 8},
         {"static", -1, "Software Version", SS_RIGHT | WS_GROUP, 0, 84, 72, 8},
         {"static", -1, "Hardware Version", SS_RIGHT | WS_GROUP, 0, 101, 72, 8},
         {"static", -1, "Product Name", SS_RIGHT | WS_GROUP, 0, 118, 72, 8},
         {"edit", 1007, "", kReadOnlyArea | WS_TABSTOP, 12, 6, 142, 35},
     }},
    {114,
     "Waiting For Firmware Upload Request From ORB",
     0,
     0,
     229,
     97,
     {
         {"button", 2, "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 87, 73, 50, 14},
         {"msctls_progress32", 1010, "Progress1", WS_BORDER, 27, 46, 170, 14},
         {"static", -1,
          "Please make sure your ORB is not in use. Firmware upload will begin only when the ORB is idle.",
          SS_LEFT | WS_GROUP, 31, 17, 159, 20},
     }},
    {110,
     "Uploading Firmware To ORB",
     0,
     0,
     244,
     77,
     {
         {"button", 2, "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 95, 52, 50, 14},
         {"msctls_progress32", 1010, "Progress1", WS_BORDER, 17, 35, 206, 8},
         {"static", -1, "Please do not unplug the power of your ORB until the Status Light stops blinking",
          SS_CENTER | WS_GROUP, 53, 12, 137, 22},
     }},
    {111,
     "ORB Upgrade Successful!",
     0,
     0,
     171,
     126,
     {
         {"button", 1, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 59, 94, 50, 14},
         {"edit", 1004, "", kReadOnlyText | ES_CENTER | WS_BORDER | WS_TABSTOP, 15, 69, 136, 14},
         {"edit", 1007, "", kReadOnlyArea | WS_TABSTOP, 29, 9, 111, 33},
         {"static", -1, "orb.example", SS_LEFT | WS_GROUP, 82, 50, 53, 8},
     }},
};

const std::vector<D>& expected() { return kExpectedTable; }

TEST(DialogTemplates, EightTemplatesInTheOrderOfPart41) {
    const ResourceScript& script = builtInResources();
    ASSERT_EQ(script.dialogs.size(), 8u);
    for (size_t i = 0; i < expected().size(); ++i) EXPECT_EQ(script.dialogs[i].id, expected()[i].id);
}

TEST(DialogTemplates, EveryTemplateMatchesTheHandWrittenTable) {
    for (const D& want : expected()) {
        SCOPED_TRACE("template " + std::to_string(want.id));
        const DialogTemplate* got = findDialogTemplate(want.id);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->caption, want.caption);
        EXPECT_EQ(got->x, want.x);
        EXPECT_EQ(got->y, want.y);
        EXPECT_EQ(got->width, want.w);
        EXPECT_EQ(got->height, want.h);
        EXPECT_EQ(got->style, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
        EXPECT_EQ(got->style & WS_VISIBLE, 0u);
        EXPECT_EQ(got->fontSize, 8);
        EXPECT_EQ(got->fontName, "MS Sans Serif");
        EXPECT_EQ(got->language, 0x0409);  // English (United States)
        ASSERT_EQ(got->controls.size(), want.controls.size());
        for (size_t i = 0; i < want.controls.size(); ++i) {
            SCOPED_TRACE("control #" + std::to_string(i + 1));
            const C& wc = want.controls[i];
            const ControlTemplate& gc = got->controls[i];
            EXPECT_TRUE(isClass(gc.className, wc.cls)) << gc.className;
            EXPECT_EQ(gc.id, wc.id);
            if (wc.text == nullptr) {
                EXPECT_EQ(gc.textOrdinal, 106);
                EXPECT_EQ(gc.text, "");
            } else {
                EXPECT_EQ(gc.textOrdinal, -1);
                EXPECT_EQ(gc.text, wc.text);
            }
            EXPECT_EQ(gc.style, kChild | wc.style) << std::hex << gc.style;
            EXPECT_EQ(gc.x, wc.x);
            EXPECT_EQ(gc.y, wc.y);
            EXPECT_EQ(gc.width, wc.w);
            EXPECT_EQ(gc.height, wc.h);
        }
    }
}

// The kind each control of the table should carry, from the table's class name.
ControlKind kindOfTableControl(const C& c) {
    const std::string cls = c.cls;
    if (cls == "button") return ControlKind::Button;
    if (cls == "edit") return ControlKind::Edit;
    if (cls == "static") return c.text == nullptr ? ControlKind::Icon : ControlKind::Static;
    if (cls == "combobox") return ControlKind::ComboBox;
    if (cls == "msctls_progress32") return ControlKind::ProgressBar;
    if (cls == "SysIPAddress32") return ControlKind::Ipv4Address;
    return ControlKind::Unknown;
}

TEST(DialogTemplates, EveryControlCarriesTheKindOfItsClass) {
    for (const D& want : expected()) {
        SCOPED_TRACE("template " + std::to_string(want.id));
        const DialogTemplate* got = findDialogTemplate(want.id);
        ASSERT_NE(got, nullptr);
        ASSERT_EQ(got->controls.size(), want.controls.size());
        for (size_t i = 0; i < want.controls.size(); ++i) {
            SCOPED_TRACE("control #" + std::to_string(i + 1));
            EXPECT_EQ(got->controls[i].kind, kindOfTableControl(want.controls[i]));
        }
    }
}

struct KindCase {
    const char* cls;
    uint32_t style;
    ControlKind kind;
};

// Named by what they hold, so that the test's name is the same in every build.
void PrintTo(const KindCase& c, std::ostream* out) {
    *out << (*c.cls != 0 ? c.cls : "no-class") << " style 0x" << std::hex << c.style;
}

class ControlKinds : public testing::TestWithParam<KindCase> {};

TEST_P(ControlKinds, ComeFromTheClassNameInAnyCaseAndTheIconStyle) {
    EXPECT_EQ(controlKindOf(GetParam().cls, kChild | GetParam().style), GetParam().kind) << GetParam().cls;
}

INSTANTIATE_TEST_SUITE_P(Classes, ControlKinds,
                         testing::Values(KindCase{"Button", BS_DEFPUSHBUTTON, ControlKind::Button},
                                         KindCase{"BUTTON", BS_PUSHBUTTON, ControlKind::Button},
                                         KindCase{"Edit", ES_PASSWORD, ControlKind::Edit},
                                         KindCase{"Static", SS_RIGHT | WS_GROUP, ControlKind::Static},
                                         KindCase{"static", SS_CENTER, ControlKind::Static},
                                         KindCase{"Static", SS_ICON, ControlKind::Icon},
                                         KindCase{"combobox", CBS_DROPDOWNLIST, ControlKind::ComboBox},
                                         KindCase{"msctls_progress32", 0, ControlKind::ProgressBar},
                                         KindCase{"sysipaddress32", WS_TABSTOP, ControlKind::Ipv4Address},
                                         KindCase{"ListBox", 0, ControlKind::Unknown},
                                         KindCase{"Buttons", 0, ControlKind::Unknown},
                                         KindCase{"", SS_ICON, ControlKind::Unknown}));

// The rules every view asks of a control (dialogs/control_kind.h).
struct RuleCase {
    ControlKind kind;
    uint32_t style;
    bool textField, passwordField, readOnlyText, focusable;
};

void PrintTo(const RuleCase& c, std::ostream* out) {
    *out << "kind " << static_cast<int>(c.kind) << " style 0x" << std::hex << c.style;
}

class ControlRules : public testing::TestWithParam<RuleCase> {};

TEST_P(ControlRules, SayWhatTheControlTakes) {
    const RuleCase& c = GetParam();
    EXPECT_EQ(isTextField(c.kind, kChild | c.style), c.textField);
    EXPECT_EQ(isPasswordField(c.kind, kChild | c.style), c.passwordField);
    EXPECT_EQ(isReadOnlyText(c.kind, kChild | c.style), c.readOnlyText);
    EXPECT_EQ(takesFocus(c.kind), c.focusable);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ControlRules,
    testing::Values(RuleCase{ControlKind::Edit, ES_AUTOHSCROLL, true, false, false, true},
                    RuleCase{ControlKind::Edit, ES_PASSWORD | ES_AUTOHSCROLL, true, true, false, true},
                    RuleCase{ControlKind::Edit, kReadOnlyText, false, false, true, true},
                    RuleCase{ControlKind::Edit, kReadOnlyArea, false, false, true, true},
                    RuleCase{ControlKind::Ipv4Address, WS_TABSTOP, true, false, false, true},
                    RuleCase{ControlKind::ComboBox, CBS_DROPDOWNLIST, false, false, false, true},
                    RuleCase{ControlKind::Button, BS_DEFPUSHBUTTON, false, false, false, true},
                    // ES_PASSWORD and ES_READONLY share their bits with other classes' styles.
                    RuleCase{ControlKind::Static, ES_PASSWORD | ES_READONLY, false, false, false, false},
                    RuleCase{ControlKind::Icon, SS_ICON, false, false, false, false},
                    RuleCase{ControlKind::ProgressBar, 0, false, false, false, false},
                    RuleCase{ControlKind::Unknown, ES_READONLY, false, false, false, true}));

TEST(ControlRules, ADropDownListShowsItsSelectedEntry) {
    const std::vector<std::string> items = {"first", "second"};
    EXPECT_EQ(selectedEntry(items, 1), "second");
    EXPECT_EQ(selectedEntry(items, -1), "");
    EXPECT_EQ(selectedEntry(items, 2), "");
    EXPECT_EQ(selectedEntry({}, 0), "");
}

TEST(DialogTemplates, ProgressBarsAreHorizontalSegmentedBars) {
    for (int id : {105, 114, 110}) {
        const DialogTemplate* t = findDialogTemplate(id);
        ASSERT_NE(t, nullptr);
        int bars = 0;
        for (const ControlTemplate& c : t->controls) {
            if (!isClass(c.className, "msctls_progress32")) continue;
            ++bars;
            EXPECT_EQ(c.id, 1010);
            EXPECT_EQ(c.style & 0xFFFF, 0u);  // neither PBS_SMOOTH nor PBS_VERTICAL
        }
        EXPECT_EQ(bars, 1);
    }
}

TEST(DialogTemplates, TheIconIsGroupIcon106) {
    const ResourceScript& script = builtInResources();
    ASSERT_EQ(script.icons.size(), 1u);
    EXPECT_EQ(script.icons[0].id, 106);
    EXPECT_EQ(script.icons[0].file, "orb.ico");
}

TEST(DialogTemplates, UnknownTemplateIdHasNoTemplate) { EXPECT_EQ(findDialogTemplate(4242), nullptr); }

// --- The parser -------------------------------------------------------------

std::string parseError(const std::string& text) {
    ResourceScript script;
    std::string error;
    EXPECT_FALSE(parseResourceScript(text, &script, &error)) << text;
    return error;
}

const char* kGood =
    "#include <windows.h>\n"
    "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n"
    "/* a block\n comment */\n"
    "7 DIALOG 1, 2, 30, 40\n"
    "STYLE WS_POPUP | WS_CAPTION\n"
    "CAPTION \"A \"\"quoted\"\" caption\"\n"
    "FONT 8, \"MS Sans Serif\"\n"
    "BEGIN\n"
    "  CONTROL \"x\", 0x10, \"Edit\", ES_READONLY | NOT WS_VISIBLE, 1, 2, 3, 4 // comment\n"
    "END\n";

TEST(ResourceParser, AcceptsTheFormsItKnows) {
    ResourceScript script;
    std::string error;
    ASSERT_TRUE(parseResourceScript(kGood, &script, &error)) << error;
    ASSERT_EQ(script.dialogs.size(), 1u);
    const DialogTemplate& d = script.dialogs[0];
    EXPECT_EQ(d.id, 7);
    EXPECT_EQ(d.caption, "A \"quoted\" caption");
    EXPECT_EQ(d.style, WS_POPUP | WS_CAPTION);
    EXPECT_EQ(d.language, 0x0409);
    ASSERT_EQ(d.controls.size(), 1u);
    EXPECT_EQ(d.controls[0].id, 16);
    EXPECT_EQ(d.controls[0].style, WS_CHILD | ES_READONLY);  // NOT clears WS_VISIBLE
}

TEST(ResourceParser, RefusesMalformedScriptsWithTheLine) {
    std::string base = kGood;
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = base;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    EXPECT_EQ(parseError(replaced("WS_CAPTION", "WS_CAPTON")), "line 6: unknown name WS_CAPTON");
    EXPECT_NE(parseError(replaced("DIALOG", "DIALOGEX")).find("DIALOGEX"), std::string::npos);
    EXPECT_NE(parseError(replaced("END\n", "")).find("END"), std::string::npos);
    EXPECT_NE(parseError(replaced("\"x\"", "\"x")).find("unterminated string"), std::string::npos);
    EXPECT_NE(parseError(replaced(", 3, 4", ", 3")).find("expected ','"), std::string::npos);
    EXPECT_NE(parseError(replaced("CONTROL", "EDITTEXT")).find("line 10"), std::string::npos);
    EXPECT_NE(parseError(replaced("FONT 8, \"MS Sans Serif\"\n", "")).find("FONT"), std::string::npos);
    EXPECT_NE(parseError(base + base).find("defined twice"), std::string::npos);
    EXPECT_NE(parseError(replaced("/* a block", "/* a block */ */")).find("line"), std::string::npos);
}

TEST(ResourceParser, StyleNamesHaveWindowsValues) {
    int64_t v = 0;
    ASSERT_TRUE(lookupResourceName("WS_TABSTOP", &v));
    EXPECT_EQ(v, 0x00010000);
    ASSERT_TRUE(lookupResourceName("CBS_DROPDOWNLIST", &v));
    EXPECT_EQ(v, 3);
    ASSERT_TRUE(lookupResourceName("ES_READONLY", &v));
    EXPECT_EQ(v, 0x800);
    ASSERT_TRUE(lookupResourceName("IDCANCEL", &v));
    EXPECT_EQ(v, 2);
    EXPECT_FALSE(lookupResourceName("WS_NOSUCHTHING", &v));
}

}  // namespace
}  // namespace orb::dialogs
