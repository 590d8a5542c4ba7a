/*
 * snmphelper: an SNMPv1 client library for printer management.
 *
 * The exported C interface. Valid C (C99 and later) and C++.
 *
 * Memory. Every block the library hands to a caller (a decoded record and
 * each block inside it, a formed packet, a value block) is a zero-initialised
 * block of the process's global heap. On Linux and other POSIX systems the
 * global heap is the C heap: such a block may be released with free().
 * Callers that must not assume that (portable code, code that may also run
 * against the Windows build, where it is GlobalAlloc's heap) release blocks
 * with HelperFreeBlock(). A decoded SnmpReqParam is released whole with
 * HelperFreeReqParam().
 *
 * Errors. No function throws or aborts; failures are result codes or null.
 */
#ifndef SNMPHELPER_H
#define SNMPHELPER_H

#include <stdint.h>

#if defined(_WIN32)
#  define SNMPHELPER_CALL __stdcall
#  if defined(SNMPHELPER_BUILDING)
#    define SNMPHELPER_API __declspec(dllexport)
#  else
#    define SNMPHELPER_API __declspec(dllimport)
#  endif
#else
#  define SNMPHELPER_CALL
#  define SNMPHELPER_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* PDU kinds of SnmpReqParam.pduType. The wire tag is 0xA0 plus the code. */
typedef enum SnmpPduType {
    SNMP_PDU_GET_REQUEST = 0,
    SNMP_PDU_GET_NEXT_REQUEST = 1,
    SNMP_PDU_GET_RESPONSE = 2,
    SNMP_PDU_SET_REQUEST = 3
} SnmpPduType;

/* Value kinds of SnmpVarBind.valueType; also the type codes of the value
 * text (HelperDecodeValue, HelperSNMPDecodePacket). Fixed numbers. */
typedef enum SnmpValueType {
    SNMP_VALUE_NONE = 0,
    SNMP_VALUE_INTEGER = 1,           /* int32_t, host order */
    SNMP_VALUE_OCTET_STRING = 2,      /* the octets as on the wire */
    SNMP_VALUE_IP_ADDRESS = 3,        /* 4 octets, network order */
    SNMP_VALUE_OPAQUE = 4,            /* the octets as on the wire */
    SNMP_VALUE_COUNTER = 5,           /* uint32_t, host order */
    SNMP_VALUE_GAUGE = 6,             /* uint32_t, host order */
    SNMP_VALUE_TIME_TICKS = 7,        /* uint32_t, host order */
    SNMP_VALUE_OBJECT_IDENTIFIER = 8, /* zero-terminated dotted-decimal text */
    SNMP_VALUE_NULL = 9               /* nothing */
} SnmpValueType;

/* One variable binding. */
typedef struct SnmpVarBind {
    char *oid;            /* zero-terminated dotted-decimal text, e.g. "1.3.6.1.2.1.1.1.0" */
    uint16_t oidLength;   /* characters of oid; set by the decoders, not read by the encoder */
    int32_t valueType;    /* an SnmpValueType code */
    uint8_t *value;       /* the value in the representation of its type */
    uint32_t valueLength; /* octets of value (characters for OBJECT IDENTIFIER) */
} SnmpVarBind;

/* One SNMPv1 request or response message. */
typedef struct SnmpReqParam {
    char *community;          /* community octets, not necessarily terminated */
    uint16_t communityLength; /* number of community octets */
    int32_t pduType;          /* an SnmpPduType code */
    int32_t requestId;
    uint8_t errorStatus;      /* 0-5: noError, tooBig, noSuchName, badValue, readOnly, genErr */
    uint16_t errorIndex;
    uint16_t varBindCount;    /* entries in varBinds */
    SnmpVarBind *varBinds;    /* may be null when varBindCount is 0 */
} SnmpReqParam;

/* One decoded SNMPv1 Trap-PDU message. There is no release function for it:
 * release, with HelperFreeBlock (or free), each entry's oid and value for the
 * first varBindCount entries, then varBinds, agentAddress, enterprise,
 * community, and finally the record. */
typedef struct SnmpTrapParam {
    char *community;          /* 256-octet block; terminated only when shorter than 256 */
    uint16_t communityLength;
    char *enterprise;         /* 512-octet block, zero-terminated dotted-decimal text */
    uint16_t enterpriseLength;
    uint8_t *agentAddress;    /* 4-octet block, network order */
    uint8_t agentAddressLength; /* always 4 */
    uint8_t genericTrap;
    int16_t specificTrap;     /* low 16 bits of the specific-trap INTEGER */
    uint32_t timeStamp;       /* TimeTicks, host order */
    uint16_t varBindCount;
    SnmpVarBind *varBinds;    /* each value (at most 256 octets) in a 257-octet block, zero after it */
} SnmpTrapParam;

/* Result codes of HelperSnmpEncodePdu. */
#define SNMP_ENCODE_OK 0
#define SNMP_ENCODE_CANNOT_PREPARE 1 /* out of memory, a GetResponse, or an unusable oid text */
#define SNMP_ENCODE_NO_ROOM 2        /* does not fit the room, or an item cannot be rendered */

/*
 * Encodes a GetRequest, GetNextRequest or SetRequest message.
 *   record  in   the message; only read. oid texts are read up to their terminator.
 *   buffer  out  receives the message octets.
 *   length  in/out  room of buffer on entry; the message size on success,
 *                   unchanged on failure.
 * Returns SNMP_ENCODE_OK, SNMP_ENCODE_CANNOT_PREPARE or SNMP_ENCODE_NO_ROOM.
 * On SNMP_ENCODE_NO_ROOM buffer may hold a partial message.
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSnmpEncodePdu(const SnmpReqParam *record,
                                                           uint8_t *buffer, uint16_t *length);

/*
 * Encodings the decoders take. HelperSnmpDecodePdu, HelperSnmpDecodeTrapPdu,
 * HelperSNMPDecodePacket and the transactions' replies are read alike: only
 * definite lengths of at most four length octets, each exactly what its item
 * holds, and nothing after the message. The version, error-status,
 * error-index and generic-trap are exactly the three octets 02 01 x.
 * Encodings X.690 forbids are read where their value is plain, as printers
 * send them:
 *   - INTEGER, Counter, Gauge and TimeTicks contents with redundant leading
 *     00 or FF octets ("02 05 00 00 00 00 07" is 7), while the number fits
 *     32 bits; Counter, Gauge and TimeTicks are read unsigned ("41 01 FF"
 *     is 255);
 *   - no contents at all ("02 00", "41 00") as 0, as encoders that write no
 *     octets for the number 0 send it;
 *   - a long-form length where the short form would do ("04 81 03 ...");
 *   - sub-identifiers with redundant leading 0x80 groups ("06 03 2B 80 01"
 *     is 1.3.1);
 *   - an OBJECT IDENTIFIER without contents ("06 00"), as a name, a value or
 *     the enterprise, as the empty text (its place in a comma-joined list is
 *     then empty).
 */

/*
 * Decodes one SNMPv1 GetResponse message. Accepts only a complete message with
 * every length exact; anything else gives null. The data is only read.
 * The caller releases the result with HelperFreeReqParam.
 */
SNMPHELPER_API SnmpReqParam *SNMPHELPER_CALL HelperSnmpDecodePdu(const uint8_t *data,
                                                                 uint32_t length);

/* Releases a record that HelperSnmpDecodePdu returned (or one whose every
 * block is a separate global-heap block). Null does nothing. */
SNMPHELPER_API void SNMPHELPER_CALL HelperFreeReqParam(SnmpReqParam *record);

/*
 * Decodes one SNMPv1 Trap message. Only the low 16 bits of length are used,
 * so a trap message is at most 65535 octets. Null when the message is refused.
 */
SNMPHELPER_API SnmpTrapParam *SNMPHELPER_CALL HelperSnmpDecodeTrapPdu(const uint8_t *data,
                                                                      uint32_t length);

/* Request types of HelperFormSNMPPacket and the transaction functions. */
#define SNMP_REQUEST_GET 0
#define SNMP_REQUEST_GET_NEXT 1
#define SNMP_REQUEST_SET 2

/* Result codes of the transaction layer (0 is success). 25002 and 25013 are
 * not used. */
#define SNMP_RESULT_OK 0
#define SNMP_RESULT_CONFIG_UNREADABLE 25001  /* internal: replaced by a default */
#define SNMP_RESULT_VARBIND_LIST_FAILED 25003
#define SNMP_RESULT_COMMUNITY_FAILED 25004
#define SNMP_RESULT_OUT_OF_MEMORY 25005
#define SNMP_RESULT_REQUEST_ID_FAILED 25006
#define SNMP_RESULT_BAD_REQUEST_TYPE 25007
#define SNMP_RESULT_ENCODE_FAILED 25008
#define SNMP_RESULT_DECODE_FAILED 25009
#define SNMP_RESULT_NO_REPLY 25010        /* no printer name, no reply, or no matching reply */
#define SNMP_RESULT_ERROR_STATUS 25011    /* the printer answered with a non-zero error-status */
#define SNMP_RESULT_DOES_NOT_FIT 25012    /* texts too long for the buffers, or a value without text form */
#define SNMP_RESULT_TRAP_REGISTRATION_FAILED 25014

/*
 * Takes the next item off a value list and returns its value in a new block,
 * ready for SnmpVarBind.value; null when the item has no value (types 4, 9
 * and unknown codes), is malformed, or the block cannot be allocated.
 *   cursor       in/out  points to the current position in a writable,
 *                        zero-terminated value list; moved to the start of
 *                        the next item. Separators are overwritten with zero
 *                        bytes. After the last item it points to the list's
 *                        terminator, or is set to null after a raw item
 *                        (types 10-15) that ends the list. Unchanged when no
 *                        comma follows it (and a null *cursor gives null).
 *   valueType    out     the item's type code; 2 for the raw types 10-15.
 *                        Unchanged when no type code could be read.
 *   valueLength  out     octets of the value (characters for type 8).
 * Items: "1,-7" "5,4294967295" "6,..." "7,..." (4 octets, host order),
 * "2,3,abc" (a decimal length, then exactly that many raw octets, zero bytes
 * and commas included), "3,192.168.1.20" (4 octets, network order),
 * "8,1.3.6.1" (zero-terminated text, as HelperSNMPDecodePacket writes it),
 * "10,"-"15," followed by 6, 3, 2, 6, 4 or 10 raw octets, and items are
 * separated by one comma.
 * What this function cannot check: it does not know the size of the caller's
 * text. Every search for a comma stops at the text's zero terminator, but an
 * OCTET STRING or raw item is taken by its length, zero bytes included, so
 * the caller must make sure the text holds that many octets after the item's
 * comma. Inside a request (HelperFormSNMPPacket), where the value list's size
 * is known, no item reads past that size.
 */
SNMPHELPER_API uint8_t *SNMPHELPER_CALL HelperDecodeValue(char **cursor, int32_t *valueType,
                                                          uint32_t *valueLength);

/*
 * Forms a complete SNMPv1 request message with the library's community and
 * the next request-id.
 *   requestType    in      SNMP_REQUEST_GET, SNMP_REQUEST_GET_NEXT or
 *                          SNMP_REQUEST_SET.
 *   oidList        in/out  writable, zero-terminated, comma-joined
 *                          identifiers; the comma after each identifier used
 *                          is overwritten with a zero byte.
 *   oidListSize    in      bytes of the oidList buffer (sizes the packet).
 *   valueList      in/out  for SNMP_REQUEST_SET, the values in the form of
 *                          HelperDecodeValue, consumed in order and modified
 *                          in the same way; a value that cannot be taken
 *                          (malformed, or running past valueListSize) refuses
 *                          the request. Not read otherwise (may be null).
 *   valueListSize  in      bytes of the valueList buffer; no item is read past
 *                          them. Null counts as 0.
 *   varCount       in      number of identifiers (and values) to take; at
 *                          most the number of identifiers in oidList and at
 *                          most 65535, or the request is refused without
 *                          touching oidList.
 *   packetLength   out     0, or the message length on success.
 * Returns the message in a new block of (oidListSize + *valueListSize) * 2 +
 * 50 bytes (at most 65535), or null on any failure (nothing stays allocated).
 * Release it with HelperFreeBlock.
 */
SNMPHELPER_API uint8_t *SNMPHELPER_CALL HelperFormSNMPPacket(int32_t requestType, char *oidList,
                                                             uint32_t oidListSize, char *valueList,
                                                             const uint32_t *valueListSize,
                                                             uint32_t varCount,
                                                             uint32_t *packetLength);

/*
 * Decodes a GetResponse message and writes its identifiers and values as
 * text into the caller's buffers.
 *   message       in      the received octets; only read.
 *   messageLength in      their number.
 *   oidBuffer     out     the identifiers joined by commas, zero-terminated.
 *   oidSize       in/out  room of oidBuffer; on the way out the text's length
 *                         plus 2 (complete; 1 for a reply without variables,
 *                         whose oidBuffer is left as it was), or the room the
 *                         whole text would need plus one spare byte
 *                         (incomplete).
 *   valueBuffer   out     the values, one item per variable: "1,-5" INTEGER,
 *                         "2,3,abc" OCTET STRING (length, then the raw
 *                         octets), "3,192.168.1.20" IpAddress, "5,..." "6,..."
 *                         "7,..." unsigned, "8,1.3.6.1" OBJECT IDENTIFIER,
 *                         separated by commas, zero-terminated. Its whole
 *                         room is cleared first.
 *   valueSize     in/out  room of valueBuffer; on the way out the text's
 *                         length (complete), or the room the whole text would
 *                         need (incomplete).
 * Returns 0; SNMP_RESULT_DECODE_FAILED when the message is not a GetResponse
 * the decoder accepts; SNMP_RESULT_ERROR_STATUS for a non-zero error-status
 * (nothing written); SNMP_RESULT_DOES_NOT_FIT when the texts do not fit or a
 * value (Opaque, NULL) has no text form, the buffers then holding what was
 * written before. A null buffer or size counts as no room.
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPDecodePacket(const uint8_t *message,
                                                              uint32_t messageLength,
                                                              char *oidBuffer, uint32_t *oidSize,
                                                              char *valueBuffer,
                                                              uint32_t *valueSize);

/* Releases one block that the library handed out. Null does nothing. */
SNMPHELPER_API void SNMPHELPER_CALL HelperFreeBlock(void *block);

/* Transport and printer-record results that the transaction functions hand
 * on unchanged when a request cannot be sent. */
#define SNMP_RESULT_RECV_FAILED 20001   /* reading a datagram failed */
#define SNMP_RESULT_RECV_TIMEOUT 20002  /* no datagram came in time */
#define SNMP_RESULT_SEND_FAILED 20004   /* every send failed, or no transport
                                           can be opened for the printer */
#define SNMP_RESULT_BIND_FAILED 20006
#define SNMP_RESULT_SOCKET_CLOSED 20009 /* transport not open, connection aborted or reset */
#define SNMP_RESULT_PRINTER_RECORD_UNREADABLE 20041 /* the printer's key or its MAC Address
                                                       cannot be read */

/* Results of a DLC transport (a printer reached over IEEE 802.2), handed on
 * the same way. They share their numbers with SNMP_ENCODE_* (a different
 * function's results). */
#define SNMP_DLC_FAILED 1          /* the DLC interface is unavailable or refused the command */
#define SNMP_DLC_NO_MEMORY 2
#define SNMP_DLC_ADAPTER_TYPE 3    /* the adapter is of an unsupported type */
#define SNMP_DLC_TIMEOUT 4
#define SNMP_DLC_FRAME_TOO_LONG 5  /* a received frame does not fit the buffer */
#define SNMP_DLC_LINK_FAILED 7     /* a read failed or the link was lost */

/*
 * Reply checks. By default a reply counts when it decodes and carries the
 * request's request-id, whoever sent it (a printer with several addresses
 * may answer from another one), and the process's request-ids start at 1.
 * A REG_DWORD value "ReplyChecks" in the library's Snmp settings key (beside
 * UdpTimeOutInterval and UdpTotalRetries, read anew by every transaction)
 * asks for more:
 *   bit 0  a datagram counts only when it comes from the address and agent
 *          port the request went to (UDP/IP: address and port 161; IPX:
 *          network, node and socket 0x900F; DLC: adapter address and SAP
 *          0x0A). Others are dropped without counting as replies; after 16
 *          of them in one wait the wait ends as if nothing had come.
 *   bit 1  the first transaction (or HelperFormSNMPPacket) after load moves
 *          the request-id counter on by a random amount, so that another
 *          host cannot guess the ids.
 * Without the value, or with 0, nothing changes; other bits are ignored.
 */

/*
 * Runs one request against a printer and writes the reply back as text. The
 * request carries the printer's community: its key's "Community", else the
 * Snmp key's "Community", else the library's own (a "Community" that is not
 * text of at most 255 octets gives SNMP_RESULT_COMMUNITY_FAILED). The
 * printer is reached by the protocol its configuration names (over UDP/IP at
 * its "IP Port", else 161); the request is
 * re-sent while no reply comes, over the printer's other protocols when one
 * fails (the switch is stored in the configuration), and repeated while the
 * replies cannot be decoded or answer another request. Blocks the calling
 * thread until the exchange is over.
 *   printerName    in      zero-terminated name of the printer's
 *                          configuration key; null gives SNMP_RESULT_NO_REPLY.
 *   requestType    in      SNMP_REQUEST_GET, SNMP_REQUEST_GET_NEXT or
 *                          SNMP_REQUEST_SET.
 *   oidList        in/out  writable, comma-joined identifiers; split in place
 *                          while the request is formed, then overwritten with
 *                          the reply's identifiers, comma-joined.
 *   oidListSize    in      room of oidList in bytes, terminator included.
 *   valueList      in/out  for SNMP_REQUEST_SET the values to set, in the form
 *                          of HelperDecodeValue; once a reply is accepted, the
 *                          reply's values in the form of HelperSNMPDecodePacket.
 *   valueListSize  in/out  room of valueList; the length of the reply's value
 *                          text when values were written.
 *   varCount       in      number of identifiers (and values) to send.
 * Returns 0; SNMP_RESULT_ERROR_STATUS for a non-zero error-status other than
 * genErr (5), which counts as success; for both the buffers are not touched.
 * SNMP_RESULT_DOES_NOT_FIT when the reply does not fit the buffers (a set
 * request returns 0 then: the printer has done the set). SNMP_RESULT_NO_REPLY
 * when nothing came or no reply answered this request; SNMP_RESULT_DECODE_FAILED
 * when the last reply could not be decoded; a forming code (25003-25008); or,
 * when sending failed, SNMP_RESULT_SEND_FAILED or another transport result.
 * For a printer reached over DLC whose send failed with no other protocol
 * left, that is the DLC interface's own 1 (DLC unavailable, or the frame
 * refused) or 2 (out of memory), not a code of the 20000 series.
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPTransact(const char *printerName,
                                                          int32_t requestType, char *oidList,
                                                          uint32_t oidListSize, char *valueList,
                                                          uint32_t *valueListSize,
                                                          uint32_t varCount);

/*
 * HelperSNMPTransact, with every OCTET STRING of the reply's value text
 * rewritten as upper-case hexadecimal digits ("2,3,abc" becomes
 * "2,6,616263"), so that the value text is one ordinary zero-terminated
 * string. Same arguments. *valueListSize still gives the length of the text
 * before the rewrite. Returns HelperSNMPTransact's result, or
 * SNMP_RESULT_DOES_NOT_FIT when the rewritten text would exceed 511
 * characters or the room of valueList (the text is then left as the
 * transaction wrote it).
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPTransactAscii(const char *printerName,
                                                               int32_t requestType, char *oidList,
                                                               uint32_t oidListSize,
                                                               char *valueList,
                                                               uint32_t *valueListSize,
                                                               uint32_t varCount);

/* Directions of an SnmpDatagramObserver call. */
#define SNMP_DATAGRAM_SENT 0
#define SNMP_DATAGRAM_RECEIVED 1

/*
 * Told of each datagram of a transaction as it goes: every request handed to
 * a transport (re-sends included) and every datagram received, whether or not
 * it turns out to be the reply. Runs on the calling thread, inside the
 * transaction; the octets are valid only during the call.
 *   context    the observerContext of the SnmpTransaction.
 *   direction  SNMP_DATAGRAM_SENT or SNMP_DATAGRAM_RECEIVED.
 *   protocol   the protocol carrying it: 1 IPX, 2 IP, 4 DLC.
 */
typedef void(SNMPHELPER_CALL *SnmpDatagramObserver)(void *context, int32_t direction,
                                                    uint32_t protocol, const uint8_t *datagram,
                                                    uint32_t length);

/* "Use the configuration" for SnmpTransaction.timeoutSeconds and .retries. */
#define SNMP_TRANSACTION_CONFIGURED (-1)

/* Refused arguments of HelperSNMPTransactEx. */
#define SNMP_RESULT_INVALID_ARGUMENT 25015

/*
 * The per-call settings and the outcome of HelperSNMPTransactEx. Fixed-width
 * fields first, pointers last, so that the layout is the natural one for
 * 32-bit and 64-bit callers alike: offsets 0-20, then observer at 24,
 * observerContext at 24 + pointer size, reply after it, community last.
 * community came later: a record whose recordSize is
 * SNMP_TRANSACTION_SIZE_WITHOUT_COMMUNITY (programs built before it) is
 * served as before and its community is not read.
 */
typedef struct SnmpTransaction {
    uint32_t recordSize;     /* in: sizeof(SnmpTransaction) */
    int32_t timeoutSeconds;  /* in: seconds of each wait for a reply (0: only
                                look); SNMP_TRANSACTION_CONFIGURED: as
                                HelperSNMPTransact (the configuration's
                                timeout, 10 s for a set) */
    int32_t retries;         /* in: re-sends while the printer stays silent on
                                one protocol (none after the last wait), and
                                further attempts after an undecodable or
                                foreign reply; SNMP_TRANSACTION_CONFIGURED: as
                                HelperSNMPTransact (the configuration's retry
                                count for such replies, two waits per
                                protocol while silent) */
    uint32_t errorStatus;    /* out: the reply's error-status (RFC 1157 4.1.1), 0 without a reply */
    uint32_t errorIndex;     /* out: the reply's error-index, 0 without a reply */
    uint32_t protocol;       /* out: protocol of the last transport used (1, 2, 4), 0 when none opened */
    SnmpDatagramObserver observer;  /* in: may be null */
    void *observerContext;          /* in: handed to observer */
    SnmpReqParam *reply;     /* out: the decoded reply, whatever its
                                error-status, or null; release it with
                                HelperFreeReqParam. Set to null (and the error
                                fields to 0) once the arguments are accepted. */
    const char *community;   /* in: the community this request carries,
                                zero-terminated, at most 255 octets; null:
                                the printer's (its "Community", else the Snmp
                                key's, else the library's own) */
} SnmpTransaction;

/* recordSize of an SnmpTransaction without its last field, community. */
#define SNMP_TRANSACTION_SIZE_WITHOUT_COMMUNITY (24 + 3 * sizeof(void *))

/*
 * HelperSNMPTransact's transaction (the same forming, channel, protocol
 * switches and request-id matching), with the timeout and retry count of
 * this call, the datagrams shown to an observer, and the reply handed back
 * decoded rather than as text: every value type, Opaque included, and the
 * error fields.
 *   printerName    in      as for HelperSNMPTransact; null is refused.
 *   requestType    in      SNMP_REQUEST_GET, SNMP_REQUEST_GET_NEXT or
 *                          SNMP_REQUEST_SET.
 *   oidList        in/out  writable, comma-joined identifiers, split in place
 *                          while the request is formed; nothing is written
 *                          back.
 *   oidListSize    in      room of oidList in bytes, terminator included.
 *   valueList      in/out  for SNMP_REQUEST_SET the values, in the form of
 *                          HelperDecodeValue, consumed in place; not read
 *                          otherwise (may be null).
 *   valueListSize  in      room of valueList in bytes.
 *   varCount       in      number of identifiers (and values) to send.
 *   transaction    in/out  settings and outcome, see SnmpTransaction.
 * Returns 0 for a reply with error-status 0; SNMP_RESULT_ERROR_STATUS for a
 * reply with any other error-status, genErr included (reply, errorStatus and
 * errorIndex are set); SNMP_RESULT_INVALID_ARGUMENT for a null printerName,
 * oidList or transaction, a recordSize other than sizeof(SnmpTransaction)
 * or SNMP_TRANSACTION_SIZE_WITHOUT_COMMUNITY, a community longer than 255
 * octets, or a timeout or retry count below SNMP_TRANSACTION_CONFIGURED (nothing
 * sent, the record's outputs untouched); otherwise HelperSNMPTransact's
 * failures (no reply, undecodable reply, forming and sending results).
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPTransactEx(const char *printerName,
                                                            int32_t requestType, char *oidList,
                                                            uint32_t oidListSize, char *valueList,
                                                            uint32_t valueListSize,
                                                            uint32_t varCount,
                                                            SnmpTransaction *transaction);

/*
 * The multiplexed engine: many transactions in flight on one thread. A
 * program submits transactions (HelperSNMPEngineSubmit) and drives the
 * engine (HelperSNMPEngineRun), which hands back each one's outcome as it
 * ends. Each transaction is HelperSNMPTransactEx's (the same forming,
 * request-ids, waits, re-sends and protocol switches, stored as they are
 * today); the printers reached over UDP/IP share one socket of the engine,
 * so that a silent printer costs its timeouts beside the others instead of
 * a thread. A reply counts only when it carries the transaction's
 * request-id and comes from the address and port the request went to; a
 * late reply to an earlier send of the same request counts. Printers reached
 * over IPX or DLC, and those whose protocol is switched there, are served
 * by HelperSNMPTransactEx's blocking engine on a few worker threads of the
 * engine. An engine is used by one thread at a time; each thread may have
 * its own.
 */
typedef struct SnmpEngine SnmpEngine;

/* One transaction for HelperSNMPEngineSubmit. Fixed-width fields first,
 * pointers last, as in SnmpTransaction. */
typedef struct SnmpEngineRequest {
    uint32_t recordSize;     /* in: sizeof(SnmpEngineRequest) */
    int32_t requestType;     /* SNMP_REQUEST_GET, SNMP_REQUEST_GET_NEXT or SNMP_REQUEST_SET */
    int32_t timeoutSeconds;  /* as SnmpTransaction.timeoutSeconds */
    int32_t retries;         /* as SnmpTransaction.retries */
    uint32_t varBindCount;   /* bindings in varBinds, at most 65535 */
    const char *printerName; /* the printer's configuration key */
    const SnmpVarBind *varBinds; /* the request's bindings: oid (dotted
                                    decimal) and, for a set, the value;
                                    copied before Submit returns */
    const char *community;   /* as SnmpTransaction.community; may be null */
    void *tag;               /* handed back with the completion */
} SnmpEngineRequest;

/* How one transaction ended, for the HelperSNMPEngineRun callback. */
typedef struct SnmpEngineCompletion {
    int32_t result;       /* HelperSNMPTransactEx's result for it */
    uint32_t errorStatus; /* the reply's error-status, 0 without a reply */
    uint32_t errorIndex;  /* the reply's error-index, 0 without a reply */
    uint32_t protocol;    /* of the last transport used (1, 2, 4), 0 when none */
    SnmpReqParam *reply;  /* the decoded reply, whatever its error-status, or
                             null; the callback's from now on: release it
                             with HelperFreeReqParam */
    void *tag;            /* the request's */
} SnmpEngineCompletion;

/* Called by HelperSNMPEngineRun once per finished transaction, on its
 * thread; it may submit further transactions to the same engine. */
typedef void(SNMPHELPER_CALL *SnmpEngineCallback)(void *context, const SnmpEngineCompletion *completion);

/*
 * Creates an engine.
 *   workerThreads  in  threads for printers reached over IPX or DLC, started
 *                      only when such a transaction comes, 1 to 64; 0: 4.
 * Returns the engine, or null when it cannot be made (out of memory, or a
 * workerThreads past 64). An engine whose UDP socket cannot be opened is
 * made; its UDP/IP transactions fail as a failed send does.
 */
SNMPHELPER_API SnmpEngine *SNMPHELPER_CALL HelperSNMPEngineCreate(uint32_t workerThreads);

/*
 * Takes one transaction; nothing is read from the configuration or sent
 * before HelperSNMPEngineRun, which forms the transactions taken since the
 * last run together, with one reading of the configuration.
 * Returns 0 when it was taken: its completion comes from a later Run, with a
 * forming result (25003-25008) as HelperSNMPTransactEx gives it when it
 * cannot be formed. Otherwise no completion comes:
 * SNMP_RESULT_INVALID_ARGUMENT for a null engine, request or printerName, a
 * recordSize other than sizeof(SnmpEngineRequest), a null varBinds with a
 * varBindCount, a binding without an identifier (or with a valueLength and
 * no value), a community longer than 255 octets, or a timeout or retry count
 * below SNMP_TRANSACTION_CONFIGURED; SNMP_RESULT_BAD_REQUEST_TYPE for an
 * unknown requestType.
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPEngineSubmit(SnmpEngine *engine,
                                                              const SnmpEngineRequest *request);

/*
 * Sends, waits and re-sends for up to `milliseconds`, calling `callback`
 * for each transaction that ends; returns sooner once none is in flight.
 *   inFlight  out  transactions still in flight (may be null).
 * Returns 0, or SNMP_RESULT_INVALID_ARGUMENT for a null engine or callback.
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPEngineRun(SnmpEngine *engine, uint32_t milliseconds,
                                                           SnmpEngineCallback callback, void *context,
                                                           uint32_t *inFlight);

/*
 * Destroys an engine (null is ignored). Transactions still in flight end
 * without a completion; a transaction a worker thread is running is waited
 * for.
 */
SNMPHELPER_API void SNMPHELPER_CALL HelperSNMPEngineDestroy(SnmpEngine *engine);

/*
 * Fetches every object of one of the 26 fixed object groups in one
 * GetRequest.
 *   printerName  in      as for HelperSNMPTransact.
 *   group        in      the group number, 0 to 25.
 *   valueBuffer  out     the values, in the group's order, as HelperSNMPTransact
 *                        writes them.
 *   valueLength  in/out  room of valueBuffer; the value text's length.
 * Returns HelperSNMPTransact's result; SNMP_RESULT_VARBIND_LIST_FAILED for a
 * group number past 25; SNMP_RESULT_OUT_OF_MEMORY when the group's list could
 * not be built when the library was loaded.
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperGetSNMPObjects(const char *printerName, uint32_t group,
                                                            char *valueBuffer,
                                                            uint32_t *valueLength);

/*
 * Sends a printer, in which this host is registered as a trap destination,
 * one GetRequest as a keep-alive, and does not wait for the reply.
 *   printerName  in  as for HelperSNMPTransact.
 * Returns 0 once the request has been handed to the transport (whether or
 * not the printer answers), SNMP_RESULT_OUT_OF_MEMORY, or a sending result
 * as for HelperSNMPTransact.
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperTrapKeepAlive(const char *printerName);

/* Actions of HelperSNMPRegisterTrapDestination. */
#define SNMP_TRAP_REGISTER 1
#define SNMP_TRAP_WITHDRAW 0 /* any value other than 1 withdraws */

/*
 * Writes this host's row in the printer's trap destination table
 * (1.3.6.1.4.1.236.11.5.1.12.6.2.4.1), or withdraws it, with set requests as
 * HelperSNMPTransact sends them. The row is indexed by six numbers that are
 * the same on every call on this host, so a withdrawal reaches the row a
 * registration wrote. The host's IP and IPX addresses are learned first; a
 * protocol of the printer's cProtocols whose address cannot be learned is
 * left out (DLC is kept as it is). The IP address is the first of the host's
 * name, unless that is a loopback address (127.0.1.1 on Debian) and the
 * printer's is not: then it is the address this host reaches the printer
 * from. The IPX network is that of the interface IPX sends on.
 *   action       in  SNMP_TRAP_REGISTER: the row is set to "being filled",
 *                    given the addresses and protocols, then set to
 *                    "complete". Any other value: the row is set to
 *                    "withdraw".
 *   printerName  in  as for HelperSNMPTransact.
 *   reserved1, reserved2  not used.
 * Returns 0; SNMP_RESULT_TRAP_REGISTRATION_FAILED when the printer's
 * configuration cannot be read, no protocol is left, or the first request of
 * a registration fails (nothing more is then sent). When the printer refuses
 * the row's addresses the row is withdrawn and that refusal's result is
 * returned, whatever the withdrawal's; otherwise the result of the last
 * request, as for HelperSNMPTransact.
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPRegisterTrapDestination(int32_t action,
                                                                         const char *printerName,
                                                                         uint32_t reserved1,
                                                                         uint32_t reserved2);

/* Protocol codes of a printer record: pProtocol is one, cProtocols a bit set
 * of them. */
#define SNMP_PROTOCOL_IPX 1
#define SNMP_PROTOCOL_IP 2
#define SNMP_PROTOCOL_DLC 4

/* Rooms of SnmpPrinterRecord's texts, terminators included. */
#define SNMP_PRINTER_NAME_SIZE 128
#define SNMP_PRINTER_ADDRESS_SIZE 22
#define SNMP_PRINTER_TEXT_SIZE 256

/*
 * One printer as the configuration store records it: the key that
 * HelperSNMPTransact and the other functions read by the printer's name.
 * Only fixed-width fields, so that the layout is the same for 32-bit and
 * 64-bit callers: 16 octets of numbers, then the texts, 724 octets in all.
 * Every text is zero-terminated within its field; an empty one is absent.
 */
typedef struct SnmpPrinterRecord {
    uint32_t recordSize;   /* in: sizeof(SnmpPrinterRecord) */
    uint32_t cProtocols;   /* protocols the printer is reached by (bits 1, 2, 4);
                              0 on the way in: those with an address */
    uint32_t pProtocol;    /* protocol to use first, one of cProtocols; 0 on the
                              way in: IP, else DLC, else IPX */
    uint32_t ipPort;       /* UDP port of its agent, 1-65535; 0: 161 (not stored) */
    char name[SNMP_PRINTER_NAME_SIZE]; /* at most 90 octets of UTF-8, no '\\',
                                          no control characters */
    char ipAddress[SNMP_PRINTER_ADDRESS_SIZE];  /* dotted-decimal IPv4 */
    char ipxAddress[SNMP_PRINTER_ADDRESS_SIZE]; /* 8 hex digits of network,
                                                   12 of node ("net:node" taken) */
    char macAddress[SNMP_PRINTER_ADDRESS_SIZE]; /* 12 hex digits (pairs with ':'
                                                   or '-' taken) */
    char community[SNMP_PRINTER_TEXT_SIZE];     /* the community its requests
                                                   carry; empty: the Snmp key's,
                                                   else the library's own */
    char hostName[SNMP_PRINTER_TEXT_SIZE];      /* resolved when written: its
                                                   first IPv4 address becomes
                                                   ipAddress */
} SnmpPrinterRecord;

/* Result codes of the printer-record functions, beside 0. */
#define SNMP_RESULT_PRINTER_EXISTS 20042      /* HelperPrinterAdd without SNMP_PRINTER_REPLACE */
#define SNMP_RESULT_NO_SUCH_PRINTER 20043
#define SNMP_RESULT_PRINTER_INVALID 20044     /* a field is refused: null record,
                                                 wrong recordSize, bad name,
                                                 address, protocol or port */
#define SNMP_RESULT_STORE_DENIED 20045        /* this process may not write (or
                                                 read) the configuration store */
#define SNMP_RESULT_STORE_FAILED 20046        /* the store cannot be read,
                                                 parsed or written */
#define SNMP_RESULT_HOST_UNRESOLVED 20047     /* hostName has no IPv4 address */
#define SNMP_RESULT_LIST_DOES_NOT_FIT 20048   /* HelperPrinterList: too little room */

/* Flags of HelperPrinterAdd. */
#define SNMP_PRINTER_REPLACE 1 /* an existing printer of that name is replaced whole */

/*
 * Records a printer. Every value is written in one change of the store,
 * under its writers' lock, so no reader sees the key half written; the
 * key holds cProtocols, pProtocol, "MAC Address" (empty when the printer
 * has no DLC, as the library reads only keys that hold it), the other
 * addresses given, and "Community", "Host Name" and "IP Port" when set.
 * A store that comes to hold a community is made readable by its owner only.
 *   record  in  the printer; see SnmpPrinterRecord.
 *   flags   in  0 or SNMP_PRINTER_REPLACE.
 * Returns 0, SNMP_RESULT_PRINTER_EXISTS, SNMP_RESULT_PRINTER_INVALID,
 * SNMP_RESULT_HOST_UNRESOLVED, SNMP_RESULT_STORE_DENIED or
 * SNMP_RESULT_STORE_FAILED.
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperPrinterAdd(const SnmpPrinterRecord *record, uint32_t flags);

/*
 * Rewrites a recorded printer with the record's fields, as HelperPrinterAdd
 * writes them (a hostName is resolved again); values of its key that the
 * record does not name are kept, and fields left empty (ipPort 0) remove
 * their value. Returns HelperPrinterAdd's results, SNMP_RESULT_NO_SUCH_PRINTER
 * instead of SNMP_RESULT_PRINTER_EXISTS.
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperPrinterUpdate(const SnmpPrinterRecord *record);

/*
 * Reads a recorded printer.
 *   printerName  in   zero-terminated name.
 *   record       in/out  recordSize in; every other field out (texts too
 *                        long for their field are left empty).
 * Returns 0, SNMP_RESULT_NO_SUCH_PRINTER, SNMP_RESULT_PRINTER_INVALID (null
 * arguments, wrong recordSize, a name no key can have),
 * SNMP_RESULT_STORE_DENIED or SNMP_RESULT_STORE_FAILED.
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperPrinterRead(const char *printerName, SnmpPrinterRecord *record);

/* Removes a recorded printer: 0, SNMP_RESULT_NO_SUCH_PRINTER,
 * SNMP_RESULT_PRINTER_INVALID, SNMP_RESULT_STORE_DENIED or
 * SNMP_RESULT_STORE_FAILED. */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperPrinterRemove(const char *printerName);

/*
 * The recorded printers' names, in stored order.
 *   names  out     each name followed by a zero byte, and one more zero byte
 *                  after the last ("lab\0hall\0\0"; no printer: "\0").
 *   size   in/out  room of names; the octets written, or needed when they do
 *                  not fit (names is then left alone).
 * Returns 0, SNMP_RESULT_LIST_DOES_NOT_FIT, SNMP_RESULT_PRINTER_INVALID (null
 * size), SNMP_RESULT_STORE_DENIED or SNMP_RESULT_STORE_FAILED.
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperPrinterList(char *names, uint32_t *size);

/* Rooms of SnmpDiscoveredPrinter's object texts, terminators included. */
#define SNMP_DISCOVERY_TEXT_SIZE 256

/* The objects a discovery asks every printer for, in one GetRequest:
 * sysDescr, sysObjectID, sysName, hrDeviceDescr of device 1,
 * prtGeneralSerialNumber of device 1, and the print server's hardware
 * address (1.3.6.1.4.1.236.11.5.1.12.3.3.0). */

/*
 * One printer that answered a discovery. Every text is zero-terminated
 * within its field; an empty one was not answered. Only fixed-width fields,
 * so that the layout is the same for 32-bit and 64-bit callers: 1376 octets.
 */
typedef struct SnmpDiscoveredPrinter {
    uint32_t cProtocols;  /* the transports it answered on (bits 1 IPX, 2 IP, 4 DLC) */
    uint32_t pProtocol;   /* the one to reach it by: IP, else DLC, else IPX */
    char ipAddress[SNMP_PRINTER_ADDRESS_SIZE];   /* dotted-decimal, when it answered over IP */
    char ipxAddress[SNMP_PRINTER_ADDRESS_SIZE];  /* 20 hex digits, network then node, over IPX */
    char macAddress[SNMP_PRINTER_ADDRESS_SIZE];  /* 12 hex digits, its DLC station, over DLC */
    char hardwareAddress[SNMP_PRINTER_ADDRESS_SIZE]; /* 12 hex digits: its adapter, as its MIB,
                                                        its IPX node or its DLC station says */
    char sysDescr[SNMP_DISCOVERY_TEXT_SIZE];
    char sysObjectID[SNMP_DISCOVERY_TEXT_SIZE];   /* dotted decimal */
    char sysName[SNMP_DISCOVERY_TEXT_SIZE];
    char deviceDescr[SNMP_DISCOVERY_TEXT_SIZE];   /* hrDeviceDescr.1 */
    char serialNumber[SNMP_DISCOVERY_TEXT_SIZE];  /* prtGeneralSerialNumber.1 */
} SnmpDiscoveredPrinter;

/* Flags of SnmpDiscovery. */
#define SNMP_DISCOVER_WALK 1          /* a subnet target is asked address by
                                         address (unicast), not by its
                                         directed broadcast */
#define SNMP_DISCOVER_TARGETS_ONLY 2  /* over IP, ask only the targets, not
                                         every interface's broadcast address */

/*
 * The settings and the outcome of HelperSNMPDiscover. Fixed-width fields
 * first, pointers last: offsets 0-31, then targets at 32, community after
 * it, printers last.
 */
typedef struct SnmpDiscovery {
    uint32_t recordSize;          /* in: sizeof(SnmpDiscovery) */
    uint32_t cProtocols;          /* in: the transports to ask over (bits 1 IPX,
                                     2 IP, 4 DLC); 0: all three */
    uint32_t timeoutMilliseconds; /* in: how long replies are collected after
                                     the requests left; 0: 3000 */
    uint32_t flags;               /* in: SNMP_DISCOVER_* */
    uint32_t walkRate;            /* in: unicast requests per second of a
                                     walked range; 0: 200 */
    uint32_t protocolsSent;       /* out: the transports whose request left */
    uint32_t repliesReceived;     /* out: replies to the discovery's requests,
                                     duplicates included */
    uint32_t printerCount;        /* out: entries in printers */
    const char *targets;          /* in: null, or IPv4 targets joined by commas:
                                     "10.1.2.7" (that address), "10.1.2.0/24"
                                     (the subnet's directed broadcast, or every
                                     host address with SNMP_DISCOVER_WALK),
                                     "10.1.2.10-10.1.2.50" (each address, unicast) */
    const char *community;        /* in: the community the requests carry, at
                                     most 255 octets; null: the Snmp key's, else
                                     the library's own */
    SnmpDiscoveredPrinter *printers; /* out: printerCount records in one block,
                                        in the order they first answered;
                                        release it with HelperFreeBlock; null
                                        when none answered */
} SnmpDiscovery;

/*
 * Finds the printers on the attached networks: one GetRequest for the
 * discovery's objects, broadcast over each transport asked for (IP: to the
 * broadcast address of every interface that is up, and the targets, port
 * 161; IPX: network 00000000 and this host's network, node
 * FFFFFFFFFFFF, socket 0x900F; DLC: station FFFFFFFFFFFF, SAP 0x0A), then
 * every reply collected until the timeout. A reply counts when its
 * request-id is that of the request sent over the transport it came by. A
 * printer that answers on several transports is one record: the same
 * hardware address is its IPX node and its DLC station. One that answers
 * noSuchName is asked again without the object it named.
 *   discovery  in/out  settings and outcome, see SnmpDiscovery.
 * Returns 0 once at least one transport sent its request (whether or not
 * any printer answered); SNMP_RESULT_INVALID_ARGUMENT for a null record, a
 * wrong recordSize, protocol bits other than 1, 2 and 4, a target that is
 * not one of the forms above, or a community longer than 255 octets;
 * SNMP_RESULT_COMMUNITY_FAILED when the configured community is not usable
 * text; SNMP_RESULT_SEND_FAILED when no transport could send;
 * SNMP_RESULT_OUT_OF_MEMORY when the records cannot be allocated. The
 * outputs are set once the arguments are accepted.
 */
SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPDiscover(SnmpDiscovery *discovery);

/*
 * A short English text for a result code of any function here: success (0),
 * the encoder's, DLC, transport, printer-record, transaction and
 * HelperSNMPTransactEx codes above, and the configuration store's (Windows
 * error numbers such as 2, 5 or 1009). Where families share a number the
 * text gives each family's meaning ("encoder: ...; DLC: ..."). "unknown
 * result code" for any other number. Never null; the text is static: do not
 * release or change it.
 */
SNMPHELPER_API const char *SNMPHELPER_CALL HelperResultText(int32_t result);

#ifdef __cplusplus
}
#endif

#endif /* SNMPHELPER_H */
