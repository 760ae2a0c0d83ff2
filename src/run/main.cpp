#include "run/removal_run.h"

int main(int argc, char **argv)
{
    return RunRemoval(argc, argv);
}
