/* SPDX-License-Identifier: Apache-2.0 */
// The DLC interface of dlcapi.so: the command blocks AcsLan accepts, run
// against one Ethernet adapter (llc_link.h) shared by every application that
// opens it in the process.
//
// Decisions where the published interface leaves room:
// - Adapter 0 is the interface named by SNMPHELPER_DLC_INTERFACE, else the
//   first one that is up, not loopback, with a 6-byte hardware address.
//   Without CAP_NET_RAW DIR.OPEN.ADAPTER completes with kStatusAccessDenied,
//   without such an interface with kStatusAdapterNotInstalled. Each open is
//   an application with its own id (1-255, in the block's application-id
//   byte), buffer pool and stations; every later block names it there.
//   DIR.STATUS reports adapter type 0x0100, or SNMPHELPER_DLC_ADAPTER_TYPE.
// - Completion: commands that need nothing from the network complete inside
//   AcsLan (status, then the event signalled, before it returns). RECEIVE
//   stays pending until cancelled or its SAP closes; READ completes when its
//   station has something to report (at once when it already has);
//   TRANSMIT.UI.FRAME completes on the interface's own thread once the frame
//   is sent. A pending block's event is retained (platform/event.h) and
//   signalled at completion. A command without an event that completes later
//   (a transmit) is reported to READ as a transmit completion, blocks linked
//   through `next`.
// - Errors found at submission: status set, event signalled, AcsLan answers
//   kAcsLanCcbInError and names the block through the failing-block pointer.
// - A second open of an open SAP succeeds with a station of its own: station
//   ids are SAP << 8 | n, n the lowest free (the first open of SAP 10 is
//   1000, the next 1001). A received UI frame goes to one station of its
//   DSAP with a RECEIVE outstanding: the only one; otherwise the one whose
//   last transmit, still unanswered, went to the frame's source address and
//   SAP (the earliest of several), else one whose last transmit was a
//   broadcast to that SAP; otherwise it is dropped. So a reply reaches the
//   station that asked; only concurrent requests to the same printer and SAP
//   can meet another's reply, which the requester's request-id check turns
//   away.
// - Received frames: copied at arrival into 256-byte pool buffers in the
//   published non-contiguous layout (first buffer: headers, LAN header in
//   token-ring order, then data; further buffers: chain header, then data).
//   One frame per READ. A frame the pool cannot hold waits, and the
//   station reports a DLC status change "local station busy" once until
//   buffers come back. While it waits the adapter reads no further frame,
//   so those behind it wait in its packet socket (a 4 MB receive buffer;
//   the kernel drops what does not fit), in order, for every station. The
//   frame is taken at the next READ that finds room, or as soon as room
//   comes back while a READ waits, or when a SAP or application closes.
// - Limits: one block per call (no chaining); UI frames only (I, XID and
//   TEST frames are ignored and not answered); RECEIVE needs a receive flag
//   and the non-contiguous form; TRANSMIT.UI.FRAME takes buffer 1 (the
//   14-byte LAN header) and buffer 2, not transmit queues, and at most 1497
//   data bytes.
#pragma once

#include "platform/dlc_interface.h"

namespace snmphelper::dlcapi {

// What AcsLan does with `block`.
dlc::AcsLanStatus Submit(dlc::Ccb *block, dlc::Ccb **failingBlock);

// For unloading: stops the interface's thread, when it runs, and releases
// its state when no application is open (AcsLan then answers
// kAcsLanSystemError).
void Shutdown();

}  // namespace snmphelper::dlcapi
