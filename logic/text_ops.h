// The few string operations Mivo needs, of its own: Mivo.exe carries no C
// runtime, and the host tests and the fuzzer run this very code.
#ifndef MIVO_TEXT_OPS_H
#define MIVO_TEXT_OPS_H

#include <stddef.h>

size_t TextLength(const char* text);
// The length, but at most limit: what a bounded buffer needs to know.
size_t TextLengthUpTo(const char* text, size_t limit);
// Copies at most size - 1 bytes of source and always terminates.
void TextCopy(char* dest, const char* source, size_t size);
// Appends source to the text in dest; dest holds size bytes in all.
void TextAppend(char* dest, const char* source, size_t size);
// First occurrence of c, NULL without one.
char* TextFindChar(const char* text, char c);
// First occurrence of the text needle, NULL without one.
char* TextFind(const char* text, const char* needle);

#endif // MIVO_TEXT_OPS_H
