/* SPDX-License-Identifier: Apache-2.0 */
/*
 * Registers a printer with its community in the configuration store (no .reg
 * file written by hand), then reads its status: a few of the library's
 * object groups, each in one GetRequest.
 *
 *   register_and_status NAME ADDRESS COMMUNITY
 *
 * ADDRESS is a dotted-decimal IPv4 address or a host name. The store is
 * $SNMPHELPER_REGISTRY, else /etc/snmphelper/registry.reg (root's).
 *
 * Build it against an installed snmphelper:
 *   cc -o register_and_status register_and_status.c $(pkg-config --cflags --libs snmphelper)
 */
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <snmphelper.h>

/* The groups read: 0 the MIB-II system group, 22 name, location and the
 * keep-alive objects. */
static const uint32_t kGroups[] = {0, 22};

/* Copies text into a record field, refusing what does not fit. */
static int PutText(char *field, size_t room, const char *text) {
    if (strlen(text) >= room) return 0;
    strcpy(field, text);
    return 1;
}

static int Register(const char *name, const char *address, const char *community) {
    SnmpPrinterRecord printer;
    int32_t result;
    int isAddress = 1;
    const char *c;

    memset(&printer, 0, sizeof printer);
    printer.recordSize = sizeof printer;
    for (c = address; *c != '\0'; ++c) {
        if (!isdigit((unsigned char)*c) && *c != '.') isAddress = 0;
    }
    if (!PutText(printer.name, sizeof printer.name, name) ||
        !PutText(isAddress ? printer.ipAddress : printer.hostName,
                 isAddress ? sizeof printer.ipAddress : sizeof printer.hostName, address) ||
        !PutText(printer.community, sizeof printer.community, community)) {
        fprintf(stderr, "an argument is too long\n");
        return 0;
    }
    result = HelperPrinterAdd(&printer, SNMP_PRINTER_REPLACE);
    if (result != 0) {
        fprintf(stderr, "HelperPrinterAdd: %ld\n", (long)result);
        return 0;
    }
    /* What the store holds now: the address a host name resolved to. */
    result = HelperPrinterRead(name, &printer);
    if (result != 0) {
        fprintf(stderr, "HelperPrinterRead: %ld\n", (long)result);
        return 0;
    }
    printf("printer %s at %s, community %s\n", printer.name, printer.ipAddress,
           printer.community[0] != '\0' ? "set" : "not set");
    return 1;
}

/* The value text with its raw octets made printable: an OCTET STRING may
 * hold any byte. */
static void PrintValues(const char *text, uint32_t length) {
    uint32_t i;
    for (i = 0; i < length; ++i) putchar(isprint((unsigned char)text[i]) ? text[i] : '.');
    putchar('\n');
}

int main(int argc, char **argv) {
    char values[2048];
    uint32_t length;
    int32_t result;
    size_t i;
    int failed = 0;

    if (argc != 4) {
        fprintf(stderr, "usage: %s NAME ADDRESS COMMUNITY\n", argv[0]);
        return 2;
    }
    if (!Register(argv[1], argv[2], argv[3])) return 1;
    for (i = 0; i < sizeof kGroups / sizeof kGroups[0]; ++i) {
        length = sizeof values;
        result = HelperGetSNMPObjects(argv[1], kGroups[i], values, &length);
        printf("group %lu: ", (unsigned long)kGroups[i]);
        if (result != 0) {
            printf("result %ld\n", (long)result);
            failed = 1;
            continue;
        }
        PrintValues(values, length);
    }
    return failed;
}
