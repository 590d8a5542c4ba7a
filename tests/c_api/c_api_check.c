/* SPDX-License-Identifier: Apache-2.0 */
/* Compiled as C: the public header must be valid C, and a C program must be
 * able to call the shared library. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <stdlib.h>
#include <string.h>

#include "snmphelper.h"

int main(void) {
    /* GetRequest, request-id 1, empty community, 1.3.6.1.2.1.1.1.0. */
    static const uint8_t expected[34] = {
        0x30, 0x20, 0x02, 0x01, 0x00, 0x04, 0x00, 0xA0, 0x19, 0x02, 0x01, 0x01,
        0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0E, 0x30, 0x0C, 0x06, 0x08,
        0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00, 0x04, 0x00};
    /* GetResponse carrying "abc" for the same name. */
    static const uint8_t response[37] = {
        0x30, 0x23, 0x02, 0x01, 0x00, 0x04, 0x00, 0xA2, 0x1C, 0x02, 0x01, 0x01,
        0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x11, 0x30, 0x0F, 0x06, 0x08,
        0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00, 0x04, 0x03, 0x61, 0x62, 0x63};
    char oid[] = "1.3.6.1.2.1.1.1.0";
    SnmpVarBind binding = {oid, 17, SNMP_VALUE_NULL, NULL, 0};
    SnmpReqParam request = {NULL, 0, SNMP_PDU_GET_REQUEST, 1, 0, 0, 1, &binding};
    uint8_t buffer[64];
    uint16_t length = sizeof buffer;
    size_t i;
    SnmpReqParam *reply;

    if (HelperSnmpEncodePdu(&request, buffer, &length) != SNMP_ENCODE_OK || length != 34) {
        fprintf(stderr, "encode failed\n");
        return 1;
    }
    for (i = 0; i < sizeof expected; ++i) {
        if (buffer[i] != expected[i]) {
            fprintf(stderr, "encoded octet %u differs\n", (unsigned)i);
            return 1;
        }
    }

    reply = HelperSnmpDecodePdu(response, (uint32_t)sizeof response);
    if (reply == NULL || reply->varBindCount != 1 || reply->varBinds[0].valueLength != 3 ||
        reply->pduType != SNMP_PDU_GET_RESPONSE) {
        fprintf(stderr, "decode failed\n");
        return 1;
    }
    HelperFreeReqParam(reply);
    HelperFreeReqParam(NULL);

    {
        /* The text layer: a reply's values as text, read back as typed values. */
        char oids[64];
        char values[64];
        uint32_t oidSize = sizeof oids;
        uint32_t valueSize = sizeof values;
        char *cursor = values;
        int32_t type = 0;
        uint32_t valueLength = 0;
        uint8_t *block;
        if (HelperSNMPDecodePacket(response, (uint32_t)sizeof response, oids, &oidSize, values,
                                   &valueSize) != SNMP_RESULT_OK ||
            valueSize != 7) {
            fprintf(stderr, "reply text failed\n");
            return 1;
        }
        block = HelperDecodeValue(&cursor, &type, &valueLength);
        if (block == NULL || type != SNMP_VALUE_OCTET_STRING || valueLength != 3) {
            fprintf(stderr, "value text failed\n");
            return 1;
        }
        HelperFreeBlock(block);
    }
    {
        /* A request formed from text; the block is the caller's to release. */
        char oidList[] = "1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.6.0";
        uint32_t valueListSize = 0;
        uint32_t packetLength = 0;
        uint8_t *packet = HelperFormSNMPPacket(SNMP_REQUEST_GET, oidList, sizeof oidList, NULL,
                                               &valueListSize, 2, &packetLength);
        if (packet == NULL || packetLength == 0 || packet[0] != 0x30) {
            fprintf(stderr, "form failed\n");
            return 1;
        }
        free(packet); /* on POSIX the global heap is the C heap */
    }
    /* Transactions need a configured printer; here only their linkage and an
     * argument the library refuses without touching the network. */
    {
        typedef void (*AnyFunction)(void);
        volatile AnyFunction linked[5];
        linked[0] = (AnyFunction)HelperTrapKeepAlive;
        linked[1] = (AnyFunction)HelperGetSNMPObjects;
        linked[2] = (AnyFunction)HelperSNMPTransactAscii;
        linked[3] = (AnyFunction)HelperSnmpDecodeTrapPdu;
        linked[4] = (AnyFunction)HelperSNMPRegisterTrapDestination;
        (void)linked;
        if (HelperSNMPTransact(NULL, SNMP_REQUEST_GET, NULL, 0, NULL, NULL, 0) !=
            SNMP_RESULT_NO_REPLY) {
            fprintf(stderr, "a transaction without a printer must fail\n");
            return 1;
        }
    }
    /* The extended transaction's record is plain C, laid out as documented. */
    {
        SnmpTransaction transaction = {0};
        char oids[] = "1.3.6.1.2.1.1.5.0";
        transaction.recordSize = (uint32_t)sizeof transaction;
        transaction.timeoutSeconds = SNMP_TRANSACTION_CONFIGURED;
        transaction.retries = SNMP_TRANSACTION_CONFIGURED;
        if (offsetof(SnmpTransaction, observer) != 24 ||
            offsetof(SnmpTransaction, reply) != 24 + 2 * sizeof(void *) ||
            offsetof(SnmpTransaction, community) != SNMP_TRANSACTION_SIZE_WITHOUT_COMMUNITY) {
            fprintf(stderr, "SnmpTransaction is not laid out as documented\n");
            return 1;
        }
        if (HelperSNMPTransactEx(NULL, SNMP_REQUEST_GET, oids, sizeof oids, NULL, 0, 1, &transaction) !=
                SNMP_RESULT_INVALID_ARGUMENT ||
            transaction.reply != NULL) {
            fprintf(stderr, "an extended transaction without a printer must be refused\n");
            return 1;
        }
    }
    /* The discovery's records are plain C, laid out as documented; a record
     * of the wrong size is refused before anything is sent. */
    {
        SnmpDiscovery discovery = {0};
        discovery.recordSize = (uint32_t)sizeof discovery - 1;
        if (sizeof(SnmpDiscoveredPrinter) != 1376 || offsetof(SnmpDiscovery, targets) != 32 ||
            offsetof(SnmpDiscoveredPrinter, sysDescr) != 96) {
            fprintf(stderr, "the discovery records are not laid out as documented\n");
            return 1;
        }
        if (HelperSNMPDiscover(&discovery) != SNMP_RESULT_INVALID_ARGUMENT || discovery.printers != NULL) {
            fprintf(stderr, "a discovery record of the wrong size must be refused\n");
            return 1;
        }
    }
    /* Every result has a static text, an unknown one too. */
    if (strcmp(HelperResultText(SNMP_RESULT_NO_REPLY), "unknown result code") == 0 ||
        strcmp(HelperResultText(-12345), "unknown result code") != 0) {
        fprintf(stderr, "result texts failed\n");
        return 1;
    }
    /* The printer record: fixed-width fields only, the same on every ABI. */
    {
        SnmpPrinterRecord printer;
        memset(&printer, 0, sizeof printer);
        if (sizeof printer != 724 || offsetof(SnmpPrinterRecord, name) != 16 ||
            offsetof(SnmpPrinterRecord, hostName) != 466) {
            fprintf(stderr, "SnmpPrinterRecord is not laid out as documented\n");
            return 1;
        }
        if (HelperPrinterAdd(&printer, 0) != SNMP_RESULT_PRINTER_INVALID) {
            fprintf(stderr, "a printer record without its size must be refused\n");
            return 1;
        }
    }
    HelperFreeBlock(NULL);
    free(NULL);
    puts("C API OK");
    return 0;
}
