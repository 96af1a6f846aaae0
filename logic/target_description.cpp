#include "logic/target_description.h"

#include <limits.h>
#include <string.h>

static bool IsNumberBlank(char c)
{
    // The C locale's white space; bytes 0x80 and above are not blanks.
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The number after '#': blanks, one optional sign, decimal digits up to the
// first other character. Saturates at the ends of the int range instead of
// wrapping.
static int ParseIconNumber(const char* text)
{
    while (IsNumberBlank(*text))
        text++;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = (*text == '-');
        text++;
    }
    long long magnitude = 0;
    const long long limit = negative ? -(long long)INT_MIN : (long long)INT_MAX;
    for (; *text >= '0' && *text <= '9'; text++) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    return (int)(negative ? -magnitude : magnitude);
}

// Copies at most size - 1 bytes of source and always terminates.
static void CopyBounded(char* dest, const char* source, size_t size)
{
    size_t length = strnlen(source, size - 1);
    memcpy(dest, source, length);
    dest[length] = '\0';
}

TargetSpec ParseCommandTail(char* targetBuffer, char* iconBuffer)
{
    TargetSpec spec;
    // The caller copies at most MAX_PATH - 1 bytes; make sure a stray
    // unterminated buffer still ends inside itself.
    targetBuffer[MAX_PATH - 1] = '\0';
    spec.target = targetBuffer;
    spec.iconFile = targetBuffer;
    spec.iconIndex = 0;

    char* comma = strchr(targetBuffer, ',');
    if (comma == NULL)
        return spec;
    *comma = '\0';

    const char* iconPart = comma + 1;
    while (*iconPart == ' ') // blanks only; a tab stays
        iconPart++;

    const char* hash = strchr(iconPart, '#');
    size_t fileLength = hash ? (size_t)(hash - iconPart) : strlen(iconPart);
    spec.iconFile = iconBuffer;
    if (fileLength >= ICON_BUFFER_SIZE) {
        // An icon file that does not fit the icon buffer is not cut (a cut
        // name could be some other file): no icon file, so our own icon.
        iconBuffer[0] = '\0';
        return spec;
    }
    memcpy(iconBuffer, iconPart, fileLength);
    iconBuffer[fileLength] = '\0';
    if (hash != NULL)
        spec.iconIndex = ParseIconNumber(hash + 1);
    return spec;
}

char* DeriveDisplayName(const char* target, char* workBuffer)
{
    // A target longer than the work buffer keeps its first MAX_PATH - 1
    // bytes; the applet refuses such tails before it gets here.
    CopyBounded(workBuffer, target, MAX_PATH);
    CharLowerA(workBuffer);

    static const char* const extensions[] = {".exe", ".bat", ".com", ".pif"};
    for (const char* extension : extensions) {
        char* found = strstr(workBuffer, extension);
        if (found != NULL) {
            *found = '\0';
            break;
        }
    }

    char* name = strrchr(workBuffer, '\\');
    name = (name != NULL) ? name + 1 : workBuffer;
    CharUpperBuffA(name, 1);
    return name;
}

void MakeAutostartValueName(const char* displayName, char* buffer)
{
    // A display name longer than MAX_PATH - 1 - 5 is cut so that the value
    // name still fits; such names come only from targets without a backslash.
    strcpy(buffer, VALUE_NAME_PREFIX);
    size_t prefixLength = sizeof(VALUE_NAME_PREFIX) - 1;
    CopyBounded(buffer + prefixLength, displayName, MAX_PATH - prefixLength);
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
