/* SPDX-License-Identifier: Apache-2.0 */
// The names of the Host Resources MIB's (RFC 2790) and the Printer MIB's
// (RFC 3805) enumerated values, and how a Printer MIB level reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snmphelper::cli {

// The enumerations a status view names.
enum class PrinterMibEnum {
    DeviceStatus,    // hrDeviceStatus
    PrinterStatus,   // hrPrinterStatus
    SupplyClass,     // prtMarkerSuppliesClass
    SupplyType,      // PrtMarkerSuppliesTypeTC
    SupplyUnit,      // PrtMarkerSuppliesSupplyUnitTC
    CapacityUnit,    // PrtCapacityUnitTC (inputs and outputs)
    AlertSeverity,   // PrtAlertSeverityLevelTC
    AlertGroup,      // PrtAlertGroupTC
    AlertCode,       // PrtAlertCodeTC
    AlertTraining,   // PrtAlertTrainingLevelTC
    CounterUnit,     // PrtMarkerCounterUnitTC
    DeviceType,      // hrDeviceTypes arc (hrDevicePrinter is 5)
};

// The value's name as the MIB spells it ("running", "tonerCartridge",
// "markerTonerEmpty"); a value the MIB does not name reads "value N".
std::string EnumName(PrinterMibEnum enumeration, std::int32_t value);

// The names of the hrPrinterDetectedErrorState bits that are set, bit 0
// being the first octet's most significant (RFC 2790 6, RFC 3805 2.2.13.4);
// a bit without a name reads "bit N".
std::vector<std::string> ErrorStateNames(const std::vector<std::uint8_t> &octets);

// What a level counts: what is left of a supply or tray, the space left in
// an output bin, or the space left in a receptacle that fills (waste toner
// or ink: RFC 3805 prtMarkerSuppliesLevel of a receptacleThatIsFilled).
enum class LevelMeaning { Remaining, OutputSpace, ReceptacleSpace };

// A level against its maximum (RFC 3805 prtMarkerSuppliesLevel,
// prtInputCurrentLevel, prtOutputRemainingCapacity): -1 "no restriction",
// -2 "unknown", -3 "some remaining" ("some space" for an output). A level in
// the unit percent (19) is the percentage whatever the maximum says; a level
// above a positive maximum reads 100% and says so.
struct LevelReading {
    std::optional<int> percent;  // when both are known and the maximum is positive, or the unit is percent
    std::string text;            // "70% (8400 of 12000 impressions)", "some remaining", ...
};
LevelReading ReadLevel(std::optional<std::int32_t> level, std::optional<std::int32_t> maximum,
                       const std::string &unit, LevelMeaning meaning = LevelMeaning::Remaining);
// ReadLevel's percentage alone, without its text: `percentUnit` when the
// unit is percent (19).
std::optional<int> LevelPercent(std::optional<std::int32_t> level, std::optional<std::int32_t> maximum,
                                bool percentUnit);

}  // namespace snmphelper::cli
