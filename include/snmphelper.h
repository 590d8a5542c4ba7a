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
    SnmpVarBind *varBinds;    /* each value in a 256-octet block */
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

/* Releases one block that the library handed out. Null does nothing. */
SNMPHELPER_API void SNMPHELPER_CALL HelperFreeBlock(void *block);

#ifdef __cplusplus
}
#endif

#endif /* SNMPHELPER_H */
