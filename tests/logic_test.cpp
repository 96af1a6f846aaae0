// The text logic: the tail split, the start-up rule and the derived names.
#include <gtest/gtest.h>
#include <limits.h>
#include <string.h>

#include <string>

#include "logic/target_description.h"

namespace
{

struct Parsed {
    std::string target;
    std::string iconFile;
    int iconIndex;
    bool iconFileIsTarget;
};

// Buffers are filled with a guard byte first so writes outside what the
// parse may touch show up.
Parsed Parse(const std::string& tail)
{
    char target[MAX_PATH + 16];
    char icon[ICON_BUFFER_SIZE + 16];
    memset(target, 0x5A, sizeof target);
    memset(icon, 0x5A, sizeof icon);
    size_t n = tail.size() < MAX_PATH - 1 ? tail.size() : MAX_PATH - 1;
    memcpy(target, tail.data(), n);
    target[n] = '\0';
    TargetSpec spec = ParseCommandTail(target, icon);
    for (size_t i = MAX_PATH; i < sizeof target; i++)
        EXPECT_EQ(target[i], 0x5A) << "write past the target buffer at " << i;
    for (size_t i = ICON_BUFFER_SIZE; i < sizeof icon; i++)
        EXPECT_EQ(icon[i], 0x5A) << "write past the icon buffer at " << i;
    EXPECT_EQ(spec.target, target);
    EXPECT_TRUE(spec.iconFile == target || spec.iconFile == icon);
    return {spec.target, spec.iconFile, spec.iconIndex, spec.iconFile == target};
}

struct ParseRow {
    const char* tail;
    const char* target;
    const char* iconFile;
    int iconIndex;
};

const ParseRow kParseRows[] = {
    {"", "", "", 0},
    {"C:\\TOOLS\\PLANNER.EXE", "C:\\TOOLS\\PLANNER.EXE", "C:\\TOOLS\\PLANNER.EXE", 0},
    {"C:\\TOOLS\\PLANNER.EXE,C:\\TOOLS\\ICONS.EXE#3", "C:\\TOOLS\\PLANNER.EXE",
     "C:\\TOOLS\\ICONS.EXE", 3},
    {"A.EXE,   B.ICO", "A.EXE", "B.ICO", 0},
    {"A.EXE,\tB.ICO", "A.EXE", "\tB.ICO", 0},
    {"A.EXE , B.ICO", "A.EXE ", "B.ICO", 0},
    {"A.EXE,B.DLL,C", "A.EXE", "B.DLL,C", 0},
    {"A.EXE#2", "A.EXE#2", "A.EXE#2", 0},
    {"A#1.EXE,B.DLL", "A#1.EXE", "B.DLL", 0},
    {"A.EXE,B.DLL#X", "A.EXE", "B.DLL", 0},
    {"A.EXE,B.DLL#-2", "A.EXE", "B.DLL", -2},
    {"A.EXE,B.DLL# 7", "A.EXE", "B.DLL", 7},
    {"A.EXE,B.DLL#\t\n\v\f\r7", "A.EXE", "B.DLL", 7},
    {"A.EXE,B.DLL#\xA0"
     "7",
     "A.EXE", "B.DLL", 0},
    {"A.EXE,B.DLL#3#4", "A.EXE", "B.DLL", 3},
    {"A.EXE,B.DLL#+-5", "A.EXE", "B.DLL", 0},
    {"A.EXE,B.DLL#+5x", "A.EXE", "B.DLL", 5},
    {"A.EXE,#3", "A.EXE", "", 3},
    {"A.EXE,", "A.EXE", "", 0},
    {"A.EXE,   ", "A.EXE", "", 0},
    {"A.EXE  ", "A.EXE  ", "A.EXE  ", 0},
    {"A.EXE,B.ICO  ", "A.EXE", "B.ICO  ", 0},
    {"\"C:\\My Tools\\A.EXE\"", "\"C:\\My Tools\\A.EXE\"", "\"C:\\My Tools\\A.EXE\"", 0},
    {",", "", "", 0},
    {",,,", "", ",,", 0},
    {"A.EXE,B.DLL#2147483647", "A.EXE", "B.DLL", INT_MAX},
    {"A.EXE,B.DLL#2147483648", "A.EXE", "B.DLL", INT_MAX},
    {"A.EXE,B.DLL#99999999999999999999", "A.EXE", "B.DLL", INT_MAX},
    {"A.EXE,B.DLL#-2147483648", "A.EXE", "B.DLL", INT_MIN},
    {"A.EXE,B.DLL#-2147483649", "A.EXE", "B.DLL", INT_MIN},
    {"A.EXE,B.DLL#-000000000000000000012", "A.EXE", "B.DLL", -12},
};

TEST(ParseCommandTail, Table)
{
    for (const ParseRow& row : kParseRows) {
        SCOPED_TRACE(std::string("tail '") + row.tail + "'");
        Parsed got = Parse(row.tail);
        EXPECT_EQ(got.target, row.target);
        EXPECT_EQ(got.iconFile, row.iconFile);
        EXPECT_EQ(got.iconIndex, row.iconIndex);
        // Without a comma the icon file is the target itself, not a copy.
        EXPECT_EQ(got.iconFileIsTarget, strchr(row.tail, ',') == NULL);
    }
}

TEST(ParseCommandTail, IconPartAtTheBufferLimit)
{
    // 255 characters fit the icon buffer; 256 do not, and the icon file is
    // then dropped rather than cut. The number after '#' does not count.
    for (size_t length : {254u, 255u, 256u, 257u}) {
        SCOPED_TRACE("icon file of " + std::to_string(length));
        std::string file(length, 'I');
        Parsed got = Parse("A," + file);
        EXPECT_EQ(got.target, "A");
        EXPECT_EQ(got.iconFile, length <= 255 ? file : "");
        Parsed numbered = Parse("," + file.substr(0, 252) + "#12");
        EXPECT_EQ(numbered.iconFile, file.substr(0, 252));
        EXPECT_EQ(numbered.iconIndex, 12);
    }
}

TEST(ParseCommandTail, UnterminatedTargetBufferStaysInside)
{
    char target[MAX_PATH];
    char icon[ICON_BUFFER_SIZE];
    memset(target, 'T', sizeof target);
    TargetSpec spec = ParseCommandTail(target, icon);
    EXPECT_EQ(strlen(spec.target), size_t(MAX_PATH - 1));
    EXPECT_EQ(spec.iconIndex, 0);
}

struct TailRow {
    const char* commandLine;
    const char* tail;
};

const TailRow kTailRows[] = {
    {"\"C:\\Program Files\\Mivo.exe\"   C:\\A.EXE,B.DLL#2", "C:\\A.EXE,B.DLL#2"},
    {"MIVO.EXE C:\\A.EXE", "C:\\A.EXE"},
    {"  \t MIVO.EXE \t C:\\A.EXE ", "C:\\A.EXE "},
    {"MIVO.EXE", ""},
    {"MIVO.EXE   ", ""},
    {"", ""},
    {"\"C:\\My Dir\\MIVO.EXE\"", ""},
    {"\"C:\\My Dir\\MIVO.EXE\"X Y", "X Y"},
    {"\"C:\\My\tDir\\MIVO.EXE\" X", "Dir\\MIVO.EXE\" X"},
    {"\"unterminated name", ""},
    {"MIVO.EXE\tA B", "A B"},
    {"MIVO.EXE \"C:\\Q U\\A.EXE\"", "\"C:\\Q U\\A.EXE\""},
    {"MIVO.EXE A.EXE,  B.ICO#1", "A.EXE,  B.ICO#1"},
    {"a\"b c", "c"},
};

TEST(CommandTailFromCommandLine, Table)
{
    for (const TailRow& row : kTailRows) {
        SCOPED_TRACE(std::string("command line '") + row.commandLine + "'");
        const char* tail = CommandTailFromCommandLine(row.commandLine);
        EXPECT_STREQ(tail, row.tail);
        // The result is a pointer into the command line, never a copy.
        EXPECT_GE(tail, row.commandLine);
        EXPECT_LE(tail, row.commandLine + strlen(row.commandLine));
    }
}

struct NameRow {
    const char* target;
    const char* displayName;
};

const NameRow kNameRows[] = {
    {"C:\\TOOLS\\PLANNER.EXE", "Planner"},
    {"C:\\DOS\\EDIT.COM", "Edit"},
    {"C:\\AUTOEXEC.BAT", "Autoexec"},
    {"C:\\WINDOWS\\DOSPRMPT.PIF", "Dosprmpt"},
    {"D:\\Letters\\Mother.DOC", "Mother.doc"},
    {"NOTEPAD.EXE", "Notepad"},
    {"C:\\Games.exe\\Run.bat", "Games"},
    {"C:\\TOOLS\\PROG.BAT.EXE", "Prog.bat"},
    {"C:\\DATA\\FILE.EXECUTE", "File"},
    {"C:\\X.BAT\\Y.COM", "X"},
    {"C:/DIR/X.EXE", "C:/dir/x"},
    {"C:\\WINDOWS\\", ""},
    {"", ""},
    {"C:\\1PASS.EXE", "1pass"},
    {"C:\\ LEADING.EXE", " leading"},
    {"C:\\X.COM\\Y.PIF\\Z.BAT", "Z"},
    {"C:\\A.PIF\\B.COM", "B"},
    {".EXE", ""},
    {"\"C:\\Q\\A.EXE\"", "A"},
    {"C:\\\xC9T\xC9.EXE", "\xC9t\xE9"},
    {"C:\\\xE9t\xE9.TXT", "\xC9t\xE9.txt"},
    {"C:\\\xDF.EXE", "\xDF"},
};

TEST(DeriveDisplayName, Table)
{
    for (const NameRow& row : kNameRows) {
        SCOPED_TRACE(std::string("target '") + row.target + "'");
        char work[MAX_PATH];
        char* name = DeriveDisplayName(row.target, work);
        EXPECT_STREQ(name, row.displayName);
        EXPECT_GE(name, work);
        EXPECT_LT(name, work + MAX_PATH);

        char value[MAX_PATH];
        MakeAutostartValueName(name, value);
        EXPECT_EQ(std::string(value), std::string("Mivo ") + row.displayName);
    }
}

TEST(DeriveDisplayName, LeavesTheTargetAlone)
{
    const char target[] = "C:\\TOOLS\\PLANNER.EXE";
    char copy[sizeof target];
    memcpy(copy, target, sizeof target);
    char work[MAX_PATH];
    DeriveDisplayName(copy, work);
    EXPECT_STREQ(copy, target);
}

TEST(DerivedNames, OverLongNamesStayInsideTheirBuffers)
{
    // Names of up to 254 characters fit behind "Mivo "; longer ones are cut
    // to the 259 characters a value name can hold.
    for (size_t length : {62u, 63u, 64u, 254u, 255u, 259u}) {
        SCOPED_TRACE("display name of " + std::to_string(length));
        std::string target(length, 'n');
        char work[MAX_PATH + 8];
        memset(work, 0x5A, sizeof work);
        char* name = DeriveDisplayName(target.c_str(), work);
        EXPECT_EQ(strlen(name), length);
        char value[MAX_PATH + 8];
        memset(value, 0x5A, sizeof value);
        MakeAutostartValueName(name, value);
        std::string expected = "Mivo N" + std::string(length - 1, 'n');
        EXPECT_EQ(std::string(value), expected.substr(0, MAX_PATH - 1));
        for (size_t i = MAX_PATH; i < sizeof value; i++)
            ASSERT_EQ(value[i], 0x5A);
        for (size_t i = MAX_PATH; i < sizeof work; i++)
            ASSERT_EQ(work[i], 0x5A);
    }
    // A target longer than the work buffer keeps what fits.
    std::string huge(1000, 'h');
    char work[MAX_PATH];
    EXPECT_EQ(strlen(DeriveDisplayName(huge.c_str(), work)), size_t(MAX_PATH - 1));
}

} // namespace
