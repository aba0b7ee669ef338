#ifndef KAVEL_RESOURCE_IDS_H
#define KAVEL_RESOURCE_IDS_H
/* Shared by the resource script and the code. The code uses them on both threads: the dialogs
   on the user-interface thread, the log's texts on the worker. */

#define IDD_MAIN 101
#define IDD_PROGRESS 1000

#define IDI_PROGRAM 101     /* 48 x 48, the program file's icon */
#define IDI_DIALOG 102      /* 16 x 16, the main dialog's class icon */
#define IDI_HELP 104        /* 20 x 20, 256 colours, the help button */
#define IDB_PICTURE 100     /* the picture link, normal */
#define IDB_PICTURE_HOT 103 /* the picture link under the mouse */

/* Main dialog controls */
#define IDC_IMAGE_GROUP 1001
#define IDC_DRIVE_GROUP 1002
#define IDC_IMAGE_ADVICE 1003
#define IDC_IMAGE_PATH 1004
#define IDC_BROWSE 1005
#define IDC_DRIVE_LIST 1006
#define IDC_DRIVE_ADVICE 1007
#define IDC_FORMAT 1008
#define IDC_START 1009
#define IDC_EXIT 1010
#define IDC_PICTURE 1012
#define IDC_HELP_BUTTON 102

/* Progress dialog controls */
#define IDC_LOG 1001
#define IDC_PROGRESS 1002
#define IDC_STOP_CLOSE 1003

/* String table: the texts the user sees, Chinese, in the resource script */
#define IDS_MAIN_TITLE 1
#define IDS_IMAGE_GROUP 2
#define IDS_IMAGE_ADVICE 3
#define IDS_DRIVE_GROUP 4
#define IDS_DRIVE_ADVICE 5
#define IDS_BROWSE 6
#define IDS_FORMAT 7
#define IDS_START 8
#define IDS_EXIT 9
#define IDS_NO_IMAGE 10
#define IDS_CAP_ERROR 11
#define IDS_NOT_AN_IMAGE 12
#define IDS_NO_DRIVE 13
#define IDS_PROGRESS_TITLE 14
#define IDS_STOP 15
#define IDS_CLOSE 16
#define IDS_FORMATTING 17
#define IDS_FAILED 18
#define IDS_CANCELLED 19
#define IDS_DONE 20
#define IDS_CHECKING_IMAGE 21
#define IDS_NO_FILE_INFO 22
#define IDS_CHECKING_FILE_SYSTEM 23
#define IDS_MINOR_IRREGULARITY 24
#define IDS_UNKNOWN_ERROR 25
#define IDS_CHKDSK_ADVICE 26
#define IDS_CHECKING_SPACE 27
#define IDS_NOT_ENOUGH_SPACE 28
#define IDS_COPYING 29
#define IDS_WRONG_SIZE 30
#define IDS_CREATING_SYSLINUX_CFG 31
#define IDS_INSTALLING_BOOT_LOADER 32
#define IDS_IDENTIFYING_PARTITION 33
#define IDS_EDITING_MENU_LST 34
#define IDS_CANNOT_OPEN 35
#define IDS_EDITING_BOOT_INI 36
#define IDS_SUCCEEDED 37
#define IDS_INTERRUPTED 38
#define IDS_CAP_HELP 39
#define IDS_ABOUT 40
#define IDS_COPYING_UEFI_LOADERS 41
#define IDS_NO_UEFI_LOADERS 42
#define IDS_WAITING_FOR_PREVIOUS_RUN 43
#define IDS_NO_BOOT_INI 44
#define IDS_ADDING_BOOT_MENU_ENTRY 45
#define IDS_CHECKING_BOOT_MENU_TIMEOUT 46
#define IDS_UEFI_32_BIT 47
#define IDS_BITLOCKER_DRIVE 48
#define IDS_BOOT_MENU_ENTRY_LEFT 49
#define IDS_VERIFYING 50
#define IDS_DIFFERS_AT 51
#define IDS_FILE_SHORT 52
#define IDS_READ_BACK_FAILED 53
#define IDS_DRIVE_LOSES_DATA 54
#define IDS_SECURE_BOOT_ON 55
#define IDS_NO_ESP 56
#define IDS_COPYING_TO_ESP 57
#define IDS_ADDING_FIRMWARE_ENTRY 58
#define IDS_HOW_TO_START_UEFI 59
#define IDS_DRIVE_NOT_VISIBLE 60
#define IDS_VOLUME_IN_USE 61

#endif
