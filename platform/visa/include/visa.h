/*
 * visa.h - the VISA functions, attributes and status codes that this
 * project's VISA library (libqmdcvisa) implements.
 *
 * Names, argument lists and values are those of the VISA standard, so a
 * vendor's VISA can be linked in its place. What our library supports:
 *
 *   - Resources: TCPIP[board]::host::port::SOCKET (raw socket),
 *     TCPIP[board]::host::hislipN[,port][::INSTR] (HiSLIP, port 4880 unless
 *     given) and ASRL[board][::INSTR] / ASRL/dev/<path>::INSTR (serial line,
 *     termios). Resource names are case-insensitive. ASRLn is /dev/ttyS(n-1),
 *     as other VISA libraries on Linux number ports (ASRL1::INSTR is
 *     /dev/ttyS0); ASRL0 and a bare ASRL are /dev/ttyS0 too.
 *   - Formatted I/O: in this library's type system "%ld" is a ViInt32 (and
 *     "%lu"/"%lx" a ViUInt32) on every platform, as on 32-bit Windows where
 *     VISA was born. On LP64 Linux "long" is 8 bytes; pass ViInt32 objects,
 *     never "long", to "l"-modified integer conversions.
 *     "%lf"/"%le"/"%lg" take a ViReal64; "%f" alone takes a ViReal32 on
 *     scans (ViReal64 on prints, by C promotion).
 *   - Tracing: set QMDC_VISA_TRACE to a file name (or to "stderr") to log
 *     every read and write with a timestamp, the resource, the bytes and the
 *     status. Off when unset.
 *
 * Details of this implementation (a vendor's VISA may differ):
 *
 *   Sessions and names
 *   - Every viOpenDefaultRM call returns a new resource manager session.
 *     Session handles are never reused within a process; a closed handle
 *     gives VI_ERROR_INV_OBJECT. Closing a resource manager closes every
 *     session opened through it. I/O on a resource manager session gives
 *     VI_ERROR_NSUP_OPER. All functions may be called from any thread; the
 *     calls on one session are serialised.
 *   - A resource name that does not parse gives VI_ERROR_INV_RSRC_NAME. A
 *     well-formed name of an interface this library does not provide
 *     (GPIB, USB RAW; USB INSTR on Windows) parses
 *     (viParseRsrc) but viOpen gives VI_ERROR_INTF_NUM_NCONFIG, whose text
 *     says the kind is not supported; prefixes it does not know at all (VXI,
 *     PXI, ...) give VI_ERROR_INV_RSRC_NAME. No aliases exist. ASRL also accepts any absolute path
 *     (ASRL/dev/ttyUSB0::INSTR); "::INSTR" is optional. An IPv6 host is
 *     written in brackets: TCPIP::[::1]::5025::SOCKET.
 *   - USB[board]::vendor::product::serial[::n][::INSTR] (Linux) is a USBTMC
 *     interface (ids decimal or 0x hexadecimal, serial exact, n the
 *     interface number, else the first), matched through sysfs to the kernel
 *     usbtmc driver's /dev/usbtmcN: no match, or no driver bound, gives
 *     VI_ERROR_RSRC_NFOUND. viClear, viReadSTB, viAssertTrigger and
 *     viGpibControlREN send the USBTMC/USB488 requests. Service requests
 *     come from the interrupt endpoint (an instrument declaring USB488 SR1,
 *     kernel 4.20 or later; else VI_EVENT_SERVICE_REQ is VI_ERROR_INV_EVENT).
 *     Not tried on USB hardware.
 *   - TCPIP[board]::host[::device][::INSTR] is a VXI-11 instrument (device
 *     "inst0" when left out; any other name, such as "gpib0,5", goes to the
 *     server as written). No portmapper, no VXI-11 server or a link the
 *     server refuses give VI_ERROR_RSRC_NFOUND; a build without the ONC RPC
 *     library (32-bit Windows) gives VI_ERROR_LIBRARY_NFOUND. VXI-11 errors
 *     map to VISA statuses (I/O timeout: VI_ERROR_TMO, locked by another
 *     link: VI_ERROR_RSRC_LOCKED); a reply that is no RPC reply, or a record
 *     longer than 1 MiB + 4 KiB, gives VI_ERROR_IO. viClear sends
 *     device_clear.
 *   - viOpen: a refused connection, an unknown host, a connect that does not
 *     finish within the open timeout (0 means 2000 ms), a missing device or
 *     one that is not a terminal give VI_ERROR_RSRC_NFOUND; a serial device
 *     without access rights gives VI_ERROR_NPERMISSION; no descriptor left
 *     (for the socket, the device or the session's wake-up signal) gives
 *     VI_ERROR_ALLOC. The reason of a failed open (the system's text, or
 *     what a serial path is instead of a terminal: a regular file, a
 *     directory, a FIFO, a socket, another device) is traced, and
 *     viStatusDesc adds it to the status text on the same thread until the
 *     next open. Host names are
 *     resolved with the system resolver, which the open timeout does not
 *     bound. VI_EXCLUSIVE_LOCK / VI_SHARED_LOCK lock the resource as viLock
 *     does, waiting up to the open timeout; VI_ERROR_RSRC_LOCKED when they
 *     cannot.
 *   - viFindRsrc lists, without sending anything: serial ports from sysfs
 *     (ttyS<n> with a UART as ASRL<n+1>::INSTR, ttyUSB<n> and ttyACM<n> as
 *     ASRL/dev/<name>::INSTR), USB test and measurement interfaces, and the names in $QMDC_VISA_RESOURCES (";" or blanks
 *     between them) and in the file $QMDC_VISA_RESOURCES_FILE (default
 *     ~/.config/qmdc/visa-resources, one a line, "#" comments). Expressions:
 *     ? * + [set] [^set] | ( ) and \ escapes, any case; attribute
 *     conditions "{...}" give VI_ERROR_INV_EXPR. No match: VI_ERROR_RSRC_NFOUND.
 *
 *   Locks
 *   - viLock / viUnlock: exclusive and shared (access keys, made up when
 *     requestedKey is VI_NULL), nested (VI_SUCCESS_NESTED_*), between the
 *     sessions of a process and, through byte-range locks on a lock file per resource
 *     ($QMDC_VISA_LOCK_DIR, else /run/lock, else /tmp), between processes.
 *     A wait that runs out gives VI_ERROR_TMO (VI_ERROR_RSRC_LOCKED with
 *     VI_TMO_IMMEDIATE). I/O, viClear, viFlush, viReadSTB, viAssertTrigger
 *     and the buffer and file calls of a session kept out by another's lock
 *     give VI_ERROR_RSRC_LOCKED; attributes, locks and events stay open.
 *     Access keys hold across processes too. viClose gives up the session's locks. On HiSLIP the
 *     session's first lock also takes the instrument's own lock.
 *
 *   Other operations
 *   - viReadSTB / viAssertTrigger: the protocol's own status byte and
 *     trigger on HiSLIP, VXI-11 and USB; VI_ERROR_NSUP_OPER on sockets and
 *     serial lines, unless VI_ATTR_IO_PROT is VI_PROT_4882_STRS: then "*STB?" is
 *     queried (an answer outside 0-255 gives VI_ERROR_IO) and "*TRG" sent.
 *     viAssertTrigger takes VI_TRIG_PROT_DEFAULT only (else VI_ERROR_INV_PROT).
 *   - viGpibControlREN: the instrument's remote/local state through the
 *     protocol's own requests: HiSLIP's AsyncRemoteLocalControl, VXI-11
 *     device_remote / device_local (the modes that leave remote control go
 *     local), USB488 REN_CONTROL, GO_TO_LOCAL and LOCAL_LOCKOUT. A mode
 *     beyond VI_GPIB_REN_ADDRESS_GTL gives VI_ERROR_INV_MODE; sockets and
 *     serial lines, which carry no such request, VI_ERROR_NSUP_OPER.
 *   - Events: service requests (VI_EVENT_SERVICE_REQ), on the interfaces
 *     whose protocol delivers them; every other event type, and sockets and
 *     serial lines, give VI_ERROR_INV_EVENT. Mechanisms VI_QUEUE, VI_HNDLR
 *     and VI_SUSPEND_HNDLR, VI_QUEUE combined with either handler mechanism.
 *     Enabling asks the instrument for service requests; disabling the last
 *     mechanism stops that. Handlers run on a thread of the session's, the
 *     one installed last first, until one answers VI_SUCCESS_NCHAIN; their
 *     context closes when they return. viWaitOnEvent gives
 *     VI_SUCCESS_QUEUE_NEMPTY while more are queued, VI_WARN_QUEUE_OVERFLOW
 *     once after the queue (VI_ATTR_MAX_QUEUE_LENGTH, fixed at the first
 *     enable) was full and events were lost, VI_ERROR_NENABLED when the
 *     queue is not enabled and empty, VI_ERROR_ABORT when viClose ends it.
 *     An event context answers VI_ATTR_EVENT_TYPE and closes with viClose
 *     or with its session. viDisableEvent and viDiscardEvents on
 *     VI_ALL_ENABLED_EVENTS give VI_SUCCESS_EVENT_DIS and
 *     VI_SUCCESS_QUEUE_EMPTY when there was nothing to switch off or drop.
 *   - viTerminate: nothing runs asynchronously; VI_NULL succeeds, another
 *     job id gives VI_ERROR_INV_JOB_ID.
 *   - viSetBuf flushes the formatted buffers named (the write buffer is sent,
 *     the read buffer dropped); their size stays 4096, and another size, or
 *     VI_IO_IN_BUF / VI_IO_OUT_BUF, gives VI_WARN_NSUP_BUF.
 *   - viBufWrite / viBufRead move raw bytes through the formatted buffers
 *     (flushed as for viPrintf, END as for viScanf). viSPrintf writes to a
 *     buffer the caller made large enough; viSScanf reads a NUL-terminated
 *     buffer (the NUL is END). viReadToFile / viWriteFromFile follow viRead /
 *     viWrite (VI_ATTR_FILE_APPEND_EN appends); a file that cannot be opened
 *     gives VI_ERROR_FILE_ACCESS, a failing read or write VI_ERROR_FILE_IO.
 *   - Every session and the resource manager: VI_ATTR_RSRC_MANF_NAME "QmDC",
 *     VI_ATTR_RSRC_MANF_ID 0 (none registered), VI_ATTR_RSRC_SPEC_VERSION
 *     VI_SPEC_VERSION. Sessions: VI_ATTR_USER_DATA (32 and 64 bits),
 *     VI_ATTR_MAX_QUEUE_LENGTH (1 and up, read-only after the first enable),
 *     VI_ATTR_RSRC_LOCK_STATE (as held in this process).
 *   - A serial session sets 9600 baud, 8 data bits, no parity, one stop bit,
 *     no flow control and raw mode at open.
 *   - Windows (visa32.dll, exporting these functions under their plain
 *     names): TCPIP SOCKET resources over Winsock, as above. Serial lines
 *     are not supported there: an ASRL resource gives VI_ERROR_RSRC_NFOUND,
 *     like the interfaces this library does not provide.
 *
 *   Attributes
 *   - viGetAttribute writes exactly the attribute's own size (ViBoolean: 2
 *     bytes, VI_ATTR_TERMCHAR: 1, strings: up to 256 bytes with the NUL).
 *     Unknown attribute, or one of another interface: VI_ERROR_NSUP_ATTR;
 *     value outside the type or not supported: VI_ERROR_NSUP_ATTR_STATE.
 *   - ViUInt32 attributes also accept a sign-extended ViInt32 on 64-bit
 *     platforms, so (ViAttrState)(ViInt32)-1 sets VI_TMO_INFINITE.
 *   - TCP/IP SOCKET: VI_ATTR_TCPIP_NODELAY is on at open and, like
 *     VI_ATTR_TCPIP_KEEPALIVE (SO_KEEPALIVE), is read from and written to the
 *     socket itself. VI_ATTR_SUPPRESS_END_EN is VI_TRUE, so a read ends only
 *     on the termination character (with VI_ATTR_TERMCHAR_EN), on the count
 *     or on the timeout; with VI_FALSE a read also ends (with VI_SUCCESS) as
 *     soon as one receive has delivered data.
 *   - HiSLIP: synchronized mode only (VI_ATTR_TCPIP_HISLIP_OVERLAP_EN is
 *     VI_FALSE and cannot be set). VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB
 *     (default 1024, at most 65536) is the largest message accepted from
 *     the server, announced to it when set; a longer one, or a header
 *     without the "HS" prologue, ends the session with VI_ERROR_IO (later
 *     calls: VI_ERROR_CONN_LOST). An Error message from the server fails
 *     the call with VI_ERROR_IO; a FatalError gives VI_ERROR_CONN_LOST. A
 *     read ends on END (the last part of a message) with VI_SUCCESS, as
 *     well as on the termination character when enabled. The address, host
 *     name, port, NODELAY and KEEPALIVE attributes are those of the
 *     synchronous channel; VI_ATTR_TCPIP_DEVICE_NAME is "hislipN".
 *   - Serial: baud (the standard rates), data bits 5-8, parity none, odd,
 *     even, mark and space (where the system has CMSPAR), stop bits 10 and
 *     20, flow control none, XON/XOFF and RTS/CTS (not DTR/DSR), and the
 *     XON/XOFF characters are applied to the line at once and read back
 *     from it. A setting the device driver did not take (Linux pseudo
 *     terminals keep 8 data bits and no parity) gives
 *     VI_ERROR_NSUP_ATTR_STATE, and the line stays as it was.
 *   - Serial END_IN: none or termchar (the default; a read then ends on
 *     VI_ATTR_TERMCHAR with VI_SUCCESS, or with VI_SUCCESS_TERM_CHAR when
 *     VI_ATTR_TERMCHAR_EN is also set). END_OUT: none or termchar (the
 *     termination character is appended to a write when
 *     VI_ATTR_SEND_END_EN is set).
 *   - Buffer modes: VI_ATTR_WR_BUF_OPER_MODE VI_FLUSH_WHEN_FULL (default) or
 *     VI_FLUSH_ON_ACCESS; VI_ATTR_RD_BUF_OPER_MODE VI_FLUSH_DISABLE (default)
 *     or VI_FLUSH_ON_ACCESS. Both buffers hold 4096 bytes.
 *
 *   Reads, writes and timeouts
 *   - Every blocking call is bounded by VI_ATTR_TMO_VALUE (0: only what is
 *     already there; VI_TMO_INFINITE: no limit). On VI_ERROR_TMO the bytes
 *     transferred so far are counted in retCnt. A peer that closes the
 *     connection (or a serial line that hangs up) gives VI_ERROR_CONN_LOST;
 *     a write fails so at once when the close has already been signalled,
 *     instead of sending into a connection nobody reads.
 *   - viClose of a session that another thread is blocked in (even under
 *     VI_TMO_INFINITE) ends that call at once with VI_ERROR_ABORT; later
 *     calls on the handle give VI_ERROR_INV_OBJECT.
 *   - viRead returns VI_SUCCESS_MAX_CNT only when the count was filled
 *     without the termination character; bytes that arrive after the
 *     termination character are kept for the next read.
 *   - viClear empties the formatted I/O buffers and drops input that has
 *     already arrived; no device clear is sent on a socket or a serial
 *     line. On HiSLIP it also runs the protocol's device clear, which
 *     drops everything the instrument had not answered yet.
 *     viFlush: VI_IO_OUT_BUF and VI_IO_OUT_BUF_DISCARD do nothing, since
 *     writes are sent before they return; VI_IO_IN_BUF(_DISCARD) drops input
 *     that has arrived but was not read. Two flags for the same buffer in one
 *     call give VI_ERROR_INV_MASK.
 *   - Null pointers where a buffer or string is needed give
 *     VI_ERROR_USER_BUF; a null session pointer gives VI_ERROR_INV_PARAMETER.
 *
 *   Formatted I/O
 *   - viPrintf collects output in the write buffer; the buffer is sent as
 *     one message when the format ends with a linefeed (END), when it is
 *     full, on viFlush(VI_WRITE_BUF) and by viQueryf. A linefeed elsewhere
 *     in the format ends nothing. A backslash is an ordinary character:
 *     escape sequences are the C compiler's business.
 *   - viQueryf drops what is left in the read buffer before the command is
 *     sent and, when an earlier exchange may have left input unread (a write
 *     whose answer was not read, a timeout, a partly read message), the
 *     input that has already arrived. Input still on its way is not dropped:
 *     an answer that arrives late, after that point, is read by this query,
 *     and so is a message that arrives unasked after an answer that was read
 *     whole. Reads stay raw: a program that needs every query to read its
 *     own answer keeps count of what it asked (the QmDC driver resynchronises
 *     after a failed read; see its header).
 *   - Print conversions: %d %i %u %o %x %X %f %e %E %g %G %c %s %n %% with the
 *     flags - + space 0 #, width, precision and "*" for either. Lengths: hh,
 *     h, l (ViInt32/ViUInt32), ll (ViInt64/ViUInt64); floating point takes a
 *     ViReal64 with or without l. Numbers are written with a decimal point
 *     whatever the C locale says.
 *   - Scan conversions: %d %i %u %o %x %X %f %e %E %g %G %c %s %[set] %t %T
 *     %n %%; "*" suppresses the assignment; a number is a maximum field
 *     width (for %c the exact count, default 1). Lengths as for printing;
 *     %f/%e/%g store a ViReal32, %lf/%le/%lg a ViReal64. Whitespace in the
 *     format skips whitespace in the input; other characters must match.
 *   - "#" (with %s, %c, %[set], %t, %T) takes two arguments: a ViInt32*
 *     holding the buffer size in characters (including the NUL; for %c the
 *     number of characters), then the buffer. The whole field is consumed,
 *     at most size-1 characters and the NUL are stored, and the number of
 *     characters stored (without the NUL) is written back. A numeric width
 *     instead stops the field after that many characters, as in C.
 *   - %t reads everything up to and including END, %T everything up to and
 *     including the first linefeed (or END). END is the termination
 *     character when VI_ATTR_TERMCHAR_EN is set (on serial lines also when
 *     VI_ATTR_ASRL_END_IN is termchar), and the end of a receive when
 *     VI_ATTR_SUPPRESS_END_EN is off. Without END, %t waits for the timeout.
 *   - A scan ends with VI_SUCCESS when the format is done, when END is
 *     reached or when the input does not match (a number conversion that
 *     finds no number, an unmatched character); the arguments of the
 *     conversions not reached are left untouched. Unconsumed input stays in
 *     the read buffer for the next viScanf; an input that ended (END) is
 *     used up. After VI_ERROR_TMO or VI_ERROR_CONN_LOST the read buffer is
 *     emptied.
 *   - The whole format is checked before anything is sent or stored:
 *     unknown conversions, wrong length modifiers, an unterminated scan set
 *     or "#" where it is not allowed give VI_ERROR_INV_FMT; VISA forms this
 *     library does not implement (%b %B %y, "@" and "," modifiers, %p, %a,
 *     long double, wide characters) and widths or precisions above 65535
 *     give VI_ERROR_NSUP_FMT.
 *   - viStatusDesc accepts any session, also VI_NULL; an unknown status
 *     gives VI_WARN_UNKNOWN_STATUS and a text with its value.
 */
#ifndef __VISA_HEADER__
#define __VISA_HEADER__

#include <stdarg.h>

#include "visatype.h"

#if defined(__cplusplus) || defined(__cplusplus__)
extern "C" {
#endif

#if defined(_VISA_ENV_IS_64_BIT)
typedef ViUInt64 ViAttrState;
#else
typedef ViUInt32 ViAttrState;
#endif
typedef ViAttrState _VI_PTR ViPAttrState;
typedef ViUInt32 ViAccessMode;
typedef ViAccessMode _VI_PTR ViPAccessMode;
typedef ViObject ViFindList;
typedef ViFindList _VI_PTR ViPFindList;
typedef ViUInt32 ViEventType;
typedef ViEventType _VI_PTR ViPEventType;
typedef ViObject ViEvent;
typedef ViEvent _VI_PTR ViPEvent;
typedef ViUInt32 ViEventFilter;
typedef ViUInt32 ViJobId;
typedef ViJobId _VI_PTR ViPJobId;
typedef ViStatus(_VI_FUNCH _VI_PTR ViHndlr)(ViSession vi, ViEventType eventType, ViEvent event,
                                            ViAddr userHandle);
typedef va_list ViVAList;

#define VI_SPEC_VERSION (0x00500400UL)

/* Functions ---------------------------------------------------------------*/
ViStatus _VI_FUNC viOpenDefaultRM(ViPSession vi);
ViStatus _VI_FUNC viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                         ViPSession vi);
ViStatus _VI_FUNC viClose(ViObject vi);
ViStatus _VI_FUNC viGetAttribute(ViObject vi, ViAttr attrName, void _VI_PTR attrValue);
ViStatus _VI_FUNC viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue);
ViStatus _VI_FUNC viStatusDesc(ViObject vi, ViStatus status, ViChar _VI_FAR desc[]);
ViStatus _VI_FUNC viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus _VI_FUNC viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus _VI_FUNC viFlush(ViSession vi, ViUInt16 mask);
ViStatus _VI_FUNC viClear(ViSession vi);
ViStatus _VI_FUNCC viPrintf(ViSession vi, ViConstString writeFmt, ...);
ViStatus _VI_FUNC viVPrintf(ViSession vi, ViConstString writeFmt, ViVAList params);
ViStatus _VI_FUNCC viScanf(ViSession vi, ViConstString readFmt, ...);
ViStatus _VI_FUNC viVScanf(ViSession vi, ViConstString readFmt, ViVAList params);
ViStatus _VI_FUNCC viQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, ...);
ViStatus _VI_FUNC viVQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt,
                            ViVAList params);

/* Resource names and discovery */
ViStatus _VI_FUNC viParseRsrc(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                              ViPUInt16 intfNum);
ViStatus _VI_FUNC viParseRsrcEx(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                                ViPUInt16 intfNum, ViChar _VI_FAR rsrcClass[],
                                ViChar _VI_FAR expandedUnaliasedName[],
                                ViChar _VI_FAR aliasIfExists[]);
ViStatus _VI_FUNC viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt,
                             ViChar _VI_FAR desc[]);
ViStatus _VI_FUNC viFindNext(ViFindList vi, ViChar _VI_FAR desc[]);

/* Locks */
ViStatus _VI_FUNC viLock(ViSession vi, ViAccessMode lockType, ViUInt32 timeout,
                         ViKeyId requestedKey, ViChar _VI_FAR accessKey[]);
ViStatus _VI_FUNC viUnlock(ViSession vi);

/* Instrument operations */
ViStatus _VI_FUNC viReadSTB(ViSession vi, ViPUInt16 status);
ViStatus _VI_FUNC viAssertTrigger(ViSession vi, ViUInt16 protocol);
ViStatus _VI_FUNC viGpibControlREN(ViSession vi, ViUInt16 mode);
ViStatus _VI_FUNC viTerminate(ViObject vi, ViUInt16 degree, ViJobId jobId);

/* Buffers, files and formatting to memory */
ViStatus _VI_FUNC viSetBuf(ViSession vi, ViUInt16 mask, ViUInt32 size);
ViStatus _VI_FUNC viBufRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus _VI_FUNC viBufWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus _VI_FUNC viReadToFile(ViSession vi, ViConstString filename, ViUInt32 cnt,
                               ViPUInt32 retCnt);
ViStatus _VI_FUNC viWriteFromFile(ViSession vi, ViConstString filename, ViUInt32 cnt,
                                  ViPUInt32 retCnt);
ViStatus _VI_FUNCC viSPrintf(ViSession vi, ViPBuf buf, ViConstString writeFmt, ...);
ViStatus _VI_FUNC viVSPrintf(ViSession vi, ViPBuf buf, ViConstString writeFmt, ViVAList parms);
ViStatus _VI_FUNCC viSScanf(ViSession vi, ViConstBuf buf, ViConstString readFmt, ...);
ViStatus _VI_FUNC viVSScanf(ViSession vi, ViConstBuf buf, ViConstString readFmt, ViVAList parms);

/* Events */
ViStatus _VI_FUNC viEnableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism,
                                ViEventFilter context);
ViStatus _VI_FUNC viDisableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism);
ViStatus _VI_FUNC viDiscardEvents(ViSession vi, ViEventType eventType, ViUInt16 mechanism);
ViStatus _VI_FUNC viWaitOnEvent(ViSession vi, ViEventType inEventType, ViUInt32 timeout,
                                ViPEventType outEventType, ViPEvent outContext);
ViStatus _VI_FUNC viInstallHandler(ViSession vi, ViEventType eventType, ViHndlr handler,
                                   ViAddr userHandle);
ViStatus _VI_FUNC viUninstallHandler(ViSession vi, ViEventType eventType, ViHndlr handler,
                                     ViAddr userHandle);

/* Attributes --------------------------------------------------------------*/
#define VI_ATTR_RSRC_CLASS (0xBFFF0001UL)
#define VI_ATTR_RSRC_NAME (0xBFFF0002UL)
#define VI_ATTR_RSRC_IMPL_VERSION (0x3FFF0003UL)
#define VI_ATTR_RSRC_LOCK_STATE (0x3FFF0004UL)
#define VI_ATTR_MAX_QUEUE_LENGTH (0x3FFF0005UL)
#define VI_ATTR_USER_DATA_32 (0x3FFF0007UL)
#define VI_ATTR_USER_DATA_64 (0x3FFF000AUL)
#if defined(_VISA_ENV_IS_64_BIT)
#define VI_ATTR_USER_DATA VI_ATTR_USER_DATA_64
#else
#define VI_ATTR_USER_DATA VI_ATTR_USER_DATA_32
#endif
#define VI_ATTR_SEND_END_EN (0x3FFF0016UL)
#define VI_ATTR_TERMCHAR (0x3FFF0018UL)
#define VI_ATTR_TMO_VALUE (0x3FFF001AUL)
#define VI_ATTR_IO_PROT (0x3FFF001CUL)
#define VI_ATTR_ASRL_BAUD (0x3FFF0021UL)
#define VI_ATTR_ASRL_DATA_BITS (0x3FFF0022UL)
#define VI_ATTR_ASRL_PARITY (0x3FFF0023UL)
#define VI_ATTR_ASRL_STOP_BITS (0x3FFF0024UL)
#define VI_ATTR_ASRL_FLOW_CNTRL (0x3FFF0025UL)
#define VI_ATTR_RD_BUF_OPER_MODE (0x3FFF002AUL)
#define VI_ATTR_RD_BUF_SIZE (0x3FFF002BUL)
#define VI_ATTR_WR_BUF_OPER_MODE (0x3FFF002DUL)
#define VI_ATTR_WR_BUF_SIZE (0x3FFF002EUL)
#define VI_ATTR_SUPPRESS_END_EN (0x3FFF0036UL)
#define VI_ATTR_TERMCHAR_EN (0x3FFF0038UL)
#define VI_ATTR_ASRL_AVAIL_NUM (0x3FFF00ACUL)
#define VI_ATTR_ASRL_END_IN (0x3FFF00B3UL)
#define VI_ATTR_ASRL_END_OUT (0x3FFF00B4UL)
#define VI_ATTR_ASRL_XON_CHAR (0x3FFF00C1UL)
#define VI_ATTR_ASRL_XOFF_CHAR (0x3FFF00C2UL)
#define VI_ATTR_RSRC_SPEC_VERSION (0x3FFF0170UL)
#define VI_ATTR_INTF_TYPE (0x3FFF0171UL)
#define VI_ATTR_RSRC_MANF_NAME (0xBFFF0174UL)
#define VI_ATTR_RSRC_MANF_ID (0x3FFF0175UL)
#define VI_ATTR_INTF_NUM (0x3FFF0176UL)
#define VI_ATTR_TCPIP_ADDR (0xBFFF0195UL)
#define VI_ATTR_TCPIP_HOSTNAME (0xBFFF0196UL)
#define VI_ATTR_TCPIP_PORT (0x3FFF0197UL)
#define VI_ATTR_TCPIP_NODELAY (0x3FFF019AUL)
#define VI_ATTR_TCPIP_KEEPALIVE (0x3FFF019BUL)
#define VI_ATTR_TCPIP_DEVICE_NAME (0xBFFF0199UL)
#define VI_ATTR_TCPIP_HISLIP_OVERLAP_EN (0x3FFF0300UL)
#define VI_ATTR_TCPIP_HISLIP_VERSION (0x3FFF0301UL)
#define VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB (0x3FFF0302UL)
#define VI_ATTR_TCPIP_IS_HISLIP (0x3FFF0303UL)
#define VI_ATTR_FILE_APPEND_EN (0x3FFF0192UL)

/* Event attributes and event types */
#define VI_ATTR_EVENT_TYPE (0x3FFF4010UL)
#define VI_ATTR_STATUS (0x3FFF4025UL)
#define VI_EVENT_IO_COMPLETION (0x3FFF2009UL)
#define VI_EVENT_TRIG (0xBFFF200AUL)
#define VI_EVENT_SERVICE_REQ (0x3FFF200BUL)
#define VI_EVENT_CLEAR (0x3FFF200DUL)
#define VI_EVENT_EXCEPTION (0xBFFF200EUL)
#define VI_EVENT_GPIB_CIC (0x3FFF2012UL)
#define VI_EVENT_GPIB_TALK (0x3FFF2013UL)
#define VI_EVENT_GPIB_LISTEN (0x3FFF2014UL)
#define VI_EVENT_VXI_VME_SYSFAIL (0x3FFF201DUL)
#define VI_EVENT_VXI_VME_SYSRESET (0x3FFF201EUL)
#define VI_EVENT_VXI_SIGP (0x3FFF2020UL)
#define VI_EVENT_VXI_VME_INTR (0xBFFF2021UL)
#define VI_EVENT_PXI_INTR (0x3FFF2022UL)
#define VI_EVENT_TCPIP_CONNECT (0x3FFF2036UL)
#define VI_EVENT_USB_INTR (0x3FFF2037UL)
#define VI_ALL_ENABLED_EVENTS (0x3FFF7FFFUL)

/* Completion codes --------------------------------------------------------*/
#define VI_SUCCESS_EVENT_EN (0x3FFF0002L)
#define VI_SUCCESS_EVENT_DIS (0x3FFF0003L)
#define VI_SUCCESS_QUEUE_EMPTY (0x3FFF0004L)
#define VI_SUCCESS_TERM_CHAR (0x3FFF0005L)
#define VI_SUCCESS_MAX_CNT (0x3FFF0006L)
#define VI_SUCCESS_DEV_NPRESENT (0x3FFF007DL)
#define VI_SUCCESS_QUEUE_NEMPTY (0x3FFF0080L)
#define VI_SUCCESS_NCHAIN (0x3FFF0098L)
#define VI_SUCCESS_NESTED_SHARED (0x3FFF0099L)
#define VI_SUCCESS_NESTED_EXCLUSIVE (0x3FFF009AL)
#define VI_WARN_QUEUE_OVERFLOW (0x3FFF000CL)
#define VI_WARN_NSUP_BUF (0x3FFF0088L)
#define VI_WARN_NSUP_ATTR_STATE (0x3FFF0084L)
#define VI_WARN_UNKNOWN_STATUS (0x3FFF0085L)

/* Error codes -------------------------------------------------------------*/
#define VI_ERROR_SYSTEM_ERROR (_VI_ERROR + 0x3FFF0000L)
#define VI_ERROR_INV_OBJECT (_VI_ERROR + 0x3FFF000EL)
#define VI_ERROR_INV_SESSION (_VI_ERROR + 0x3FFF000EL)
#define VI_ERROR_RSRC_LOCKED (_VI_ERROR + 0x3FFF000FL)
#define VI_ERROR_INV_EXPR (_VI_ERROR + 0x3FFF0010L)
#define VI_ERROR_RSRC_NFOUND (_VI_ERROR + 0x3FFF0011L)
#define VI_ERROR_INV_RSRC_NAME (_VI_ERROR + 0x3FFF0012L)
#define VI_ERROR_INV_ACC_MODE (_VI_ERROR + 0x3FFF0013L)
#define VI_ERROR_TMO (_VI_ERROR + 0x3FFF0015L)
#define VI_ERROR_CLOSING_FAILED (_VI_ERROR + 0x3FFF0016L)
#define VI_ERROR_INV_DEGREE (_VI_ERROR + 0x3FFF001BL)
#define VI_ERROR_INV_JOB_ID (_VI_ERROR + 0x3FFF001CL)
#define VI_ERROR_NSUP_ATTR (_VI_ERROR + 0x3FFF001DL)
#define VI_ERROR_NSUP_ATTR_STATE (_VI_ERROR + 0x3FFF001EL)
#define VI_ERROR_ATTR_READONLY (_VI_ERROR + 0x3FFF001FL)
#define VI_ERROR_INV_LOCK_TYPE (_VI_ERROR + 0x3FFF0020L)
#define VI_ERROR_INV_ACCESS_KEY (_VI_ERROR + 0x3FFF0021L)
#define VI_ERROR_INV_EVENT (_VI_ERROR + 0x3FFF0026L)
#define VI_ERROR_INV_MECH (_VI_ERROR + 0x3FFF0027L)
#define VI_ERROR_HNDLR_NINSTALLED (_VI_ERROR + 0x3FFF0028L)
#define VI_ERROR_INV_HNDLR_REF (_VI_ERROR + 0x3FFF0029L)
#define VI_ERROR_INV_CONTEXT (_VI_ERROR + 0x3FFF002AL)
#define VI_ERROR_NENABLED (_VI_ERROR + 0x3FFF002FL)
#define VI_ERROR_ABORT (_VI_ERROR + 0x3FFF0030L)
#define VI_ERROR_RAW_WR_PROT_VIOL (_VI_ERROR + 0x3FFF0034L)
#define VI_ERROR_RAW_RD_PROT_VIOL (_VI_ERROR + 0x3FFF0035L)
#define VI_ERROR_OUTP_PROT_VIOL (_VI_ERROR + 0x3FFF0036L)
#define VI_ERROR_INP_PROT_VIOL (_VI_ERROR + 0x3FFF0037L)
#define VI_ERROR_BERR (_VI_ERROR + 0x3FFF0038L)
#define VI_ERROR_INV_SETUP (_VI_ERROR + 0x3FFF003AL)
#define VI_ERROR_ALLOC (_VI_ERROR + 0x3FFF003CL)
#define VI_ERROR_INV_MASK (_VI_ERROR + 0x3FFF003DL)
#define VI_ERROR_IO (_VI_ERROR + 0x3FFF003EL)
#define VI_ERROR_INV_FMT (_VI_ERROR + 0x3FFF003FL)
#define VI_ERROR_NSUP_FMT (_VI_ERROR + 0x3FFF0041L)
#define VI_ERROR_NSUP_OPER (_VI_ERROR + 0x3FFF0067L)
#define VI_ERROR_ASRL_PARITY (_VI_ERROR + 0x3FFF006AL)
#define VI_ERROR_ASRL_FRAMING (_VI_ERROR + 0x3FFF006BL)
#define VI_ERROR_ASRL_OVERRUN (_VI_ERROR + 0x3FFF006CL)
#define VI_ERROR_USER_BUF (_VI_ERROR + 0x3FFF0071L)
#define VI_ERROR_RSRC_BUSY (_VI_ERROR + 0x3FFF0072L)
#define VI_ERROR_INV_PARAMETER (_VI_ERROR + 0x3FFF0078L)
#define VI_ERROR_INV_PROT (_VI_ERROR + 0x3FFF0079L)
#define VI_ERROR_INV_SIZE (_VI_ERROR + 0x3FFF007BL)
#define VI_ERROR_NIMPL_OPER (_VI_ERROR + 0x3FFF0081L)
#define VI_ERROR_INV_LENGTH (_VI_ERROR + 0x3FFF0083L)
#define VI_ERROR_INV_MODE (_VI_ERROR + 0x3FFF0091L)
#define VI_ERROR_SESN_NLOCKED (_VI_ERROR + 0x3FFF009CL)
#define VI_ERROR_LIBRARY_NFOUND (_VI_ERROR + 0x3FFF009EL)
#define VI_ERROR_FILE_ACCESS (_VI_ERROR + 0x3FFF00A1L)
#define VI_ERROR_FILE_IO (_VI_ERROR + 0x3FFF00A2L)
#define VI_ERROR_NSUP_MECH (_VI_ERROR + 0x3FFF00A4L)
#define VI_ERROR_INTF_NUM_NCONFIG (_VI_ERROR + 0x3FFF00A5L)
#define VI_ERROR_CONN_LOST (_VI_ERROR + 0x3FFF00A6L)
#define VI_ERROR_NPERMISSION (_VI_ERROR + 0x3FFF00A8L)

/* Attribute values --------------------------------------------------------*/
#define VI_FIND_BUFLEN (256)
#define VI_INTF_GPIB (1)
#define VI_INTF_VXI (2)
#define VI_INTF_GPIB_VXI (3)
#define VI_INTF_ASRL (4)
#define VI_INTF_PXI (5)
#define VI_INTF_TCPIP (6)
#define VI_INTF_USB (7)

#define VI_PROT_NORMAL (1)
#define VI_PROT_4882_STRS (4)
#define VI_TRIG_PROT_DEFAULT (0)

#define VI_GPIB_REN_DEASSERT (0)
#define VI_GPIB_REN_ASSERT (1)
#define VI_GPIB_REN_DEASSERT_GTL (2)
#define VI_GPIB_REN_ASSERT_ADDRESS (3)
#define VI_GPIB_REN_ASSERT_LLO (4)
#define VI_GPIB_REN_ASSERT_ADDRESS_LLO (5)
#define VI_GPIB_REN_ADDRESS_GTL (6)

#define VI_QUEUE (1)
#define VI_HNDLR (2)
#define VI_SUSPEND_HNDLR (4)
#define VI_ALL_MECH (0xFFFF)
#define VI_ANY_HNDLR (0)

#define VI_TMO_IMMEDIATE (0L)
#define VI_TMO_INFINITE (0xFFFFFFFFUL)

#define VI_NO_LOCK (0)
#define VI_EXCLUSIVE_LOCK (1)
#define VI_SHARED_LOCK (2)
#define VI_LOAD_CONFIG (4)

#define VI_ASRL_PAR_NONE (0)
#define VI_ASRL_PAR_ODD (1)
#define VI_ASRL_PAR_EVEN (2)
#define VI_ASRL_PAR_MARK (3)
#define VI_ASRL_PAR_SPACE (4)
#define VI_ASRL_STOP_ONE (10)
#define VI_ASRL_STOP_ONE5 (15)
#define VI_ASRL_STOP_TWO (20)
#define VI_ASRL_FLOW_NONE (0)
#define VI_ASRL_FLOW_XON_XOFF (1)
#define VI_ASRL_FLOW_RTS_CTS (2)
#define VI_ASRL_FLOW_DTR_DSR (4)
#define VI_ASRL_END_NONE (0)
#define VI_ASRL_END_LAST_BIT (1)
#define VI_ASRL_END_TERMCHAR (2)
#define VI_ASRL_END_BREAK (3)

#define VI_READ_BUF (1)
#define VI_WRITE_BUF (2)
#define VI_READ_BUF_DISCARD (4)
#define VI_WRITE_BUF_DISCARD (8)
#define VI_IO_IN_BUF (16)
#define VI_IO_OUT_BUF (32)
#define VI_IO_IN_BUF_DISCARD (64)
#define VI_IO_OUT_BUF_DISCARD (128)

#define VI_FLUSH_ON_ACCESS (1)
#define VI_FLUSH_WHEN_FULL (2)
#define VI_FLUSH_DISABLE (3)

#if defined(__cplusplus) || defined(__cplusplus__)
}
#endif

#endif /* __VISA_HEADER__ */
