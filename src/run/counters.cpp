#include "run/counters.h"

OutcomeCounter RebootCount = {0};
OutcomeCounter InfectionCount = {0};
OutcomeCounter FailureCount = {0};

void IncrementCounter(OutcomeCounter *counter)
{
    ++counter->value;
}

int ReadCounter(const OutcomeCounter *counter)
{
    return counter->value;
}
