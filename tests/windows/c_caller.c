/* SPDX-License-Identifier: Apache-2.0 */
/*
 * A Windows program in C built as a port monitor is built: compiled with the
 * shipped snmphelper.h alone and linked against the shipped import library
 * snmphelper.lib, so every call goes through the decorated __stdcall names
 * the header asks for; every export is linked. Run under Wine with the
 * printer simulator serving at 127.0.0.1:161 (with_simulator.sh). Prints
 * what it did; exits 1 on the first failure.
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "snmphelper.h"

#define PRINTER "c-caller"
#define PRINTER_KEY "Software\\Brelvin\\Palimar\\AdapterOnly\\" PRINTER

static int failures = 0;

static void Check(int ok, const char *what) {
    printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok) ++failures;
}

/* The printer: the simulator, over UDP/IP. */
static int RegisterPrinter(void) {
    static const char address[] = "127.0.0.1";
    static const char mac[] = "";
    const DWORD ip = 2;
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, PRINTER_KEY, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) !=
        ERROR_SUCCESS) {
        return 0;
    }
    RegSetValueExA(key, "cProtocols", 0, REG_DWORD, (const BYTE *)&ip, sizeof ip);
    RegSetValueExA(key, "pProtocol", 0, REG_DWORD, (const BYTE *)&ip, sizeof ip);
    RegSetValueExA(key, "IP Address", 0, REG_SZ, (const BYTE *)address, sizeof address);
    RegSetValueExA(key, "MAC Address", 0, REG_SZ, (const BYTE *)mac, sizeof mac);
    RegCloseKey(key);
    return 1;
}

static void CodecWithoutAPrinter(void) {
    /* GetRequest, community "public", request-id 0x1234, sysName.0 (a get's
     * value is an empty OCTET STRING). */
    static const uint8_t expected[] = {
        0x30, 0x27, 0x02, 0x01, 0x00, 0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',  0xA0,
        0x1A, 0x02, 0x02, 0x12, 0x34, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0E, 0x30,
        0x0C, 0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x05, 0x00, 0x04, 0x00};
    /* Its GetResponse: sysName.0 = "lab", and sysServices.0 = 72. */
    static const uint8_t reply[] = {
        0x30, 0x39, 0x02, 0x01, 0x00, 0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',  0xA2,
        0x2C, 0x02, 0x02, 0x12, 0x34, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x20, 0x30,
        0x0F, 0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x05, 0x00, 0x04, 0x03, 'l',
        'a',  'b',  0x30, 0x0D, 0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x07, 0x00,
        0x02, 0x01, 0x48};
    char community[] = "public";
    char oid[] = "1.3.6.1.2.1.1.5.0";
    SnmpVarBind binding = {oid, 17, SNMP_VALUE_NULL, NULL, 0};
    SnmpReqParam request = {community, 6, SNMP_PDU_GET_REQUEST, 0x1234, 0, 0, 1, &binding};
    uint8_t buffer[128];
    uint16_t length = sizeof buffer;
    SnmpReqParam *decoded;

    Check(HelperSnmpEncodePdu(&request, buffer, &length) == SNMP_ENCODE_OK && length == sizeof expected &&
              memcmp(buffer, expected, sizeof expected) == 0,
          "HelperSnmpEncodePdu: GetRequest for sysName.0");

    decoded = HelperSnmpDecodePdu(reply, (uint32_t)sizeof reply);
    Check(decoded != NULL && decoded->pduType == SNMP_PDU_GET_RESPONSE && decoded->requestId == 0x1234 &&
              decoded->varBindCount == 2 && strcmp(decoded->varBinds[0].oid, oid) == 0 &&
              decoded->varBinds[0].valueLength == 3 && memcmp(decoded->varBinds[0].value, "lab", 3) == 0 &&
              decoded->varBinds[1].valueType == SNMP_VALUE_INTEGER,
          "HelperSnmpDecodePdu: the GetResponse");
    HelperFreeReqParam(decoded);
    HelperFreeReqParam(NULL);

    {
        /* The reply as text, its first value read back into a block of the
         * DLL's heap, released through the DLL. */
        char oids[128];
        char values[128];
        uint32_t oidSize = sizeof oids;
        uint32_t valueSize = sizeof values;
        char *cursor = values;
        int32_t type = 0;
        uint32_t valueLength = 0;
        uint8_t *block;
        Check(HelperSNMPDecodePacket(reply, (uint32_t)sizeof reply, oids, &oidSize, values, &valueSize) ==
                      SNMP_RESULT_OK &&
                  strcmp(oids, "1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.7.0") == 0,
              "HelperSNMPDecodePacket: identifiers and value text");
        block = HelperDecodeValue(&cursor, &type, &valueLength);
        Check(block != NULL && type == SNMP_VALUE_OCTET_STRING && valueLength == 3 && memcmp(block, "lab", 3) == 0,
              "HelperDecodeValue: the first value");
        HelperFreeBlock(block);
    }
    {
        char oidList[] = "1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.6.0";
        uint32_t valueListSize = 0;
        uint32_t packetLength = 0;
        uint8_t *packet = HelperFormSNMPPacket(SNMP_REQUEST_GET, oidList, sizeof oidList, NULL, &valueListSize,
                                               2, &packetLength);
        Check(packet != NULL && packetLength > 2 && packet[0] == 0x30 && packet[1] == packetLength - 2,
              "HelperFormSNMPPacket: a request for two objects");
        HelperFreeBlock(packet);
    }
}

static void TransactionWithTheSimulator(void) {
    char oids[256] = "1.3.6.1.2.1.1.5.0";
    char values[1024];
    uint32_t valueSize = sizeof values;
    int32_t result;

    memset(values, 0, sizeof values);
    result = HelperSNMPTransact(PRINTER, SNMP_REQUEST_GET, oids, sizeof oids, values, &valueSize, 1);
    printf("HelperSNMPTransact: result %ld, %s = %.*s\n", (long)result, oids, (int)valueSize, values);
    Check(result == SNMP_RESULT_OK && strcmp(oids, "1.3.6.1.2.1.1.5.0") == 0 &&
              strcmp(values, "2,12,PALIMAR-4100") == 0,
          "HelperSNMPTransact: sysName.0 from the printer");
}

static void MoreOfTheInterface(void) {
    static const uint8_t truncatedTrap[] = {0x30, 0x10, 0x02, 0x01, 0x00};
    char oids[256] = "1.3.6.1.2.1.1.5.0";
    char values[1024];
    uint32_t valueSize = sizeof values;
    int32_t result;
    /* Linked, not called: it would write the simulator's trap table. */
    int32_t(SNMPHELPER_CALL *volatile registerDestination)(int32_t, const char *, uint32_t, uint32_t) =
        HelperSNMPRegisterTrapDestination;

    Check(HelperSnmpDecodeTrapPdu(truncatedTrap, (uint32_t)sizeof truncatedTrap) == NULL,
          "HelperSnmpDecodeTrapPdu: a truncated message is refused");
    memset(values, 0, sizeof values);
    result = HelperSNMPTransactAscii(PRINTER, SNMP_REQUEST_GET, oids, sizeof oids, values, &valueSize, 1);
    printf("HelperSNMPTransactAscii: result %ld, %s = %s\n", (long)result, oids, values);
    Check(result == SNMP_RESULT_OK && strcmp(values, "2,24,50414C494D41522D34313030") == 0,
          "HelperSNMPTransactAscii: sysName.0 in hexadecimal");
    Check(HelperTrapKeepAlive(PRINTER) == SNMP_RESULT_OK, "HelperTrapKeepAlive: the request is sent");
    Check(registerDestination != NULL, "HelperSNMPRegisterTrapDestination: linked");
}

static void GroupFetchFromTheSimulator(void) {
    char values[8192];
    uint32_t valueSize = sizeof values;
    int32_t result;

    memset(values, 0, sizeof values);
    result = HelperGetSNMPObjects(PRINTER, 0, values, &valueSize);
    printf("HelperGetSNMPObjects: result %ld, group 0 = %.*s\n", (long)result, (int)valueSize, values);
    /* The system group in its order: sysDescr first, sysServices (72) last. */
    Check(result == SNMP_RESULT_OK && valueSize == strlen(values) &&
              strncmp(values, "2,74,Brelvin Palimar 4100", 25) == 0 && strstr(values, ",PALIMAR-4100,") != NULL &&
              valueSize > 5 && strcmp(values + valueSize - 5, ",1,72") == 0,
          "HelperGetSNMPObjects: group 0, the system group");
}

/* An observer is called back __stdcall, as the header declares it. */
typedef struct Seen {
    int sent;
    int received;
} Seen;

static void SNMPHELPER_CALL Observe(void *context, int32_t direction, uint32_t protocol, const uint8_t *datagram,
                                    uint32_t length) {
    Seen *seen = (Seen *)context;
    if (protocol == 2 && length > 0 && datagram[0] == 0x30) {
        if (direction == SNMP_DATAGRAM_SENT) ++seen->sent;
        if (direction == SNMP_DATAGRAM_RECEIVED) ++seen->received;
    }
}

static void ObservedTransactionWithTheSimulator(void) {
    char oids[] = "1.3.6.1.2.1.1.7.0";
    SnmpTransaction transaction;
    Seen seen = {0, 0};
    int32_t result;

    memset(&transaction, 0, sizeof transaction);
    transaction.recordSize = (uint32_t)sizeof transaction;
    transaction.timeoutSeconds = 2;
    transaction.retries = 1;
    transaction.observer = Observe;
    transaction.observerContext = &seen;
    result = HelperSNMPTransactEx(PRINTER, SNMP_REQUEST_GET, oids, sizeof oids, NULL, 0, 1, &transaction);
    printf("HelperSNMPTransactEx: result %ld, %d sent, %d received\n", (long)result, seen.sent, seen.received);
    Check(result == SNMP_RESULT_OK && transaction.protocol == 2 && transaction.reply != NULL &&
              transaction.reply->varBindCount == 1 && transaction.reply->varBinds[0].valueType == SNMP_VALUE_INTEGER &&
              seen.sent >= 1 && seen.received >= 1,
          "HelperSNMPTransactEx: sysServices.0, each datagram shown to a __stdcall observer");
    HelperFreeReqParam(transaction.reply);
}

int main(void) {
    setvbuf(stdout, NULL, _IONBF, 0);
    CodecWithoutAPrinter();
    if (!RegisterPrinter()) {
        Check(0, "registering printer " PRINTER);
        return 1;
    }
    TransactionWithTheSimulator();
    GroupFetchFromTheSimulator();
    MoreOfTheInterface();
    ObservedTransactionWithTheSimulator();
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, PRINTER_KEY);
    printf("%s\n", failures == 0 ? "C caller OK" : "C caller FAILED");
    return failures == 0 ? 0 : 1;
}
