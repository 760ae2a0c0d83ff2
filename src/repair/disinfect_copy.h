#ifndef KWRNDL_REPAIR_DISINFECT_COPY_H
#define KWRNDL_REPAIR_DISINFECT_COPY_H

// Copies an infected host to repairPath and repairs the copy. 1 when the
// repair file holds the complete clean copy. *unrepairable tells the caller
// to delete the host rather than rename it aside.
int DisinfectCopy(const char *sourcePath, const char *repairPath, int *unrepairable);

#endif
