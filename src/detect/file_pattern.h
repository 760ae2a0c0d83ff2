#ifndef KWRNDL_DETECT_FILE_PATTERN_H
#define KWRNDL_DETECT_FILE_PATTERN_H

// Which files the walk's actions scan, by extension.

int MatchWildcardList(const char *name, const char *list);
int IsCandidateFile(const char *path);

#endif
