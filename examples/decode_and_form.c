/* SPDX-License-Identifier: Apache-2.0 */
/*
 * A first program against libsnmphelper: decodes a printer's GetResponse and
 * forms the request that would ask for the same objects. Needs no printer.
 *
 * Build it against an installed snmphelper either way:
 *   cc -o decode_and_form decode_and_form.c $(pkg-config --cflags --libs snmphelper)
 *   cmake -S examples -B build-example && cmake --build build-example
 *     (find_package(snmphelper) and the imported target snmphelper::snmphelper)
 */
#include <stdio.h>
#include <string.h>

#include <snmphelper.h>

/* A GetResponse from community "public", request-id 1: sysName.0 is
 * "lab-printer", hrDeviceStatus.1 is 2 (running). */
static const uint8_t kReply[] = {
    0x30, 0x43,                                     /* message, 67 octets */
    0x02, 0x01, 0x00,                               /* version 0 (SNMPv1) */
    0x04, 0x06, 'p', 'u', 'b', 'l', 'i', 'c',       /* community */
    0xA2, 0x36,                                     /* GetResponse-PDU, 54 octets */
    0x02, 0x01, 0x01,                               /* request-id 1 */
    0x02, 0x01, 0x00,                               /* error-status noError */
    0x02, 0x01, 0x00,                               /* error-index 0 */
    0x30, 0x2B,                                     /* variable-bindings, 43 octets */
    0x30, 0x17,                                     /* 1.3.6.1.2.1.1.5.0 = "lab-printer" */
    0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x05, 0x00,
    0x04, 0x0B, 'l', 'a', 'b', '-', 'p', 'r', 'i', 'n', 't', 'e', 'r',
    0x30, 0x10,                                     /* 1.3.6.1.2.1.25.3.2.1.5.1 = 2 */
    0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x19, 0x03, 0x02, 0x01, 0x05, 0x01,
    0x02, 0x01, 0x02};

static void PrintValue(const SnmpVarBind *binding) {
    uint32_t i;
    switch (binding->valueType) {
    case SNMP_VALUE_INTEGER: {
        int32_t number;
        memcpy(&number, binding->value, sizeof number);
        printf("INTEGER: %ld\n", (long)number);
        break;
    }
    case SNMP_VALUE_COUNTER:
    case SNMP_VALUE_GAUGE:
    case SNMP_VALUE_TIME_TICKS: {
        uint32_t number;
        memcpy(&number, binding->value, sizeof number);
        printf("unsigned (type %ld): %lu\n", (long)binding->valueType, (unsigned long)number);
        break;
    }
    case SNMP_VALUE_OCTET_STRING:
        printf("STRING: \"%.*s\"\n", (int)binding->valueLength, (const char *)binding->value);
        break;
    case SNMP_VALUE_OBJECT_IDENTIFIER:
        printf("OID: %s\n", (const char *)binding->value);
        break;
    default:
        printf("type %ld:", (long)binding->valueType);
        for (i = 0; i < binding->valueLength; ++i) printf(" %02X", binding->value[i]);
        printf("\n");
        break;
    }
}

int main(void) {
    SnmpReqParam *reply;
    uint16_t i;
    /* Writable: the library splits the list in place. */
    char oids[] = "1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.25.3.2.1.5.1";
    uint32_t packetLength = 0;
    uint8_t *packet;
    uint32_t octet;

    reply = HelperSnmpDecodePdu(kReply, (uint32_t)sizeof kReply);
    if (reply == NULL) {
        fprintf(stderr, "decode_and_form: the reply was refused\n");
        return 1;
    }
    printf("GetResponse, community \"%.*s\", request-id %ld, error-status %u, %u variable(s)\n",
           (int)reply->communityLength, reply->community, (long)reply->requestId,
           (unsigned)reply->errorStatus, (unsigned)reply->varBindCount);
    for (i = 0; i < reply->varBindCount; ++i) {
        printf("  %s = ", reply->varBinds[i].oid);
        PrintValue(&reply->varBinds[i]);
    }
    HelperFreeReqParam(reply);

    packet = HelperFormSNMPPacket(SNMP_REQUEST_GET, oids, (uint32_t)sizeof oids, NULL, NULL, 2,
                                  &packetLength);
    if (packet == NULL) {
        fprintf(stderr, "decode_and_form: the request could not be formed\n");
        return 1;
    }
    printf("GetRequest for both, %lu octets:", (unsigned long)packetLength);
    for (octet = 0; octet < packetLength; ++octet) printf(" %02X", packet[octet]);
    printf("\n");
    HelperFreeBlock(packet);
    return 0;
}
