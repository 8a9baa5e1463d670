/* lock_holder.c - another process that holds a VISA lock: opens the
 * resource named on the command line, takes an exclusive lock, prints
 * "locked" and keeps it until its standard input ends. */
#include <stdio.h>

#include "visa.h"

int main(int argc, char** argv) {
    ViSession rm = VI_NULL, vi = VI_NULL;
    char line[64];
    if (argc != 2 || viOpenDefaultRM(&rm) != VI_SUCCESS) return 2;
    if (viOpen(rm, argv[1], VI_EXCLUSIVE_LOCK, 1000, &vi) != VI_SUCCESS) return 3;
    printf("locked\n");
    fflush(stdout);
    while (fgets(line, sizeof line, stdin) != NULL) {
    }
    if (viUnlock(vi) != VI_SUCCESS) return 4;
    viClose(rm);
    return 0;
}
