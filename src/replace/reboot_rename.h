#ifndef KWRNDL_REPLACE_REBOOT_RENAME_H
#define KWRNDL_REPLACE_REBOOT_RENAME_H

// Schedules the deletion (newPath NULL) or the move of existingPath onto
// newPath, replacing a file there, for the next start of Windows. Nonzero
// when scheduled.
int AddFileToAutomaticRenameList(const char *existingPath, const char *newPath);

// The guard's list is written anew on every scheduling, so the pairs of the
// run are kept to be written again each time; this forgets them (the list
// on disk is not touched).
void ForgetGuardRenamePairs();

#endif
