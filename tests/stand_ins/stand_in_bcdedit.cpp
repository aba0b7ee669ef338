// Stands in for bcdedit, which Wine lacks, in the prefix's system folder,
// where the installer takes it from. It answers in German, as the real one
// does on a German Windows, so that only what no language changes can be
// read from it. Files beside the program that started it:
//   bcdedit.args   each command line, recorded
//   bcdedit.store  the identifiers of the entries it holds, one a line
//   bcdedit.made   every identifier it made
//   bcdedit.fail   a text: a command line holding it fails with code 1
// "/timeout N" also writes N where the system keeps the boot manager's time-out.
#include <cstdlib>
#include <cstring>

#include "stand_in_files.h"

namespace {

const wchar_t TIMEOUT_KEY[] = L"BCD00000000\\Objects\\{9dea862c-5cdd-4e70-acc1-f32b344d4795}"
                              L"\\Elements\\25000004";

void say(const std::string& text)
{
    write_all(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

int refuse(const std::string& text)
{
    write_all(GetStdHandle(STD_ERROR_HANDLE), text);
    return 1;
}

// The entry a command line names: the first identifier in braces that is
// not one of the store's well-known names, else the first one.
std::string identifier(const std::string& line)
{
    std::string first;
    for (std::size_t open = line.find('{'); open != std::string::npos;
         open = line.find('{', open + 1)) {
        std::size_t close = line.find('}', open);
        if (close == std::string::npos)
            break;
        std::string id = line.substr(open, close - open + 1);
        if (id.find('-') != std::string::npos)
            return id;
        if (first.empty())
            first = id;
    }
    return first;
}

bool well_known(const std::string& id)
{
    return id == "{bootmgr}" || id == "{fwbootmgr}" || id == "{current}" || id == "{default}";
}

} // namespace

int main()
{
    const std::string line = GetCommandLineA();
    append_file(beside_parent("bcdedit.args"), line + "\n");
    const std::string store_path = beside_parent("bcdedit.store");
    std::string store = read_file_or(store_path, "");
    std::string fail = read_file_or(beside_parent("bcdedit.fail"), "");
    if (!fail.empty() && line.find(fail) != std::string::npos)
        return refuse("Fehler beim Versuch, die Eingabe zu lesen.\r\n"
                      "Der Parameter ist falsch.\r\n");

    const std::string id = identifier(line);
    const bool known =
        well_known(id) || (!id.empty() && store.find(id + "\n") != std::string::npos);
    // A new entry, or the copy of a well-known one.
    if (line.find(" /create ") != std::string::npos || line.find(" /copy ") != std::string::npos) {
        // Numbered by all it ever made, so never the same identifier twice.
        const std::string made_path = beside_parent("bcdedit.made");
        const std::string made_before = read_file_or(made_path, "");
        int n = 1;
        for (char c : made_before)
            n += c == '\n';
        char made[64];
        wsprintfA(made, "{6b1f0a4e-0c3d-4a7e-9d21-%012d}", n);
        append_file(store_path, std::string(made) + "\n");
        append_file(made_path, std::string(made) + "\n");
        say(std::string("Der Eintrag ") + made + " wurde erfolgreich erstellt.\r\n");
        return 0;
    }
    if (line.find(" /timeout ") != std::string::npos) {
        unsigned long long seconds =
            std::strtoull(line.c_str() + line.find(" /timeout ") + 10, nullptr, 10);
        HKEY key;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, TIMEOUT_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueExW(key, L"Element", 0, REG_BINARY, reinterpret_cast<BYTE*>(&seconds),
                           sizeof seconds);
            RegCloseKey(key);
        }
        say("Der Vorgang wurde erfolgreich beendet.\r\n");
        return 0;
    }
    // Every other command names an entry, which must be there.
    if (!known)
        return refuse("Der angegebene Eintragsbezeichner ist ung\xfcltig.\r\n");
    if (line.find(" /delete ") != std::string::npos) {
        store.erase(store.find(id + "\n"), id.size() + 1);
        std::FILE* f = _wfopen(wide(store_path).c_str(), L"wb");
        if (f != nullptr) {
            std::fwrite(store.data(), 1, store.size(), f);
            std::fclose(f);
        }
    }
    if (line.find(" /enum ") != std::string::npos)
        say("Windows-Start-Manager\r\n---------------------\r\nBezeichner              " + id +
            "\r\ndescription             Kavel Linux (tovkast)\r\n");
    else
        say("Der Vorgang wurde erfolgreich beendet.\r\n");
    return 0;
}
