// Core services of the handheld platform: threads and time, memory, files
// and file mapping, the registry, programs started by name, resources and
// system information.
#pragma once

#include "platform/ce_base.h"

namespace ce {

// ---------------------------------------------------------------------------
// Threads and time

using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);
// The new thread's message queue exists before CreateThread returns, so the
// creator may post to it at once.
HANDLE CreateThread(void* security, DWORD stackSize, LPTHREAD_START_ROUTINE start,
                    void* parameter, DWORD flags, DWORD* threadId);
DWORD GetCurrentThreadId();
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;
// Waits for a thread to end.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL GetExitCodeThread(HANDLE thread, DWORD* code);
BOOL CloseHandle(HANDLE handle);
void Sleep(DWORD milliseconds);
// Milliseconds since the emulator started, wrapping at 32 bits.
DWORD GetTickCount();

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
// 100-nanosecond intervals since 1601-01-01.  File times on the device are
// kept in local time, as the handheld's clock keeps them.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
void GetLocalTime(SYSTEMTIME* time);
void GetSystemTime(SYSTEMTIME* time);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);

// ---------------------------------------------------------------------------
// Memory

constexpr DWORD MEM_COMMIT = 0x1000;
constexpr DWORD MEM_RESERVE = 0x2000;
constexpr DWORD MEM_RELEASE = 0x8000;
constexpr DWORD PAGE_READWRITE = 0x04;
// Zero-filled; VirtualFree ignores null and all-ones pointers.
void* VirtualAlloc(void* address, size_t size, DWORD type, DWORD protect);
BOOL VirtualFree(void* address, size_t size, DWORD type);
constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_MOVEABLE = 0x0002;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LHND = LMEM_MOVEABLE | LMEM_ZEROINIT;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
HLOCAL LocalAlloc(UINT flags, size_t bytes);
void* LocalLock(HLOCAL block);
BOOL LocalUnlock(HLOCAL block);
size_t LocalSize(HLOCAL block);
HLOCAL LocalFree(HLOCAL block);
HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
void* GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
size_t GlobalSize(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block);
// Screen memory is always accessible, so probing always answers "fine".
BOOL IsBadReadPtr(const void* pointer, size_t bytes);
BOOL IsBadWritePtr(void* pointer, size_t bytes);

// ---------------------------------------------------------------------------
// Files

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr int MAX_PATH = 260;

// "COM1:" .. "COM4:" open the emulated serial ports.
HANDLE CreateFile(LPCWSTR path, DWORD access, DWORD share, void* security,
                  DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* done, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* done, void* overlapped);
// The high half may be null; a null high half sign-extends the distance.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
BOOL FlushFileBuffers(HANDLE file);
BOOL DeleteFile(LPCWSTR path);
BOOL CopyFile(LPCWSTR from, LPCWSTR to, BOOL failIfExists);
BOOL MoveFile(LPCWSTR from, LPCWSTR to);
BOOL CreateDirectory(LPCWSTR path, void* security);
BOOL RemoveDirectory(LPCWSTR path);
DWORD GetFileAttributes(LPCWSTR path);

struct WIN32_FIND_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwOID;
  WCHAR cFileName[MAX_PATH];
};
// Patterns use * and ? and match names case-insensitively; "*.*" matches
// every name.  "." and ".." are never returned.
HANDLE FindFirstFile(LPCWSTR pattern, WIN32_FIND_DATA* data);
BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA* data);
BOOL FindClose(HANDLE find);

// Read-only mapping of a whole file.
HANDLE CreateFileForMapping(LPCWSTR path, DWORD access, DWORD share, void* security,
                            DWORD disposition, DWORD flags, HANDLE templateFile);
constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD FILE_MAP_READ = 0x0004;
HANDLE CreateFileMapping(HANDLE file, void* security, DWORD protect, DWORD sizeHigh,
                         DWORD sizeLow, LPCWSTR name);
void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                    size_t bytes);
BOOL UnmapViewOfFile(const void* view);

// ---------------------------------------------------------------------------
// Registry

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t{0x80000002});
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(uintptr_t{0x80000003});
constexpr DWORD KEY_QUERY_VALUE = 0x0001;
constexpr DWORD KEY_SET_VALUE = 0x0002;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
LONG RegOpenKeyEx(HKEY root, LPCWSTR subKey, DWORD options, DWORD access, HKEY* result);
LONG RegCreateKeyEx(HKEY root, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                    DWORD options, DWORD access, void* security, HKEY* result,
                    DWORD* disposition);
// A value longer than the buffer is cut to it: the prefix is copied, *size
// becomes the bytes copied, and the call succeeds.  With a null buffer *size
// becomes the stored length.
LONG RegQueryValueEx(HKEY key, LPCWSTR name, DWORD* reserved, DWORD* type, BYTE* data,
                     DWORD* size);
LONG RegSetValueEx(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                   DWORD size);
LONG RegDeleteValue(HKEY key, LPCWSTR name);
LONG RegCloseKey(HKEY key);

// ---------------------------------------------------------------------------
// Programs, modules, system information

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};
// Programs are emulated: every start is written to the launch log, and the
// help viewer, the infrared sender and the mail programs act as the
// emulator's documentation says.  Always succeeds.
BOOL CreateProcess(LPCWSTR application, LPCWSTR commandLine, void* processSecurity,
                   void* threadSecurity, BOOL inherit, DWORD flags, void* environment,
                   LPCWSTR currentDirectory, void* startup, PROCESS_INFORMATION* info);
// The program's device path, e.g. "\Windows\zelmo.exe".
DWORD GetModuleFileName(HINSTANCE module, LPWSTR buffer, DWORD capacity);
HINSTANCE GetModuleHandle(LPCWSTR name);

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;
int GetSystemMetrics(int index);
constexpr UINT SPI_GETWORKAREA = 48;
constexpr UINT SPI_GETOEMINFO = 258;
constexpr UINT SPI_GETPLATFORMTYPE = 257;
BOOL SystemParametersInfo(UINT action, UINT size, void* data, UINT winIni);

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;
// Code page 1252 stands for every 8-bit page; UTF-8 is exact.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int count,
                        LPWSTR out, int capacity);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int count, char* out,
                        int capacity, const char* defaultChar, BOOL* usedDefault);

// ---------------------------------------------------------------------------
// Resources

// The emulated program has one instance; its resources are the data files
// the build embedded (see resources/README.md).
HRSRC FindResource(HINSTANCE instance, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HINSTANCE instance, HRSRC resource);
void* LockResource(HGLOBAL loaded);
DWORD SizeofResource(HINSTANCE instance, HRSRC resource);
HICON LoadIcon(HINSTANCE instance, LPCWSTR name);
// Icons from LoadIcon drawn with their transparency: at their own size, or
// scaled to cx x cy when those are not 0.
constexpr UINT DI_NORMAL = 0x0003;
BOOL DrawIcon(HDC hdc, int x, int y, HICON icon);
BOOL DrawIconEx(HDC hdc, int x, int y, HICON icon, int cx, int cy, UINT step, HBRUSH flicker,
                UINT flags);

}  // namespace ce
