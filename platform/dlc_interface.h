/* SPDX-License-Identifier: Apache-2.0 */
// The platform DLC interface (DLCAPI.DLL and its one entry point AcsLan) as
// the library and the POSIX implementation of that interface both see it:
// the command control block, the parameter tables of the commands in use,
// the receive and transmit buffer records; command and status codes in
// platform/dlc_codes.h.
//
// Layouts are those published for the interface: natural alignment, no
// packing, field for field as the public-domain dlcapi.h of mingw-w64 has
// them. On a 32-bit build they are the exact published byte layout (checked
// below); a 64-bit build has the same fields with wider pointers, which is
// fine because both sides of the interface are built from this header.
// Every structure the interface shares between Ethernet and Token Ring
// carries addresses bit-swapped (Token Ring order).
//
// Event handles in the records are platform event handles (platform/event.h):
// the interface signals a block's completion event when the command ends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/dlc_codes.h"
#include "platform/handles.h"

// The interface's calling convention, for AcsLan reached through a pointer.
#if defined(_WIN32)
#define SNMPHELPER_DLCAPI __stdcall
#else
#define SNMPHELPER_DLCAPI
#endif

namespace snmphelper::dlc {

// The library name the interface is loaded by, and its entry point.
inline constexpr const char *kInterfaceLibraryName = "DLCAPI.DLL";
inline constexpr const char *kAcsLanEntryName = "AcsLan";

// ---------------------------------------------------------------------------
// The command control block.

struct Ccb;
union ParameterTable;

// The parameter field of a block, for commands that take a station id.
struct StationParameter {
    std::uint16_t stationId;
    std::uint16_t parameter;
};

struct DirectoryParameter {
    std::uint16_t parameter0;
    std::uint16_t parameter1;
};

// The block's parameter field: a parameter table, or a value of its own.
union CcbParameter {
    ParameterTable *table;
    Ccb *command;  // READ.CANCEL: the READ block to cancel
    StationParameter dlc;
    DirectoryParameter dir;
    std::uint8_t bytes[4];
    std::uint32_t value;
};

struct Ccb {
    std::uint8_t adapterNumber;
    std::uint8_t command;
    std::uint8_t status;  // kStatusPending until the command completes
    std::uint8_t reserved1;
    Ccb *next;  // chained blocks; a READ's completion list is linked here
    std::uint32_t completionFlag;
    CcbParameter parameter;
    platform::EventHandle completionEvent;  // set by the interface at completion; may be null
    // Published as reserved: the application id every block carries, which
    // DIR.OPEN.ADAPTER returns here.
    std::uint8_t applicationId;
    std::uint8_t readFlag;
    std::uint16_t reserved3;
};

// ---------------------------------------------------------------------------
// DIR.OPEN.ADAPTER.

struct AdapterOpenParameters {
    std::uint16_t openErrorCode;
    std::uint16_t openOptions;
    std::uint8_t nodeAddress[6];
    std::uint8_t groupAddress[4];
    std::uint8_t functionalAddress[4];
    std::uint16_t reserved1;
    std::uint16_t reserved2;
    std::uint16_t maxFrameSize;
    std::uint16_t reserved3[4];
    std::uint16_t bringUps;
    std::uint16_t initWarnings;
    std::uint16_t reserved4[3];
};

// Ethernet framing of the adapter (published as an enumeration).
using EthernetType = std::int32_t;
inline constexpr EthernetType kEthernetTypeDefault = 0;
inline constexpr EthernetType kEthernetTypeAuto = 1;
inline constexpr EthernetType kEthernetType8023 = 2;
inline constexpr EthernetType kEthernetTypeDix = 3;

struct ExtendedAdapterParameters {
    void *bufferPool;
    void *securityDescriptor;
    EthernetType ethernetType;
};

struct DlcParameters {
    std::uint8_t maxSaps;
    std::uint8_t maxStations;
    std::uint8_t maxGroupSaps;
    std::uint8_t maxGroupMembers;
    std::uint8_t t1TickOne;
    std::uint8_t t2TickOne;
    std::uint8_t tiTickOne;
    std::uint8_t t1TickTwo;
    std::uint8_t t2TickTwo;
    std::uint8_t tiTickTwo;
};

struct DirOpenAdapterTable {
    AdapterOpenParameters *adapter;
    ExtendedAdapterParameters *extended;
    DlcParameters *dlc;
    void *reserved1;
};

// ---------------------------------------------------------------------------
// DIR.STATUS.

inline constexpr std::uint16_t kAdapterTypeEthernet = 0x0010;
inline constexpr std::uint16_t kAdapterTypeTokenRing = 0x0040;

struct DirStatusTable {
    std::uint8_t permanentAddress[6];
    std::uint8_t nodeAddress[6];  // the current node address
    std::uint8_t groupAddress[4];
    std::uint8_t functionalAddress[4];
    std::uint8_t maxSaps;
    std::uint8_t openSaps;
    std::uint8_t maxStations;
    std::uint8_t openStations;
    std::uint8_t availableStations;
    std::uint8_t adapterConfig;
    std::uint8_t reserved1[10];
    std::uint32_t reserved2;
    std::uint32_t reserved3;
    std::uint32_t maxFrameLength;
    std::uint16_t lastNetworkStatus;
    std::uint16_t adapterType;
};

// ---------------------------------------------------------------------------
// Buffers.

union ReceiveBuffer;

// A buffer of a received frame after the first.
struct NextReceiveBuffer {
    ReceiveBuffer *nextBuffer;  // null after the frame's last buffer
    std::uint16_t frameLength;  // the whole frame's length
    std::uint16_t bufferLength;
    std::uint16_t userDataOffset;  // from the start of this buffer to its data
    std::uint16_t userDataLength;  // data bytes in this buffer
};

// The first buffer of a received frame, headers not contiguous with the
// data (the form RECEIVE delivers with receive options 0).
struct FirstReceiveBuffer {
    ReceiveBuffer *nextBuffer;
    std::uint16_t frameLength;
    std::uint16_t bufferLength;
    std::uint16_t userDataOffset;
    std::uint16_t userDataLength;
    std::uint16_t stationId;
    std::uint8_t options;
    std::uint8_t messageType;
    std::uint16_t buffersLeft;
    std::uint8_t receiveFs;
    std::uint8_t adapterNumber;
    ReceiveBuffer *nextFrame;  // the next received frame, or null
    std::uint8_t lanHeaderLength;
    std::uint8_t dlcHeaderLength;
    // Token Ring form: access control, frame control, destination (2-7),
    // source (8-13), routing information.
    std::uint8_t lanHeader[32];
    std::uint8_t dlcHeader[4];  // DSAP, SSAP, control
    std::uint16_t padding;
};

// The first buffer, headers contiguous with the data.
struct ContiguousReceiveBuffer {
    ReceiveBuffer *nextBuffer;
    std::uint16_t frameLength;
    std::uint16_t bufferLength;
    std::uint16_t userDataOffset;
    std::uint16_t userDataLength;
    std::uint16_t stationId;
    std::uint8_t options;
    std::uint8_t messageType;
    std::uint16_t buffersLeft;
    std::uint8_t receiveFs;
    std::uint8_t adapterNumber;
    ReceiveBuffer *nextFrame;
};

// A buffer of the pool. Every form begins with the chain pointer.
union ReceiveBuffer {
    ReceiveBuffer *next;
    NextReceiveBuffer header;
    FirstReceiveBuffer first;
    ContiguousReceiveBuffer contiguous;
};

// Receive options of RECEIVE.
inline constexpr std::uint8_t kReceiveNotContiguous = 0x00;
inline constexpr std::uint8_t kReceiveContiguousData = 0x40;
inline constexpr std::uint8_t kReceiveContiguousMac = 0x80;

// A transmit buffer of a queue (its data follows the record).
struct TransmitBuffer {
    TransmitBuffer *next;
    std::uint16_t reserved1;
    std::uint16_t bufferLength;
    std::uint16_t reserved2;
    std::uint16_t userDataLength;
};

// One segment of a TRANSMIT2 command.
struct TransmitDescriptor {
    std::uint8_t segmentType;
    std::uint8_t freeBuffer;
    std::uint16_t bufferLength;
    void *buffer;
};

// ---------------------------------------------------------------------------
// BUFFER.CREATE and BUFFER.FREE.

struct BufferCreateTable {
    void *bufferPool;  // out: the pool's handle
    void *buffer;
    std::uint32_t bufferSize;
    std::uint32_t minimumSizeThreshold;
};

struct BufferFreeTable {
    std::uint16_t reserved1;
    std::uint16_t buffersLeft;  // out
    std::uint32_t reserved2;
    ReceiveBuffer *firstBuffer;  // the chain to give back
};

// ---------------------------------------------------------------------------
// DLC.OPEN.SAP.

inline constexpr std::uint8_t kSapMemberOfGroup = 0x01;
inline constexpr std::uint8_t kSapGroup = 0x02;
inline constexpr std::uint8_t kSapIndividual = 0x04;
inline constexpr std::uint8_t kSapXidInApplication = 0x08;

struct OpenSapTable {
    std::uint16_t stationId;  // out: the SAP station
    std::uint16_t userStatusValue;
    std::uint8_t timerT1;
    std::uint8_t timerT2;
    std::uint8_t timerTi;
    std::uint8_t maxOut;
    std::uint8_t maxIn;
    std::uint8_t maxOutIncrement;
    std::uint8_t maxRetryCount;
    std::uint8_t maxMembers;
    std::uint16_t maxIField;
    std::uint8_t sapValue;
    std::uint8_t optionsPriority;
    std::uint8_t stationCount;
    std::uint8_t reserved2[2];
    std::uint8_t groupCount;
    std::uint8_t *groupList;
    std::uint32_t dlcStatusFlags;
    std::uint8_t reserved3[8];
    std::uint8_t linkStationsAvailable;
};

// ---------------------------------------------------------------------------
// RECEIVE.

struct ReceiveTable {
    std::uint16_t stationId;
    std::uint16_t userLength;
    std::uint32_t receiveFlag;
    ReceiveBuffer *firstBuffer;
    std::uint8_t options;
    std::uint8_t reserved1[3];
    std::uint8_t readOption;
};

// ---------------------------------------------------------------------------
// READ.

// Option indicator.
inline constexpr std::uint8_t kReadStation = 0;
inline constexpr std::uint8_t kReadSap = 1;  // events of the SAP station and its links
inline constexpr std::uint8_t kReadAll = 2;

// Event bits (event set asked for, event reported).
inline constexpr std::uint8_t kEventCommandCompletion = 0x01;
inline constexpr std::uint8_t kEventTransmitCompletion = 0x02;
inline constexpr std::uint8_t kEventReceiveData = 0x04;
inline constexpr std::uint8_t kEventStatusChange = 0x08;
inline constexpr std::uint8_t kEventCriticalException = 0x10;
inline constexpr std::uint8_t kEventNetworkStatus = 0x20;
inline constexpr std::uint8_t kEventSystemAction = 0x40;
inline constexpr std::uint8_t kEventAll = 0x7F;

// DLC status codes of a status-change event.
inline constexpr std::uint16_t kIndicateLinkLost = 0x8000;
inline constexpr std::uint16_t kIndicateDmDiscReceived = 0x4000;
inline constexpr std::uint16_t kIndicateFrmrReceived = 0x2000;
inline constexpr std::uint16_t kIndicateFrmrSent = 0x1000;
inline constexpr std::uint16_t kIndicateReset = 0x0800;
inline constexpr std::uint16_t kIndicateConnectRequest = 0x0400;
inline constexpr std::uint16_t kIndicateRemoteBusy = 0x0200;
inline constexpr std::uint16_t kIndicateRemoteReady = 0x0100;
inline constexpr std::uint16_t kIndicateTiTimerExpired = 0x0080;
inline constexpr std::uint16_t kIndicateCounterOverflow = 0x0040;
inline constexpr std::uint16_t kIndicateAccessPriorityLowered = 0x0020;
inline constexpr std::uint16_t kIndicateLocalStationBusy = 0x0001;

// A READ that reports completions or received data.
struct ReadEvent {
    std::uint16_t ccbCount;  // completed commands in the list
    Ccb *ccbCompletionList;  // linked through each block's `next`
    std::uint16_t bufferCount;
    ReceiveBuffer *firstBuffer;
    std::uint16_t receivedFrameCount;
    ReceiveBuffer *receivedFrame;  // first received frame, linked by `nextFrame`
    std::uint16_t eventErrorCode;
    std::uint16_t eventErrorData[3];
};

// A READ that reports a DLC status change.
struct ReadStatus {
    std::uint16_t stationId;
    std::uint16_t dlcStatusCode;  // kIndicate* bits
    std::uint8_t frmrData[5];
    std::uint8_t accessPriority;
    std::uint8_t remoteNodeAddress[6];
    std::uint8_t remoteSap;
    std::uint8_t reserved;
    std::uint16_t userStatusValue;
};

union ReadReport {
    ReadEvent event;
    ReadStatus status;
};

struct ReadTable {
    std::uint16_t stationId;
    std::uint8_t optionIndicator;
    std::uint8_t eventSet;
    std::uint8_t event;  // out: what happened (kEvent* bits)
    std::uint8_t criticalSubset;
    std::uint32_t notificationFlag;
    ReadReport report;
};

// ---------------------------------------------------------------------------
// TRANSMIT.UI.FRAME (and the other TRANSMIT commands).

// Read option of a transmit.
inline constexpr std::uint8_t kTransmitChainOnLink = 0;
inline constexpr std::uint8_t kTransmitCompleteSingle = 1;
inline constexpr std::uint8_t kTransmitChainOnSap = 2;

// The interface builds the LLC header itself from the station and the
// remote SAP; the first buffer holds only the LAN header.
struct TransmitTable {
    std::uint16_t stationId;
    std::uint8_t transmitFs;
    std::uint8_t remoteSap;
    TransmitBuffer *queue1;
    TransmitBuffer *queue2;
    std::uint16_t buffer1Length;
    std::uint16_t buffer2Length;
    void *buffer1;
    void *buffer2;
    std::uint8_t readOption;
};

// The LAN header a transmit's first buffer holds: access control, frame
// control, destination (bit-swapped), source (filled in by the interface).
inline constexpr std::size_t kTransmitLanHeaderLength = 14;
inline constexpr std::size_t kLanHeaderDestinationOffset = 2;
inline constexpr std::size_t kLanHeaderSourceOffset = 8;
inline constexpr std::size_t kNodeAddressLength = 6;

// ---------------------------------------------------------------------------
// Any parameter table.

union ParameterTable {
    DirOpenAdapterTable dirOpenAdapter;
    DirStatusTable dirStatus;
    BufferCreateTable bufferCreate;
    BufferFreeTable bufferFree;
    OpenSapTable openSap;
    ReceiveTable receive;
    ReadTable read;
    TransmitTable transmit;
};

// AcsLan(block, failing block out): 0 when the interface accepted `block`;
// the block's status then reads kStatusPending until the command completes.
using AcsLanEntry = AcsLanStatus(SNMPHELPER_DLCAPI *)(Ccb *block, Ccb **failingBlock);

// The published 32-bit layout.
#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(sizeof(Ccb) == 24);
static_assert(offsetof(Ccb, adapterNumber) == 0 && offsetof(Ccb, command) == 1);
static_assert(offsetof(Ccb, status) == 2 && offsetof(Ccb, next) == 4);
static_assert(offsetof(Ccb, completionFlag) == 8 && offsetof(Ccb, parameter) == 12);
static_assert(offsetof(Ccb, completionEvent) == 16 && offsetof(Ccb, applicationId) == 20);
static_assert(offsetof(Ccb, readFlag) == 21);
static_assert(sizeof(AdapterOpenParameters) == 42 && offsetof(AdapterOpenParameters, maxFrameSize) == 22);
static_assert(sizeof(ExtendedAdapterParameters) == 12);
static_assert(sizeof(DlcParameters) == 10);
static_assert(sizeof(DirOpenAdapterTable) == 16);
static_assert(sizeof(DirStatusTable) == 52);
static_assert(offsetof(DirStatusTable, permanentAddress) == 0);
static_assert(offsetof(DirStatusTable, nodeAddress) == 6);
static_assert(offsetof(DirStatusTable, maxFrameLength) == 44);
static_assert(offsetof(DirStatusTable, adapterType) == 50);
static_assert(sizeof(NextReceiveBuffer) == 12);
static_assert(sizeof(FirstReceiveBuffer) == 64);
static_assert(offsetof(FirstReceiveBuffer, nextFrame) == 20);
static_assert(offsetof(FirstReceiveBuffer, lanHeaderLength) == 24);
static_assert(offsetof(FirstReceiveBuffer, lanHeader) == 26);
static_assert(offsetof(FirstReceiveBuffer, dlcHeader) == 58);
static_assert(sizeof(ContiguousReceiveBuffer) == 24);
static_assert(sizeof(TransmitBuffer) == 12);
static_assert(sizeof(TransmitDescriptor) == 8);
static_assert(sizeof(BufferCreateTable) == 16);
static_assert(sizeof(BufferFreeTable) == 12 && offsetof(BufferFreeTable, firstBuffer) == 8);
static_assert(sizeof(OpenSapTable) == 40);
static_assert(offsetof(OpenSapTable, sapValue) == 14 && offsetof(OpenSapTable, groupList) == 20);
static_assert(offsetof(OpenSapTable, dlcStatusFlags) == 24);
static_assert(offsetof(OpenSapTable, linkStationsAvailable) == 36);
static_assert(sizeof(ReceiveTable) == 20 && offsetof(ReceiveTable, readOption) == 16);
static_assert(sizeof(ReadTable) == 44);
static_assert(offsetof(ReadTable, event) == 4 && offsetof(ReadTable, report) == 12);
static_assert(offsetof(ReadTable, report.event.ccbCompletionList) == 16);
static_assert(offsetof(ReadTable, report.event.receivedFrame) == 32);
static_assert(offsetof(ReadTable, report.status.dlcStatusCode) == 14);
static_assert(sizeof(TransmitTable) == 28);
static_assert(offsetof(TransmitTable, buffer1Length) == 12 && offsetof(TransmitTable, buffer1) == 16);
static_assert(offsetof(TransmitTable, readOption) == 24);
#endif

}  // namespace snmphelper::dlc
