// The fixed texts that the dialog procedures put into their dialogs.
#pragma once

namespace orb {

// The user name that the credentials dialog starts with.
inline constexpr const char* kDefaultUserName = "admin";

// The credentials dialog reads its user and password fields with this limit,
// the NUL included: at most kCredentialMaxChars characters are kept, a longer
// entry is cut without a word.
inline constexpr int kCredentialReadLimit = 127;
inline constexpr int kCredentialMaxChars = kCredentialReadLimit - 1;

inline constexpr const char* kWarningText =
    "WARNING: Forcing a firmware upgrade on your ORB\r\nwithout prior approval from your service provider or\r\n"
    "network administrator may cause interruption to your\r\nservice.  If your ORB is managed by a service\r\n"
    "provider who retains administrative control of the\r\ndevice, please contact the service provider for\r\n"
    "authorization before proceeding.  In such cases, the\r\nmost current, approved for service firmware is\r\n"
    "automatically provided by your service provider without\r\nany onus on the end user to upgrade manually.";

inline constexpr const char* kAddressHeadText = "This program will upgrade your ORB\r\nfirmware to:";

inline constexpr const char* kAddressInstructionText =
    "To proceed, please provide the IP address\r\nof your ORB. To find out the IP address\r\n"
    "of your ORB, using a telephone handset,\r\nenter * * * *, option 110#, and write down\r\n"
    "the value. For example, 10.1.0.123\r\n\r\nPlease enter IP address of your ORB:";

inline constexpr const char* kPasswordText =
    "This ORB requires a password in order to be\r\nupgraded. If you do not have administrator's\r\n"
    "privileges for this unit, please contact your\r\nService Provider or network administrator,\r\n"
    "before proceeding.\r\n\r\nYou must provide the ORB administrator's\r\n"
    "password to upgrade. If you are the administrator\r\nand forgot the password, you may perform a\r\n"
    "factory reset by entering * * * *, option 51624#,\r\nand value 1 from a telephone connected to the\r\n"
    "unit to be upgraded.\r\n\r\n* * * * * * * * * * *  Warning  * * * * * * * * * * *\r\n"
    "All settings will revert to default values\r\nafter factory reset!  You may not be able to\r\n"
    "reestablish service after completing this upgrade\r\nwithout first reentering service configuration\r\n"
    "information.";

inline constexpr const char* kConfirmText =
    "The following information was extracted\r\nfrom your ORB. Please click \"Upgrade\"\r\n"
    "if you would like to proceed. If you would\r\nlike to quit click \"Cancel\".";

inline constexpr const char* kSuccessText = "Your ORB has been successfully\r\nupgraded to the version shown\r\nbelow.";

}  // namespace orb
