#ifndef KWRNDL_REPLACE_INI_FILE_H
#define KWRNDL_REPLACE_INI_FILE_H

#include <stdint.h>

// An in-memory INI document that writes back every line it was not asked
// to change: comments, blank lines, lines of no known form, the spacing
// around "=" and the order of sections. Names match ignoring ASCII case.

struct IniEntry {
    IniEntry *next;
    char *key;    // NULL for a line kept verbatim
    char *value;  // for a verbatim line, the whole line without its end
    int8_t indent;
    int8_t blanksBeforeEquals;
    int8_t blanksAfterEquals;
};

struct IniSection {
    IniSection *next;
    char *name;  // NULL only for the lines before the first header
    IniEntry *entries;
};

enum IniSaveResult {
    IniSaved = 0,
    IniCannotCreate = 1,
    IniWriteFailed = 2,  // a write, the flush or the close failed
    IniIncomplete = 3,   // lines were lost in memory; the file is left alone
};

struct IniFile {
    IniSection *leading;
    IniSection *sections;
    // Set when memory ran out or reading stopped on an error: such a
    // document lacks lines of the file, and saving it would destroy them.
    int incomplete;

    IniFile();
    ~IniFile();
    IniFile(const IniFile &) = delete;
    IniFile &operator=(const IniFile &) = delete;

    void Clear();
    // 1 when the file does not open (the document stays empty), else 0.
    int Load(const char *path);
    // An IniSaveResult: 0 only when the whole document reached the file.
    int Save(const char *path);
    // section NULL: nothing; key NULL: removes the section; value NULL:
    // removes the index-th entry with that key; otherwise sets its value or
    // appends a new entry when there are not that many.
    void SetEntry(const char *section, const char *key, const char *value, int index);
};

#endif
