// PLACEHOLDER: replaced by the detect subsystem.
#include "detect/infected_file.h"
#include "detect/signature.h"
#include "detect/walk.h"
int IsInfectedProcessFile(const char *) { return 0; }
int ReportInfectedFile(const char *, const WIN32_FIND_DATAA *, int) { return 0; }
int RemoveInfectedFile(const char *, const WIN32_FIND_DATAA *, int) { return 0; }
int WalkDirectory(const char *, WalkCallback) { return 0; }
int WalkFixedDrives(WalkCallback) { return 0; }
