// Resource numbers of the settings window, shared by its template
// (resources/settings_dialog.rc) and its code.
#ifndef BRINDLECAP_APP_SETTINGS_IDS_H_
#define BRINDLECAP_APP_SETTINGS_IDS_H_

#define IDD_SETTINGS 300
#define IDR_SAMPLE_REPLAY 301

#define IDC_CUSTOM 1001
#define IDC_DATE_TAG 1002
#define IDC_MODERN 1003
#define IDC_TEMPLATE 1004
#define IDC_PREVIEW 1005
#define IDC_FIELDS 1006
#define IDC_INSERT 1007
#define IDC_FOLDERS 1008
#define IDC_ADD 1009
#define IDC_REMOVE 1010
#define IDC_STARTUP 1011
#define IDC_NOTIFY 1012
#define IDC_OPEN 1013
#define IDC_RECORD 1014
#define IDC_APPLY 1015
#define IDC_PREVIEW_LABEL 1016

#endif  // BRINDLECAP_APP_SETTINGS_IDS_H_
