#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Regenerates the seed corpora in fuzz/corpus/.

Two kinds of seeds are written:
  * real traffic of net-snmp's agent and tools: snmpd runs in a private
    network namespace on 127.0.0.1, snmpget/snmpgetnext/snmpwalk/snmpset talk
    to it through a small UDP relay that records every request and reply, and
    snmptrap sends a v1 trap to a recording socket;
  * messages made here: the known-answer vectors of the codec tests, lists of
    41 and 1000 bindings, deeply nested and long-form items, requests in the
    printer simulator's community, frames carrying them.

Run as root (the namespace needs it): fuzz/make_corpus.py. Files are named by
purpose; existing files of the same name are replaced, others are kept.
"""

import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")
SIM_COMMUNITY = b"t*o&r^e~l+d"

# --- BER -------------------------------------------------------------------------


def length(n, long_octets=0):
    if n < 0x80 and long_octets == 0:
        return bytes([n])
    body = n.to_bytes(max(long_octets, (n.bit_length() + 7) // 8, 1), "big")
    return bytes([0x80 | len(body)]) + body


def tlv(tag, contents, long_octets=0):
    return bytes([tag]) + length(len(contents), long_octets) + contents


def integer(value, tag=0x02):
    size = 1
    while not -(1 << (8 * size - 1)) <= value < (1 << (8 * size - 1)):
        size += 1
    return tlv(tag, value.to_bytes(size, "big", signed=True))


def unsigned(value, tag):
    # Shortest contents whose top bit is clear (RFC 1155 3.2.3.3).
    body = value.to_bytes(5, "big")
    while len(body) > 1 and body[0] == 0 and body[1] < 0x80:
        body = body[1:]
    return tlv(tag, body)


def oid(text):
    arcs = [int(a) for a in text.split(".")]
    out = bytearray()
    for arc in [arcs[0] * 40 + arcs[1]] + arcs[2:]:
        groups = [arc & 0x7F]
        arc >>= 7
        while arc:
            groups.append(0x80 | (arc & 0x7F))
            arc >>= 7
        out += bytes(reversed(groups))
    return tlv(0x06, bytes(out))


def varbind(name, value):
    return tlv(0x30, oid(name) + value)


def message(pdu_tag, bindings, community=b"public", request_id=1, status=0, index=0, version=0):
    pdu = integer(request_id) + integer(status) + integer(index) + tlv(0x30, b"".join(bindings))
    return tlv(0x30, integer(version) + tlv(0x04, community) + tlv(pdu_tag, pdu))


def trap(bindings, community=b"public", enterprise="1.3.6.1.4.1.2699.1.2", generic=6, specific=1, ticks=100):
    pdu = (oid(enterprise) + tlv(0x40, bytes([192, 0, 2, 7])) + integer(generic) + integer(specific) +
           unsigned(ticks, 0x43) + tlv(0x30, b"".join(bindings)))
    return tlv(0x30, integer(0) + tlv(0x04, community) + tlv(0xA4, pdu))


NULL = tlv(0x05, b"")


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# --- made here ---------------------------------------------------------------------

SYS_DESCR = "1.3.6.1.2.1.1.1.0"
PRT_COLUMN = "1.3.6.1.2.1.43.11.1.1.9.1.{}"


def values():
    return [
        integer(-7), tlv(0x04, b"abc"), tlv(0x04, bytes(range(256))), tlv(0x40, bytes([10, 0, 0, 1])),
        unsigned(4294967295, 0x41), unsigned(123, 0x42), unsigned(8640000, 0x43), oid("1.3.6.1.4.1.2699"),
        tlv(0x44, b"\x9f\x78\x04\x3f\x80\x00\x00"), NULL,
    ]


def long_lists():
    forty_one = [varbind(PRT_COLUMN.format(i + 1), integer(i)) for i in range(41)]
    forty = forty_one[:40]
    thousand = [varbind(PRT_COLUMN.format(i + 1), values()[i % 10]) for i in range(1000)]
    return {"bindings40": forty, "bindings41": forty_one, "bindings1000": thousand}


def nested(depth):
    inner = NULL
    for _ in range(depth):
        inner = tlv(0x30, inner)
    return message(0xA2, [tlv(0x30, oid(SYS_DESCR) + inner)])


def made_seeds():
    typed = [varbind("1.3.6.1.2.1.1.{}.0".format(i + 1), v) for i, v in enumerate(values())]
    response = {
        "typed_values": message(0xA2, typed),
        "nosuchname": message(0xA2, [varbind(SYS_DESCR, NULL)], status=2, index=1),
        "long_form_lengths": tlv(0x30, integer(0) + tlv(0x04, b"public", 2) + tlv(
            0xA2, integer(1) + integer(0) + integer(0) + tlv(0x30, varbind(SYS_DESCR, tlv(0x04, b"x" * 300)), 3), 2),
            4),
        "nested_8": nested(8),
        "nested_200": nested(200),
        "large_ids": message(0xA2, [varbind("2.999.4294967295.0", integer(2147483647))],
                             request_id=-2147483648, status=5, index=40),
    }
    for name, bindings in long_lists().items():
        response[name] = message(0xA2, bindings)
    for name, data in response.items():
        write("decode_response_fuzzer", name, data)
        write("ascii_rewrite_fuzzer", "reply_" + name, b"\x00\xff" + data)
        if len(data) <= 8192:
            write("trap_listener_fuzzer", "not_a_trap_" + name, data)

    traps = {
        "typed_values": trap(typed),
        "cold_start": trap([], generic=0, specific=0, ticks=0),
        "bindings41": trap(long_lists()["bindings41"]),
        "nested_60": trap([tlv(0x30, oid(SYS_DESCR) + nested(60))]),
        "binary_community": trap([varbind(SYS_DESCR, tlv(0x04, b"\0\x01\xff\""))], community=b"\0\xff\"\\"),
    }
    for name, data in traps.items():
        write("decode_trap_fuzzer", name, data)
        write("trap_listener_fuzzer", "trap_" + name, data)

    # Requests in the simulator's community: its own objects, a set of a
    # writable text and of a read-only one, walks off the end.
    requests = {
        "get_system": message(0xA0, [varbind("1.3.6.1.2.1.1.{}.0".format(i), NULL) for i in range(1, 8)],
                              SIM_COMMUNITY),
        "getnext_printer": message(0xA1, [varbind("1.3.6.1.2.1.43", NULL), varbind("1.3.6.1.2.1.25.3", NULL)],
                                   SIM_COMMUNITY),
        "getnext_end": message(0xA1, [varbind("2.999", NULL)], SIM_COMMUNITY),
        "set_contact": message(0xA3, [varbind("1.3.6.1.2.1.1.4.0", tlv(0x04, b"admin"))], SIM_COMMUNITY),
        "set_read_only": message(0xA3, [varbind(SYS_DESCR, tlv(0x04, b"x"))], SIM_COMMUNITY),
        "set_wrong_type": message(0xA3, [varbind("1.3.6.1.2.1.1.4.0", integer(5))], SIM_COMMUNITY),
        "get_snmp_group": message(0xA0, [varbind("1.3.6.1.2.1.11.{}.0".format(i), NULL) for i in range(1, 31)],
                                  SIM_COMMUNITY),
        "get_missing": message(0xA0, [varbind("1.3.6.1.2.1.1.99.0", NULL)], SIM_COMMUNITY),
        "bad_community": message(0xA0, [varbind(SYS_DESCR, NULL)], b"public"),
        "version2c": message(0xA0, [varbind(SYS_DESCR, NULL)], SIM_COMMUNITY, version=1),
        "get_1000": message(0xA0, [varbind(PRT_COLUMN.format(i + 1), NULL) for i in range(1000)], SIM_COMMUNITY),
        "getnext_41": message(0xA1, [varbind(PRT_COLUMN.format(i + 1), NULL) for i in range(41)], SIM_COMMUNITY),
        "response_typed": message(0xA2, typed, SIM_COMMUNITY),
    }
    for name, data in requests.items():
        write("sim_request_fuzzer", name, data)

    texts = {
        "all_types": b"1,-7,2,3,a\0c,3,10.0.0.1,5,4294967295,6,12,7,8640000,8,1.3.6.1.4.1",
        "raw_types": b"10,abcdef,11,abc,12,ab,13,abcdef,14,abcd,15,abcdefghij",
        "no_value_types": b"4,9,1,5,0,2,0,",
        "octets_with_commas": b"2,5,a,b,c,1,1",
        "long_octets": b"2,400," + b"z" * 400,
    }
    for name, data in texts.items():
        write("value_text_fuzzer", name, data)
        write("ascii_rewrite_fuzzer", "text_" + name, b"\x01\x20" + data)


# --- frames carrying SNMP ------------------------------------------------------------


def frames():
    request = message(0xA0, [varbind(SYS_DESCR, NULL)], SIM_COMMUNITY)
    big = message(0xA0, [varbind(PRT_COLUMN.format(i + 1), NULL) for i in range(80)], SIM_COMMUNITY)[:1400]
    dst, src = b"\x02\x00\x00\x00\x00\x01", b"\x02\x00\x00\x00\x00\x02"

    def llc(data, dsap=0x0A, ssap=0x10, control=0x03):
        payload = bytes([dsap, ssap, control]) + data
        frame = dst + src + len(payload).to_bytes(2, "big") + payload
        return frame + bytes(max(0, 60 - len(frame)))

    write("llc_frame_fuzzer", "snmp_request", llc(request))
    write("llc_frame_fuzzer", "snmp_1400", llc(big))
    write("llc_frame_fuzzer", "response_bit", llc(request, ssap=0x11))

    def ipx(data):
        header = (b"\xff\xff" + (30 + len(data)).to_bytes(2, "big") + b"\x00\x04" + b"\0\0\0\1" + dst +
                  b"\x90\x0f" + b"\0\0\0\1" + src + b"\x40\x00")
        return header + data

    datagram = ipx(request)
    write("ipx_frame_fuzzer", "snmp_ethernet_ii", dst + src + b"\x81\x37" + datagram)
    write("ipx_frame_fuzzer", "snmp_raw8023", dst + src + len(datagram).to_bytes(2, "big") + datagram)
    llc_ipx = b"\xe0\xe0\x03" + ipx(big)
    write("ipx_frame_fuzzer", "snmp_1400_llc", dst + src + len(llc_ipx).to_bytes(2, "big") + llc_ipx)


# --- net-snmp ------------------------------------------------------------------------------


class Relay:
    """Forwards datagrams from the tools to snmpd and records both ways."""

    def __init__(self, agent_port):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.port = self.sock.getsockname()[1]
        self.agent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.agent.settimeout(2)
        self.agent_address = ("127.0.0.1", agent_port)
        self.requests, self.replies = [], []
        threading.Thread(target=self.run, daemon=True).start()

    def run(self):
        while True:
            data, tool = self.sock.recvfrom(65536)
            self.requests.append(data)
            self.agent.sendto(data, self.agent_address)
            try:
                reply, _ = self.agent.recvfrom(65536)
            except socket.timeout:
                continue
            self.replies.append(reply)
            self.sock.sendto(reply, tool)


def net_snmp_seeds():
    work = tempfile.mkdtemp()
    config = os.path.join(work, "snmpd.conf")
    with open(config, "w") as f:
        f.write("rocommunity public 127.0.0.1\nrwcommunity {} 127.0.0.1\nsysContact fuzz\n"
                "sysLocation lab\n".format(SIM_COMMUNITY.decode()))
    agent_port = 16161
    agent = subprocess.Popen(["snmpd", "-f", "-Lo", "-C", "-c", config, "-p", os.path.join(work, "pid"),
                              "udp:127.0.0.1:{}".format(agent_port)], stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    try:
        time.sleep(1)
        relay = Relay(agent_port)
        peer = "127.0.0.1:{}".format(relay.port)
        common = ["-v1", "-r0", "-t2", "-On"]
        runs = {
            "get_sysdescr": ["snmpget", "-c", "public", peer, "1.3.6.1.2.1.1.1.0"],
            "get_system_many": ["snmpget", "-c", "public", peer] +
                               ["1.3.6.1.2.1.1.{}.0".format(i) for i in range(1, 8)] +
                               ["1.3.6.1.2.1.2.1.0", "1.3.6.1.2.1.2.2.1.10.1", "1.3.6.1.2.1.2.2.1.16.1",
                                "1.3.6.1.2.1.4.3.0", "1.3.6.1.2.1.11.1.0"],
            "get_nosuchname": ["snmpget", "-c", "public", peer, "1.3.6.1.2.1.1.1.0", "1.3.6.1.4.1.99999.1.0"],
            "getnext_counters": ["snmpgetnext", "-c", "public", peer, "1.3.6.1.2.1.2.2.1.10",
                                 "1.3.6.1.2.1.2.2.1.16", "1.3.6.1.2.1.1.3", "1.3.6.1.2.1.4.20.1.1"],
            "getnext_end": ["snmpgetnext", "-c", "public", peer, "2.999"],
            "set_contact": ["snmpset", "-c", SIM_COMMUNITY.decode(), peer, "1.3.6.1.2.1.1.4.0", "s", "fuzz lab"],
            "set_read_only": ["snmpset", "-c", SIM_COMMUNITY.decode(), peer, "1.3.6.1.2.1.1.1.0", "s", "x"],
            "get_sim_community": ["snmpget", "-c", SIM_COMMUNITY.decode(), peer, "1.3.6.1.2.1.1.1.0",
                                  "1.3.6.1.2.1.1.2.0", "1.3.6.1.2.1.1.3.0"],
        }
        for name, command in runs.items():
            before = len(relay.requests), len(relay.replies)
            subprocess.run(command[:1] + common + command[1:], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=20)
            time.sleep(0.2)
            for data in relay.requests[before[0]:before[0] + 1]:
                write("sim_request_fuzzer", "net_snmp_" + name, data)
            for data in relay.replies[before[1]:before[1] + 1]:
                write("decode_response_fuzzer", "snmpd_" + name, data)
                write("reply_text_fuzzer", "snmpd_" + name, b"\xff\xff" + data)
                write("ascii_rewrite_fuzzer", "snmpd_" + name, b"\x00\xff" + data)
        # A walk: a few of its replies, the last the end of the MIB view.
        before = len(relay.replies)
        subprocess.run(["snmpwalk"] + common + ["-c", "public", peer, "1.3.6.1.2.1.2"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        walk = relay.replies[before:]
        for i in sorted({0, len(walk) // 3, 2 * len(walk) // 3, len(walk) - 1}):
            if 0 <= i < len(walk):
                write("decode_response_fuzzer", "snmpd_walk_{:02}".format(i), walk[i])
    finally:
        agent.terminate()
        agent.wait()

    # A v1 trap as snmptrap sends it.
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.bind(("127.0.0.1", 0))
    listener.settimeout(5)
    subprocess.run(["snmptrap", "-v1", "-c", "public", "127.0.0.1:{}".format(listener.getsockname()[1]),
                    "1.3.6.1.4.1.2699.1.2", "192.0.2.7", "6", "3", "12345",
                    "1.3.6.1.2.1.43.18.1.1.8.1.1", "i", "1106", "1.3.6.1.2.1.1.5.0", "s", "printer",
                    "1.3.6.1.2.1.2.2.1.10.1", "c", "4294967295", "1.3.6.1.2.1.4.20.1.1.1", "a", "10.1.2.3",
                    "1.3.6.1.2.1.1.2.0", "o", "1.3.6.1.4.1.2699", "1.3.6.1.2.1.1.3.0", "t", "8640000",
                    "1.3.6.1.2.1.2.2.1.6.1", "x", "00AABBCCDDEE"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
    data, _ = listener.recvfrom(65536)
    write("decode_trap_fuzzer", "snmptrap_v1", data)
    write("trap_listener_fuzzer", "snmptrap_v1", data)


def main():
    if os.environ.get("SNMPHELPER_IN_NETNS") != "1":
        # Again inside a private network namespace with its own loopback.
        os.execvp("unshare", ["unshare", "-n", "sh", "-c",
                              "ip link set lo up && SNMPHELPER_IN_NETNS=1 exec \"$0\" \"$@\"",
                              sys.executable, os.path.abspath(__file__)])
    made_seeds()
    frames()
    net_snmp_seeds()


if __name__ == "__main__":
    main()
