#include "logic/target_description.h"

#include <limits.h>

#include "logic/text_ops.h"

// Texts are in the ANSI code page, where a character may take two bytes
// (code pages 932, 936, 950) and its second byte may be anything from 0x40
// up: 0x5C, the backslash, among them; under UTF-8 (65001) it takes up to
// four. So the search for the backslash, the first capital and the cuts go
// by characters. All else goes byte by byte: blank, tab, quote, comma, '#',
// '.' and the digits lie below 0x40 and never occur inside a character, so
// an extension found starts at a character, its dot, and the ASCII letters
// after the dot are characters of their own.

// The next character; at the end the NUL itself. CharNextA steps through
// UTF-8 byte by byte, so there the step is taken here: a lead byte (0xC2 to
// 0xF4) and the continuation bytes (0x80 to 0xBF) it announces make one
// character; any other byte, and a lead whose continuation bytes are not all
// there, is a character of its own.
static char* NextChar(const char* p)
{
    if (GetACP() != CP_UTF8)
        return CharNextA(p);
    unsigned char lead = (unsigned char)*p;
    const char* next = p + (lead != 0);
    if (lead >= 0xC2 && lead <= 0xF4) // its 1 bits after the first count the bytes to follow
        for (unsigned char bits = (unsigned char)(lead << 1); bits & 0x80; bits <<= 1, next++)
            if ((*next & 0xC0) != 0x80)
                return (char*)p + 1;
    return (char*)next;
}

static bool IsNumberBlank(char c)
{
    // The C locale's white space; bytes 0x80 and above are not blanks.
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The number after '#': blanks, one optional sign, decimal digits up to the
// first other character. Saturates at the ends of the int range instead of
// wrapping: below 0x0CCCCCCD a magnitude takes one more digit without
// leaving 32 bits unsigned.
static int ParseIconNumber(const char* text)
{
    while (IsNumberBlank(*text))
        text++;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = (*text == '-');
        text++;
    }
    unsigned magnitude = 0;
    const unsigned limit = negative ? 0u - (unsigned)INT_MIN : (unsigned)INT_MAX;
    for (; *text >= '0' && *text <= '9'; text++) {
        magnitude = magnitude < 0x0CCCCCCDu ? magnitude * 10 + (unsigned)(*text - '0') : limit;
        if (magnitude > limit)
            magnitude = limit;
    }
    return (int)(negative ? 0u - magnitude : magnitude);
}

static char* SkipBlanks(const char* p)
{
    while (*p == ' ') // blanks only; a tab stays
        p++;
    return (char*)p;
}

// A name in double quotes is what they enclose: Windows hands over paths
// so (Copy as path always; a dropped file or Send To when the path has a
// blank), and no file name holds a quote. Without a closing quote the name
// runs to the end. Gives the name's length and the text after it.
static char* QuotedName(char* quote, size_t* length)
{
    char* close = TextFindChar(quote + 1, '"');
    if (close == NULL)
        close = quote + TextLength(quote); // the end, so nothing follows
    *length = (size_t)(close - quote - 1);
    return close + (*close != '\0');
}

// The quoted name moves to where its opening quote was, so that the text
// holds it alone; gives the text after the closing quote.
static char* Unquote(char* quote)
{
    size_t length;
    char* rest = QuotedName(quote, &length);
    for (size_t i = 0; i < length; i++)
        quote[i] = quote[i + 1];
    quote[length] = '\0';
    return rest;
}

TargetSpec ParseCommandTail(char* targetBuffer, char* iconBuffer)
{
    TargetSpec spec;
    // The caller copies at most MAX_PATH - 1 bytes; make sure a stray
    // unterminated buffer still ends inside itself.
    targetBuffer[MAX_PATH - 1] = '\0';
    char* end = targetBuffer + TextLength(targetBuffer);
    spec.target = targetBuffer;
    spec.iconFile = targetBuffer;
    spec.iconIndex = 0;
    spec.arguments = end;

    // A program in quotes may be followed by its arguments: the quotes say
    // where its name ends. A comma after the quote and its blanks begins
    // the icon part instead; anything else, a second dropped file too, is
    // the arguments, to the end, as written. Unquoted, a comma always ends
    // the target, and there are no arguments.
    bool bQuoted = targetBuffer[0] == '"';
    char* comma = bQuoted ? SkipBlanks(Unquote(targetBuffer)) : TextFindChar(targetBuffer, ',');
    if (bQuoted && *comma != ',') {
        spec.arguments = comma;
        comma = NULL;
    }
    if (comma != NULL) {
        *comma = '\0';
        char* iconPart = SkipBlanks(comma + 1);
        // A quoted icon file may hold a '#': the number's '#' follows the
        // quote and its blanks. The number is one word; the arguments
        // follow it after blanks.
        size_t fileLength;
        const char* hash;
        if (*iconPart == '"') {
            char* rest = SkipBlanks(QuotedName(iconPart, &fileLength));
            hash = *rest == '#' ? rest : NULL;
            if (hash != NULL) {
                while (*rest != '\0' && *rest != ' ')
                    rest++;
                if (*rest == ' ')
                    *rest++ = '\0';
            }
            if (bQuoted)
                spec.arguments = SkipBlanks(rest);
            iconPart++;
        } else {
            hash = TextFindChar(iconPart, '#');
            fileLength = hash ? (size_t)(hash - iconPart) : TextLength(iconPart);
        }
        spec.iconFile = iconBuffer;
        iconBuffer[0] = '\0';
        // An icon file that does not fit the icon buffer is not cut (a cut
        // name could be some other file): no icon file, so our own icon.
        if (fileLength < ICON_BUFFER_SIZE) {
            TextCopy(iconBuffer, iconPart, fileLength + 1);
            if (hash != NULL)
                spec.iconIndex = ParseIconNumber(hash + 1);
        }
    }
    // With no file there is nothing to pass arguments to.
    if (targetBuffer[0] == '\0')
        spec.arguments = end;
    return spec;
}

size_t AddressScheme(const char* target)
{
    // A letter, then letters, digits, '+', '-' and '.'; one letter and a
    // colon is a drive.
    size_t length = 0;
    for (char c; (c = target[length]) != '\0'; length++)
        if ((unsigned)((c | 0x20) - 'a') >= 26 &&
            (length == 0 || (unsigned)(c - '+') > '9' - '+' || c == ',' || c == '/'))
            break;
    return length >= 2 && target[length] == ':' ? length : 0;
}

int ParseIconLocation(char* text, BOOL bCommand)
{
    // Where the file's name ends: its closing quote, or unquoted a
    // command's first blank, an icon location's last comma.
    char* rest = text + TextLength(text);
    if (text[0] == '"')
        rest = SkipBlanks(Unquote(text));
    else if (bCommand && TextFindChar(text, ' ') != NULL)
        rest = TextFindChar(text, ' ');
    else if (!bCommand)
        for (char* p = text; *p != '\0'; p++)
            if (*p == ',')
                rest = p;
    int number = !bCommand && *rest == ',' ? ParseIconNumber(rest + 1) : 0;
    *rest = '\0';
    return number;
}

// FNV-1a, 32 bits: small, and the same on every computer.
#define FNV_OFFSET 2166136261u
#define FNV_PRIME 16777619u

static DWORD HashByte(DWORD hash, unsigned char byte)
{
    return (hash ^ byte) * FNV_PRIME;
}

// The name in lower case, and its NUL, which keeps it apart from the next.
static DWORD HashFolded(DWORD hash, const char* name)
{
    char work[MAX_PATH];
    TextCopy(work, name, MAX_PATH);
    CharLowerA(work);
    for (const char* p = work;; p++) {
        hash = HashByte(hash, (unsigned char)*p);
        if (*p == '\0')
            return hash;
    }
}

// Windows 7 and later remember each notification icon (whether it shows
// in the overflow, the row that lists it in Settings) by the program that
// added it and the icon's identifier. Every Mivo is the same program, so
// the identifier tells one Mivo's file from another's: each file, and each
// icon of it, its own row. File names ignore case, and so does the
// identifier; CharLowerA leaves the second byte of a double-byte character
// alone.
UINT MakeIconId(const TargetSpec* spec)
{
    if (spec->target[0] == '\0' && spec->iconFile[0] == '\0')
        return ICON_UID;
    DWORD hash = HashFolded(FNV_OFFSET, spec->target);
    if (spec->iconFile != spec->target) {
        hash = HashFolded(hash, spec->iconFile);
        for (int shift = 0; shift < 32; shift += 8)
            hash = HashByte(hash, (unsigned char)((unsigned)spec->iconIndex >> shift));
    }
    // The same program with other arguments is another icon; without
    // arguments the identifier stays what it always was.
    if (*spec->arguments != '\0')
        hash = HashFolded(hash, spec->arguments);
    return hash != 0 ? hash : ICON_UID;
}

// Copies the whole characters of source that fit into dest (size bytes, the
// NUL included): a character that does not fit is left out, not cut.
static void CopyWholeCharacters(char* dest, const char* source, size_t size)
{
    const char *end = source, *next;
    while (*end != '\0' && (size_t)((next = NextChar(end)) - source) < size)
        end = next;
    TextCopy(dest, source, (size_t)(end - source) + 1);
}

char* DeriveDisplayName(const char* target, const char* arguments, char* workBuffer)
{
    // A target longer than the work buffer keeps its first MAX_PATH - 1
    // bytes; the applet refuses such tails before it gets here.
    TextCopy(workBuffer, target, MAX_PATH);
    char* name = workBuffer;
    size_t cchScheme = AddressScheme(workBuffer);
    if (cchScheme != 0) {
        // An address is shown as written, but for "scheme://" and a
        // trailing '/', which say nothing.
        if (name[cchScheme + 1] == '/' && name[cchScheme + 2] == '/') {
            name += cchScheme + 3;
            size_t cch = TextLength(name);
            if (cch != 0 && name[cch - 1] == '/')
                name[cch - 1] = '\0';
        }
    } else {
        CharLowerA(workBuffer);
        static const char* const extensions[] = {".exe", ".bat", ".com", ".pif"};
        for (const char* extension : extensions) {
            char* found = TextFind(workBuffer, extension);
            if (found != NULL) {
                *found = '\0';
                break;
            }
        }
        for (char* p = workBuffer; *p != '\0'; p = NextChar(p))
            if (*p == '\\')
                name = p + 1;
        CharUpperBuffA(name, (DWORD)(NextChar(name) - name)); // the whole character
    }
    // The arguments follow after a blank, as many whole characters as fit
    // the buffer, where the name now starts.
    TextCopy(workBuffer, name, MAX_PATH);
    char* end = workBuffer + TextLength(workBuffer);
    if (*arguments != '\0' && end < workBuffer + MAX_PATH - 1) {
        *end++ = ' ';
        CopyWholeCharacters(end, arguments, (size_t)(workBuffer + MAX_PATH - end));
    }
    return workBuffer;
}

void MakeAutostartValueName(const char* displayName, char* buffer)
{
    // A display name longer than MAX_PATH - 1 - 5 bytes is cut so that the
    // value name still fits.
    const size_t cchPrefix = sizeof VALUE_NAME_PREFIX - 1;
    TextCopy(buffer, VALUE_NAME_PREFIX, MAX_PATH);
    CopyWholeCharacters(buffer + cchPrefix, displayName, MAX_PATH - cchPrefix);
}

const char* CommandTailFromCommandLine(const char* commandLine)
{
    if (commandLine == NULL)
        return "";
    const char* p = commandLine;
    while (*p == ' ' || *p == '\t')
        p++;
    if (*p == '"') {
        p++;
        while (*p != '\0' && *p != '"' && *p != '\t')
            p++;
        if (*p == '"')
            p++;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t')
            p++;
    }
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}

void MakeTipText(const char* displayName, char* tip)
{
    // The shell reads 64 bytes of tip from the 88-byte record: a longer
    // display name is cut to what fits in 63 bytes.
    CopyWholeCharacters(tip, displayName, TIP_SIZE);
}

BOOL FormAutostartCommand(const char* modulePath, const char* tail, char* buffer)
{
    buffer[0] = '\0';
    // At logon the command line is split at the program name: an unquoted
    // name ends at its first blank, a quoted one at its closing quote or a
    // tab, and the blanks and tabs after it are skipped. A path with a blank
    // is therefore quoted; one with a tab or a quote (no Windows file name
    // has either) and a tail that begins with a blank or tab could not come
    // back as they were, so nothing is stored for them.
    if (modulePath[0] == '\0' || TextFindChar(modulePath, '\t') != NULL ||
        TextFindChar(modulePath, '"') != NULL || tail[0] == ' ' || tail[0] == '\t')
        return FALSE;
    BOOL bQuote = (TextFindChar(modulePath, ' ') != NULL);

    // A cut command would start the wrong thing at every logon.
    size_t cbNeeded = (bQuote ? 2 : 0) + TextLength(modulePath) + 1 + TextLength(tail) + 1;
    if (cbNeeded > AUTOSTART_COMMAND_SIZE)
        return FALSE;

    if (bQuote)
        TextAppend(buffer, "\"", AUTOSTART_COMMAND_SIZE);
    TextAppend(buffer, modulePath, AUTOSTART_COMMAND_SIZE);
    if (bQuote)
        TextAppend(buffer, "\"", AUTOSTART_COMMAND_SIZE);
    TextAppend(buffer, " ", AUTOSTART_COMMAND_SIZE);
    TextAppend(buffer, tail, AUTOSTART_COMMAND_SIZE);
    return TRUE;
}

BOOL TextFits(const char* text, size_t size)
{
    return TextLengthUpTo(text, size) < size;
}
