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

struct CasePair {
    unsigned char upper;
    unsigned char lower;
};

// Letters of the ANSI code page (Windows-1252) with both cases.
const CasePair kCasePairs[] = {
    {'A', 'a'},   // the ASCII letters, first,
    {'M', 'm'},   // amid
    {'Z', 'z'},   // and last
    {0xC0, 0xE0}, // À à
    {0xC9, 0xE9}, // É é
    {0xD6, 0xF6}, // Ö ö
    {0xD8, 0xF8}, // Ø ø
    {0xDE, 0xFE}, // Þ þ
    {0x8A, 0x9A}, // Š š
    {0x8C, 0x9C}, // Œ œ
    {0x8E, 0x9E}, // Ž ž
    {0x9F, 0xFF}, // Ÿ ÿ
};

// Bytes that neither conversion changes: digits, punctuation, the bytes
// next to the letter ranges, signs and letters with one case only.
const unsigned char kCaseless[] = {
    '0',  '9', ' ', '.', ',', '#', ':', '\\', '/', '@', '[', '`', '{', '~', 0x7F,
    0x80, // euro sign
    0x9B, // single right-pointing angle quotation mark, between š and œ
    0xA0, // no-break space
    0xBF, // inverted question mark, just before À
    0xD7, // multiplication sign, amid the capitals
    0xDF, // sharp s: no capital of its own
    0xF7, // division sign, amid the small letters
};

TEST(TextCase, CharLowerALowersCapitalsAndKeepsSmallLetters)
{
    for (const CasePair& pair : kCasePairs) {
        char upper[] = {(char)pair.upper, '\0'};
        char lower[] = {(char)pair.lower, '\0'};
        EXPECT_EQ(CharLowerA(upper), upper) << "returns its argument";
        EXPECT_EQ((unsigned char)upper[0], pair.lower)
            << "CharLowerA(" << Hex(pair.upper) << ") gave " << Hex((unsigned char)upper[0])
            << ", expected " << Hex(pair.lower);
        CharLowerA(lower);
        EXPECT_EQ((unsigned char)lower[0], pair.lower)
            << "CharLowerA(" << Hex(pair.lower) << ") gave " << Hex((unsigned char)lower[0]);
    }
}

TEST(TextCase, CharUpperBuffARaisesSmallLettersAndKeepsCapitals)
{
    for (const CasePair& pair : kCasePairs) {
        char lower[] = {(char)pair.lower, '\0'};
        char upper[] = {(char)pair.upper, '\0'};
        EXPECT_EQ(CharUpperBuffA(lower, 1), 1u);
        EXPECT_EQ((unsigned char)lower[0], pair.upper)
            << "CharUpperBuffA(" << Hex(pair.lower) << ") gave " << Hex((unsigned char)lower[0])
            << ", expected " << Hex(pair.upper);
        CharUpperBuffA(upper, 1);
        EXPECT_EQ((unsigned char)upper[0], pair.upper)
            << "CharUpperBuffA(" << Hex(pair.upper) << ") gave " << Hex((unsigned char)upper[0]);
    }
}

TEST(TextCase, BytesWithoutCaseStayAsTheyAre)
{
    for (unsigned char c : kCaseless) {
        char lowered[] = {(char)c, '\0'};
        char raised[] = {(char)c, '\0'};
        CharLowerA(lowered);
        CharUpperBuffA(raised, 1);
        EXPECT_EQ((unsigned char)lowered[0], c)
            << "CharLowerA(" << Hex(c) << ") gave " << Hex((unsigned char)lowered[0]);
        EXPECT_EQ((unsigned char)raised[0], c)
            << "CharUpperBuffA(" << Hex(c) << ") gave " << Hex((unsigned char)raised[0]);
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
