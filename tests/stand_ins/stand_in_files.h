#pragma once
// What the stand-ins of the external programs share: files beside the
// program, written by the test, tell them what to do, and they record what
// they were asked.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

// Paths are UTF-8 here and wide towards the system, so that a folder whose
// name the ANSI code page cannot spell works too.
inline std::wstring wide(const std::string& utf8)
{
    wchar_t buf[MAX_PATH * 4] = L"";
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, buf, MAX_PATH * 4);
    return buf;
}

inline std::string utf8(const wchar_t* text)
{
    char buf[MAX_PATH * 4] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, sizeof buf, nullptr, nullptr);
    return buf;
}

inline std::string folder_of(const wchar_t* program)
{
    std::string p = utf8(program);
    return p.substr(0, p.find_last_of('\\') + 1);
}

inline std::string beside_program(const char* name)
{
    wchar_t path[MAX_PATH * 2] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    return folder_of(path) + name;
}

// Beside the program that started this one (the installer, for a stand-in
// that lives in the system folder); beside this program when that cannot be
// told.
inline std::string beside_parent(const char* name)
{
    DWORD parent = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32W entry;
        entry.dwSize = sizeof entry;
        for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry))
            if (entry.th32ProcessID == GetCurrentProcessId())
                parent = entry.th32ParentProcessID;
        CloseHandle(snapshot);
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent);
    if (process == nullptr)
        return beside_program(name);
    wchar_t path[MAX_PATH * 2] = L"";
    DWORD size = MAX_PATH * 2;
    BOOL ok = QueryFullProcessImageNameW(process, 0, path, &size);
    CloseHandle(process);
    return ok ? folder_of(path) + name : beside_program(name);
}

// The last double-quoted argument of a command line: the name 7z is given.
inline std::string last_quoted(const std::string& line)
{
    std::size_t end = line.rfind('"');
    if (end == std::string::npos || end == 0)
        return "";
    std::size_t start = line.rfind('"', end - 1);
    return line.substr(start + 1, end - start - 1);
}

// The whole file, or `fallback` when there is none.
inline std::string read_file_or(const std::string& path, const std::string& fallback)
{
    std::FILE* f = _wfopen(wide(path).c_str(), L"rb");
    if (f == nullptr)
        return fallback;
    std::string text;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    std::fclose(f);
    return text;
}

inline void append_file(const std::string& path, const std::string& text)
{
    std::FILE* f = _wfopen(wide(path).c_str(), L"ab");
    if (f == nullptr)
        return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

inline void write_all(HANDLE out, const std::string& text)
{
    DWORD written = 0;
    if (!text.empty())
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Records the command line in `args` and waits and answers as `code` says:
// "<exit code> [milliseconds to run]" (0 when there is none).
inline int record_and_wait(const std::string& args, const std::string& code)
{
    append_file(args, std::string(GetCommandLineA()) + "\n");
    int exit_code = 0, ms = 0;
    std::sscanf(read_file_or(code, "0").c_str(), "%d %d", &exit_code, &ms);
    if (ms > 0)
        Sleep(ms);
    return exit_code;
}
