#include "rig_client.h"
#include "installer_session.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::string last_answer;

std::string rig_folder()
{
    const char* folder = std::getenv("KAVEL_PICTURE_RIG");
    return folder != nullptr ? std::string(folder) + "\\" : std::string();
}

bool write_whole(const std::string& path, const std::string& text)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

bool rig_present()
{
    return !rig_folder().empty();
}

void pump_for(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    } while (GetTickCount() - start < ms);
}

// One request and its answer through the exchange folder.
static std::string rig_exchange(const std::string& command)
{
    static unsigned sequence;
    std::string folder = rig_folder();
    if (folder.empty())
        return "error no rig";
    std::string seq = std::to_string(++sequence);
    std::string request = folder + "request", reply = folder + "reply";
    DeleteFileA(reply.c_str());
    if (!write_whole(request + ".tmp", seq + " " + command) ||
        !MoveFileExA((request + ".tmp").c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING))
        return "error cannot write the request";
    // Only the reply to this request counts: one that cannot be read yet is
    // read again, one to an earlier request is dropped.
    std::string answer, stray;
    bool got = pump_until(
        [&] {
            if (GetFileAttributesA(reply.c_str()) == INVALID_FILE_ATTRIBUTES)
                return false;
            answer = read_file(reply);
            if (answer.compare(0, seq.size() + 1, seq + " ") == 0) {
                DeleteFileA(reply.c_str());
                return true;
            }
            if (!answer.empty()) {
                stray = answer;
                DeleteFileA(reply.c_str());
            }
            return false;
        },
        WAIT_MS);
    if (!got)
        return "error no reply to " + command + (stray.empty() ? "" : ", only " + stray);
    return answer.substr(seq.size() + 1);
}

std::string rig_last_answer()
{
    return last_answer;
}

std::string rig_request(const std::string& command)
{
    last_answer = rig_exchange(command);
    return last_answer;
}

bool pointer_to(int x, int y)
{
    return rig_request("move " + std::to_string(x) + " " + std::to_string(y)) == "ok";
}

bool button_down()
{
    return rig_request("down") == "ok";
}

bool button_up()
{
    return rig_request("up") == "ok";
}

std::string cursor_shape()
{
    return rig_request("cursor");
}

namespace {

std::vector<std::string> rig_lines(const char* name)
{
    std::vector<std::string> pages;
    if (!rig_present())
        return pages;
    std::string text = read_file(rig_folder() + name);
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        pages.push_back(text.substr(start, end - start));
    return pages;
}

} // namespace

std::vector<std::string> opened_pages()
{
    return rig_lines("opened.log");
}

std::vector<std::string> opened_by()
{
    return rig_lines("opened-by.log");
}
