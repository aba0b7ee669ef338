// Stands in for 7z where a test needs what no real image gives: sizes past
// 2 and 4 GiB, a listing of a chosen shape, an extraction that takes its time.
//   7z l ...  prints 7z.listing and ends with the code in 7z.code (0).
//   7z e -y -oDIR "image" "name"  makes DIR\name with the size that 7z.sizes
//             gives for it ("size name" lines), growing it by 7z.pace bytes
//             every 50 ms when 7z.pace holds a number, else all at once
//             (sparse); ends with the code in 7z.e-code (0) after printing
//             7z.e-out.
//   7z e -so "image" "name"  prints what the extraction writes for name, by
//             7z.so-pace bytes every 50 ms when that file holds a number.
//   7z t -scrcCRC32 ...  after 7z.t-ms milliseconds, prints the sum of the
//             CRC-32s of everything 7z.sizes names, as the extraction
//             writes it, in 7-Zip's words.
// Every command line is recorded in 7z.args.
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "install/read_back_sums.h"
#include "stand_in_files.h"

namespace {

long long listed_size(const std::string& name)
{
    std::istringstream sizes(read_file_or(beside_program("7z.sizes"), ""));
    long long size;
    std::string rest;
    while (sizes >> size && std::getline(sizes, rest))
        if (rest.size() > 1 && rest.substr(1) == name)
            return size;
    return 0;
}

int extract(const std::string& line)
{
    std::size_t o = line.find(" -o");
    std::size_t end = line.find(' ', o + 3);
    std::string folder = line.substr(o + 3, end - o - 3);
    std::string name = last_quoted(line);
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string path = folder + name;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    long long size = listed_size(name);
    long long pace = std::atoll(read_file_or(beside_program("7z.pace"), "0").c_str());
    if (pace > 0) {
        std::string chunk(static_cast<std::size_t>(pace), 'k');
        for (long long done = 0; done < size; done += pace) {
            DWORD n = static_cast<DWORD>(size - done < pace ? size - done : pace), written = 0;
            WriteFile(file, chunk.data(), n, &written, nullptr);
            Sleep(50);
        }
    } else {
        LARGE_INTEGER at;
        at.QuadPart = size;
        SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
    }
    CloseHandle(file);
    write_all(GetStdHandle(STD_OUTPUT_HANDLE), read_file_or(beside_program("7z.e-out"), ""));
    return std::atoi(read_file_or(beside_program("7z.e-code"), "0").c_str());
}

// The same bytes as extract() writes: 'k' when paced, else zeros.
int stream(const std::string& line)
{
    std::string name = last_quoted(line);
    long long size = listed_size(name);
    char fill = std::atoll(read_file_or(beside_program("7z.pace"), "0").c_str()) > 0 ? 'k' : 0;
    long long pace = std::atoll(read_file_or(beside_program("7z.so-pace"), "0").c_str());
    std::string chunk(static_cast<std::size_t>(pace > 0 ? pace : 1 << 20), fill);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    for (long long done = 0; done < size; done += static_cast<long long>(chunk.size())) {
        DWORD n = static_cast<DWORD>(size - done < static_cast<long long>(chunk.size())
                                         ? size - done
                                         : static_cast<long long>(chunk.size()));
        DWORD written = 0;
        if (!WriteFile(out, chunk.data(), n, &written, nullptr))
            return 2;
        if (pace > 0)
            Sleep(50);
    }
    return 0;
}

// What 7-Zip prints after testing the files: the sum of their CRC-32s.
int test_sums()
{
    Sleep(static_cast<DWORD>(std::atoi(read_file_or(beside_program("7z.t-ms"), "0").c_str())));
    char fill = std::atoll(read_file_or(beside_program("7z.pace"), "0").c_str()) > 0 ? 'k' : 0;
    const std::string chunk(1 << 20, fill);
    std::istringstream sizes(read_file_or(beside_program("7z.sizes"), ""));
    unsigned long long sum = 0;
    long long size;
    std::string rest;
    while (sizes >> size && std::getline(sizes, rest)) {
        uint32_t crc = 0;
        for (long long done = 0; done < size; done += static_cast<long long>(chunk.size()))
            crc = crc32_update(
                crc, chunk.data(),
                static_cast<std::size_t>(size - done < 1 << 20 ? size - done : 1 << 20));
        sum += crc;
    }
    char line[96];
    wsprintfA(line, "\r\nCRC32  for data:              %08lX-%08lX\r\n",
              static_cast<unsigned long>(sum), static_cast<unsigned long>(sum >> 32));
    write_all(GetStdHandle(STD_OUTPUT_HANDLE), line);
    return 0;
}

} // namespace

int main()
{
    std::string line = GetCommandLineA();
    append_file(beside_program("7z.args"), line + "\n");
    if (line.find(" e -y ") != std::string::npos)
        return extract(line);
    if (line.find(" e -so ") != std::string::npos)
        return stream(line);
    if (line.find(" t -scrcCRC32 ") != std::string::npos)
        return test_sums();
    write_all(GetStdHandle(STD_OUTPUT_HANDLE), read_file_or(beside_program("7z.listing"), ""));
    return std::atoi(read_file_or(beside_program("7z.code"), "0").c_str());
}
