#ifndef KAVEL_RESOURCE_IDS_H
#define KAVEL_RESOURCE_IDS_H
/* Shared by the resource script and the code. */

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

#endif
