// The shell: the notification area, finding the program behind a file,
// taking icons out of files and opening files.
#include <algorithm>
#include <cstring>

#include "platform/host/model_state.h"

using namespace host::model;
using host::Launch;
using host::TrayIcon;

namespace
{

const HINSTANCE kShellSuccess = Make<HINSTANCE>(42); // above 32: success

const File* LookupFile(const char* path)
{
    if (path == nullptr || *path == '\0')
        return nullptr;
    auto known = S().files.find(Lower(path));
    return known == S().files.end() ? nullptr : &known->second;
}

std::string Extension(const std::string& path)
{
    size_t dot = path.find_last_of('.');
    size_t slash = path.find_last_of("\\/:");
    if (dot == std::string::npos || (slash != std::string::npos && slash > dot))
        return "";
    return Lower(path.substr(dot));
}

// The program that opens the file, as FindExecutableA names it; empty with
// *error set when there is none.
std::string ProgramFor(const char* path, int* error)
{
    const File* file = LookupFile(path);
    if (file == nullptr) {
        *error = SE_ERR_FNF;
        return "";
    }
    if (file->program)
        return file->path;
    auto association = S().associations.find(Extension(file->path));
    if (association == S().associations.end()) {
        *error = SE_ERR_NOASSOC;
        return "";
    }
    const File* program = LookupFile(association->second.c_str());
    return program != nullptr ? program->path : association->second;
}

HICON NewIcon(const std::string& picture)
{
    HICON icon = Make<HICON>(NewHandle(HandleKind::Icon));
    S().icons[Raw(icon)] = Icon{picture, true, false};
    return icon;
}

const char* NotifyName(DWORD message)
{
    switch (message) {
    case NIM_ADD:
        return "NIM_ADD";
    case NIM_MODIFY:
        return "NIM_MODIFY";
    case NIM_DELETE:
        return "NIM_DELETE";
    }
    return "NIM_?";
}

// Copies what the record's flags say into the tray's entry.
void TakeFields(TrayIcon* icon, const NOTIFYICONDATAA& data)
{
    if ((data.uFlags & NIF_MESSAGE) != 0)
        icon->uCallbackMessage = data.uCallbackMessage;
    if ((data.uFlags & NIF_ICON) != 0) {
        icon->hIcon = data.hIcon;
        icon->picture = host::IconPicture(data.hIcon);
    }
    if ((data.uFlags & NIF_TIP) != 0)
        icon->tip = data.szTip;
    icon->uFlags |= data.uFlags;
    icon->cbSize = data.cbSize;
}

} // namespace

BOOL WINAPI Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData)
{
    CallScope call("Shell_NotifyIconA", NotifyName(dwMessage));
    if (dwMessage != NIM_ADD && dwMessage != NIM_MODIFY && dwMessage != NIM_DELETE)
        Unsupported("Shell_NotifyIconA with message " + std::to_string(dwMessage));
    if (lpData == nullptr)
        return call.Fail(FALSE);
    if (lpData->cbSize != kNotifyIconDataSize) {
        AddMisuse(std::string("Shell_NotifyIconA ") + NotifyName(dwMessage) + ": cbSize is " +
                  std::to_string(lpData->cbSize) + ", not the 32-bit record's 88");
        return call.Fail(FALSE);
    }
    if ((lpData->uFlags & NIF_TIP) != 0 && dwMessage != NIM_DELETE &&
        std::memchr(lpData->szTip, '\0', sizeof lpData->szTip) == nullptr) {
        AddMisuse(std::string("Shell_NotifyIconA ") + NotifyName(dwMessage) +
                  ": szTip has no NUL inside its 64 bytes");
        return call.Fail(FALSE);
    }
    if (call.Injected())
        return call.Fail(FALSE);

    std::vector<TrayIcon>& tray = S().tray;
    auto icon = std::find_if(tray.begin(), tray.end(), [&](const TrayIcon& t) {
        return t.hWnd == lpData->hWnd && t.uID == lpData->uID;
    });
    switch (dwMessage) {
    case NIM_ADD: {
        if (icon != tray.end() || !IsLiveWindow(lpData->hWnd))
            return call.Fail(FALSE);
        TrayIcon added{};
        added.hWnd = lpData->hWnd;
        added.uID = lpData->uID;
        TakeFields(&added, *lpData);
        added.uFlags = lpData->uFlags;
        tray.push_back(added);
        return TRUE;
    }
    case NIM_MODIFY:
        if (icon == tray.end())
            return call.Fail(FALSE);
        TakeFields(&*icon, *lpData);
        return TRUE;
    default: // NIM_DELETE
        if (icon == tray.end())
            return call.Fail(FALSE);
        tray.erase(icon);
        return TRUE;
    }
}

HINSTANCE WINAPI FindExecutableA(LPCSTR lpFile, LPCSTR lpDirectory, LPSTR lpResult)
{
    (void)lpDirectory;
    CallScope call("FindExecutableA", Text(lpFile));
    if (lpResult == nullptr)
        Unsupported("FindExecutableA without a result buffer");
    lpResult[0] = '\0';
    if (call.Injected())
        return call.Fail(Make<HINSTANCE>(SE_ERR_FNF));
    int error = 0;
    std::string program = ProgramFor(lpFile, &error);
    if (program.empty())
        return call.Fail(Make<HINSTANCE>(static_cast<uintptr_t>(error)));
    // The buffer holds MAX_PATH bytes.
    std::strncat(lpResult, program.c_str(), MAX_PATH - 1);
    return kShellSuccess;
}

// Icons of a file by number: 0, 1, ... count-1 are the icons in order;
// (UINT)-1 asks for the count; another negative number -n asks for the icon
// whose resource identifier is n, and the model gives the icons the
// identifiers 1, 2, ... in order, so -n is the icon at n-1. A file that is
// no program, library or icon file (no icons) gives the value 1.
HICON WINAPI ExtractIconA(HINSTANCE hInst, LPCSTR pszExeFileName, UINT nIconIndex)
{
    (void)hInst;
    const int index = static_cast<int>(nIconIndex);
    CallScope call("ExtractIconA", Text(pszExeFileName) + " #" + std::to_string(index));
    const File* file = LookupFile(pszExeFileName);
    if (file == nullptr || call.Injected())
        return call.Fail<HICON>(nullptr);
    if (file->iconCount <= 0)
        return Make<HICON>(1);
    if (index == -1)
        return Make<HICON>(static_cast<uintptr_t>(file->iconCount));
    const long long position = index >= 0 ? index : -static_cast<long long>(index) - 1;
    if (position >= file->iconCount)
        return call.Fail<HICON>(nullptr);
    return NewIcon("file:" + file->path + "#" + std::to_string(position));
}

HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                               LPCSTR lpDirectory, int nShowCmd)
{
    CallScope call("ShellExecuteA", Text(lpFile));
    Launch launch{};
    launch.parent = hwnd;
    launch.verbGiven = lpOperation != nullptr;
    launch.verb = lpOperation == nullptr ? "" : Text(lpOperation);
    launch.file = lpFile == nullptr ? "" : Text(lpFile);
    launch.parametersGiven = lpParameters != nullptr;
    launch.parameters = lpParameters == nullptr ? "" : Text(lpParameters);
    launch.directory = lpDirectory == nullptr ? "" : Text(lpDirectory);
    launch.show = nShowCmd;
    int error = SE_ERR_FNF;
    if (!call.Injected())
        launch.program = ProgramFor(lpFile, &error);
    // Every attempt is recorded; `program` tells whether anything opened.
    S().launches.push_back(launch);
    if (launch.program.empty())
        return call.Fail(Make<HINSTANCE>(static_cast<uintptr_t>(error)));
    return kShellSuccess;
}

// ------------------------------------------------------------------ icons

HICON WINAPI CopyIcon(HICON hIcon)
{
    CallScope call("CopyIcon", IconLabel(hIcon));
    std::string picture = host::IconPicture(hIcon);
    if (picture.empty() || call.Injected())
        return call.Fail<HICON>(nullptr);
    return NewIcon(picture);
}

BOOL WINAPI DestroyIcon(HICON hIcon)
{
    CallScope call("DestroyIcon", IconLabel(hIcon));
    auto icon = S().icons.find(Raw(hIcon));
    if (icon == S().icons.end() || !icon->second.alive || call.Injected())
        return call.Fail(FALSE);
    // A shared icon (one from LoadIconA) outlives DestroyIcon.
    if (!icon->second.shared)
        icon->second.alive = false;
    return TRUE;
}

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName)
{
    CallScope call("LoadIconA", Text(lpIconName));
    if (hInstance != host::ModuleInstance() || lpIconName != MAKEINTRESOURCEA(kOwnIconResource) ||
        call.Injected())
        return call.Fail<HICON>(nullptr);
    return S().ownIcon;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName)
{
    CallScope call("LoadCursorA", lpCursorName == IDC_ARROW ? "IDC_ARROW" : Text(lpCursorName));
    if (hInstance != nullptr || lpCursorName != IDC_ARROW || call.Injected())
        return call.Fail<HCURSOR>(nullptr);
    return S().arrowCursor;
}

HGDIOBJ WINAPI GetStockObject(int i)
{
    CallScope call("GetStockObject", i == LTGRAY_BRUSH ? "LTGRAY_BRUSH" : std::to_string(i));
    static int lightGrayBrush;
    if (i != LTGRAY_BRUSH || call.Injected())
        return call.Fail<HGDIOBJ>(nullptr);
    return &lightGrayBrush;
}
