/* Holds a file open without sharing, as Horvex holds its work tables, until a release file
 * appears (or 60 seconds pass). Writes FILE.held once the file is open, so that a test knows
 * when to start.
 *
 * usage: holdfile.exe FILE RELEASE_FILE
 * exit: 0 held and released, 1 the file could not be opened (the reason on stderr)
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        fwprintf(stderr, L"usage: holdfile FILE SIGNAL\n");
        return 2;
    }
    HANDLE h = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"cannot open %ls: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    wchar_t marker[MAX_PATH + 16], release[MAX_PATH + 16];
    _snwprintf(marker, MAX_PATH + 16, L"%ls.held", argv[2]);
    _snwprintf(release, MAX_PATH + 16, L"%ls.release", argv[2]);
    marker[MAX_PATH + 15] = release[MAX_PATH + 15] = 0;
    HANDLE m = CreateFileW(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (m != INVALID_HANDLE_VALUE)
        CloseHandle(m);
    for (int i = 0; i < 600; ++i) {
        if (GetFileAttributesW(release) != INVALID_FILE_ATTRIBUTES)
            break;
        Sleep(100);
    }
    CloseHandle(h);
    DeleteFileW(marker);
    return 0;
}
