/* The clean program that the infected-host fixtures start from: small, with
   imports and base relocations, as the infection finds its hosts. */
#include <stdio.h>

int main(void)
{
    puts("clean host");
    return 0;
}
