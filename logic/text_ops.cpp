#include "logic/text_ops.h"

size_t TextLength(const char* text)
{
    size_t length = 0;
    while (text[length] != '\0')
        length++;
    return length;
}

size_t TextLengthUpTo(const char* text, size_t limit)
{
    size_t length = 0;
    while (length < limit && text[length] != '\0')
        length++;
    return length;
}

void TextCopy(char* dest, const char* source, size_t size)
{
    size_t length = TextLengthUpTo(source, size - 1);
    for (size_t i = 0; i < length; i++)
        dest[i] = source[i];
    dest[length] = '\0';
}

void TextAppend(char* dest, const char* source, size_t size)
{
    size_t used = TextLengthUpTo(dest, size - 1);
    TextCopy(dest + used, source, size - used);
}

char* TextFindChar(const char* text, char c)
{
    for (; *text != '\0'; text++)
        if (*text == c)
            return (char*)text;
    return NULL;
}

char* TextFind(const char* text, const char* needle)
{
    size_t length = TextLength(needle);
    for (; *text != '\0'; text++) {
        size_t i = 0;
        while (i < length && text[i] == needle[i])
            i++;
        if (i == length)
            return (char*)text;
    }
    return NULL;
}
