/* Resource ids of the program: skin bitmaps, dialogs, menus, icon and menu commands.
   Shared by the resource scripts and the C++ sources (plain defines for both). */
#ifndef TESS_RES_RESOURCE_H
#define TESS_RES_RESOURCE_H

/* caption buttons of the main window: normal, hover, pressed */
#define IDB_MENU_BUTTON           101
#define IDB_MINIMISE_BUTTON       104
#define IDB_CLOSE_BUTTON          113
#define IDB_PAGE_BACKGROUND       117
#define IDB_RESUME_BUTTON         118 /* normal, pushed, hover */
#define IDB_START_BUTTON          121 /* normal, pushed, hover */
#define IDB_HOME_BANNER           124
#define IDB_ICON_ERROR            129
#define IDB_ICON_WARNING          130
#define IDB_ICON_INFORMATION      131
#define IDB_ICON_QUESTION         132
#define IDB_DIALOG_BUTTON         133 /* normal 133, hover 134, pressed 135 */
#define IDB_DIALOG_BUTTON_HOVER   134
#define IDB_DIALOG_BUTTON_PRESSED 135
#define IDB_DIALOG_CLOSE          136 /* normal, hover, pressed */
#define IDB_ABOUT_PICTURE         147
#define IDB_ABOUT_LINE            148
#define IDB_ABOUT_BUTTON          149 /* normal 149, hover 150, pressed 151 */
#define IDB_ABOUT_BUTTON_HOVER    150
#define IDB_ABOUT_BUTTON_PRESSED  151
#define IDB_LOGO                  167
#define IDB_HEADER_TILE           168
#define IDB_STEP_BAR              169 /* 169 + step, step 0 to 3 */
#define IDB_OPTION_BUTTON         173 /* normal, pushed, hover */
#define IDB_PAGE_BUTTON           176 /* normal, pushed, hover */
#define IDB_BULLET                179
#define IDB_KIND_VIDEO            180
#define IDB_KIND_PHOTO            181
#define IDB_KIND_AUDIO            182
#define IDB_FILTER_BUTTON         184 /* normal, pushed, hover */
#define IDB_RECOVER_BUTTON        187 /* normal, pushed, hover */
#define IDB_SCAN_BUTTON           190 /* normal, pushed, hover */
#define IDB_DOCUMENT_ICON         193
#define IDB_MAGNIFIER             197
#define IDB_HAND_ICON             199
#define IDB_PROGRESS_TILE         202
#define IDB_THUMB_PHOTO           203
#define IDB_THUMB_AUDIO           204
#define IDB_THUMB_VIDEO           205
#define IDB_CHECK_OFF             206
#define IDB_CHECK_ON              207
#define IDB_WAIT_FRAME            208 /* 208 to 215 */
#define IDB_THUMB_RAW             218

#define IDD_MESSAGE               145 /* message box and folder dialog */
#define IDD_ABOUT                 146
#define IDR_MAIN_MENU             128
#define IDR_PREVIEW_MENU          216
#define IDI_APPLICATION_ICON      183

/* commands of the main window's drop-down menu; the language submenu is inserted
   at run time above the first separator */
#define ID_MENU_HELP              40009
#define ID_MENU_ABOUT             40010
#define ID_MENU_EXIT              40011
/* commands of the preview grid's context menu */
#define ID_PREVIEW_SELECT_ALL     40025
#define ID_PREVIEW_UNSELECT_ALL   40026
#define ID_PREVIEW_OPEN_FOLDER    40027

#endif
