/* A stand-in for Horvex in the Windows tests: it opens a window, starts the converter inside it
 * the way Horvex does (`pelmira.exe exportar|importar <HWND in hex>`), and answers the test
 * through files in a folder it is given:
 *
 *   host-hwnd.txt        written at start: the host window's HWND, in hex
 *   host-command.txt     read every 100 ms and removed: "children" or "close"
 *   host-children.txt    the answer to "children": the host's client area on the screen, then
 *                        one line per child window of the host (EnumChildWindows), with its
 *                        class, caption and rectangle relative to the host's client area
 *   host-child-exit.txt  the converter's exit status, once it has ended
 *
 * usage: host.exe FOLDER PELMIRA.EXE exportar|importar
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <wchar.h>

static wchar_t g_folder[MAX_PATH];
static HWND g_window;
static PROCESS_INFORMATION g_child;
static BOOL g_childRunning;

static void folderFile(wchar_t* out, const wchar_t* name) {
    _snwprintf(out, MAX_PATH, L"%ls\\%ls", g_folder, name);
    out[MAX_PATH - 1] = 0;
}

/* Writes a small answer file whole: under a temporary name first, so that the test never reads
 * half of it. */
static void writeAnswer(const wchar_t* name, const char* text) {
    wchar_t path[MAX_PATH], temp[MAX_PATH];
    folderFile(path, name);
    _snwprintf(temp, MAX_PATH, L"%ls.tmp", path);
    FILE* f = _wfopen(temp, L"wb");
    if (f == NULL)
        return;
    fputs(text, f);
    fclose(f);
    MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING);
}

static void hex(char* out, unsigned long long value) {
    char digits[32];
    int n = 0;
    do {
        digits[n++] = "0123456789ABCDEF"[value & 15];
        value >>= 4;
    } while (value != 0);
    while (n > 0)
        *out++ = digits[--n];
    *out = 0;
}

typedef struct {
    char* text;
    size_t used, size;
} Buffer;

static BOOL CALLBACK reportChild(HWND child, LPARAM param) {
    Buffer* b = (Buffer*)param;
    RECT r;
    char cls[128] = "", caption[256] = "", handle[32], parent[32], line[700];
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, g_window, (POINT*)&r, 2);
    GetClassNameA(child, cls, sizeof cls);
    GetWindowTextA(child, caption, sizeof caption);
    hex(handle, (unsigned long long)(UINT_PTR)child);
    hex(parent, (unsigned long long)(UINT_PTR)GetParent(child));
    int n = snprintf(line, sizeof line, "hwnd=%s parent=%s x=%ld y=%ld w=%ld h=%ld visible=%d class=%s caption=%s\n",
                     handle, parent, (long)r.left, (long)r.top, (long)(r.right - r.left),
                     (long)(r.bottom - r.top), IsWindowVisible(child) ? 1 : 0, cls, caption);
    if (n > 0 && b->used + (size_t)n + 1 < b->size) {
        memcpy(b->text + b->used, line, (size_t)n);
        b->used += (size_t)n;
        b->text[b->used] = 0;
    }
    return TRUE;
}

static void pollCommand(void) {
    wchar_t path[MAX_PATH];
    char command[64] = "";
    folderFile(path, L"host-command.txt");
    FILE* f = _wfopen(path, L"rb");
    if (f == NULL)
        return;
    size_t got = fread(command, 1, sizeof command - 1, f);
    fclose(f);
    command[got] = 0;
    DeleteFileW(path);
    if (strncmp(command, "children", 8) == 0) {
        static char text[65536];
        Buffer b = {text, 0, sizeof text};
        POINT origin = {0, 0};
        RECT client;
        ClientToScreen(g_window, &origin);
        GetClientRect(g_window, &client);
        b.used = (size_t)snprintf(text, sizeof text, "client screen_x=%ld screen_y=%ld w=%ld h=%ld\n",
                                  (long)origin.x, (long)origin.y, (long)client.right,
                                  (long)client.bottom);
        EnumChildWindows(g_window, reportChild, (LPARAM)&b);
        writeAnswer(L"host-children.txt", text);
    } else if (strncmp(command, "close", 5) == 0) {
        DestroyWindow(g_window);
    }
}

static void pollChild(void) {
    if (!g_childRunning || WaitForSingleObject(g_child.hProcess, 0) != WAIT_OBJECT_0)
        return;
    DWORD status = 0;
    GetExitCodeProcess(g_child.hProcess, &status);
    char text[32];
    snprintf(text, sizeof text, "%lu\n", (unsigned long)status);
    writeAnswer(L"host-child-exit.txt", text);
    CloseHandle(g_child.hProcess);
    CloseHandle(g_child.hThread);
    g_childRunning = FALSE;
}

static LRESULT CALLBACK windowProc(HWND w, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_TIMER:
        pollCommand();
        pollChild();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(w, message, wp, lp);
    }
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
    (void)previous;
    (void)commandLine;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == NULL || argc != 4)
        return 2;
    wcsncpy(g_folder, argv[1], MAX_PATH - 1);

    WNDCLASSW wc = {0};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = L"HorvexTestHost";
    RegisterClassW(&wc);
    g_window = CreateWindowExW(0, wc.lpszClassName, L"Horvex (prueba)",
                               WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40, 760, 560, NULL, NULL,
                               instance, NULL);
    if (g_window == NULL)
        return 3;
    ShowWindow(g_window, show);
    UpdateWindow(g_window);

    char handle[32];
    hex(handle, (unsigned long long)(UINT_PTR)g_window);
    char line[40];
    snprintf(line, sizeof line, "%s\n", handle);
    writeAnswer(L"host-hwnd.txt", line);

    wchar_t commandText[2 * MAX_PATH + 64];
    wchar_t handleW[32];
    for (int i = 0;; ++i) {
        handleW[i] = (wchar_t)handle[i];
        if (handle[i] == 0)
            break;
    }
    _snwprintf(commandText, sizeof commandText / sizeof commandText[0], L"\"%ls\" %ls %ls", argv[2],
               argv[3], handleW);
    commandText[sizeof commandText / sizeof commandText[0] - 1] = 0;
    STARTUPINFOW si = {0};
    si.cb = sizeof si;
    if (!CreateProcessW(argv[2], commandText, NULL, NULL, FALSE, 0, NULL, NULL, &si, &g_child))
        return 4;
    g_childRunning = TRUE;

    SetTimer(g_window, 1, 100, NULL);
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    /* The window is gone; keep reporting the converter's end for a while, as a test may wait for
     * it after asking the host to close. */
    for (int i = 0; i < 100 && g_childRunning; ++i) {
        pollChild();
        Sleep(100);
    }
    return 0;
}
