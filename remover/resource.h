// Resource ids of the remover.
#define IDD_UNINSTALLER_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_PROGRESS 1000
#define IDC_UNINSTALL 1001
#define IDC_STATUS 1002
