/*
 * visatype.h - the VISA/IVI scalar types.
 *
 * Shipped with the QmDC driver so that QmDC.h is usable on its own. It uses
 * the same include guard as the VISA foundation's visatype.h, so whichever
 * copy is found first wins and the other is skipped: a program may include a
 * vendor's visa.h and QmDC.h in either order.
 *
 * The integer types are fixed-width on every data model: ViInt32 is 32 bits
 * also on LP64 Linux, where "long" is 64 bits.
 */
#ifndef __VISATYPE_HEADER__
#define __VISATYPE_HEADER__

#if defined(_WIN64)
#define _VI_FAR
#define _VI_FUNC __fastcall
#define _VI_FUNCC __fastcall
#define _VI_FUNCH __fastcall
#define _VI_SIGNED signed
#elif (defined(_WIN32) || defined(__WIN32__) || defined(WIN32)) && !defined(_NI_mswin16_)
#define _VI_FAR
#define _VI_FUNC __stdcall
#define _VI_FUNCC __cdecl
#define _VI_FUNCH __stdcall
#define _VI_SIGNED signed
#else
#define _VI_FAR
#define _VI_FUNC
#define _VI_FUNCC
#define _VI_FUNCH
#define _VI_SIGNED signed
#endif

#define _VI_ERROR (-2147483647L - 1)
#define _VI_PTR _VI_FAR*

/* 64-bit integers: "long long" is not C89, so use the compiler's own. */
#if defined(_MSC_VER)
typedef unsigned __int64 ViUInt64;
typedef _VI_SIGNED __int64 ViInt64;
#define _VI_INT64_UINT64_DEFINED
#elif defined(__GNUC__)
__extension__ typedef unsigned long long ViUInt64;
__extension__ typedef _VI_SIGNED long long ViInt64;
#define _VI_INT64_UINT64_DEFINED
#endif

#if defined(_VI_INT64_UINT64_DEFINED) && \
    (defined(_WIN64) || (defined(__GNUC__) && defined(__LP64__)))
#define _VISA_ENV_IS_64_BIT
#endif

typedef unsigned int ViUInt32;
typedef _VI_SIGNED int ViInt32;
typedef ViUInt32 _VI_PTR ViPUInt32;
typedef ViInt32 _VI_PTR ViPInt32;
typedef unsigned short ViUInt16;
typedef _VI_SIGNED short ViInt16;
typedef ViUInt16 _VI_PTR ViPUInt16;
typedef ViInt16 _VI_PTR ViPInt16;
typedef unsigned char ViUInt8;
typedef _VI_SIGNED char ViInt8;
typedef ViUInt8 _VI_PTR ViPUInt8;
typedef ViInt8 _VI_PTR ViPInt8;
typedef char ViChar;
typedef ViChar _VI_PTR ViPChar;
typedef unsigned char ViByte;
typedef ViByte _VI_PTR ViPByte;
typedef void _VI_PTR ViAddr;
typedef ViAddr _VI_PTR ViPAddr;
typedef float ViReal32;
typedef double ViReal64;
typedef ViReal32 _VI_PTR ViPReal32;
typedef ViReal64 _VI_PTR ViPReal64;
typedef ViPByte ViBuf;
typedef const ViByte* ViConstBuf;
typedef ViPByte ViPBuf;
typedef ViPChar ViString;
typedef const ViChar* ViConstString;
typedef ViString ViRsrc;
typedef ViConstString ViConstRsrc;
typedef ViString ViPString;
typedef ViUInt16 ViBoolean;
typedef ViBoolean _VI_PTR ViPBoolean;
typedef ViInt32 ViStatus;
typedef ViStatus _VI_PTR ViPStatus;
typedef ViUInt32 ViVersion;
typedef ViVersion _VI_PTR ViPVersion;
typedef ViUInt32 ViObject;
typedef ViObject _VI_PTR ViPObject;
typedef ViObject ViSession;
typedef ViSession _VI_PTR ViPSession;
typedef ViUInt32 ViAttr;
typedef ViConstString ViKeyId;
typedef ViString ViPKeyId;
#if defined(_VI_INT64_UINT64_DEFINED)
typedef ViInt64 _VI_PTR ViPInt64;
typedef ViUInt64 _VI_PTR ViPUInt64;
#endif

#define VI_NULL (0)
#define VI_TRUE (1)
#define VI_FALSE (0)
#define VI_SUCCESS (0L)

#endif /* __VISATYPE_HEADER__ */
