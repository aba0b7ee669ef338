// What the installer's program file declares and what its process entry sets
// up before the main dialog opens: the manifest (read out of the built file
// and through the system's own manifest parser), the error mode and where
// DLLs may still come from.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "installer_session.h"

namespace {

// The built installer, by the build folder's Windows name (Wine shows the
// host's root as Z:).
std::string installer_file()
{
    const char* build = std::getenv("KAVEL_BUILD_DIR");
    std::string path = std::string("Z:") + (build != nullptr ? build : "") + "/kavel-setup.exe";
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

BOOL CALLBACK collect_name(HMODULE, LPCSTR, LPSTR name, LONG_PTR names)
{
    auto* found = reinterpret_cast<std::vector<std::string>*>(names);
    found->push_back(IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<UINT_PTR>(name))
                                          : std::string(name));
    return TRUE;
}

struct ProgramFile : ::testing::Test {
    HMODULE file = nullptr;
    void SetUp() override
    {
        file = LoadLibraryExA(installer_file().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(file, nullptr) << installer_file();
    }
    void TearDown() override
    {
        if (file != nullptr)
            FreeLibrary(file);
    }
    std::string manifest()
    {
        HRSRC found = FindResourceA(file, MAKEINTRESOURCEA(1), RT_MANIFEST);
        if (found == nullptr)
            return "";
        HGLOBAL loaded = LoadResource(file, found);
        const char* bytes = static_cast<const char*>(LockResource(loaded));
        return bytes != nullptr ? std::string(bytes, SizeofResource(file, found)) : "";
    }
};

TEST_F(ProgramFile, HoldsOneManifestNumberedOne)
{
    std::vector<std::string> names;
    EnumResourceNamesA(file, RT_MANIFEST, collect_name, reinterpret_cast<LONG_PTR>(&names));
    EXPECT_EQ(names, std::vector<std::string>{"#1"});
}

TEST_F(ProgramFile, TheManifestAsksForAdministratorRightsAndNamesVistaTo11)
{
    std::string xml = manifest();
    ASSERT_FALSE(xml.empty()) << "no manifest";
    // Read by the system's own manifest parser, as when the program starts.
    const std::string path = installer_file();
    std::wstring source(path.begin(), path.end());
    ACTCTXW context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = source.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE parsed = CreateActCtxW(&context);
    ASSERT_NE(parsed, INVALID_HANDLE_VALUE)
        << "the system refuses the manifest: " << GetLastError();

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
    SIZE_T size = 0;
    ASSERT_TRUE(QueryActCtxW(0, parsed, nullptr, RunlevelInformationInActivationContext, &level,
                             sizeof level, &size));
    EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_REQUIRE_ADMIN);
    EXPECT_EQ(level.UiAccess, 0u);

    // Vista, 7, 8, 8.1, 10 and 11, no other.
    const std::set<std::string> wanted = {
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"};
    std::vector<BYTE> buffer(4096);
    ASSERT_TRUE(QueryActCtxW(0, parsed, nullptr, CompatibilityInformationInActivationContext,
                             buffer.data(), buffer.size(), &size));
    // Newer systems (Wine among them) add a 64-bit field to each element, which
    // also aligns the elements to 8 bytes: the layout is told from the size,
    // 4 + 20 bytes per element or 8 + 32.
    DWORD count = *reinterpret_cast<const DWORD*>(buffer.data());
    ASSERT_GT(count, 0u);
    SIZE_T header = 4, stride = 20;
    if (size == 8 + 32 * static_cast<SIZE_T>(count)) {
        header = 8;
        stride = 32;
    }
    ASSERT_EQ(size, header + stride * count) << "unknown layout";
    std::set<std::string> declared;
    for (DWORD i = 0; i < count; ++i) {
        const BYTE* element = buffer.data() + header + i * stride;
        GUID id;
        std::memcpy(&id, element, sizeof id);
        DWORD type = 0;
        std::memcpy(&type, element + sizeof id, sizeof type);
        EXPECT_EQ(type, static_cast<DWORD>(ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS));
        wchar_t text[64] = L"";
        StringFromGUID2(id, text, 64);
        char narrow[64] = "";
        WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
        declared.insert(lower(narrow));
    }
    EXPECT_EQ(declared, wanted);
    ReleaseActCtx(parsed);

    // No other change of look: no visual styles, no DPI setting.
    for (const char* setting :
         {"common-controls", "dependentassembly", "dpiaware", "windowssettings"})
        EXPECT_EQ(lower(xml).find(setting), std::string::npos) << setting << " in " << xml;
}

TEST(StartUp, ErrorBoxesAreOffAndDllsComeFromTheSystemFolderBeforeTheMainDialog)
{
    std::string folder = own_folder();
    // The planted DLL itself loads: what keeps it out is the program's set-up.
    HMODULE direct = LoadLibraryA((folder + "planted_probe.dll").c_str());
    ASSERT_NE(direct, nullptr);
    FreeLibrary(direct);

    DeleteFileA((folder + "startup_probe.txt").c_str());
    app_process app;
    ASSERT_TRUE(start_app(&app, folder + "startup_probe.exe"));
    EXPECT_EQ(wait_exit(&app, WAIT_MS), 0u);
    stop_app(&app);
    std::string record = read_file(folder + "startup_probe.txt");
    unsigned mode = 0;
    char loaded[32] = "";
    ASSERT_EQ(
        std::sscanf(record.c_str(), "error_mode %u\nplanted_probe.dll %31[a-z ]", &mode, loaded), 2)
        << record;
    EXPECT_NE(mode & SEM_FAILCRITICALERRORS, 0u) << record;
    EXPECT_STREQ(loaded, "not loaded") << record;
}

} // namespace
