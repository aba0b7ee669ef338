#pragma once
// What the stand-ins of the external programs share: files beside the
// program, written by the test, tell them what to do, and they record what
// they were asked.
#include <windows.h>

#include <cstdio>
#include <string>

inline std::string beside_program(const char* name)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p(path);
    return p.substr(0, p.find_last_of('\\') + 1) + name;
}

// The whole file, or `fallback` when there is none.
inline std::string read_file_or(const std::string& path, const std::string& fallback)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
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
    std::FILE* f = std::fopen(path.c_str(), "ab");
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
