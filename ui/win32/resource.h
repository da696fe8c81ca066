#pragma once

// Identifiers of the Windows program's resources, windows, controls and menu
// commands. Plain #defines: the resource script includes this file too.
//
// Other programs drive Skyfault through these (its end-to-end tests find the
// windows by class and title and send WM_COMMAND with a control's or a menu
// item's identifier), so they stay as they are.

// --- Resources ---------------------------------------------------------------
#define IDI_SKYFAULT 1  // the program's icon
#define IDB_BANNER 101  // the banner picture, 300 x 100

// --- Window classes ----------------------------------------------------------
#define SKYFAULT_CLASS_MAIN "Skyfault.frmMain"
#define SKYFAULT_CLASS_PREFERENCES "Skyfault.frmPreferences"
#define SKYFAULT_CLASS_SYSTEM_SETTINGS "Skyfault.frmSystemSettings"
#define SKYFAULT_CLASS_ABOUT "Skyfault.frmAbout"
#define SKYFAULT_CLASS_FAILURE_LOG "Skyfault.frmFailureLog"

// --- frmMain: menu commands ----------------------------------------------------
#define IDM_FILE_DEFAULT 40001   // mnuFileDefault: File > Default Settings
#define IDM_FILE_SPECIFIC 40002  // mnuSpecificSystems: File > Specific Systems
#define IDM_FILE_EXIT 40003      // mnuFileExit: File > Exit
#define IDM_HELP_ABOUT 40004     // mnuHelpAbout: Help > About
#define IDM_FLIGHT_REPAIR 40005  // mnuFlightRepair: Flight > Repair All Systems
#define IDM_FLIGHT_LOG 40006     // mnuFlightLog: Flight > Failure Log...

// --- frmMain: controls -----------------------------------------------------------
#define IDC_FRA_STATUS 1000
#define IDC_TXT_MESSAGE 1001
#define IDC_CMD_ACTIVATE 1002
#define IDC_CMD_DISABLE 1003
#define IDC_CMD_DEFAULT 1004
#define IDC_CMD_SPECIFIC 1005
#define IDC_BTN_EXIT 1006
#define IDC_FRAME1 1007
#define IDC_IMAGE1 1008
#define IDC_FRA_CURRENT_SETTINGS 1009
#define IDC_LBL_RATE_HEADING 1010
#define IDC_LBL_RATE 1011
#define IDC_LBL_CHECK_INTERVAL 1012
#define IDC_LBL_INTERVAL 1013
#define IDC_LBL_ALLOWED_FAILURES 1014
#define IDC_FRA_INSTRUMENTS 1015
#define IDC_FRA_ENGINES 1016
#define IDC_FRA_SYSTEMS 1017
#define IDC_FRA_RADIOS 1018
#define IDC_FRA_FUEL_LEAK 1019
#define IDC_FRA_MISC 1020
// chkFailureType(i) for SystemId i = 0..24.
#define IDC_CHK_FAILURE_TYPE_0 1100
#define IDC_CHK_FAILURE_TYPE(id) (IDC_CHK_FAILURE_TYPE_0 + (id))

// --- frmPreferences ----------------------------------------------------------------
#define IDC_FRA_FREQUENCY_SETTINGS 2000
#define IDC_LBL_ENTER_FAILURE_RATE 2001
#define IDC_TXT_RATE_DENOMINATOR 2002
#define IDC_LBL_INTERVAL_DESC 2003
#define IDC_TXT_INTERVAL 2004
#define IDC_LBL_DEFAULT_SOUND 2005
#define IDC_TXT_DEFAULT_SOUND 2006
#define IDC_CMD_DEFAULT_BROWSE 2007
#define IDC_CHK_AUDIO 2008
#define IDC_CHK_TEXT 2009
#define IDC_FRA_FUEL_LEAK_SPEED 2010
// optFuelLeakSpeed(i) for i = 0 (Slow), 1 (Normal), 2 (Fast).
#define IDC_OPT_FUEL_LEAK_SPEED_0 2011
#define IDC_OPT_FUEL_LEAK_SPEED(index) (IDC_OPT_FUEL_LEAK_SPEED_0 + (index))
#define IDC_CHK_PAUSE 2014
#define IDC_CMD_PREFS_OK 2015
#define IDC_CMD_PREFS_CANCEL 2016

// --- frmSystemSettings ---------------------------------------------------------------
#define IDC_LBL_SYSTEM_TITLE 3000
#define IDC_CMB_SYSTEM 3001
#define IDC_LBL_SYS_ENTER_FAILURE_RATE 3002
#define IDC_TXT_SYSTEM_RATE 3003
#define IDC_LBL_SHOW_TIME_PERIOD 3004
#define IDC_FRA_FAILURE_CRITERIA 3005
#define IDC_LBL_FAILURE_NOTE 3006
#define IDC_LBL_IAS 3007
#define IDC_TXT_BEG_IAS 3008
#define IDC_TXT_END_IAS 3009
#define IDC_LBL_OAT 3010
#define IDC_TXT_BEG_OAT 3011
#define IDC_TXT_END_OAT 3012
#define IDC_LBL_ALTITUDE 3013
#define IDC_TXT_BEG_ALT 3014
#define IDC_TXT_END_ALT 3015
#define IDC_LBL_SYSTEM_SOUND 3016
#define IDC_TXT_SYSTEM_SOUND 3017
#define IDC_CMD_SOUND_BROWSE 3018
#define IDC_CMD_OK_SYSTEM_SETTINGS 3019
#define IDC_CMD_RESET_SYSTEM_SETTINGS 3020
#define IDC_CMD_CANCEL_SYSTEM_SETTINGS 3021

// --- frmAbout --------------------------------------------------------------------------
#define IDC_TXT_ABOUT 4000
#define IDC_PIC_ICON 4001
#define IDC_CMD_OK 4002
#define IDC_LIN_TOP 4003
#define IDC_LIN_BOTTOM 4004

// --- frmFailureLog -------------------------------------------------------------------
#define IDC_LVW_EVENTS 5000
#define IDC_LBL_ESTIMATE 5001
#define IDC_LBL_STOP_AFTER 5002
#define IDC_TXT_MAX_FAILURES 5003
#define IDC_LBL_FAILURES_TAIL 5004
#define IDC_CMD_CLOSE_LOG 5005
