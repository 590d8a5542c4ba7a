/* SPDX-License-Identifier: Apache-2.0 */
// Builds BER items for test vectors, with the shortest definite lengths, so a
// test can vary one field of a message and keep every enclosing length right.
#pragma once

#include <cstdint>
#include <vector>

namespace snmphelper::test {

using Bytes = std::vector<std::uint8_t>;

// The definite length octets of `length` (X.690 8.1.3), shortest form.
Bytes BerLength(std::size_t length);

// identifier, length, contents.
Bytes Tlv(std::uint8_t identifier, const Bytes &contents);

// The parts one after another.
Bytes Join(const std::vector<Bytes> &parts);

// A VarBind SEQUENCE of a name (OBJECT IDENTIFIER contents) and a whole value item.
Bytes VarBind(const Bytes &nameContents, const Bytes &valueItem);

// An SNMPv1 message: SEQUENCE { version 0, community, pdu }.
Bytes Message(const Bytes &community, const Bytes &pdu);

// A GetResponse-PDU (identifier 0xA2) whose request-id, error-status and
// error-index are given as whole items, followed by the VarBind list.
Bytes ResponsePdu(const Bytes &requestIdItem, const Bytes &errorStatusItem,
                  const Bytes &errorIndexItem, const std::vector<Bytes> &varBinds);

}  // namespace snmphelper::test
