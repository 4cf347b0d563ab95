/* Resource and control identifiers, shared by tvclient.rc and the code. */
#ifndef TVCLIENT_RESOURCE_H
#define TVCLIENT_RESOURCE_H

/* Dialogs */
#define IDD_LOGIN           100
#define IDD_PROGRAM_PANEL   101
#define IDD_USER_PANEL      102
#define IDD_HELP_PANEL      103
#define IDD_CONTROL_BAR     104
#define IDD_PARENTAL        106
#define IDD_INFO_PANEL      107
#define IDD_EXIT_BUTTON     108

/* Menu, icon, bitmaps */
#define IDR_POPUP_MENU      105
#define IDI_PROGRAM         200
#define IDB_TOOLBAR         201
#define IDB_EXIT            202

/* Login dialog */
#define IDC_LOGIN_USER_LABEL 4002
#define IDC_LOGIN_PASS_LABEL 4003
#define IDC_LOGIN_USER       4004
#define IDC_LOGIN_PASS       4005
#define IDC_LOGIN_REMEMBER   4006

/* Program panel */
#define IDC_EPG_LIST        204
#define IDC_CHANNEL_LIST    205

/* User panel */
#define IDC_USER_CREDIT_LABEL  201
#define IDC_USER_ACCOUNTS      202
#define IDC_USER_ACCOUNT_LABEL 203
#define IDC_USER_CREDIT        204

/* Parental dialog */
#define IDC_LOCK_CODE       101

/* Info panel lines */
#define IDC_INFO_NAME       4000
#define IDC_INFO_NOW        4001
#define IDC_INFO_NEXT       4002

/* Control bar and exit button */
#define IDC_VOLUME_SLIDER   4003
#define IDC_TOOLBAR_HOST    4004

/* Popup menu commands */
#define IDM_ALWAYS_ON_TOP   1002
#define IDM_MUTE            1003
#define IDM_ASPECT_16_9     1005
#define IDM_ASPECT_4_3      1006
#define IDM_PROGRAMS        1007
#define IDM_EXIT            1008
#define IDM_PROPORTIONS     5555
#define IDM_AUDIO_TRACKS    3333
#define IDM_SUBTITLES       4444

/* Toolbar commands */
#define IDT_FIRST_CHANNEL   301
#define IDT_PREVIOUS_CHANNEL 302
#define IDT_PLAY            303
#define IDT_STOP            304
#define IDT_NEXT_CHANNEL    305
#define IDT_LAST_CHANNEL    306
#define IDT_PROGRAM_PANEL   307
#define IDT_HELP_PANEL      308
#define IDT_USER_PANEL      309
#define IDT_MUTE            310
#define IDT_EXIT            333

#endif
