// Resource ids of the launcher.
#define IDD_UNINST_DIALOG 102
#define IDR_MAINFRAME 128
#define IDR_UNINSTALLER 131
