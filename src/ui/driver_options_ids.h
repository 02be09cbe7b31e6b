/* Resource ids of the "Driver Options" dialog. Plain macros, because the
   Windows resource script includes this header as well as the C++ code. */
#ifndef PC50_UI_DRIVER_OPTIONS_IDS_H
#define PC50_UI_DRIVER_OPTIONS_IDS_H

#define PC50_IDD_DRIVER_OPTIONS 129
#define PC50_IDC_OK 1
#define PC50_IDC_CANCEL 2
#define PC50_IDC_RESTORE_DEFAULTS 1000
#define PC50_IDC_RIBBON_GROUP 1002
#define PC50_IDC_FOUR_COLOR 1003
#define PC50_IDC_SINGLE_COLOR 1004
#define PC50_IDC_YMCK 1005
#define PC50_IDC_CMYK 1006
#define PC50_IDC_ORDER_GROUP 1010

#endif
