// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/printer_mib_names.h"

#include <algorithm>
#include <span>

namespace snmphelper::cli {
namespace {

struct ValueName {
    std::int32_t value;
    const char *name;
};

// RFC 2790 hrDeviceStatus and hrPrinterStatus.
constexpr ValueName kDeviceStatus[] = {{1, "unknown"}, {2, "running"}, {3, "warning"}, {4, "testing"}, {5, "down"}};
constexpr ValueName kPrinterStatus[] = {{1, "other"}, {2, "unknown"}, {3, "idle"}, {4, "printing"}, {5, "warmup"}};

// RFC 3805 textual conventions.
constexpr ValueName kSupplyClass[] = {{1, "other"}, {3, "supplyThatIsConsumed"}, {4, "receptacleThatIsFilled"}};
constexpr ValueName kSupplyType[] = {
    {1, "other"},        {2, "unknown"},          {3, "toner"},         {4, "wasteToner"},
    {5, "ink"},          {6, "inkCartridge"},     {7, "inkRibbon"},     {8, "wasteInk"},
    {9, "opc"},          {10, "developer"},       {11, "fuserOil"},     {12, "solidWax"},
    {13, "ribbonWax"},   {14, "wasteWax"},        {15, "fuser"},        {16, "coronaWire"},
    {17, "fuserOilWick"}, {18, "cleanerUnit"},    {19, "fuserCleaningPad"}, {20, "transferUnit"},
    {21, "tonerCartridge"}, {22, "fuserOiler"},   {23, "water"},        {24, "wasteWater"},
    {25, "glueWaterAdditive"}, {26, "wastePaper"}, {27, "bindingSupply"}, {28, "bandingSupply"},
    {29, "stitchingWire"}, {30, "shrinkWrap"},    {31, "paperWrap"},    {32, "staples"},
    {33, "inserts"},     {34, "covers"}};
constexpr ValueName kSupplyUnit[] = {
    {1, "other"}, {2, "unknown"}, {3, "tenThousandthsOfInches"}, {4, "micrometers"}, {7, "impressions"},
    {8, "sheets"}, {11, "hours"}, {12, "thousandthsOfOunces"}, {13, "tenthsOfGrams"},
    {14, "hundrethsOfFluidOunces"}, {15, "tenthsOfMilliliters"}, {16, "feet"}, {17, "meters"}, {18, "items"},
    {19, "percent"}};
constexpr ValueName kCapacityUnit[] = {{1, "other"}, {2, "unknown"}, {3, "tenThousandthsOfInches"},
                                       {4, "micrometers"}, {8, "sheets"}, {16, "feet"}, {17, "meters"},
                                       {18, "items"}, {19, "percent"}};
constexpr ValueName kAlertSeverity[] = {{1, "other"}, {3, "critical"}, {4, "warning"}, {5, "warningBinaryChangeEvent"}};
constexpr ValueName kAlertGroup[] = {
    {1, "other"}, {2, "unknown"}, {3, "hostResourcesMIBStorageTable"}, {4, "hostResourcesMIBDeviceTable"},
    {5, "generalPrinter"}, {6, "cover"}, {7, "localization"}, {8, "input"}, {9, "output"}, {10, "marker"},
    {11, "markerSupplies"}, {12, "markerColorant"}, {13, "mediaPath"}, {14, "channel"}, {15, "interpreter"},
    {16, "consoleDisplayBuffer"}, {17, "consoleLights"}, {18, "alert"}, {30, "finDevice"}, {31, "finSupply"},
    {32, "finSupplyMediaInput"}, {33, "finAttribute"}};
constexpr ValueName kAlertCode[] = {
    {1, "other"}, {2, "unknown"}, {3, "coverOpen"}, {4, "coverClosed"}, {5, "interlockOpen"},
    {6, "interlockClosed"}, {7, "configurationChange"}, {8, "jam"}, {9, "subunitMissing"},
    {10, "subunitLifeAlmostOver"}, {11, "subunitLifeOver"}, {12, "subunitAlmostEmpty"}, {13, "subunitEmpty"},
    {14, "subunitAlmostFull"}, {15, "subunitFull"}, {16, "subunitNearLimit"}, {17, "subunitAtLimit"},
    {18, "subunitOpened"}, {19, "subunitClosed"}, {20, "subunitTurnedOn"}, {21, "subunitTurnedOff"},
    {22, "subunitOffline"}, {23, "subunitPowerSaver"}, {24, "subunitWarmingUp"}, {25, "subunitAdded"},
    {26, "subunitRemoved"}, {27, "subunitResourceAdded"}, {28, "subunitResourceRemoved"},
    {29, "subunitRecoverableFailure"}, {30, "subunitUnrecoverableFailure"},
    {31, "subunitRecoverableStorageError"}, {32, "subunitUnrecoverableStorageError"},
    {33, "subunitMotorFailure"}, {34, "subunitMemoryExhausted"}, {35, "subunitUnderTemperature"},
    {36, "subunitOverTemperature"}, {37, "subunitTimingFailure"}, {38, "subunitThermistorFailure"},
    {501, "doorOpen"}, {502, "doorClosed"}, {503, "powerUp"}, {504, "powerDown"}, {505, "printerNMSReset"},
    {506, "printerManualReset"}, {507, "printerReadyToPrint"}, {801, "inputMediaTrayMissing"},
    {802, "inputMediaSizeChange"}, {803, "inputMediaWeightChange"}, {804, "inputMediaTypeChange"},
    {805, "inputMediaColorChange"}, {806, "inputMediaFormPartsChange"}, {807, "inputMediaSupplyLow"},
    {808, "inputMediaSupplyEmpty"}, {809, "inputMediaChangeRequest"}, {810, "inputManualInputRequest"},
    {811, "inputTrayPositionFailure"}, {812, "inputTrayElevationFailure"}, {813, "inputCannotFeedSizeSelected"},
    {901, "outputMediaTrayMissing"}, {902, "outputMediaTrayAlmostFull"}, {903, "outputMediaTrayFull"},
    {904, "outputMailboxSelectFailure"}, {1001, "markerFuserUnderTemperature"},
    {1002, "markerFuserOverTemperature"}, {1003, "markerFuserTimingFailure"},
    {1004, "markerFuserThermistorFailure"}, {1005, "markerAdjustingPrintQuality"}, {1101, "markerTonerEmpty"},
    {1102, "markerInkEmpty"}, {1103, "markerPrintRibbonEmpty"}, {1104, "markerTonerAlmostEmpty"},
    {1105, "markerInkAlmostEmpty"}, {1106, "markerPrintRibbonAlmostEmpty"},
    {1107, "markerWasteTonerReceptacleAlmostFull"}, {1108, "markerWasteInkReceptacleAlmostFull"},
    {1109, "markerWasteTonerReceptacleFull"}, {1110, "markerWasteInkReceptacleFull"},
    {1111, "markerOpcLifeAlmostOver"}, {1112, "markerOpcLifeOver"}, {1113, "markerDeveloperAlmostEmpty"},
    {1114, "markerDeveloperEmpty"}, {1115, "markerTonerCartridgeMissing"}, {1301, "mediaPathMediaTrayMissing"},
    {1302, "mediaPathMediaTrayAlmostFull"}, {1303, "mediaPathMediaTrayFull"},
    {1304, "mediaPathCannotDuplexMediaSelected"}, {1501, "interpreterMemoryIncrease"},
    {1502, "interpreterMemoryDecrease"}, {1503, "interpreterCartridgeAdded"},
    {1504, "interpreterCartridgeDeleted"}, {1505, "interpreterResourceAdded"},
    {1506, "interpreterResourceDeleted"}, {1507, "interpreterResourceUnavailable"},
    {1509, "interpreterComplexPageEncountered"}, {1801, "alertRemovalOfBinaryChangeEntry"}};

constexpr ValueName kAlertTraining[] = {{1, "other"},        {2, "unknown"},       {3, "untrained"},
                                        {4, "trained"},      {5, "fieldService"},  {6, "management"},
                                        {7, "noInterventionRequired"}};
constexpr ValueName kCounterUnit[] = {{3, "tenThousandthsOfInches"}, {4, "micrometers"}, {5, "characters"},
                                      {6, "lines"}, {7, "impressions"}, {8, "sheets"}, {9, "dotRow"},
                                      {11, "hours"}, {16, "feet"}, {17, "meters"}};
// RFC 2790 hrDeviceTypes, the arc after 1.3.6.1.2.1.25.3.1.
constexpr ValueName kDeviceType[] = {{1, "other"}, {2, "unknown"}, {3, "processor"}, {4, "network"},
                                     {5, "printer"}, {6, "diskStorage"}, {10, "video"}, {11, "audio"},
                                     {12, "coprocessor"}, {13, "keyboard"}, {14, "modem"}, {15, "parallelPort"},
                                     {16, "pointing"}, {17, "serialPort"}, {18, "tape"}, {19, "clock"},
                                     {20, "volatileMemory"}, {21, "nonVolatileMemory"}};

// hrPrinterDetectedErrorState bits 0-14 (bit 15 has no name).
constexpr const char *kErrorStateBits[] = {
    "lowPaper",         "noPaper",           "lowToner",           "noToner",        "doorOpen",
    "jammed",           "offline",           "serviceRequested",   "inputTrayMissing", "outputTrayMissing",
    "markerSupplyMissing", "outputNearFull", "outputFull",         "inputTrayEmpty", "overduePreventMaint"};

std::span<const ValueName> TableOf(PrinterMibEnum enumeration) {
    switch (enumeration) {
    case PrinterMibEnum::DeviceStatus: return kDeviceStatus;
    case PrinterMibEnum::PrinterStatus: return kPrinterStatus;
    case PrinterMibEnum::SupplyClass: return kSupplyClass;
    case PrinterMibEnum::SupplyType: return kSupplyType;
    case PrinterMibEnum::SupplyUnit: return kSupplyUnit;
    case PrinterMibEnum::CapacityUnit: return kCapacityUnit;
    case PrinterMibEnum::AlertSeverity: return kAlertSeverity;
    case PrinterMibEnum::AlertGroup: return kAlertGroup;
    case PrinterMibEnum::AlertCode: return kAlertCode;
    case PrinterMibEnum::AlertTraining: return kAlertTraining;
    case PrinterMibEnum::CounterUnit: return kCounterUnit;
    case PrinterMibEnum::DeviceType: return kDeviceType;
    }
    return {};
}

}  // namespace

std::string EnumName(PrinterMibEnum enumeration, std::int32_t value) {
    for (const ValueName &entry : TableOf(enumeration)) {
        if (entry.value == value) return entry.name;
    }
    return "value " + std::to_string(value);
}

std::vector<std::string> ErrorStateNames(const std::vector<std::uint8_t> &octets) {
    std::vector<std::string> names;
    for (std::size_t bit = 0; bit < octets.size() * 8; ++bit) {
        if ((octets[bit / 8] & (0x80u >> (bit % 8))) == 0) continue;
        names.push_back(bit < std::size(kErrorStateBits) ? kErrorStateBits[bit] : "bit " + std::to_string(bit));
    }
    return names;
}

std::optional<int> LevelPercent(std::optional<std::int32_t> level, std::optional<std::int32_t> maximum,
                                bool percentUnit) {
    if (!level || *level < 0) return std::nullopt;
    // Printers that count in percent send any maximum (100, -2, 0, 255).
    if (percentUnit) return static_cast<int>(std::min<std::int32_t>(100, *level));
    if (!maximum || *maximum <= 0) return std::nullopt;
    return static_cast<int>(std::min<std::int64_t>(100, std::int64_t{*level} * 100 / *maximum));
}

LevelReading ReadLevel(std::optional<std::int32_t> level, std::optional<std::int32_t> maximum,
                       const std::string &unit, LevelMeaning meaning) {
    LevelReading reading;
    const bool receptacle = meaning == LevelMeaning::ReceptacleSpace;
    // A receptacle's level and an output bin's remaining capacity are space
    // left: an empty bin reads 100%, a full one 0.
    const bool space = meaning != LevelMeaning::Remaining;
    const std::string of = maximum && *maximum >= 0 ? " of " + std::to_string(*maximum) + " " + unit : "";
    if (!level) {
        reading.text = "absent";
    } else if (*level == -1) {
        reading.text = "no restriction";
    } else if (*level == -2) {
        reading.text = "unknown";
    } else if (*level == -3) {
        reading.text = meaning == LevelMeaning::OutputSpace ? "some space remaining"
                       : receptacle                          ? "some remaining space"
                                                             : "some remaining";
        if (!of.empty()) reading.text += " (capacity" + of.substr(3) + ")";
    } else if (*level < 0) {
        reading.text = "invalid level " + std::to_string(*level);
    } else if (unit == "percent") {
        reading.percent = LevelPercent(level, maximum, true);
        reading.text = std::to_string(*reading.percent) + "%" + (space ? " space left" : "") +
                       (*level > 100 ? " (level " + std::to_string(*level) + " percent)" : "");
    } else if (maximum && *maximum > 0) {
        reading.percent = LevelPercent(level, maximum, false);
        reading.text = std::to_string(*reading.percent) + "%" + (space ? " space left" : "") + " (" +
                       std::to_string(*level) + of + (*level > *maximum ? ", above the maximum" : "") + ")";
    } else {
        reading.text = std::to_string(*level) + " " + unit + (space ? " of space" : "") + " (capacity " +
                       (maximum && *maximum == -1 ? "unrestricted" : "unknown") + ")";
    }
    if (space && level && *level == 0) reading.text = "full" + (of.empty() ? "" : " (0" + of + ")");
    return reading;
}

}  // namespace snmphelper::cli
