// The notification-area applet: entry, hidden window, icon, launch, menu.
#ifndef MIVO_APPLET_H
#define MIVO_APPLET_H

#include "common/app_state.h"

#define MAIN_CLASS_NAME "MivoClass"
#define MAIN_WINDOW_TITLE "Hovedvindu"
#define LAUNCH_DIRECTORY_FALLBACK "C:\\WINDOWS"
#define LAUNCH_PAUSE_MS 500
// While the shell will not take the icon, it is offered again this often.
#define IDT_ICON_RETRY 1
#define ICON_RETRY_MS 3000

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
void CreateMainWindow(HINSTANCE hInstance);
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

void InstallNotifyIcon(void);
void AddNotifyIcon(void);
void RetryNotifyIcon(void);
void RemoveNotifyIcon(void);
void LaunchTarget(HWND hwnd);
void PrepareCom(void);

void CloseApplet(void);
void EndApplet(void);
void CreateContextMenu(void);
void AppendMenuItems(void);
void ShowContextMenu(void);
LRESULT OnCommand(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The texts of the two boxes.
extern const char szQuickHelpText[];
extern const char szQuickHelpCaption[];
extern const char szAboutText[];
extern const char szAboutCaption[];

#endif // MIVO_APPLET_H
