/* lock_holder.c - another process that holds a VISA lock: opens the
 * resource named on the command line, takes an exclusive lock (or, given an
 * access key as well, a shared lock with that key), prints "locked" and
 * keeps it until its standard input ends. */
#include <stdio.h>

#include "visa.h"

int main(int argc, char** argv) {
    ViSession rm = VI_NULL, vi = VI_NULL;
    ViChar granted[256];
    char line[64];
    if (argc < 2 || argc > 3 || viOpenDefaultRM(&rm) != VI_SUCCESS) return 2;
    if (argc == 2) {
        if (viOpen(rm, argv[1], VI_EXCLUSIVE_LOCK, 1000, &vi) != VI_SUCCESS) return 3;
    } else if (viOpen(rm, argv[1], VI_NO_LOCK, 1000, &vi) != VI_SUCCESS ||
               viLock(vi, VI_SHARED_LOCK, 1000, argv[2], granted) != VI_SUCCESS) {
        return 3;
    }
    printf("locked\n");
    fflush(stdout);
    while (fgets(line, sizeof line, stdin) != NULL) {
    }
    if (viUnlock(vi) != VI_SUCCESS) return 4;
    viClose(rm);
    return 0;
}
