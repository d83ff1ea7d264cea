/* Resource and command ids shared by the resource script and the program. */
#ifndef QUORVANE_RESOURCE_H
#define QUORVANE_RESOURCE_H

/* Resources: the accelerator table, the version block and the manifest. */
#define IDR_ACCELERATORS 1
#define IDR_VERSION 1
#define IDR_MANIFEST 1

/* Commands: WM_COMMAND ids that the accelerator keys send to the main window. */
#define CMD_EXIT 101
#define CMD_CRYPT 102
#define CMD_ABOUT 103
#define CMD_PASTE 104

/* About dialog controls; the untitled static texts carry -1. */
#define IDC_ABOUT_TITLE 1000
#define IDC_ABOUT_OK 1202
#define IDC_ABOUT_STATIC -1

/* Help context ids: the general topic and the pop-up topic of each main window control. */
#define HID_GENERAL 20
#define HID_LINK_EDIT 1000
#define HID_EMAIL_EDIT 1001
#define HID_CODE_EDIT 1002
#define HID_CRYPT_BUTTON 1200
#define HID_ABOUT_BUTTON 1201
#define HID_EXIT_BUTTON 1202
#define HID_PASTE_BUTTON 1203

#endif
