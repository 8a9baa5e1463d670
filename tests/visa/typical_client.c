/* typical_client.c - a VISA program written the way such programs usually
 * are, compiled against our visa.h unchanged: find the instrument, open it,
 * lock it, talk with viPrintf/viScanf, read the status byte, unlock, close.
 * Usage: typical_client EXPRESSION (the instrument found must answer *IDN?). */
#include <stdio.h>
#include <string.h>

#include "visa.h"

#define CHECK(call)                                                                   \
    do {                                                                              \
        ViStatus s_ = (call);                                                         \
        if (s_ < VI_SUCCESS) {                                                        \
            char d_[256];                                                             \
            viStatusDesc(rm, s_, d_);                                                 \
            fprintf(stderr, "%s failed: 0x%08lX %s\n", #call, (unsigned long)s_, d_); \
            return 1;                                                                 \
        }                                                                             \
    } while (0)

int main(int argc, char* argv[]) {
    ViSession rm = VI_NULL, vi = VI_NULL;
    ViFindList list;
    ViUInt32 count = 0;
    ViChar desc[VI_FIND_BUFLEN], idn[256], vendor[256];
    ViUInt16 stb = 0, intfType = 0, intfNum = 0;
    ViReal64 volts = 0.0;

    if (argc != 2) return 2;
    CHECK(viOpenDefaultRM(&rm));
    CHECK(viGetAttribute(rm, VI_ATTR_RSRC_MANF_NAME, vendor));
    CHECK(viFindRsrc(rm, argv[1], &list, &count, desc));
    viClose(list);
    CHECK(viParseRsrc(rm, desc, &intfType, &intfNum));
    CHECK(viOpen(rm, desc, VI_NULL, VI_NULL, &vi));
    CHECK(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 5000));
    CHECK(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE));
    CHECK(viSetAttribute(vi, VI_ATTR_IO_PROT, VI_PROT_4882_STRS));
    CHECK(viLock(vi, VI_EXCLUSIVE_LOCK, 2000, VI_NULL, VI_NULL));
    CHECK(viPrintf(vi, "*IDN?\n"));
    CHECK(viScanf(vi, "%t", idn));
    CHECK(viPrintf(vi, "VOLT %.2f\n", 4.25));
    CHECK(viQueryf(vi, "VOLT?\n", "%lf", &volts));
    CHECK(viReadSTB(vi, &stb));
    CHECK(viUnlock(vi));
    CHECK(viClose(vi));
    CHECK(viClose(rm));
    idn[strcspn(idn, "\r\n")] = '\0';
    printf("%s via %s (%u found, interface %u): %s, VOLT %.2f, STB %u\n", desc, vendor,
           (unsigned)count, (unsigned)intfType, idn, volts, (unsigned)stb);
    return volts == 4.25 ? 0 : 1;
}
