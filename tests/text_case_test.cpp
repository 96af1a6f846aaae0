// The case conversions the display name is made with: CharLowerA over a
// whole string, CharUpperBuffA over a counted stretch. On the host they are
// the model's, on Windows the system's own; both must give the same bytes.
#include "platform/platform_ops.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include "platform/host/cp1252_case.h"
#endif

namespace
{

// "0xC9" for a byte, so that a failing row names the byte.
std::string Hex(unsigned char c)
{
    char text[8];
    snprintf(text, sizeof text, "0x%02X", c);
    return text;
}

// Each byte with what CharLowerA and CharUpperBuffA make of it, in the ANSI
// code page (Windows-1252).
struct CaseRow {
    unsigned char c;
    unsigned char lower;
    unsigned char upper;
};

const CaseRow kCaseRows[] = {
    {'A', 'a', 'A'},
    {'z', 'z', 'Z'},
    {0xC0, 0xE0, 0xC0}, // À
    {0xE9, 0xE9, 0xC9}, // é
    {0xDE, 0xFE, 0xDE}, // Þ
    {0xFE, 0xFE, 0xDE}, // þ
    {0x8A, 0x9A, 0x8A}, // Š
    {0x9C, 0x9C, 0x8C}, // œ
    {0x8E, 0x9E, 0x8E}, // Ž
    {0x9F, 0xFF, 0x9F}, // Ÿ
    {0xFF, 0xFF, 0x9F}, // ÿ
    // No case: digits, punctuation, the bytes next to the letter ranges,
    // the euro sign, signs and letters with one case only.
    {'0', '0', '0'},
    {'\\', '\\', '\\'},
    {'@', '@', '@'},
    {'[', '[', '['},
    {'`', '`', '`'},
    {'{', '{', '{'},
    {0x80, 0x80, 0x80},
    {0x9B, 0x9B, 0x9B},
    {0xBF, 0xBF, 0xBF},
    {0xD7, 0xD7, 0xD7},
    {0xDF, 0xDF, 0xDF},
    {0xF7, 0xF7, 0xF7},
};

TEST(TextCase, EachByte)
{
    for (const CaseRow& row : kCaseRows) {
        char lowered[] = {(char)row.c, '\0'};
        char raised[] = {(char)row.c, '\0'};
        EXPECT_EQ(CharLowerA(lowered), lowered) << "returns its argument";
        EXPECT_EQ(CharUpperBuffA(raised, 1), 1u);
        EXPECT_EQ((unsigned char)lowered[0], row.lower)
            << "CharLowerA(" << Hex(row.c) << ") gave " << Hex((unsigned char)lowered[0]);
        EXPECT_EQ((unsigned char)raised[0], row.upper)
            << "CharUpperBuffA(" << Hex(row.c) << ") gave " << Hex((unsigned char)raised[0]);
    }
}

TEST(TextCase, WholeStrings)
{
    struct Row {
        const char* text;
        const char* lowered;
        const char* raised;
    };
    const Row rows[] = {
        {"C:\\TOOLS\\PLANNER.EXE", "c:\\tools\\planner.exe", "C:\\TOOLS\\PLANNER.EXE"},
        {"D:\\Letters\\Mother.DOC", "d:\\letters\\mother.doc", "D:\\LETTERS\\MOTHER.DOC"},
        {"\xC9T\xC9 1998.TXT", "\xE9t\xE9 1998.txt", "\xC9T\xC9 1998.TXT"},
        {"\x8A\xE9\x9F-\xFF_\xD7\xF7", "\x9A\xE9\xFF-\xFF_\xD7\xF7", "\x8A\xC9\x9F-\x9F_\xD7\xF7"},
        {"", "", ""},
    };
    for (const Row& row : rows) {
        char lowered[64];
        char raised[64];
        strcpy(lowered, row.text);
        strcpy(raised, row.text);
        CharLowerA(lowered);
        DWORD length = (DWORD)strlen(raised);
        EXPECT_EQ(CharUpperBuffA(raised, length), length) << row.text;
        EXPECT_STREQ(lowered, row.lowered) << "CharLowerA(\"" << row.text << "\")";
        EXPECT_STREQ(raised, row.raised) << "CharUpperBuffA(\"" << row.text << "\")";
    }
}

TEST(TextCase, CharLowerAStopsAtTheTerminator)
{
    char text[] = "AB\0CD";
    CharLowerA(text);
    EXPECT_EQ(memcmp(text, "ab\0CD", sizeof text), 0);
}

TEST(TextCase, CharUpperBuffATouchesOnlyTheCountGiven)
{
    struct Row {
        const char* text;
        DWORD count;
        const char* raised;
    };
    const Row rows[] = {
        {"mother.doc", 1, "Mother.doc"}, {"abcdef", 3, "ABCdef"}, {"\xE9t\xE9", 1, "\xC9t\xE9"},
        {"\xFF\xFF", 1, "\x9F\xFF"},     {"abc", 0, "abc"},
    };
    for (const Row& row : rows) {
        char buffer[16];
        memset(buffer, 'x', sizeof buffer);
        strcpy(buffer, row.text);
        size_t size = strlen(row.text) + 1;
        EXPECT_EQ(CharUpperBuffA(buffer, row.count), row.count)
            << row.text << ", count " << row.count;
        EXPECT_STREQ(buffer, row.raised) << row.text << ", count " << row.count;
        for (size_t i = size; i < sizeof buffer; i++)
            ASSERT_EQ(buffer[i], 'x') << "byte " << i << " after " << row.text;
    }
}

#ifdef _WIN32
// The host model's case tables against the system's conversions, byte by
// byte; every byte on which they differ is a failure of its own.
TEST(TextCase, HostTablesMatchTheSystem)
{
    ASSERT_EQ(GetACP(), 1252u) << "the host tables model the Windows-1252 code page";
    for (unsigned value = 1; value < 256; value++) {
        unsigned char c = (unsigned char)value;
        char lowered[] = {(char)c, '\0'};
        char raised[] = {(char)c, '\0'};
        CharLowerA(lowered);
        CharUpperBuffA(raised, 1);
        EXPECT_EQ(host::Cp1252Lower(c), (unsigned char)lowered[0])
            << "lower " << Hex(c) << ": host " << Hex(host::Cp1252Lower(c)) << ", system "
            << Hex((unsigned char)lowered[0]);
        EXPECT_EQ(host::Cp1252Upper(c), (unsigned char)raised[0])
            << "upper " << Hex(c) << ": host " << Hex(host::Cp1252Upper(c)) << ", system "
            << Hex((unsigned char)raised[0]);
    }
}
#endif

} // namespace
