#include "replace/ini_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// fgets reads at most 1023 characters at a time; a longer line arrives in
// pieces, and each piece is parsed as a line of its own.
const int LineBufferSize = 1024;

int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

char FoldAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

int NamesMatch(const char *a, const char *b)
{
    for (;; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b))
            return 0;
        if (*a == '\0')
            return 1;
    }
}

char *CopyText(const char *text, size_t length)
{
    char *copy = (char *)malloc(length + 1);
    if (copy) {
        memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

char *CopyString(const char *text)
{
    return CopyText(text, strlen(text));
}

// The counts are kept in 8 bits; a longer run of blanks keeps the longest
// run that fits instead of wrapping to a negative count that writes none.
int8_t BlankCount(size_t count)
{
    return count > 127 ? (int8_t)127 : (int8_t)count;
}

void FreeEntry(IniEntry *entry)
{
    free(entry->key);
    free(entry->value);
    free(entry);
}

void FreeSection(IniSection *section)
{
    if (!section)
        return;
    IniEntry *entry = section->entries;
    while (entry) {
        IniEntry *next = entry->next;
        FreeEntry(entry);
        entry = next;
    }
    free(section->name);
    free(section);
}

// Takes ownership of key and value; frees them when the node cannot be had.
IniEntry *NewEntry(char *key, char *value)
{
    IniEntry *entry = (IniEntry *)malloc(sizeof *entry);
    if (!entry) {
        free(key);
        free(value);
        return NULL;
    }
    entry->next = NULL;
    entry->key = key;
    entry->value = value;
    entry->indent = 0;
    entry->blanksBeforeEquals = 0;
    entry->blanksAfterEquals = 0;
    return entry;
}

// Takes ownership of name (NULL for the leading section).
IniSection *NewSection(char *name)
{
    IniSection *section = (IniSection *)malloc(sizeof *section);
    if (!section) {
        free(name);
        return NULL;
    }
    section->next = NULL;
    section->name = name;
    section->entries = NULL;
    return section;
}

void AppendEntry(IniSection *section, IniEntry *entry)
{
    IniEntry **link = &section->entries;
    while (*link)
        link = &(*link)->next;
    *link = entry;
}

void AppendSection(IniSection **head, IniSection *section)
{
    IniSection **link = head;
    while (*link)
        link = &(*link)->next;
    *link = section;
}

IniSection *FindSection(IniSection *head, const char *name)
{
    for (IniSection *section = head; section; section = section->next) {
        if (NamesMatch(section->name, name))
            return section;
    }
    return NULL;
}

// Parses one piece of text read from the file: a header makes *current the
// section it names, any other line gives *entry. 0 when memory ran out.
int ParseLine(IniFile *document, const char *line, IniSection **current, IniEntry **entry)
{
    *entry = NULL;
    size_t start = 0;
    while (IsBlank(line[start]))
        ++start;
    const char *first = line + start;

    if (*first == '[') {
        const char *close = strchr(first + 1, ']');
        if (close) {
            char *name = CopyText(first + 1, (size_t)(close - first - 1));
            if (!name)
                return 0;
            IniSection *section = FindSection(document->sections, name);
            if (section) {
                // A repeated header continues the section it repeats.
                free(name);
            } else {
                section = NewSection(name);
                if (!section)
                    return 0;
                AppendSection(&document->sections, section);
            }
            *current = section;
            return 1;
        }
    } else if (*first != '\0' && *first != ';') {
        const char *equals = strchr(first, '=');
        if (equals) {
            const char *keyEnd = equals;
            while (keyEnd > first && IsBlank(keyEnd[-1]))
                --keyEnd;
            const char *value = equals + 1;
            while (IsBlank(*value))
                ++value;
            char *keyCopy = CopyText(first, (size_t)(keyEnd - first));
            char *valueCopy = CopyString(value);
            if (!keyCopy || !valueCopy) {
                free(keyCopy);
                free(valueCopy);
                return 0;
            }
            *entry = NewEntry(keyCopy, valueCopy);
            if (!*entry)
                return 0;
            (*entry)->indent = BlankCount(start);
            (*entry)->blanksBeforeEquals = BlankCount((size_t)(equals - keyEnd));
            (*entry)->blanksAfterEquals = BlankCount((size_t)(value - equals - 1));
            return 1;
        }
    }

    char *text = CopyString(line);
    if (!text)
        return 0;
    *entry = NewEntry(NULL, text);
    return *entry != NULL;
}

// 0 when memory ran out.
int LoadLine(IniFile *document, const char *line, IniSection **current)
{
    IniEntry *entry = NULL;
    if (!ParseLine(document, line, current, &entry))
        return 0;
    if (!entry)
        return 1;
    if (!*current) {
        if (!document->leading) {
            document->leading = NewSection(NULL);
            if (!document->leading) {
                FreeEntry(entry);
                return 0;
            }
        }
        *current = document->leading;
    }
    AppendEntry(*current, entry);
    return 1;
}

void WriteText(FILE *file, const char *text, int *ok)
{
    if (fputs(text, file) < 0)
        *ok = 0;
}

void WriteSpaces(FILE *file, int count, int *ok)
{
    for (int i = 0; i < count; ++i) {
        if (fputc(' ', file) == EOF)
            *ok = 0;
    }
}

void WriteEntry(FILE *file, const IniEntry *entry, int lineEnd, int *ok)
{
    if (entry->key) {
        WriteSpaces(file, entry->indent, ok);
        WriteText(file, entry->key, ok);
        WriteSpaces(file, entry->blanksBeforeEquals, ok);
        WriteText(file, "=", ok);
        WriteSpaces(file, entry->blanksAfterEquals, ok);
    }
    WriteText(file, entry->value, ok);
    if (lineEnd)
        WriteText(file, "\n", ok);
}

}  // namespace

IniFile::IniFile() : leading(NULL), sections(NULL), incomplete(0) {}

IniFile::~IniFile()
{
    Clear();
}

void IniFile::Clear()
{
    IniSection *section = sections;
    while (section) {
        IniSection *next = section->next;
        FreeSection(section);
        section = next;
    }
    sections = NULL;
    FreeSection(leading);
    leading = NULL;
    incomplete = 0;
}

int IniFile::Load(const char *path)
{
    Clear();
    FILE *file = fopen(path, "rt");
    if (!file)
        return 1;
    char line[LineBufferSize];
    IniSection *current = NULL;
    while (fgets(line, sizeof line, file)) {
        char *end = strchr(line, '\n');
        if (end)
            *end = '\0';
        if (!LoadLine(this, line, &current)) {
            incomplete = 1;
            break;
        }
    }
    if (ferror(file))
        incomplete = 1;
    fclose(file);
    return 0;
}

int IniFile::Save(const char *path)
{
    if (incomplete)
        return IniIncomplete;
    FILE *file = fopen(path, "wt");
    if (!file)
        return IniCannotCreate;

    // No line end after the last line of the document.
    int ok = 1;
    if (leading) {
        for (const IniEntry *entry = leading->entries; entry; entry = entry->next)
            WriteEntry(file, entry, entry->next || sections, &ok);
    }
    for (const IniSection *section = sections; section; section = section->next) {
        if (fprintf(file, "[%s]\n", section->name) < 0)
            ok = 0;
        for (const IniEntry *entry = section->entries; entry; entry = entry->next)
            WriteEntry(file, entry, entry->next || section->next, &ok);
    }

    // Flushed before the close: some run-time libraries' fclose drops the
    // error of its own final flush.
    if (fflush(file) != 0 || ferror(file))
        ok = 0;
    if (fclose(file) != 0)
        ok = 0;
    return ok ? IniSaved : IniWriteFailed;
}

void IniFile::SetEntry(const char *sectionName, const char *key, const char *value, int index)
{
    if (!sectionName)
        return;

    if (!key) {
        for (IniSection **link = &sections; *link; link = &(*link)->next) {
            if (NamesMatch((*link)->name, sectionName)) {
                IniSection *section = *link;
                *link = section->next;
                FreeSection(section);
                return;
            }
        }
        return;
    }

    IniSection *section = FindSection(sections, sectionName);
    if (!section) {
        char *name = CopyString(sectionName);
        section = name ? NewSection(name) : NULL;
        if (!section) {
            incomplete = 1;
            return;
        }
        AppendSection(&sections, section);
    }

    IniEntry **link = &section->entries;
    int seen = 0;
    for (; *link; link = &(*link)->next) {
        if ((*link)->key && NamesMatch((*link)->key, key)) {
            if (seen == index)
                break;
            ++seen;
        }
    }

    if (!value) {
        if (*link) {
            IniEntry *entry = *link;
            *link = entry->next;
            FreeEntry(entry);
        }
        return;
    }

    if (*link) {
        char *copy = CopyString(value);
        if (!copy) {
            incomplete = 1;
            return;
        }
        free((*link)->value);
        (*link)->value = copy;
        return;
    }

    char *keyCopy = CopyString(key);
    char *valueCopy = CopyString(value);
    IniEntry *entry = NULL;
    if (keyCopy && valueCopy) {
        entry = NewEntry(keyCopy, valueCopy);
    } else {
        free(keyCopy);
        free(valueCopy);
    }
    if (!entry) {
        incomplete = 1;
        return;
    }
    AppendEntry(section, entry);
}
