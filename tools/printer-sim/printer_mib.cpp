// SPDX-License-Identifier: Apache-2.0
// The built-in printer's Host Resources and Printer MIB objects, and the
// conditions that change them.
#include "tools/printer-sim/printer_mib.h"

#include <array>
#include <cstdint>

namespace printersim {

std::string_view PrinterMibObjects() {
    static constexpr std::string_view kObjects = R"objects(
# Host Resources MIB (RFC 2790): device 1 is the printer
1.3.6.1.2.1.25.3.2.1.1.1 INTEGER 1
1.3.6.1.2.1.25.3.2.1.2.1 OID 1.3.6.1.2.1.25.3.1.5
1.3.6.1.2.1.25.3.2.1.3.1 STRING "Brelvin Palimar 4100 colour laser printer"
1.3.6.1.2.1.25.3.2.1.4.1 OID 0.0
1.3.6.1.2.1.25.3.2.1.5.1 INTEGER 2
1.3.6.1.2.1.25.3.2.1.6.1 COUNTER 0
# hrPrinterStatus idle; hrPrinterDetectedErrorState, two octets of bits
1.3.6.1.2.1.25.3.5.1.1.1 INTEGER 3
1.3.6.1.2.1.25.3.5.1.2.1 HEX 0000

# Printer MIB (RFC 3805): general
1.3.6.1.2.1.43.5.1.1.16.1 STRING "Palimar 4100"
1.3.6.1.2.1.43.5.1.1.17.1 STRING "PL41A0917"
# current localization 1: English, UTF-8 (IANA MIBenum 106)
1.3.6.1.2.1.43.5.1.1.2.1 INTEGER 1
1.3.6.1.2.1.43.7.1.1.2.1.1 STRING "en"
1.3.6.1.2.1.43.7.1.1.3.1.1 STRING "GB"
1.3.6.1.2.1.43.7.1.1.4.1.1 INTEGER 106

# marker 1: counter unit impressions, life and power-on counts
1.3.6.1.2.1.43.10.2.1.3.1.1 INTEGER 7
1.3.6.1.2.1.43.10.2.1.4.1.1 COUNTER 48213
1.3.6.1.2.1.43.10.2.1.5.1.1 COUNTER 1290

# covers: the front door, closed
1.3.6.1.2.1.43.6.1.1.2.1.1 STRING "Front door"
1.3.6.1.2.1.43.6.1.1.3.1.1 INTEGER 4

# inputs: type, capacity unit (sheets), capacity, level, status, media, name
1.3.6.1.2.1.43.8.2.1.2.1.1 INTEGER 4
1.3.6.1.2.1.43.8.2.1.2.1.2 INTEGER 3
1.3.6.1.2.1.43.8.2.1.2.1.3 INTEGER 3
1.3.6.1.2.1.43.8.2.1.8.1.1 INTEGER 8
1.3.6.1.2.1.43.8.2.1.8.1.2 INTEGER 8
1.3.6.1.2.1.43.8.2.1.8.1.3 INTEGER 8
1.3.6.1.2.1.43.8.2.1.9.1.1 INTEGER 100
1.3.6.1.2.1.43.8.2.1.9.1.2 INTEGER 500
1.3.6.1.2.1.43.8.2.1.9.1.3 INTEGER 500
1.3.6.1.2.1.43.8.2.1.10.1.1 INTEGER -3
1.3.6.1.2.1.43.8.2.1.10.1.2 INTEGER 350
1.3.6.1.2.1.43.8.2.1.10.1.3 INTEGER 500
1.3.6.1.2.1.43.8.2.1.11.1.1 INTEGER 0
1.3.6.1.2.1.43.8.2.1.11.1.2 INTEGER 0
1.3.6.1.2.1.43.8.2.1.11.1.3 INTEGER 0
1.3.6.1.2.1.43.8.2.1.12.1.1 STRING "Plain A4"
1.3.6.1.2.1.43.8.2.1.12.1.2 STRING "Plain A4"
1.3.6.1.2.1.43.8.2.1.12.1.3 STRING "Letterhead A4"
1.3.6.1.2.1.43.8.2.1.13.1.1 STRING "Multi-purpose tray"
1.3.6.1.2.1.43.8.2.1.13.1.2 STRING "Tray 2"
1.3.6.1.2.1.43.8.2.1.13.1.3 STRING "Tray 3"

# outputs: type, capacity unit (sheets), capacity, remaining (some), status, name
1.3.6.1.2.1.43.9.2.1.2.1.1 INTEGER 3
1.3.6.1.2.1.43.9.2.1.3.1.1 INTEGER 8
1.3.6.1.2.1.43.9.2.1.4.1.1 INTEGER 250
1.3.6.1.2.1.43.9.2.1.5.1.1 INTEGER -3
1.3.6.1.2.1.43.9.2.1.6.1.1 INTEGER 0
1.3.6.1.2.1.43.9.2.1.7.1.1 STRING "Face-down bin"

# marker supplies: marker, colorant, class, type, description, unit, capacity, level
1.3.6.1.2.1.43.11.1.1.2.1.1 INTEGER 1
1.3.6.1.2.1.43.11.1.1.2.1.2 INTEGER 1
1.3.6.1.2.1.43.11.1.1.2.1.3 INTEGER 1
1.3.6.1.2.1.43.11.1.1.2.1.4 INTEGER 1
1.3.6.1.2.1.43.11.1.1.2.1.5 INTEGER 1
1.3.6.1.2.1.43.11.1.1.3.1.1 INTEGER 1
1.3.6.1.2.1.43.11.1.1.3.1.2 INTEGER 2
1.3.6.1.2.1.43.11.1.1.3.1.3 INTEGER 3
1.3.6.1.2.1.43.11.1.1.3.1.4 INTEGER 4
1.3.6.1.2.1.43.11.1.1.3.1.5 INTEGER 0
1.3.6.1.2.1.43.11.1.1.4.1.1 INTEGER 3
1.3.6.1.2.1.43.11.1.1.4.1.2 INTEGER 3
1.3.6.1.2.1.43.11.1.1.4.1.3 INTEGER 3
1.3.6.1.2.1.43.11.1.1.4.1.4 INTEGER 3
1.3.6.1.2.1.43.11.1.1.4.1.5 INTEGER 4
1.3.6.1.2.1.43.11.1.1.5.1.1 INTEGER 3
1.3.6.1.2.1.43.11.1.1.5.1.2 INTEGER 3
1.3.6.1.2.1.43.11.1.1.5.1.3 INTEGER 3
1.3.6.1.2.1.43.11.1.1.5.1.4 INTEGER 3
1.3.6.1.2.1.43.11.1.1.5.1.5 INTEGER 4
1.3.6.1.2.1.43.11.1.1.6.1.1 STRING "Black Toner Cartridge P41K"
1.3.6.1.2.1.43.11.1.1.6.1.2 STRING "Cyan Toner Cartridge P41C"
1.3.6.1.2.1.43.11.1.1.6.1.3 STRING "Magenta Toner Cartridge P41M"
1.3.6.1.2.1.43.11.1.1.6.1.4 STRING "Yellow Toner Cartridge P41Y"
1.3.6.1.2.1.43.11.1.1.6.1.5 STRING "Waste Toner Box"
1.3.6.1.2.1.43.11.1.1.7.1.1 INTEGER 7
1.3.6.1.2.1.43.11.1.1.7.1.2 INTEGER 7
1.3.6.1.2.1.43.11.1.1.7.1.3 INTEGER 7
1.3.6.1.2.1.43.11.1.1.7.1.4 INTEGER 7
1.3.6.1.2.1.43.11.1.1.7.1.5 INTEGER 19
1.3.6.1.2.1.43.11.1.1.8.1.1 INTEGER 12000
1.3.6.1.2.1.43.11.1.1.8.1.2 INTEGER 6000
1.3.6.1.2.1.43.11.1.1.8.1.3 INTEGER 6000
1.3.6.1.2.1.43.11.1.1.8.1.4 INTEGER 6000
1.3.6.1.2.1.43.11.1.1.8.1.5 INTEGER -2
1.3.6.1.2.1.43.11.1.1.9.1.1 INTEGER 8400
1.3.6.1.2.1.43.11.1.1.9.1.2 INTEGER 3300
1.3.6.1.2.1.43.11.1.1.9.1.3 INTEGER 4500
1.3.6.1.2.1.43.11.1.1.9.1.4 INTEGER 5100
1.3.6.1.2.1.43.11.1.1.9.1.5 INTEGER -3

# marker colorants
1.3.6.1.2.1.43.12.1.1.4.1.1 STRING "black"
1.3.6.1.2.1.43.12.1.1.4.1.2 STRING "cyan"
1.3.6.1.2.1.43.12.1.1.4.1.3 STRING "magenta"
1.3.6.1.2.1.43.12.1.1.4.1.4 STRING "yellow"

# console display: two lines
1.3.6.1.2.1.43.16.5.1.2.1.1 STRING "READY"
1.3.6.1.2.1.43.16.5.1.2.1.2 STRING "Tray 2: Plain A4"
)objects";
    return kObjects;
}

namespace {

// hrDeviceStatus (RFC 2790 6): running, warning, down; hrPrinterStatus:
// other, idle. A critical alert brings the device down (RFC 3805 2.2.13.2).
constexpr std::int32_t kDeviceRunning = 2;
constexpr std::int32_t kDeviceWarning = 3;
constexpr std::int32_t kDeviceDown = 5;
constexpr std::int32_t kPrinterOther = 1;
constexpr std::int32_t kPrinterIdle = 3;
// prtAlertSeverityLevel; prtAlertTrainingLevel trained.
constexpr std::int32_t kSeverityCritical = 3;
constexpr std::int32_t kSeverityWarning = 4;
constexpr std::int32_t kTrained = 4;

// What one condition changes.
struct ConditionEffect {
    PrinterCondition condition;
    const char *word;
    unsigned errorBit;        // of hrPrinterDetectedErrorState, bit 0 first
    std::int32_t severity;    // of its alert
    std::int32_t group;       // prtAlertGroup
    std::int32_t groupIndex;  // the row of that group
    std::int32_t code;        // prtAlertCode
    const char *description;  // the alert's and the console's text
};

constexpr std::array<ConditionEffect, 5> kEffects = {{
    {PrinterCondition::TonerLow, "toner-low", 2, kSeverityWarning, 11, 1, 1104, "Black toner low"},
    {PrinterCondition::TonerEmpty, "toner-empty", 3, kSeverityCritical, 11, 1, 1101, "Replace black toner"},
    {PrinterCondition::PaperJam, "paper-jam", 5, kSeverityCritical, 13, 1, 8, "Paper jam in the paper path"},
    {PrinterCondition::DoorOpen, "door-open", 4, kSeverityCritical, 6, 1, 3, "Front door open"},
    {PrinterCondition::TrayEmpty, "tray-empty", 13, kSeverityWarning, 8, 2, 808, "Tray 2 empty"},
}};

const ConditionEffect &EffectOf(PrinterCondition condition) {
    for (const ConditionEffect &effect : kEffects) {
        if (effect.condition == condition) return effect;
    }
    return kEffects[0];
}

Oid Name(std::initializer_list<std::uint32_t> arcs) { return Oid(arcs); }

void PutInteger(MibStore &store, const Oid &name, std::int32_t number) {
    MibObject object;
    object.value = IntegerValue(number);
    store.Put(name, object);
}

void PutString(MibStore &store, const Oid &name, std::string_view text) {
    MibObject object;
    object.value = StringValue(text);
    store.Put(name, object);
}

// The levels and sub-unit states the event itself changes.
void ChangeSubunits(MibStore &store, PrinterCondition condition) {
    constexpr std::int32_t kNonCriticalAlert = 8;  // PrtSubUnitStatusTC
    switch (condition) {
    case PrinterCondition::TonerLow:
        PutInteger(store, Name({1, 3, 6, 1, 2, 1, 43, 11, 1, 1, 9, 1, 1}), 600);
        break;
    case PrinterCondition::TonerEmpty:
        PutInteger(store, Name({1, 3, 6, 1, 2, 1, 43, 11, 1, 1, 9, 1, 1}), 0);
        break;
    case PrinterCondition::DoorOpen:
        PutInteger(store, Name({1, 3, 6, 1, 2, 1, 43, 6, 1, 1, 3, 1, 1}), 3);  // coverOpen
        break;
    case PrinterCondition::TrayEmpty:
        PutInteger(store, Name({1, 3, 6, 1, 2, 1, 43, 8, 2, 1, 10, 1, 2}), 0);
        PutInteger(store, Name({1, 3, 6, 1, 2, 1, 43, 8, 2, 1, 11, 1, 2}), kNonCriticalAlert);
        break;
    case PrinterCondition::PaperJam:
        break;
    }
}

void PutAlert(MibStore &store, std::uint32_t row, const ConditionEffect &effect) {
    auto column = [row](std::uint32_t arc) { return Name({1, 3, 6, 1, 2, 1, 43, 18, 1, 1, arc, 1, row}); };
    PutInteger(store, column(2), effect.severity);
    PutInteger(store, column(3), kTrained);
    PutInteger(store, column(4), effect.group);
    PutInteger(store, column(5), effect.groupIndex);
    PutInteger(store, column(6), -2);  // location unknown
    PutInteger(store, column(7), effect.code);
    PutString(store, column(8), effect.description);
    MibObject time;
    time.value = UnsignedValue(kTagTimeTicks, 0);
    store.Put(column(9), time);
}

}  // namespace

bool ParsePrinterCondition(std::string_view text, PrinterCondition &condition) {
    for (const ConditionEffect &effect : kEffects) {
        if (text == effect.word) {
            condition = effect.condition;
            return true;
        }
    }
    return false;
}

const char *PrinterConditionWords() { return "toner-low, toner-empty, paper-jam, door-open, tray-empty"; }

void ApplyPrinterConditions(MibStore &store, const std::vector<PrinterCondition> &conditions) {
    if (conditions.empty()) return;
    std::array<std::uint8_t, 2> errorState{};
    std::int32_t deviceStatus = kDeviceRunning;
    std::int32_t printerStatus = kPrinterIdle;
    std::uint32_t row = 0;
    for (PrinterCondition condition : conditions) {
        const ConditionEffect &effect = EffectOf(condition);
        errorState[effect.errorBit / 8] |= static_cast<std::uint8_t>(0x80u >> (effect.errorBit % 8));
        if (effect.severity == kSeverityCritical) {
            deviceStatus = kDeviceDown;
            printerStatus = kPrinterOther;
        } else if (deviceStatus == kDeviceRunning) {
            deviceStatus = kDeviceWarning;
        }
        ChangeSubunits(store, condition);
        PutAlert(store, ++row, effect);
        // The console's first line names the first event.
        if (row == 1) PutString(store, Name({1, 3, 6, 1, 2, 1, 43, 16, 5, 1, 2, 1, 1}), effect.description);
    }
    PutInteger(store, Name({1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 5, 1}), deviceStatus);
    PutInteger(store, Name({1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 1, 1}), printerStatus);
    MibObject bits;
    bits.value = OctetsValue(kTagOctetString, errorState);
    store.Put(Name({1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 2, 1}), bits);
}

}  // namespace printersim
