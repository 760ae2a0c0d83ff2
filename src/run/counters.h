#ifndef KWRNDL_RUN_COUNTERS_H
#define KWRNDL_RUN_COUNTERS_H

// The three outcome counters of a run. They only grow; the removal run reads
// them once, at the end, as zero or nonzero.

struct OutcomeCounter {
    int value;
};

extern OutcomeCounter RebootCount;
extern OutcomeCounter InfectionCount;
extern OutcomeCounter FailureCount;

void IncrementCounter(OutcomeCounter *counter);
int ReadCounter(const OutcomeCounter *counter);

#endif
