// The text logic: the tail split, the start-up rule, the derived names and
// the command stored for logon. Output buffers have their exact sizes, so
// that the AddressSanitizer build sees any write past them.
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "logic/target_description.h"
#include "platform/host/cp1252_case.h"
#include "tests/check.h"

using std::string;
static const string i255(255, 'I'), i256(256, 'I'), t259(259, 'T'), n300(300, 'n');
static const string kPlanner = "C:\\TOOLS\\PLANNER.EXE",
                    kIcons = kPlanner + ",C:\\TOOLS\\ICONS.EXE#3";

// clang-format off
// Tail, target, icon file ("=": the target itself, no icon part), number;
// where given, the display name of the target, and its arguments.
static const struct { string tail, target, iconFile; int iconIndex; string name = "", args = ""; } kParse[] = {
    {"", "", "=", 0}, {kPlanner, kPlanner, "=", 0}, {"A.EXE,   B.ICO", "A.EXE", "B.ICO", 0},
    {kIcons, kPlanner, "C:\\TOOLS\\ICONS.EXE", 3}, {"A.EXE, \tB.ICO", "A.EXE", "\tB.ICO", 0},
    {"A.EXE , B.ICO", "A.EXE ", "B.ICO", 0}, {"A.EXE,B.DLL,C", "A.EXE", "B.DLL,C", 0},
    {"A.EXE#2", "A.EXE#2", "=", 0}, {"A#1.EXE,B.DLL", "A#1.EXE", "B.DLL", 0},
    {"A,B.DLL#X", "A", "B.DLL", 0}, {"A,B#-2", "A", "B", -2}, {"A,B# 7", "A", "B", 7},
    {"A,B#3#4", "A", "B", 3}, {"A,B#+-5", "A", "B", 0}, {"A,B#\xA0" "7", "A", "B", 0},
    {"A.EXE,#3", "A.EXE", "", 3}, {"A.EXE,", "A.EXE", "", 0}, {"A.EXE,   ", "A.EXE", "", 0},
    {"A.EXE  ", "A.EXE  ", "=", 0}, {"A,B.ICO  ", "A", "B.ICO  ", 0}, {t259, t259, "=", 0},
    {"A," + i255, "A", i255, 0}, {"A," + i256, "A", "", 0}, {"A," + i255 + "#7", "A", i255, 7},
    {"A,B#2147483648", "A", "B", INT_MAX}, {"A,B#99999999999999999999", "A", "B", INT_MAX},
    {"A,B#-2147483649", "A", "B", INT_MIN},
    // Paths in quotes, as Windows hands them over: the quotes go, a comma
    // or '#' inside them is part of the name, and what follows a quoted
    // target other than blanks and the icon part is left out. A quote
    // elsewhere is an ordinary character.
    {"\"C:\\Letters\\Mother.txt\"", "C:\\Letters\\Mother.txt", "=", 0, "Mother.txt"},
    {"\"C:\\Program Files\\Some Tool.exe\"  , \"C:\\My Icons\\a,#1.dll\"#2", "C:\\Program Files\\Some Tool.exe",
     "C:\\My Icons\\a,#1.dll", 2, "Some tool"},
    {"\"C:\\A,B\\X.EXE\",I.DLL", "C:\\A,B\\X.EXE", "I.DLL", 0, "X"}, {"\"\"", "", "=", 0},
    {"\"C:\\A.EXE\" \"C:\\B,C.EXE\"", "C:\\A.EXE", "=", 0, "A \"C:\\B,C.EXE\"", "\"C:\\B,C.EXE\""},
    {"\"C:\\A B,C#1.EXE", "C:\\A B,C#1.EXE", "=", 0},
    {"A,\"B.DLL#1", "A", "B.DLL#1", 0}, {"A,\"B.DLL\" #-1", "A", "B.DLL", -1}, {"A,\"\"#4", "A", "", 4},
    {"C:\\A\"B.EXE,C\"D.DLL", "C:\\A\"B.EXE", "C\"D.DLL", 0}, {" \"A\"", " \"A\"", "=", 0},
    {"A,\"" + i255 + "\"", "A", i255, 0}, {"A,\"" + i256, "A", "", 0},
    // A program's arguments follow its quotes, or a quoted icon file and its
    // number, which is one word; they keep commas, quotes and blanks. An
    // unquoted target or an empty one takes none.
    {"\"C:\\W\\rundll32.exe\"  shell32.dll,Control_RunDLL  \"a b\"", "C:\\W\\rundll32.exe", "=", 0,
     "Rundll32 shell32.dll,Control_RunDLL  \"a b\"", "shell32.dll,Control_RunDLL  \"a b\""},
    {"\"C:\\T\\prog.exe\",\"C:\\I\\set.dll\"#3 --fast", "C:\\T\\prog.exe", "C:\\I\\set.dll", 3, "Prog --fast", "--fast"},
    {"\"A\" ,\"B\"  x y", "A", "B", 0, "A x y", "x y"}, {"\"A\",\"B\"#3x  y", "A", "B", 3, "A y", "y"},
    {"\"A\",\"B\"# 7", "A", "B", 0, "A 7", "7"}, {"A,\"B\"#3 x", "A", "B", 3, "A"}, {"\"\"  x", "", "=", 0},
    {"\"\",\"B\" x", "", "B", 0}};

// The icon's identifier of a few tails, as Windows has them on record.
static const struct { string tail; UINT id; } kIds[] = {
    {"", ICON_UID}, {",#3", ICON_UID}, {kPlanner, 735862595}, {"\"" + kPlanner + "\"", 735862595},
    {kIcons, 511459960}};
// Tails whose identifiers agree (the same file and icon) or differ; the
// code pages add their own below.
struct IdPair { string a, b; bool same; };
static const IdPair kIdPairs[] = {
    {"C:\\X.EXE", "\"c:\\x.exe\"", true}, {kIcons, "\"c:\\tools\\planner.exe\" ,\"C:\\TOOLS\\icons.exe\"#+3", true},
    {"C:\\X.EXE", "C:\\Y.EXE", false}, {"A,B#1", "A,B#2", false}, {"A", "A,", false},
    {"A,B", "A,B#0", true}, {"\"A\" x", "\"A\" y", false}, {"\"A\" X", "\"a\" x", true}, {"\"A\"", "\"A\" x", false},
    {"\"A\"  ", "A", true}};
// Case by the code page: Windows-1252's accented letters; a double-byte
// character's second byte, A and a here, is no letter of its own; Cyrillic
// in UTF-8 (on Windows: the host's UTF-8 knows ASCII's case alone).
static const std::vector<IdPair> kCp1252Ids = {{"C:\\\xC9T\xC9.EXE", "c:\\\xE9t\xE9.exe", true}},
    kDoubleByteIds = {{"C:\\\x83\x41.EXE", "C:\\\x83\x61.EXE", false}},
#ifdef _WIN32
    kUtf8Ids = {{"C:\\Документы\\ЖУК.exe", "c:\\документы\\жук.EXE", true}};
#else
    kUtf8Ids = {};
#endif

static const char* const kTail[][2] = {
    {"\"C:\\Program Files\\Mivo.exe\"   C:\\A.EXE,B.DLL#2", "C:\\A.EXE,B.DLL#2"},
    {"MIVO.EXE C:\\A.EXE", "C:\\A.EXE"}, {"  \t MIVO.EXE \t C:\\A.EXE ", "C:\\A.EXE "},
    {"MIVO.EXE", ""}, {"MIVO.EXE   ", ""}, {"", ""}, {"\"C:\\My Dir\\MIVO.EXE\"", ""},
    {"\"C:\\My Dir\\MIVO.EXE\"X Y", "X Y"}, {"\"C:\\My\tDir\\MIVO.EXE\" X", "Dir\\MIVO.EXE\" X"},
    {"\"unterminated name", ""}, {"MIVO.EXE\tA B", "A B"}, {"a\"b c", "c"}};

// Target, display name and arguments; the tip and the value name keep so
// many bytes of the name and of "Mivo " and it.
struct Names { string target, name, args = ""; size_t cbTip = TIP_SIZE - 1, cbValue = MAX_PATH - 1; };
static const Names kNames[] = {
    {kPlanner, "Planner"}, {"C:\\DOS\\EDIT.COM", "Edit"}, {"C:\\AUTOEXEC.BAT", "Autoexec"},
    {"C:\\WINDOWS\\DOSPRMPT.PIF", "Dosprmpt"}, {"D:\\Letters\\Mother.DOC", "Mother.doc"},
    {"NOTEPAD.EXE", "Notepad"}, {"C:\\Games.exe\\Run.bat", "Games"}, {"C:\\X.BAT\\Y.COM", "X"},
    {"C:\\TOOLS\\PROG.BAT.EXE", "Prog.bat"}, {"C:\\DATA\\FILE.EXECUTE", "File"}, {"", ""},
    {"C:/DIR/X.EXE", "C:/dir/x"}, {"C:\\WINDOWS\\", ""}, {"C:\\1PASS.EXE", "1pass"},
    {"C:\\ LEADING.EXE", " leading"}, {"C:\\\xC9T\xC9.EXE", "\xC9t\xE9"}, {"C:\\\xDF.EXE", "\xDF"},
    {"C:\\\xE9t\xE9.TXT", "\xC9t\xE9.txt"}, {"C:\\\x8A\x8C\x9F.PIF", "\x8A\x9C\xFF"},
    {"C:\\\xFF\xD7.COM", "\x9F\xD7"}, {string(63, 'n'), "N" + string(62, 'n')},
    {string(64, 'n'), "N" + string(63, 'n')}, {n300, "N" + n300.substr(0, 258)},
    {"C:\\MMC.EXE", "Mmc " + n300.substr(0, 255), n300}, {"C:\\" + n300.substr(0, 258), "N" + n300.substr(0, 255) + " x", "x"},
    // Addresses as written, but for "scheme://" and a trailing '/'; what
    // is no scheme is a file's name.
    {"https://mail.example.com/", "mail.example.com"}, {"HTTPS://Example.COM/A.EXE/x/", "Example.COM/A.EXE/x"},
    {"ms-settings:windowsupdate", "ms-settings:windowsupdate"}, {"mailto:a@b.org", "mailto:a@b.org a", "a"},
    {"a+b.c-d:x//", "a+b.c-d:x//"}, {"c:A.EXE", "C:a"}, {"1x:A.EXE", "1x:a"}, {"-x:A.EXE", "-x:a"}, {":X.EXE", ":x"}};

// The same under the double-byte code pages 932 and 936, in characters of
// both, without case, many of them ending in 0x5C: 83 5C 83 74 83 67 and
// 95 5C 8C 76 8E 5A (two names in 932), 94 5C, 8C 8C. The cuts keep whole
// characters.
static const string kSoFuTo = "\x83\x5C\x83\x74\x83\x67", kHyoKeiSan = "\x95\x5C\x8C\x76\x8E\x5A",
                    c70(70, '\x8C'), c254(254, '\x8C');
static const std::vector<Names> kDoubleByte = {
    {"C:\\Apps\\" + kSoFuTo + ".EXE", kSoFuTo}, {"C:\\" + c70 + ".EXE", c70, "", 62}, {"C:\\A.EXE", "A " + c254, c254, 62},
    {"C:\\Apps\\" + kSoFuTo + "\x95\x5C.EXE", kSoFuTo + "\x95\x5C"},
    {"C:\\\x94\x5C\\" + kHyoKeiSan + ".EXE", kHyoKeiSan}, {"C:\\a" + c254, "A" + c254, "", 63, 258}};

// Under UTF-8: characters of two, three and four bytes (a first one too), a
// cut of the tip or the value name that would fall inside one. A malformed
// byte is a character of its own: a stray continuation byte, 0xC0 and 0xC1
// (which begin no character), a lead without its continuation bytes. Wine
// leaves the first rows of these as they are; the last ones (on the host
// only) its CharLowerA turns into U+FFFD, three bytes.
static string Times(int n, const string& text) { return n ? text + Times(n - 1, text) : ""; }
static const string zh31 = Times(31, "ж"), grin64 = Times(64, "😀"), bao85 = Times(85, "報"),
                    n62 = n300.substr(0, 62), n61 = "N" + n300.substr(0, 61);
static const std::vector<Names> kUtf8 = {
    {"D:\\Документы\\Письмо.doc", "Письмо.doc"}, {"C:\\文書\\報告.EXE", "報告"},
    {"C:\\😀 Party.exe", "😀 party"}, {"C:\\Ж" + zh31, "Ж" + zh31, "", 62}, {"C:\\" + grin64, grin64, "", 60, 257},
    {"C:\\" + bao85, bao85, "", 63, 257}, {"C:\\A.EXE", "A " + zh31, zh31, 62}, {"C:\\\x80x", "\x80x"}, {"C:\\" + n62 + "\xC0\x80", n61 + "\xC0\x80"},
    {"C:\\" + n62 + "\xC1\x80", n61 + "\xC1\x80"}, {"C:\\" + n62 + "\xC2x", n61 + "\xC2x"},
#ifdef _WIN32
    {"C:\\Документы\\письмо.exe", "Письмо"}, {"C:\\ЖУК", "Жук"}};
#else
    {"C:\\\xE2\\ab.EXE", "Ab"}, {"C:\\a\xF0\x9F\x98", "A\xF0\x9F\x98"}};
#endif

// An icon location, or (after a blank) a command, as the registry gives
// it: the file, the icon number.
static const string kLocations[][3] = {
    {"\"C:\\P F\\b.exe\",1", "C:\\P F\\b.exe", "1"}, {"C:\\W\\url.dll,-1024", "C:\\W\\url.dll", "-1024"},
    {"C:\\a,b\\x.dll, 2", "C:\\a,b\\x.dll", "2"}, {"C:\\B.EXE", "C:\\B.EXE", "0"}, {"\"C:\\B,1.EXE\" ,3", "C:\\B,1.EXE", "3"},
    {"\"C:\\B.EXE\"", "C:\\B.EXE", "0"}, {" \"C:\\P F\\b.exe\" -url \"%1\",2", "C:\\P F\\b.exe", "0"},
    {" C:\\W\\b.exe %1,2", "C:\\W\\b.exe", "0"}, {" C:\\W\\b.exe", "C:\\W\\b.exe", "0"}};

// Module path, tail, stored command ("" when refused).
static const string kPlain = "C:\\MIVO\\MIVO.EXE", kBlanks = "C:\\Program Files\\Mivo\\Mivo.exe";
static const string kQuoted = "\"" + kBlanks + "\" ", p267 = "C:\\" + string(267, 'p'),
    t254(254, 't'), t238(238, 't');
static const string kCommands[][3] = {
    {kPlain, kIcons, kPlain + " " + kIcons}, {kPlain, "", kPlain + " "},
    {kPlain, "a\tb ", kPlain + " a\tb "}, {kBlanks, kIcons, kQuoted + kIcons},
    {kPlain, t254, kPlain + " " + t254}, {kPlain, t254 + "t", ""}, {kBlanks, t238, kQuoted + t238},
    {kBlanks, t238 + "t", ""}, {p267, "", p267 + " "}, {p267 + "p", "", ""}, {"", "x", ""},
    {"C:\\A\tB\\M.EXE", "x", ""}, {"C:\\A\"B\\M.EXE", "x", ""}, {kPlain, " x", ""},
    {kPlain, "\tx", ""}};
// clang-format on

static void CheckNames(const Names& row)
{
    char work[MAX_PATH], value[MAX_PATH], tip[TIP_SIZE];
    char* name = DeriveDisplayName(row.target.c_str(), row.args.c_str(), work);
    MakeAutostartValueName(name, value);
    MakeTipText(name, tip);
    ok(name >= work && name < work + MAX_PATH && row.name == name &&
           ("Mivo " + row.name).substr(0, row.cbValue) == value &&
           row.name.substr(0, row.cbTip) == tip,
       "'%s': '%s', '%s', tip '%s'", row.target.c_str(), name, value, tip);
}

// The tail split in target (MAX_PATH bytes) and icon (ICON_BUFFER_SIZE).
static TargetSpec Parse(const string& tail, char* target, char* icon)
{
    memcpy(target, tail.c_str(), tail.size() + 1);
    return ParseCommandTail(target, icon);
}

static UINT IdOf(const string& tail)
{
    char target[MAX_PATH], icon[ICON_BUFFER_SIZE];
    TargetSpec spec = Parse(tail, target, icon);
    return MakeIconId(&spec);
}

static void CheckIds(const std::vector<IdPair>& rows)
{
    for (const auto& row : rows) {
        UINT a = IdOf(row.a), b = IdOf(row.b);
        ok((a == b) == row.same && a != 0 && b != 0, "'%s': %u, '%s': %u", row.a.c_str(), a, row.b.c_str(), b);
    }
}

// With a code page's number (932, 936 under a locale that gives it, 65001
// through the manifest or, on the host, as chosen): the rows of that code
// page instead of Windows-1252's.
int main(int argc, char** argv)
{
    for (const auto& row : kParse) {
        char target[MAX_PATH], icon[ICON_BUFFER_SIZE], work[MAX_PATH], value[MAX_PATH];
        TargetSpec spec = Parse(row.tail, target, icon);
        const char* name = DeriveDisplayName(spec.target, spec.arguments, work);
        MakeAutostartValueName(name, value);
        ok(spec.target == target && row.target == target &&
               spec.iconFile == (row.iconFile == "=" ? target : icon) &&
               (row.iconFile == "=" || row.iconFile == spec.iconFile) && spec.iconIndex == row.iconIndex &&
               (row.name.empty() || (row.name == name && "Mivo " + row.name == value)) && row.args == spec.arguments,
           "'%s': '%s', '%s', %d, '%s', '%s'", row.tail.c_str(), spec.target, spec.iconFile, spec.iconIndex, value,
           spec.arguments);
    }

    for (const auto& row : kLocations) {
        char text[MAX_PATH];
        int number = ParseIconLocation(strcpy(text, row[0].c_str() + (row[0][0] == ' ')), row[0][0] == ' ');
        ok(row[1] == text && std::to_string(number) == row[2], "'%s': '%s', %d", row[0].c_str(), text, number);
    }

    for (const auto& row : kIds)
        ok(IdOf(row.tail) == row.id, "'%s': %u, not %u", row.tail.c_str(), IdOf(row.tail), row.id);
    CheckIds(std::vector<IdPair>(std::begin(kIdPairs), std::end(kIdPairs)));

    for (const auto& row : kTail) {
        const char* tail = CommandTailFromCommandLine(row[0]);
        ok(tail >= row[0] && tail <= row[0] + strlen(row[0]) && strcmp(tail, row[1]) == 0,
           "'%s': tail '%s'", row[0], tail);
    }

    for (const auto& row : kCommands) {
        char command[AUTOSTART_COMMAND_SIZE];
        memset(command, 'G', sizeof command);
        BOOL made = FormAutostartCommand(row[0].c_str(), row[1].c_str(), command);
        ok(made == !row[2].empty() && row[2] == command, "'%s' + '%s': %d, '%s'", row[0].c_str(),
           row[1].c_str(), made, command);
    }

    UINT page = argc > 1 ? (UINT)atoi(argv[1]) : 1252;
#ifdef _WIN32
    ok(GetACP() == page, "ANSI code page %u, not %u", GetACP(), page);
#else
    g_hostCodePage = page;
#endif
    if (page != 1252) {
        for (const auto& row : page == CP_UTF8 ? kUtf8 : kDoubleByte)
            CheckNames(row);
        CheckIds(page == CP_UTF8 ? kUtf8Ids : kDoubleByteIds);
        return done();
    }
#ifdef _WIN32
    // The host build's case mapping against the system's, byte by byte.
    for (unsigned c = 0; c < 256; c++) {
        char lower[2] = {(char)c, 0}, upper[2] = {(char)c, 0};
        ok(*CharLowerA(lower) == Cp1252Lower((char)c) && CharUpperBuffA(upper, 1) &&
               *upper == Cp1252Upper((char)c), "0x%02X: system 0x%02X 0x%02X", c, *lower & 0xFF, *upper & 0xFF);
    }
#endif
    for (const auto& row : kNames)
        CheckNames(row);
    CheckIds(kCp1252Ids);
    return done();
}
