#pragma once
// Texts that operators, their scripts, their servers and their old log files
// already know. They are kept exactly as they have always been written,
// misspellings and trailing blanks included ("occured", "thanks 73, Tamo "):
// do not correct them. Code and tests take them from here, so that nobody
// mistakes one for a typo. Window captions stay beside their geometry in the
// layout code.

#include <array>
#include <string_view>

namespace varne4::texts {

// Status log: the live link.
inline constexpr std::string_view kRemoteHost = "Winsock RemoteHost: ";
inline constexpr std::string_view kRemotePort = "Winsock RemotePort: ";
inline constexpr std::string_view kConnectionMade = " winsock connection made"; // after "AGW" or "KISS"
inline constexpr std::string_view kSocketErrorStart = "Winsock Error \"";       // then the number
inline constexpr std::string_view kSocketErrorMiddle = "\" occured: ";          // then the description
inline constexpr std::string_view kPortInformation = "total number of ports: ";

// Panel and counter line.
inline constexpr std::string_view kTelemetryPacket = "telemetry packet";
inline constexpr std::string_view kHousekeepingBeacon = "housekeeping beacon";
inline constexpr std::string_view kMemoryCheckBeacon = "memory check beacon";
inline constexpr std::string_view kMessageBeacon = "message beacon "; // then the import byte counter
inline constexpr std::string_view kLivePrefix = "RX packets: ";
inline constexpr std::string_view kImportPrefix = "KISS packets: ";
inline constexpr std::string_view kPostOkSeparator = " | HTTP POST OK: ";
inline constexpr std::string_view kSecondsSuffix = " sec";
inline constexpr std::string_view kAmpHexPrefix = "&h";

// Uploads.
inline constexpr std::string_view kAccessDenied = "Access is denied. Try adding a Username and Password";
// The transfer states by number, 1 to 12; 0 has no name.
inline constexpr std::array<std::string_view, 13> kTransferStateNames{
    "",
    "icHostResolvingHost",
    "icHostResolved",
    "icConnecting",
    "icConnected",
    "icRequesting",
    "icRequestSent",
    "icReceivingResponse",
    "icResponseReceived",
    "icDisconnecting",
    "icDisconnected",
    "icError",
    "icResponseCompleted",
};

// Start-up errors: the "Open Error" box, three lines.
inline constexpr std::string_view kOpenErrorTitle = "Open Error";
inline constexpr std::string_view kOpenErrorLine1 = "The following error occured: ";
inline constexpr std::string_view kOpenErrorLine2 = "Error # ";
inline constexpr std::string_view kOpenErrorLine3 = "online_conf.ini ";
inline constexpr std::string_view kConfigFileName = "online_conf.ini";

// Import, screenshot.
inline constexpr std::string_view kImportTitle = "Import KISS file";
inline constexpr std::string_view kTooManyFiles = "too many files selected";
inline constexpr std::string_view kProcessing = "processing ";
inline constexpr std::string_view kScreenshotPrefix = "varne4_";
inline constexpr std::string_view kScreenshotSaved = " saved";
inline constexpr std::string_view kScreenshotConverted = " converted and saved";

// Debug file.
inline constexpr std::string_view kDebugHeader = "Debugfile ORSEL-1 Online Telemetry Decoder (QX7TR)";
inline constexpr std::string_view kDebugVersion = "Version: ";
inline constexpr std::string_view kDebugSeparator = "----------------------------------------------------";
inline constexpr std::string_view kDebugThanks = "thanks 73, Tamo ";
inline constexpr std::string_view kDebugCallsign = "QX7TR";

// The status window's lines for the state bits.
inline constexpr std::string_view kNominalMode = "NOMINAL Mode";
inline constexpr std::string_view kReserved = "reserved";
inline constexpr std::string_view kAdcsOff = "ADCS off", kAdcsOn = "ADCS on";
inline constexpr std::string_view kRadioB = "Radio B active", kRadioA = "Radio A active";
inline constexpr std::string_view kPathBOn = "Power Path B on Bus", kPathBOff = "Power Path B NOT on Bus";
inline constexpr std::string_view kPathAOn = "Power Path A on Bus", kPathAOff = "Power Path A NOT on Bus";
inline constexpr std::string_view kMcuA = "MCU A active", kMcuB = "MCU B active";

} // namespace varne4::texts
